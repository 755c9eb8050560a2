// The window mode's toolkit as the start-up sees it: connect to the display,
// serve the main window until the user quits, release. No window types here,
// so the start-up code stays free of the toolkit's headers.
#pragma once

#include <optional>

#include "run/session.h"

namespace pixlane {

struct ScreenSize {
    int width = 0;
    int height = 0;
};

// Starts wxWidgets on the display named by DISPLAY or WAYLAND_DISPLAY and
// returns the primary desktop size. Without a display, or when it does not
// answer, prints one line on standard error and returns nullopt; nothing is
// left running.
std::optional<ScreenSize> start_window_toolkit();

// Loads the built-in pictures and the theme of UI Theme, builds and shows
// the main window and runs the event loop until the window closes (close
// box, Exit, or SIGTERM/SIGINT). The window geometry is in app.settings
// afterwards. Returns kExitOk.
int run_main_window(Session& app);

// Releases wxWidgets after start_window_toolkit succeeded.
void stop_window_toolkit();

} // namespace pixlane
