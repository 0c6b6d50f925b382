#pragma once

#include "settings/settings.h"

#include <QStringList>

class IniFile;

// Fills settings from the file at path through ini. Missing or empty values
// give the field's default. A non-empty value that is not a number or does
// not fit its field also gives the default, and one Dutch message line per
// such key is returned, for start-up to show the operator, e.g.:
//   Ongeldige waarde in sondral.ini, sectie [InterPC], sleutel RemotePort: "abc".
//   De standaardwaarde 0 wordt gebruikt.
QStringList ReadSettings(IniFile& ini, const QString& path, Settings& settings);
