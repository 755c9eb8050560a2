// The reference of the command line: every option with its value class,
// keywords and default, made by walking the settings table, and the texts
// made from it: --help-all, --help-tokens, the manual page and the bash
// completion script. Nothing here lists a setting of its own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixlane::cli {

// One option as the reference shows it.
struct OptionDoc {
    std::vector<std::string> short_names; // "-i"; "-h" and "-?"; or none
    std::string long_name;                // "--input", lower case
    std::string value;              // "FILE", "NUM", "WORD", "STR", "RRGGBB"; empty: takes no value
    std::string text;               // what it sets: value class, accepted words, default
    std::vector<std::string> words; // the accepted values when they are words, lower case
};

// The options of one group: the front end's own first, then one group per
// settings-table group that has options, in table order.
struct OptionGroup {
    std::string title;      // "Main" or the config.ini group
    bool is_settings_group; // true: the config.ini group of the same name
    std::vector<OptionDoc> options;
};

std::vector<OptionGroup> option_reference();

// "--help-all": usage line and every option, descriptions from the 29th
// character, wrapped to 79 columns.
std::vector<std::string> help_all_lines(std::string_view program);

// "--help-tokens": every token of the filename mask and what it stands for.
std::vector<std::string> help_token_lines();

// The manual page pixlane(1) in roff (man macros).
std::string man_page();

// The bash completion script: option names, their keyword values, the
// output extensions of -c.
std::string bash_completion();

// The hidden first arguments the build uses to write the manual page and
// the completion script; they print without taking the single-instance lock.
inline constexpr std::string_view kManPageArgument = "--pixlane-man-page";
inline constexpr std::string_view kBashCompletionArgument = "--pixlane-bash-completion";

// The text a hidden first argument prints; nullopt for any other argument.
std::optional<std::string> reference_document(std::string_view first_argument);

// The second line of --version: the image libraries and their versions as
// the program runs with them, e.g. "FreeImage 3.18.0, DevIL 1.7.8, ...".
std::string library_versions();

} // namespace pixlane::cli
