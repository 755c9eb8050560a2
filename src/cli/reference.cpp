#include "cli/reference.h"

#include <algorithm>
#include <cstdio>
#include <variant>

#include "base/product.h"
#include "formats/catalogue.h"
#include "formats/extensions.h"
#include "naming/mask.h"
#include "run/session.h"
#include "settings/keys.h"
#include "settings/keywords.h"
#include "settings/settings.h"
#include "util/strings.h"

namespace pixlane::cli {

namespace {

constexpr std::size_t kDescriptionColumn = 28; // descriptions start at the 29th character
constexpr std::size_t kLineWidth = 79;

// The front end's own options: the commands of the first argument and the
// options read besides the settings table.
struct FrontEndOption {
    std::vector<std::string> short_names;
    std::string_view long_name;
    std::string_view value;
    std::string_view text;
    bool output_extensions; // its values are the output extensions
};

const std::vector<FrontEndOption>& front_end_options() {
    // clang-format off
    static const std::vector<FrontEndOption> options = {
        {{"-h", "-?"}, "--help", "", "Display the short help and exit", false},
        {{}, "--help-all", "", "Display every option with its values and default and exit", false},
        {{}, "--help-tokens", "", "Display the tokens of the filename mask and exit", false},
        {{"-v"}, "--version", "", "Display the version and the image libraries' versions and exit",
         false},
        {{"-i"}, "--input", "FILE", "Set input file, list file (one path a line) or folder", false},
        {{"-o"}, "--output", "PATH", "Set output folder", false},
        {{"-c"}, "--conversion", "STR", "Set output extension, one of", true},
        {{}, "--profile", "FILE", "Read the settings of a profile file (lines --option=value)",
         false},
        {{}, "--strict", "", "Make an unknown option or keyword value an error, not a warning",
         false},
        {{}, "--save-profile", "FILE", "Write the settings the command line changed as a profile",
         false},
        {{}, "--shard", "K/N", "Convert share K of N of the input list (files K, K+N, ...), "
                               "numbered as in the whole run", false},
        {{}, "--dry-run", "", "List every output the run would write (marking names that exist "
                              "or clash, failing those it could not write) and write nothing",
         false},
        {{}, "--report", "FILE", "Write a report of every frame at the end, as CSV or JSON (by "
                                 "the extension .csv or .json; - for CSV on standard output)",
         false},
        {{"-q"}, "--quiet", "", "Don't print status messages to stdout", false},
        {{"-d"}, "--debug", "", "Print debug information to stdout", false},
        {{"-p"}, "--pause", "", "Pause at exit", false},
    };
    // clang-format on
    return options;
}

struct ExitStatus {
    int status;
    std::string_view meaning;
};

constexpr ExitStatus kExitStatuses[] = {
    {kExitOk, "help, version, window mode, or every imported file converted"},
    {kExitError, "an \"Error: \" line was printed"},
    {kExitIncomplete, "the run ended with \"Conversion stopped\" or converted fewer files than it "
                      "imported"},
    {kExitInstanceRunning, "another instance holds the single-instance lock"},
};

std::string join(const std::vector<std::string>& words, std::string_view separator) {
    std::string out;
    for (const auto& word : words) {
        if (!out.empty()) {
            out += separator;
        }
        out += word;
    }
    return out;
}

std::string number_text(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", value);
    return buf;
}

// The words of a keyword table in table order, lower case, each once.
std::vector<std::string> keyword_words(Keywords kind) {
    std::vector<std::string> words;
    for (const auto& k : keyword_table(kind)) {
        std::string word = to_lower(k.word);
        if (std::find(words.begin(), words.end(), word) == words.end()) {
            words.push_back(std::move(word));
        }
    }
    return words;
}

const SettingKey* row_of_field(const FieldRef& field) {
    for (const auto& row : setting_keys()) {
        if (row.field == field) {
            return &row;
        }
    }
    return nullptr;
}

// The value a row has at the command-line defaults, as the user would type it.
std::string default_text(const SettingKey& row, const Settings& defaults) {
    if (row.type == FieldType::Date) {
        return "the time of the run";
    }
    if (const std::string* text = text_field(defaults, row.field)) {
        if (text->empty()) {
            return "empty";
        }
        return row.type == FieldType::Colour ? *text : "\"" + *text + "\"";
    }
    if (const auto* member = std::get_if<float Settings::*>(&row.field)) {
        return number_text(defaults.**member);
    }
    const std::int32_t value = get_int(defaults, row.field);
    if (row.option_class == OptionClass::Keyword) {
        const std::string word = keyword_name(row.keywords, value);
        if (!word.empty()) {
            return word;
        }
    }
    return std::to_string(value);
}

std::string value_name(const SettingKey& row) {
    switch (row.option_class) {
    case OptionClass::Integer:
    case OptionClass::Decimal: return "NUM";
    case OptionClass::Keyword: return "WORD";
    case OptionClass::Text: return row.type == FieldType::Colour ? "RRGGBB" : "STR";
    case OptionClass::None:
    case OptionClass::Flag: break;
    }
    return {};
}

// The value class with what the run accepts of it.
std::string value_class(const SettingKey& row, const std::vector<std::string>& words) {
    std::string text;
    switch (row.option_class) {
    case OptionClass::Flag: return "flag, stores " + std::to_string(row.flag_value);
    case OptionClass::Integer:
        text = row.type == FieldType::Date ? "integer, seconds since 1970" : "integer";
        break;
    case OptionClass::Decimal: text = "decimal"; break;
    case OptionClass::Keyword: return "one of " + join(words, " | ");
    case OptionClass::Text:
        return row.type == FieldType::Colour ? "colour, six hexadecimal digits"
                                             : "text (in double quotes it may hold blanks)";
    case OptionClass::None: break;
    }
    switch (row.check) {
    case Check::Range:
        text += " " + number_text(row.range_min) + ".." + number_text(row.range_max);
        break;
    case Check::NotZero: text += ", not 0"; break;
    case Check::ResizeSide:
        text += ", above 0 (0 with --keep-aspect-ratio: follows the other side)";
        break;
    case Check::FormatDepth: {
        std::vector<std::string> depths = {"0 (automatic)"};
        for (int depth : allowed_depths(row.format)) {
            depths.push_back(std::to_string(depth));
        }
        text = "bits per pixel, one of " + join(depths, " | ");
        break;
    }
    case Check::None:
    case Check::WatermarkFont:
    case Check::WatermarkImage: break;
    }
    return text;
}

OptionDoc setting_option(const SettingKey& row, const Settings& defaults) {
    OptionDoc doc;
    doc.long_name = to_lower(row.option);
    doc.value = value_name(row);
    if (row.option_class == OptionClass::Keyword) {
        doc.words = keyword_words(row.keywords);
    }
    doc.text = std::string(row.key);
    if (!row.format.empty()) {
        doc.text += std::string(", for ") + std::string(row.format) +
                    (row.persist == Persist::InputOption ? " input" : " output");
    }
    doc.text += ": " + value_class(row, doc.words);
    if (row.also_sets) {
        const SettingKey* other = row_of_field(row.also_sets->field);
        if (other) {
            doc.text += "; also sets " + std::string(other->key) + " to " +
                        std::to_string(row.also_sets->value);
        }
    }
    if (!row.profile_option.empty()) {
        doc.text += "; in a profile " + to_lower(row.profile_option);
    }
    doc.text += " (default " + default_text(row, defaults) + ")";
    return doc;
}

// "-i FILE, --input=FILE"
std::string names_column(const OptionDoc& doc) {
    std::vector<std::string> names;
    for (const auto& name : doc.short_names) {
        names.push_back(doc.value.empty() ? name : name + " " + doc.value);
    }
    names.push_back(doc.value.empty() ? doc.long_name : doc.long_name + "=" + doc.value);
    return join(names, ", ");
}

// Words of `text` on lines of at most `width` characters (a longer word has
// a line of its own).
std::vector<std::string> wrap(std::string_view text, std::size_t width) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t end = std::min(text.find(' ', i), text.size());
        const std::string_view word = text.substr(i, end - i);
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(std::move(line));
            line.clear();
        }
        if (!line.empty()) {
            line += ' ';
        }
        line += word;
        i = end + 1;
    }
    if (!line.empty()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

// An entry of the help texts: "  " and the names, the description from the
// 29th character (on the next line when less than two blanks would part
// them from the names), wrapped.
void add_entry(std::vector<std::string>& lines, const std::string& names, std::string_view text) {
    std::string head = "  " + names;
    if (head.size() + 2 > kDescriptionColumn) {
        lines.push_back(std::move(head));
        head.clear();
    }
    for (const auto& part : wrap(text, kLineWidth - kDescriptionColumn)) {
        head.resize(kDescriptionColumn, ' ');
        lines.push_back(head + part);
        head.clear();
    }
}

std::string group_heading(const OptionGroup& group) {
    return group.is_settings_group ? group.title + " options ([" + group.title + "] in config.ini):"
                                   : group.title + " options:";
}

// Roff text: backslashes and hyphens escaped, characters beyond ASCII as
// \[uXXXX], a leading dot or quote made harmless.
std::string roff(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            const int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
            std::uint32_t code = c & (0x3F >> extra);
            for (int k = 0; k < extra && i + 1 < text.size(); ++k) {
                code = (code << 6) | (static_cast<unsigned char>(text[++i]) & 0x3F);
            }
            char buf[16];
            std::snprintf(buf, sizeof buf, "\\[u%04X]", static_cast<unsigned>(code));
            out += buf;
        }
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

std::string roff_names(const OptionDoc& doc) {
    std::vector<std::string> names;
    for (const auto& name : doc.short_names) {
        names.push_back("\\fB" + roff(name) + "\\fR" +
                        (doc.value.empty() ? "" : " \\fI" + doc.value + "\\fR"));
    }
    names.push_back("\\fB" + roff(doc.long_name) + "\\fR" +
                    (doc.value.empty() ? "" : "=\\fI" + doc.value + "\\fR"));
    return join(names, ", ");
}

// A word list as a single-quoted shell word.
std::string shell_words(const std::vector<std::string>& words) {
    return "'" + join(words, " ") + "'";
}

} // namespace

std::vector<OptionGroup> option_reference() {
    std::vector<OptionGroup> groups;
    OptionGroup main{"Main", false, {}};
    std::vector<std::string> extensions(kOutputExtensions.begin(), kOutputExtensions.end());
    for (const auto& option : front_end_options()) {
        OptionDoc doc{option.short_names,
                      std::string(option.long_name),
                      std::string(option.value),
                      std::string(option.text),
                      {}};
        if (option.output_extensions) {
            doc.words = extensions;
            doc.text += " " + join(extensions, " | ");
        }
        main.options.push_back(std::move(doc));
    }
    groups.push_back(std::move(main));

    Settings defaults;
    reset_to_defaults(defaults, DefaultsForm::CommandLine, 0, 0, 0);
    for (const auto& row : setting_keys()) {
        if (row.option.empty()) {
            continue;
        }
        if (!groups.back().is_settings_group || groups.back().title != row.group) {
            groups.push_back({std::string(row.group), true, {}});
        }
        groups.back().options.push_back(setting_option(row, defaults));
    }
    return groups;
}

std::vector<std::string> help_all_lines(std::string_view program) {
    std::vector<std::string> lines = {
        " ", "Usage: " + std::string(program) + " -i <filename> [options]", " "};
    for (const auto& group : option_reference()) {
        lines.push_back(group_heading(group));
        lines.push_back(" ");
        for (const auto& doc : group.options) {
            add_entry(lines, names_column(doc), doc.text);
        }
        lines.push_back(" ");
    }
    lines.push_back("Option names and keywords are read without regard to case. The tokens of");
    lines.push_back("--filename-mask and --wm-text are listed by --help-tokens.");
    return lines;
}

std::vector<std::string> help_token_lines() {
    std::vector<std::string> lines = {
        " ", "Tokens of the filename mask (--filename-mask) and of the watermark text",
        "(--wm-text), found without regard to case:", " "};
    for (const auto& token : mask_tokens()) {
        add_entry(lines, std::string(token.text), token.meaning);
    }
    lines.push_back(" ");
    lines.push_back(
        "The default mask is \"%filename%.%ext%\". When every frame of an animation is");
    lines.push_back(
        "converted (--gif-frame-loading=all) and the mask has no %frame%, [1], [2], ...");
    lines.push_back("go before the extension.");
    return lines;
}

std::string man_page() {
    const std::string title = title_text();
    std::string out;
    out += ".\\\" The manual page of pixlane, written by pixlane " + std::string(kManPageArgument) +
           " from its option table.\n";
    out += ".TH PIXLANE 1 \"\" \"" + title + "\" \"User Commands\"\n";
    const std::string formats = std::to_string(output_catalogue().size());
    out += ".SH NAME\npixlane \\- batch converter of GIF images to " + formats + " image formats\n";
    out += ".SH SYNOPSIS\n.B pixlane\n.RB [ \\-i\n.IR FILE ]\n.RI [ options ]\n";
    out += ".SH DESCRIPTION\n"
           ".B pixlane\n"
           "converts GIF images (single files, folder trees, list files) into one of " +
           formats +
           " raster "
           "formats: every frame of an animation, or one chosen frame.\n"
           "On the way it can rotate, resize, flip, colour\\-correct, grey, threshold, dither, "
           "frame and watermark the images, and it names the outputs from a filename mask.\n"
           ".PP\n"
           "With an input option it runs as a console batch tool; without one it opens its "
           "window.\n"
           "Option names and keywords are read without regard to case.\n"
           "An option's default is the value it has on the command line; the window keeps its "
           "own settings in\n.IR config.ini .\n";
    out += ".SH OPTIONS\n";
    for (const auto& group : option_reference()) {
        out += ".SS \"" + roff(group_heading(group)) + "\"\n";
        for (const auto& doc : group.options) {
            out += ".TP\n" + roff_names(doc) + "\n" + roff(doc.text) + "\n";
        }
    }
    out += ".SH \"FILENAME MASK TOKENS\"\n"
           "The tokens of\n.B \\-\\-filename\\-mask\nand\n.BR \\-\\-wm\\-text ,\n"
           "found without regard to case:\n";
    for (const auto& token : mask_tokens()) {
        out += ".TP\n.B " + roff(token.text) + "\n" + roff(token.meaning) + "\n";
    }
    out += ".SH \"EXIT STATUS\"\n";
    for (const auto& exit : kExitStatuses) {
        out += ".TP\n.B " + std::to_string(exit.status) + "\n" + roff(exit.meaning) + "\n";
    }
    const std::string settings = std::string(kVendorFolder) + "/" + std::string(kProductFolder) +
                                 "/" + std::string(kConfigFileName);
    out += ".SH FILES\n"
           ".TP\n.I $XDG_CONFIG_HOME/" +
           roff(settings) +
           "\n"
           "The settings of the window (else below\n.IR ~/.config ).\n"
           ".TP\n.I <prefix>/share/pixlane/gfx/\n"
           "The theme packages of the window (ZIP archives of theme.cfg and PNG images); a\n"
           ".I gfx/\nfolder beside the executable is used first.\n";
    out += ".SH EXAMPLES\n"
           ".EX\npixlane \\-i photos/ \\-o converted/ \\-c png\n"
           "pixlane \\-i anim.gif \\-c jpg \\-\\-jpg\\-quality=95 "
           "\\-\\-filename\\-mask=%filename%_%n%.%ext%\n"
           ".EE\n";
    return out;
}

std::string bash_completion() {
    std::vector<std::string> names;
    std::string cases;
    std::string short_cases;
    for (const auto& group : option_reference()) {
        for (const auto& doc : group.options) {
            for (const auto& name : doc.short_names) {
                names.push_back(name);
            }
            names.push_back(doc.value.empty() ? doc.long_name : doc.long_name + "=");
            if (!doc.words.empty()) {
                cases += "        " + doc.long_name + ") words=" + shell_words(doc.words) + " ;;\n";
                for (const auto& name : doc.short_names) {
                    short_cases += "        " + name + ") COMPREPLY=($(compgen -W " +
                                   shell_words(doc.words) + " -- \"$cur\")) ;;\n";
                }
            }
        }
    }
    std::string out;
    out += "# bash completion for pixlane, written by pixlane " +
           std::string(kBashCompletionArgument) + " from its option table.\n";
    out += "_pixlane()\n{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev= opt= value= prefix= words=\n"
           "    (( COMP_CWORD > 0 )) && prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    # \"--name=va\" comes as \"--name\" \"=\" \"va\" while \"=\" breaks words, else "
           "whole.\n"
           "    if [[ $cur == = ]]; then\n"
           "        opt=$prev\n"
           "    elif [[ $prev == = ]] && (( COMP_CWORD > 1 )); then\n"
           "        opt=${COMP_WORDS[COMP_CWORD-2]} value=$cur\n"
           "    elif [[ $cur == --*=* ]]; then\n"
           "        opt=${cur%%=*} value=${cur#*=} prefix=$opt=\n"
           "    fi\n"
           "    COMPREPLY=()\n"
           "    if [[ -n $opt ]]; then\n"
           "        case ${opt,,} in\n";
    out += cases;
    out += "        *) return 0 ;;\n"
           "        esac\n"
           "        COMPREPLY=($(compgen -P \"$prefix\" -W \"$words\" -- \"${value,,}\"))\n"
           "        return 0\n"
           "    fi\n"
           "    case $prev in\n";
    out += short_cases;
    out += "        -i|-I|-o|-O) return 0 ;;\n"
           "    esac\n"
           "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W " +
           shell_words(names) +
           " -- \"${cur,,}\"))\n"
           "        if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]]; then\n"
           "            compopt -o nospace 2>/dev/null\n"
           "        fi\n"
           "    fi\n"
           "    return 0\n"
           "}\n"
           "complete -o default -F _pixlane pixlane\n";
    return out;
}

std::optional<std::string> reference_document(std::string_view first_argument) {
    if (first_argument == kManPageArgument) {
        return man_page();
    }
    if (first_argument == kBashCompletionArgument) {
        return bash_completion();
    }
    return std::nullopt;
}

} // namespace pixlane::cli
