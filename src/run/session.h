// The process-wide records a run works on, and the exit statuses of the
// process. Both front ends fill and read them.
#pragma once

#include <string>
#include <vector>

#include "base/language.h"
#include "pipeline/input_list.h"
#include "records/records.h"
#include "run/console_request.h"
#include "settings/settings.h"

namespace pixlane {

// Exit statuses of the process.
enum ExitStatus : int {
    kExitOk = 0,              // help, version, window mode, every imported file converted
    kExitError = 1,           // an "Error: " line was printed
    kExitIncomplete = 2,      // "Conversion stopped", or fewer files converted than imported
    kExitInstanceRunning = 3, // another instance holds the single-instance lock
};

// Where the window last took files from and put them: the folder its file
// and folder dialogs start in, the list file last opened or saved, and the
// output folder field.
struct WindowPlaces {
    std::string input_folder; // ends with "/", or empty
    std::string list_path;
    std::string output_folder;
};

// The one instance of each process-wide record, from start-up to exit.
struct Session {
    Settings settings;
    // %n% and %rnd% of the next file converted; kept from batch to batch
    // until the window's New.
    NamingCounters counters;
    ConsoleRequest console; // the console's command line, resolved by its checks
    WindowPlaces window;    // where the window last took files from and put them
    ProgressRecord progress;
    LanguageTable language;
    InputList input_list;
    std::vector<std::string> args; // the arguments, without the program name
    std::string program_name;      // file name of the executable, without folder
};

} // namespace pixlane
