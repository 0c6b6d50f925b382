#include "settings/apppaths.h"

#include <QCoreApplication>
#include <QDir>

QString appFilePath(const QString& fileName) {
    return QDir(QCoreApplication::applicationDirPath()).filePath(fileName);
}
