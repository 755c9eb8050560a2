// The command-line front end: one-shot commands (help, version), the parse of
// every argument into the settings record and the job record, the console
// banner, error line and pause, and the hand-over to the batch run.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/batch.h"
#include "run/session.h"

namespace pixlane::cli {

// The batch run: called with the console open and the banner printed; returns
// the exit status of the process.
using BatchRunner = std::function<int(Session&, const BatchOptions&)>;

// Where the console lines go and how the console is titled and paused. The
// defaults are the process's own console; tests give their own.
struct ConsoleIo {
    std::FILE* out = stdout;
    std::function<void(const std::string&)> set_title = platform_set_title;
    std::function<void()> wait_for_key = platform_wait_for_key;
    std::FILE* err = stderr; // warnings

    static void platform_set_title(const std::string& title);
    static void platform_wait_for_key();
};

// What the main loop found besides the records it filled.
struct ParseResult {
    std::string error; // empty, or the message printed after "Error: "
    bool quiet = false;
    bool pause = false;
    bool strict = false;      // --STRICT: a warning is an error
    bool dry_run = false;     // --DRY-RUN
    std::string report;       // --REPORT=FILE, made absolute
    std::string save_profile; // --SAVE-PROFILE=FILE, made absolute
    int shard = 1;            // --SHARD=K/N: share K of N
    int shards = 1;
    std::vector<std::string> warnings; // texts after "Warning: ", in argument order
};

// Prepares the records for a command-line run: the job record reset with the
// program folder, the settings at their command-line defaults, the built-in
// language table loaded.
void prepare_for_parsing(Session& app);

// The main loop: every argument from the first, matched by its key against
// -I/--INPUT, -O/--OUTPUT, -C/--CONVERSION, the setting options of the
// settings table, --PROFILE, then -D/--DEBUG, -Q/--QUIET, -P/--PAUSE,
// --DRY-RUN and --REPORT (whose file must end in .csv or .json).
// Unknown keys and arguments without "-" are skipped; an unknown key and a
// value the run would silently misread leave a warning. Stops at the first
// value error.
ParseResult parse_arguments(const std::vector<std::string>& args, Settings& s,
                            ConsoleRequest& request);

// The 38 help lines, with `program` as the program's name and `input_extension`
// for the examples that name an input file.
std::vector<std::string> help_lines(std::string_view program, std::string_view input_extension);

// The banner: title, copyright line with "(c)" for "©", web address, " ".
std::vector<std::string> banner_lines();

// The executable's file name without folder and without extension.
std::string program_stem(std::string_view program_name);

// The first-argument commands that need the window: the uninstall page
// ("-U") and the screenshot mode ("-T" folder; the folder is the second
// argument's value, empty when there is none). Each returns the exit status.
// Without them both end at once with kExitOk.
struct WindowCommands {
    std::function<int(Session&)> uninstall;
    std::function<int(Session&, const std::string& folder)> screenshot;
};

// Runs the command line of `app.args`. Nullopt when the window is to open
// (no arguments, or no input option); otherwise the exit status: 0 for help
// (also --help-all and --help-tokens), version (its line, then the image
// libraries' versions), what `window` returns for -U and -T, 1 after an
// "Error: " line, else the status `batch` returns.
std::optional<int> run_command_line(Session& app, const BatchRunner& batch,
                                    const ConsoleIo& io = {}, const WindowCommands& window = {});

} // namespace pixlane::cli
