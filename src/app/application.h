// The application: the one instance of each process-wide record, and the
// start-up order that fills them and chooses between the console and the
// window.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/language.h"
#include "pipeline/input_list.h"
#include "pipeline/records.h"
#include "settings/settings.h"

namespace pixlane {

// Exit statuses of the process.
enum ExitStatus : int {
    kExitOk = 0,           // help, version, window mode, every imported file converted
    kExitError = 1,        // an "Error: " line was printed
    kExitIncomplete = 2,   // "Conversion stopped", or fewer files converted than imported
    kExitInstanceRunning = 3, // another instance holds the single-instance lock
};

struct Application {
    Settings settings;
    JobRecord job;
    ProgressRecord progress;
    LanguageTable language;
    InputList input_list;
    IconMaps icons;
    std::vector<std::string> args; // the arguments, without the program name
    std::string program_name;      // file name of the executable, without folder
};

// The command-line front end: nullopt when the window is to open, otherwise
// the exit status of the finished command-line work.
using CommandLineFrontEnd = std::function<std::optional<int>(Application&)>;
// The window mode: runs until the user quits; returns the exit status.
using WindowMode = std::function<int(Application&)>;

// The window mode's start-up and shutdown around `window`: settings folder
// (created when missing), config.ini loaded over the window defaults, the
// language table; after the window, recent output folders emptied when they
// are not kept, and config.ini saved.
int run_window_mode(Application& app, const WindowMode& window);

// Start-up, mode choice and shutdown. Takes the single-instance lock (a
// second instance ends with kExitInstanceRunning, silently without
// arguments, with one line on standard error otherwise), runs the command
// line, and when it returns runs the window mode.
int run_application(int argc, char** argv, const CommandLineFrontEnd& command_line,
                    const WindowMode& window);

} // namespace pixlane
