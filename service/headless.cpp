#include "service/headless.h"

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

#include <cstring>

#ifdef Q_OS_LINUX
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

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

namespace {
bool platformChosen(int argc, const char* const* argv) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    }
    return false;
}
} // namespace

bool xDisplayReachable([[maybe_unused]] const QByteArray& display) {
#ifdef Q_OS_LINUX
    // libxcb is what Qt's own X11 platform connects through; taken at run
    // time so that the build needs no X11 development files. The library
    // stays loaded: Qt loads it again for its window anyway.
    static void* const xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb)
        return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    if (!connect || !hasError || !disconnect)
        return false;
    void* connection = connect(display.constData(), nullptr);
    // xcb_connect never returns null: a failed connection is an error object
    // that must be disconnected all the same.
    const bool reachable = connection && hasError(connection) == 0;
    if (connection)
        disconnect(connection);
    return reachable;
#else
    return false;
#endif
}

bool waylandDisplayReachable([[maybe_unused]] const QByteArray& display) {
#ifdef Q_OS_LINUX
    if (display.isEmpty())
        return false;
    QByteArray path = display;
    if (!path.startsWith('/')) {
        const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
        if (runtimeDir.isEmpty())
            return false;
        path = runtimeDir + '/' + display;
    }
    sockaddr_un address{};
    if (std::size_t(path.size()) >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool reachable =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return reachable;
#else
    return false;
#endif
}

DisplayChoice chooseDisplay(int argc, const char* const* argv) {
    DisplayChoice choice;
    if (chooseOffscreenWhenNoDisplay(argc, argv)) {
        choice.offscreen = true;
        choice.notice = QStringLiteral("Geen beeldscherm gevonden (DISPLAY en WAYLAND_DISPLAY zijn "
                                       "leeg): Sondral draait zonder venster en bewaakt gewoon "
                                       "door.");
        return choice;
    }
#ifdef Q_OS_LINUX
    if (platformChosen(argc, argv))
        return choice;
    const QByteArray x = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const bool xOk = !x.isEmpty() && xDisplayReachable(x);
    const bool waylandOk = !wayland.isEmpty() && waylandDisplayReachable(wayland);
    if (xOk)
        return choice; // Qt's own order, with its fallbacks
    if (waylandOk) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("wayland"));
        return choice;
    }
    QStringList names;
    if (!x.isEmpty())
        names << QStringLiteral("DISPLAY=") + QString::fromLocal8Bit(x);
    if (!wayland.isEmpty())
        names << QStringLiteral("WAYLAND_DISPLAY=") + QString::fromLocal8Bit(wayland);
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    choice.offscreen = true;
    choice.notice = QStringLiteral("The display cannot be reached (%1): Sondral runs without a "
                                   "window and goes on monitoring.")
                        .arg(names.join(QStringLiteral(", ")));
#endif
    return choice;
}

bool chooseOffscreenWhenNoDisplay(int argc, const char* const* argv) {
    if (!needsOffscreen(argc, argv))
        return false;
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    return true;
}

} // namespace Headless
