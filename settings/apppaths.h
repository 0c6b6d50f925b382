#pragma once

#include <QString>

// Full path of a file in the executable's directory, where Sondral keeps
// sondral.ini and sondral.log.
QString appFilePath(const QString& fileName);
