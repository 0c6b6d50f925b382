#pragma once

// A monitoring PC may have no desktop at all, and a user service starts
// before (or without) any login. Qt then finds no display and would abort;
// Sondral runs offscreen instead and monitors all the same.
#include <QByteArray>
#include <QString>

namespace Headless {

// True on Linux when neither DISPLAY nor WAYLAND_DISPLAY is set and no Qt
// platform was chosen (a non-empty QT_QPA_PLATFORM, or a -platform
// argument).
bool needsOffscreen(int argc, const char* const* argv);

// Sets QT_QPA_PLATFORM=offscreen when needsOffscreen(); call before the
// QApplication is made. Returns whether it did.
bool chooseOffscreenWhenNoDisplay(int argc, const char* const* argv);

// What chooseDisplay() decided.
struct DisplayChoice {
    bool offscreen = false; // QT_QPA_PLATFORM=offscreen was set
    QString notice;         // for the journal when offscreen; empty otherwise
};

// As chooseOffscreenWhenNoDisplay(), and a display that is set but cannot
// be reached (an X server that is gone, a Wayland socket nobody serves)
// counts as none: a DISPLAY left behind in the service manager's
// environment after a logout would otherwise make every start abort. When
// only the Wayland display answers, Qt is pointed at it. Linux only; call
// before the QApplication is made. Connecting to an X server on another host
// may take as long as the network needs to refuse it.
DisplayChoice chooseDisplay(int argc, const char* const* argv);

// Whether an X server answers on display (as DISPLAY spells it), handshake
// and authorisation included; false when libxcb is not installed.
bool xDisplayReachable(const QByteArray& display);
// Whether a Wayland compositor listens on the socket named (as
// WAYLAND_DISPLAY spells it: a name in XDG_RUNTIME_DIR, or a path).
bool waylandDisplayReachable(const QByteArray& display);

} // namespace Headless
