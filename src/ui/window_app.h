// The window mode's toolkit as the start-up sees it: connect to the display,
// serve the main window until the user quits, release. No window types here,
// so the start-up code stays free of the toolkit's headers.
#pragma once

#include <optional>
#include <string>

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

// The uninstall page of "-U": waits for Next (which, with the check box
// checked, opens the vendor's uninstall page) or the close box. Needs the
// toolkit started; reads and writes nothing. Returns kExitOk.
int run_uninstall_page(Session& app);

// The screenshot mode of "-T": the main window with sample entries, shown
// at (400, 400) with inner size 510 x 330 for half a second, captured with
// its frame into `folder` (the program folder when empty) as pixlane1.jpg,
// and as the 180-pixel-wide pixlane1x.jpg. A folder that does not exist
// does nothing. Needs the toolkit started; config.ini is not touched.
// Returns kExitOk, or kExitError (with a line on standard error) when a
// picture cannot be written.
int run_screenshot_mode(Session& app, const std::string& folder);

// Releases wxWidgets after start_window_toolkit succeeded.
void stop_window_toolkit();

// The functions above as the window module hands them to the executable,
// which loads the module (and with it the toolkit) only when a window opens.
struct WindowEntry {
    std::optional<ScreenSize> (*start)();
    int (*run_main_window)(Session& app);
    int (*run_uninstall_page)(Session& app);
    int (*run_screenshot_mode)(Session& app, const std::string& folder);
    void (*stop)();
};

// The name under which the module exports its entry table.
inline constexpr const char* kWindowEntrySymbol = "pixlane_window_entry";

} // namespace pixlane
