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
// The window mode: runs until the user quits; returns the exit status.
using WindowMode = std::function<int(Session&)>;

// The window mode's start-up and shutdown around `window`: settings folder
// (created when missing), config.ini loaded over the window defaults, the
// language table; after the window, recent output folders emptied when they
// are not kept, and config.ini saved.
int run_window_mode(Session& app, const WindowMode& window);

// Start-up, mode choice and shutdown. Takes the single-instance lock (a
// second instance ends with kExitInstanceRunning, silently without
// arguments, with one line on standard error otherwise; a lock file that
// cannot be created or locked ends with kExitError and an "Error: " line),
// runs the command line, and when it returns runs the window mode.
int run_application(int argc, char** argv, const CommandLineFrontEnd& command_line,
                    const WindowMode& window);

} // namespace pixlane
