#include "platform/terminationwatcher.h"
#include "service/headless.h"
#include "service/servicenotifier.h"
#include "settings/journal.h"
#include "ui/frmmain.h"
#include "ui/windowsupport.h"

#include <QApplication>
#include <QIcon>

#ifdef SONDRAL_TEST_HOOKS
#include <QThread>
#include <QTimer>
#endif

int main(int argc, char** argv) {
    // Before the QApplication: that is when Qt picks its platform.
    const bool offscreen = Headless::chooseOffscreenWhenNoDisplay(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sondral"));
    // No application display name: the window system would append it to
    // every title ("Mededeling — Sondral").
    if (offscreen)
        Journal::write(Journal::Priority::Notice,
                       QStringLiteral("Geen beeldscherm gevonden (DISPLAY en WAYLAND_DISPLAY zijn "
                                      "leeg): Sondral draait zonder venster en bewaakt gewoon "
                                      "door."));

    const QIcon icon = applicationIcon();
    QApplication::setWindowIcon(icon);

    frmMain window(QCoreApplication::applicationDirPath());
    window.setWindowIcon(icon);

    // Every way a run ends (the close button, the close command, a
    // termination signal) leaves the event loop, so the service manager
    // hears of it from there.
    ServiceNotifier serviceNotifier;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &serviceNotifier,
                     &ServiceNotifier::notifyStopping);

    // A termination signal is a close request like the window's close button.
    TerminationWatcher terminationWatcher;
    QObject::connect(&terminationWatcher, &TerminationWatcher::terminationRequested, &window,
                     [&window, &serviceNotifier](int) {
                         serviceNotifier.notifyStopping();
                         window.close();
                     });

    window.Form_Load();
    window.show();
    window.showStartupMessages();
    serviceNotifier.notifyReady();
    serviceNotifier.startWatchdog();

#ifdef SONDRAL_TEST_HOOKS
    // Test build only: blocks the UI thread for SONDRAL_TEST_BLOCK_UI_MS
    // milliseconds, two seconds after start-up, as a hung tick would.
    if (const int blockMs = qEnvironmentVariableIntValue("SONDRAL_TEST_BLOCK_UI_MS"); blockMs > 0)
        QTimer::singleShot(2000, &window, [blockMs] { QThread::msleep(blockMs); });
#endif

    return app.exec();
}
