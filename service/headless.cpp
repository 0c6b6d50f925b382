#include "service/headless.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstring>

namespace Headless {

bool needsOffscreen([[maybe_unused]] int argc, [[maybe_unused]] const char* const* argv) {
#ifdef Q_OS_LINUX
    if (!qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return false;
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return false;
    for (int i = 1; i < argc; ++i) {
        // Qt takes "-platform NAME" and "--platform NAME".
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return false;
    }
    return true;
#else
    return false;
#endif
}

bool chooseOffscreenWhenNoDisplay(int argc, const char* const* argv) {
    if (!needsOffscreen(argc, argv))
        return false;
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    return true;
}

} // namespace Headless
