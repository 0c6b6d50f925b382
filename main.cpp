#include "app/sondralapp.h"
#include "service/headless.h"

#include <QApplication>

#ifdef SONDRAL_TEST_HOOKS
#include "ui/frmmain.h"

#include <QThread>
#include <QTimer>
#endif

int main(int argc, char** argv) {
    // Before the QApplication: that is when Qt picks its platform.
    const bool offscreen = Headless::chooseOffscreenWhenNoDisplay(argc, argv);

    QApplication app(argc, argv);
    SondralApp sondral(QCoreApplication::applicationDirPath());
    sondral.start(offscreen);

#ifdef SONDRAL_TEST_HOOKS
    // Test build only: blocks the UI thread for SONDRAL_TEST_BLOCK_UI_MS
    // milliseconds, two seconds after start-up, as a hung tick would.
    if (const int blockMs = qEnvironmentVariableIntValue("SONDRAL_TEST_BLOCK_UI_MS"); blockMs > 0)
        QTimer::singleShot(2000, &sondral.window(), [blockMs] { QThread::msleep(blockMs); });
#endif

    return app.exec();
}
