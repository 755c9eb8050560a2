#include "cli/front_end.h"

#include "naming/mask.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "base/language.h"
#include "base/product.h"
#include "cli/arguments.h"
#include "cli/options.h"
#include "cli/profile.h"
#include "cli/reference.h"
#include "formats/extensions.h"
#include "platform/platform.h"
#include "run/report.h"
#include "settings/keys.h"
#include "util/escape.h"
#include "util/strings.h"

namespace pixlane::cli {

namespace {

// The help text. "%s2%" is an input extension in the three lines that name
// an input file and the first output extension in the line with -c. Every
// description starts at the 29th character.
struct HelpLine {
    const char* text;
    bool names_input; // true: %s2% is an input extension; false: the first output one
};

constexpr HelpLine kHelpLines[] = {
    {" ", false},
    {"Usage: %s1% -i <filename> [options]", false},
    {" ", false},
    {"  %s1% -i example.%s2%", true},
    {"  %s1% -i c:\\tmp\\example.%s2%", true},
    {"  %s1% -i c:\\tmp\\example.%s2% -o d:\\converted", true},
    {"  %s1% -i c:\\tmp\\filelist.txt", false},
    {"  %s1% -i c:\\tmp\\ -o d:\\converted --jpg-quality=95", false},
    {"  %s1% -i c:\\tmp\\ -o d:\\converted -c %s2% --jpg-quality=95", false},
    {" ", false},
    {"Options:", false},
    {" ", false},
    {"  -h, -?, --help            Display this help and exit", false},
    {"  -i FILE, --input=FILE     Set input file/list/folder", false},
    {"  -o PATH, --output=PATH    Set output folder", false},
    {"  -c STR, --conversion=STR  Set output extension, STR = (jpg | bmp | ...)", false},
    {" ", false},
    {"Advanced options:", false},
    {" ", false},
    {"  --width=NUM               Set output image width", false},
    {"  --height=NUM              Set output image height", false},
    {"  --filename-mask=STR       Define output filename format", false},
    {"  --flip-horizontal         Flip output image horizontally", false},
    {"  --flip-vertical           Flip output image vertically", false},
    {"  --brightness=NUM          Set output image brightness, NUM = -100..100", false},
    {"  --contrast=NUM            Set output image contrast, NUM = -100..100", false},
    {"  --gamma=NUM               Set output image gamma, NUM = 0.01..9.99", false},
    {"  --invert                  Invert output image", false},
    {"  --greyscale               Greyscale output image", false},
    {"  --profile=FILE            Set configuration file with required settings", false},
    {"    ...                     Refer documentation for all available options", false},
    {" ", false},
    {"Other options:", false},
    {" ", false},
    {"  -q, --quiet               Don't print status messages to stdout", false},
    {"  -d, --debug               Print debug information to stdout", false},
    {"  -p, --pause               Pause at exit", false},
    {"  -v, --version             Display version information and exit", false},
};

constexpr std::string_view kCopyrightSign = "\u00A9";
constexpr std::string_view kProfileOption = "--PROFILE";

void print_line(std::FILE* out, std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
}

void print_lines(std::FILE* out, const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        print_line(out, line);
    }
}

bool is_key(std::string_view key, std::string_view short_key, std::string_view long_key) {
    return key == short_key || key == long_key;
}

// The value of -I, -O or -C at argument `i`: the next argument for the short
// form, the text after "=" for the long form. Empty when refused.
std::optional<std::string> path_value(const std::vector<std::string>& args, std::size_t& i,
                                      std::string_view key, bool join, bool input) {
    if (!key.starts_with("--")) {
        ++i;
    }
    std::string value = i < args.size() ? argument_value(args[i]) : std::string();
    if (input && value == kStandardInput) {
        return value;
    }
    if (value.empty() || value.front() == '-') {
        return std::nullopt;
    }
    if (join) {
        value = join_quoted(std::move(value), args, i);
    }
    return strip_quotes(value);
}

} // namespace

void ConsoleIo::platform_set_title(const std::string& title) { platform::set_console_title(title); }

void ConsoleIo::platform_wait_for_key() { platform::wait_for_key(); }

void prepare_for_parsing(Session& app) {
    app.console = ConsoleRequest{};
    app.counters = new_naming_counters();
    app.input_list.clear();
    reset_to_defaults(app.settings, DefaultsForm::CommandLine, platform::now_local(), 0, 0);
    app.language.load_builtin();
}

namespace {

// The input, output and conversion options: the request field each
// stores its value in, and whether a quoted value continues over arguments.
struct PathOption {
    std::string_view short_key;
    std::string_view long_key;
    std::string ConsoleRequest::*field;
    bool joins_quotes;
};

const PathOption* find_path_option(std::string_view key) {
    static constexpr PathOption kPathOptions[] = {
        {"-I", "--INPUT", &ConsoleRequest::input_folder, true},
        {"-O", "--OUTPUT", &ConsoleRequest::output_folder, true},
        {"-C", "--CONVERSION", &ConsoleRequest::output_extension, false},
    };
    for (const auto& option : kPathOptions) {
        if (is_key(key, option.short_key, option.long_key)) {
            return &option;
        }
    }
    return nullptr;
}

// "K/N" with 1 <= K <= N, both plain decimal numbers.
std::optional<std::pair<int, int>> read_share(std::string_view text) {
    const auto slash = text.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    auto number = [](std::string_view digits) -> std::optional<int> {
        int n = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
        if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size()) {
            return std::nullopt;
        }
        return n;
    };
    const auto k = number(text.substr(0, slash));
    const auto n = number(text.substr(slash + 1));
    if (!k || !n || *k < 1 || *k > *n) {
        return std::nullopt;
    }
    return std::pair{*k, *n};
}

// Every option the main loop knows, lower case, for the nearest-name hint.
std::span<const std::string> known_options() {
    static const std::vector<std::string> names = [] {
        // The window's first-argument commands are known, never listed.
        std::vector<std::string> v = {"-u", "-t"};
        for (const auto& group : option_reference()) {
            for (const auto& doc : group.options) {
                v.insert(v.end(), doc.short_names.begin(), doc.short_names.end());
                v.push_back(doc.long_name);
            }
        }
        return v;
    }();
    return names;
}

} // namespace

ParseResult parse_arguments(const std::vector<std::string>& args, Settings& s,
                            ConsoleRequest& job) {
    ParseResult result;
    for (const auto& argument : args) {
        result.strict = result.strict || argument_key(argument) == "--STRICT";
    }
    // Every input, in the order given: -i values and bare arguments.
    struct Given {
        std::string path;
        bool bare;
    };
    std::vector<Given> inputs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string key = argument_key(args[i]);
        if (key.empty()) {
            if (!trim(args[i]).empty()) {
                inputs.push_back({args[i], true});
            }
            continue;
        }
        if (key == kStandardInput) {
            inputs.push_back({args[i], true});
            continue;
        }
        if (const PathOption* path = find_path_option(key)) {
            const bool input = path->field == &ConsoleRequest::input_folder;
            if (input) {
                job.console_mode = true; // before the value is examined
            }
            auto value = path_value(args, i, key, path->joins_quotes, input);
            if (!value) {
                result.error = kIncorrectParameters;
                break;
            }
            if (input) {
                inputs.push_back({std::move(*value), false});
            } else {
                job.*(path->field) = std::move(*value);
            }
        } else if (const SettingKey* row = find_option(key)) {
            std::string value = argument_value(args[i]);
            if (value_is_refused(*row, value)) {
                result.error = kIncorrectParameters;
                break;
            }
            if (row->option_class == OptionClass::Text) {
                value = strip_quotes(join_quoted(std::move(value), args, i));
            }
            if (std::string warning = option_value_warning(*row, value); !warning.empty()) {
                result.warnings.push_back(std::move(warning));
            }
            apply_option_value(*row, value, s);
        } else if (key == kProfileOption) {
            std::string value = argument_value(args[i]);
            if (value_is_missing(value)) {
                result.error = kIncorrectParameters;
                break;
            }
            if (!load_profile(strip_quotes(join_quoted(std::move(value), args, i)), s,
                              &result.warnings)) {
                result.error = kInvalidProfile;
                break;
            }
        } else if (key == "--REPORT") {
            std::string value = argument_value(args[i]);
            if (value_is_missing(value)) {
                result.error = kIncorrectParameters;
                break;
            }
            value = strip_quotes(join_quoted(std::move(value), args, i));
            if (value == kReportToStandardOutput) {
                result.report = value;
                continue;
            }
            if (!report_format(value)) {
                result.error = "Invalid report file " + value + " (it must end in .csv or .json)";
                break;
            }
            result.report = platform::is_absolute(value)
                                ? value
                                : platform::join(platform::current_folder(), value);
        } else if (key == "--SAVE-PROFILE") {
            std::string value = argument_value(args[i]);
            if (value_is_missing(value)) {
                result.error = kIncorrectParameters;
                break;
            }
            value = strip_quotes(join_quoted(std::move(value), args, i));
            result.save_profile = platform::is_absolute(value)
                                      ? value
                                      : platform::join(platform::current_folder(), value);
        } else if (key == "--SHARD") {
            const std::string value = argument_value(args[i]);
            const auto share = read_share(value);
            if (!share) {
                result.error = "Invalid shard " + value + " (expected K/N, 1 <= K <= N)";
                break;
            }
            result.shard = share->first;
            result.shards = share->second;
        } else if (key == "--DRY-RUN") {
            result.dry_run = true;
        } else if (is_key(key, "-D", "--DEBUG")) {
            job.debug = true;
        } else if (is_key(key, "-Q", "--QUIET")) {
            result.quiet = true;
        } else if (is_key(key, "-P", "--PAUSE")) {
            result.pause = true;
        } else if (const auto known = known_options();
                   std::find(known.begin(), known.end(), to_lower(key)) == known.end()) {
            // One-shot commands out of first place are known and pass quietly.
            const std::string_view typed = trim(args[i]);
            result.warnings.push_back(
                unknown_option_warning(typed.substr(0, typed.find('=')), known));
        }
    }
    // With an input option every input given is converted; a bare argument
    // that names nothing is a mistake, never dropped in silence.
    if (result.error.empty() && job.console_mode) {
        for (const Given& given : inputs) {
            if (given.bare && given.path != kStandardInput && !platform::exists(given.path)) {
                result.error = given.path + " is neither an option nor a file";
                break;
            }
            if (job.input_folder.empty() && job.more_inputs.empty()) {
                job.input_folder = given.path;
            } else {
                job.more_inputs.push_back(given.path);
            }
        }
    }
    // Without one the window opens with the paths given bare in its list.
    if (result.error.empty() && !job.console_mode) {
        for (const Given& given : inputs) {
            if (given.path == kStandardInput) {
                continue;
            }
            if (!platform::exists(given.path)) {
                result.warnings.push_back(given.path + " is neither an option nor a file");
                continue;
            }
            job.window_paths.push_back(
                platform::is_absolute(given.path)
                    ? given.path
                    : platform::join(platform::current_folder(), given.path));
        }
    }
    if (result.error.empty() && job.console_mode && !s.filename_mask.empty() &&
        !mask_gives_extension(s.filename_mask)) {
        result.warnings.push_back("the filename mask gives names without an extension");
    }
    return result;
}

std::string program_stem(std::string_view program_name) {
    std::string name = platform::file_name_of(program_name);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

std::vector<std::string> help_lines(std::string_view program, std::string_view input_extension) {
    std::vector<std::string> lines;
    lines.reserve(std::size(kHelpLines));
    for (const auto& line : kHelpLines) {
        lines.push_back(substitute(line.text, program,
                                   line.names_input ? input_extension : kOutputExtensions.front()));
    }
    return lines;
}

std::vector<std::string> banner_lines() {
    std::string copyright(kCopyrightLine);
    for (auto pos = copyright.find(kCopyrightSign); pos != std::string::npos;
         pos = copyright.find(kCopyrightSign, pos)) {
        copyright.replace(pos, kCopyrightSign.size(), "(c)");
    }
    return {title_text(), copyright, std::string(kWebAddress), " "};
}

namespace {

// The profile of the parsed settings; a setting no line can keep adds a
// warning.
std::string profile_of(const std::string& path, const Session& app, const Settings& defaults,
                       std::vector<std::string>& warnings) {
    std::string command = program_stem(app.program_name) + " --profile=" + path;
    if (!app.console.output_extension.empty()) {
        command += " -c " + app.console.output_extension;
    }
    command += " -i INPUT -o OUTPUT";
    std::vector<std::string> not_kept;
    std::string text = profile_text(app.settings, defaults, command, not_kept);
    for (const auto& option : not_kept) {
        warnings.push_back("--save-profile: the value of " + option +
                           " has blanks at an end or a line break; the profile leaves it out");
    }
    return text;
}

} // namespace

std::optional<int> run_command_line(Session& app, const BatchRunner& batch, const ConsoleIo& io,
                                    const WindowCommands& window) {
    if (app.args.empty()) {
        return std::nullopt;
    }
    prepare_for_parsing(app);

    // One-shot commands, recognised only as the first argument.
    const std::string first = argument_key(app.args.front());
    if (first == "-U") {
        return window.uninstall ? window.uninstall(app) : static_cast<int>(kExitOk);
    }
    if (first == "-T") {
        const std::string folder = app.args.size() > 1 ? argument_value(app.args[1]) : "";
        return window.screenshot ? window.screenshot(app, folder) : static_cast<int>(kExitOk);
    }
    if (first == "-V" || first == "--VERSION") {
        io.set_title(title_text());
        print_line(io.out, version_text());
        print_line(io.out, library_versions());
        std::fflush(io.out);
        return kExitOk;
    }
    if (first == "--HELP-ALL" || first == "--HELP-TOKENS") {
        io.set_title(title_text());
        print_lines(io.out, first == "--HELP-ALL" ? help_all_lines(program_stem(app.program_name))
                                                  : help_token_lines());
        std::fflush(io.out);
        return kExitOk;
    }
    if (first == "-H" || first == "-?" || first == "--HELP") {
        io.set_title(title_text());
        const auto extension = kInputExtensions[static_cast<std::size_t>(new_random_value()) %
                                                kInputExtensions.size()];
        print_lines(io.out, help_lines(program_stem(app.program_name), extension));
        std::fflush(io.out);
        return kExitOk;
    }

    const Settings defaults = app.settings;
    ParseResult parsed = parse_arguments(app.args, app.settings, app.console);
    if (!parsed.error.empty()) {
        io.set_title(title_text());
        print_line(io.out, "Error: " + escaped(parsed.error));
        std::fflush(io.out);
        if (parsed.pause) {
            io.wait_for_key();
        }
        return kExitError;
    }
    if (!app.console.console_mode && parsed.save_profile.empty()) {
        // The window opens; what it will not use is said on standard error.
        for (const auto& warning : parsed.warnings) {
            print_line(io.err, "Warning: " + escaped(warning));
        }
        std::fflush(io.err);
        return std::nullopt;
    }

    io.set_title(title_text());
    const std::string profile = parsed.save_profile.empty() ? std::string()
                                                            : profile_of(parsed.save_profile, app,
                                                                         defaults, parsed.warnings);
    if (parsed.strict && !parsed.warnings.empty()) {
        print_line(io.out, "Error: " + escaped(parsed.warnings.front()));
        std::fflush(io.out);
        if (parsed.pause) {
            io.wait_for_key();
        }
        return kExitError;
    }
    for (const auto& warning : parsed.warnings) {
        print_line(io.err, "Warning: " + escaped(warning));
    }
    std::fflush(io.err);
    if (!parsed.save_profile.empty()) {
        // Written in one step, never through a link.
        const bool saved = platform::replace_file(parsed.save_profile, profile);
        if (!saved) {
            print_line(io.out,
                       "Error: " + escaped("cannot write the profile " + parsed.save_profile +
                                           ": " + std::strerror(errno)));
        }
        // Saved without an input option, the profile is all that was asked.
        if (!saved || !app.console.console_mode) {
            std::fflush(io.out);
            return saved ? kExitOk : kExitError;
        }
    }
    // Standard output may hold the report alone.
    std::FILE* talk = parsed.report == kReportToStandardOutput ? io.err : io.out;
    if (!parsed.quiet) {
        print_lines(talk, banner_lines());
    }
    std::fflush(talk);
    const BatchOptions options{parsed.quiet, parsed.dry_run, parsed.report, parsed.shard,
                               parsed.shards};
    const int status = batch ? batch(app, options) : static_cast<int>(kExitOk);
    if (parsed.pause) {
        print_line(talk, "Press any key to exit.");
        std::fflush(talk);
        io.wait_for_key();
    }
    std::fflush(io.out);
    return status;
}

} // namespace pixlane::cli
