#include "ui/windowsupport.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QWidget>

static void initWindowResources() {
    // The pictures live in a static library; without this call the linker may
    // drop them from the executable.
    Q_INIT_RESOURCE(resources);
}

QIcon applicationIcon() {
    initWindowResources();
    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/sondral-%1.png").arg(size), QSize(size, size));
    return icon;
}

void makeSettingsDialogWindow(QWidget* dialog, const QString& title) {
    initWindowResources();
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    dialog->setWindowTitle(title);
    dialog->setWindowIcon(applicationIcon());
}

bool isCancelKey(const QKeyEvent* event) {
    return event->matches(QKeySequence::Cancel);
}

QString saveFailureText(const QString& path, const QString& error) {
    const QString nativePath = QDir::toNativeSeparators(path);
    if (error.contains(path) || error.contains(nativePath))
        return error;
    return QStringLiteral("Kan %1 niet opslaan (%2): %3")
        .arg(QFileInfo(path).fileName(), nativePath, error);
}
