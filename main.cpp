#include "app/sondralapp.h"
#include "service/headless.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Before the QApplication: that is when Qt picks its platform.
    const Headless::DisplayChoice display = Headless::chooseDisplay(argc, argv);

    QApplication app(argc, argv);
    SondralApp sondral(QCoreApplication::applicationDirPath());
    sondral.start(display.offscreen, display.notice);
    return app.exec();
}
