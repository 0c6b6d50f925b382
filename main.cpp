#include "app/sondralapp.h"
#include "service/headless.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Before the QApplication: that is when Qt picks its platform.
    const bool offscreen = Headless::chooseOffscreenWhenNoDisplay(argc, argv);

    QApplication app(argc, argv);
    SondralApp sondral(QCoreApplication::applicationDirPath());
    sondral.start(offscreen);
    return app.exec();
}
