#pragma once

// A monitoring PC may have no desktop at all, and a user service starts
// before (or without) any login. Qt then finds no display and would abort;
// Sondral runs offscreen instead and monitors all the same.
namespace Headless {

// True on Linux when neither DISPLAY nor WAYLAND_DISPLAY is set and no Qt
// platform was chosen (a non-empty QT_QPA_PLATFORM, or a -platform
// argument).
bool needsOffscreen(int argc, const char* const* argv);

// Sets QT_QPA_PLATFORM=offscreen when needsOffscreen(); call before the
// QApplication is made. Returns whether it did.
bool chooseOffscreenWhenNoDisplay(int argc, const char* const* argv);

} // namespace Headless
