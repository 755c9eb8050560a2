// The application: the start-up order that fills the process-wide records
// and chooses between the console and the window, and the shutdown.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "run/session.h"

namespace pixlane {

// Set by the event loop when the main window closes or Exit is chosen.
extern std::atomic<bool> g_quit;

// The command-line front end: nullopt when the window is to open, otherwise
// the exit status of the finished command-line work.
using CommandLineFrontEnd = std::function<std::optional<int>(Session&)>;

// Size of the primary desktop in pixels.
struct DesktopSize {
    int width = 0;
    int height = 0;
};

// The window toolkit, in the order the window mode uses it.
struct WindowMode {
    // Connects to the display before anything is read; nullopt when there is
    // none (one line has then been printed on standard error).
    std::function<std::optional<DesktopSize>()> start;
    // Builds and shows the main window and serves it until the user quits;
    // records the window geometry in the settings. Returns the exit status.
    std::function<int(Session&)> run;
    // Releases the toolkit.
    std::function<void()> stop;
};

// The window mode's start-up and shutdown around `window`: the toolkit
// started (no display: kExitError, nothing read or written), settings folder
// (created when missing), config.ini loaded over the window defaults with
// the window centred on the desktop, the language table; after the window,
// recent output folders emptied when they are not kept, and config.ini
// saved.
int run_window_mode(Session& app, const WindowMode& window);

// Start-up, mode choice and shutdown. Runs the command line (console
// commands and batches take no lock); when it leaves the start to the
// window, takes the single-instance lock (a second window ends with
// kExitInstanceRunning, silently without arguments, with one line on
// standard error otherwise; a lock file that cannot be created or locked
// ends with kExitError and an "Error: " line) and runs the window mode.
int run_application(int argc, char** argv, const CommandLineFrontEnd& command_line,
                    const WindowMode& window);

} // namespace pixlane
