#include "core/terminationwatcher.h"
#include "ui/frmmain.h"
#include "ui/windowsupport.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sondral"));
    // No application display name: the window system would append it to
    // every title ("Mededeling — Sondral").

    const QIcon icon = applicationIcon();
    QApplication::setWindowIcon(icon);

    frmMain window(QCoreApplication::applicationDirPath());
    window.setWindowIcon(icon);

    // A termination signal is a close request like the window's close button.
    TerminationWatcher terminationWatcher;
    QObject::connect(&terminationWatcher, &TerminationWatcher::terminationRequested, &window,
                     [&window](int) { window.close(); });

    window.Form_Load();
    window.show();
    window.showStartupMessages();
    return app.exec();
}
