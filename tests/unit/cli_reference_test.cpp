// The generated texts of the command line: --help-all, --help-tokens, the
// manual page and the bash completion follow the settings table.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/reference.h"
#include "naming/mask.h"
#include "settings/keys.h"
#include "support/test_support.h"
#include "util/strings.h"

namespace pixlane::cli {
namespace {

// The entry of `name` in --help-all: its lines joined by blanks, from the
// line that begins with the names up to the next entry or blank line.
std::string help_entry(const std::vector<std::string>& lines, const std::string& names) {
    std::string entry;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string head = "  " + names;
        if (lines[i].compare(0, head.size(), head) != 0 ||
            (lines[i].size() > head.size() && lines[i][head.size()] != ' ')) {
            continue;
        }
        entry = lines[i];
        for (std::size_t j = i + 1; j < lines.size() && lines[j].starts_with("      "); ++j) {
            entry += " " + std::string(trim(lines[j]));
        }
        break;
    }
    return entry;
}

std::string help_names(const SettingKey& row) {
    std::string names = to_lower(row.option);
    switch (row.option_class) {
    case OptionClass::Integer:
    case OptionClass::Decimal: return names + "=NUM";
    case OptionClass::Keyword: return names + "=WORD";
    case OptionClass::Text: return names + (row.type == FieldType::Colour ? "=RRGGBB" : "=STR");
    default: return names;
    }
}

std::string roff_name(std::string_view name) {
    std::string out = "\\fB";
    for (char c : name) {
        out += c == '-' ? std::string("\\-") : std::string(1, c);
    }
    return out + "\\fR";
}

// The words of a keyword table as the completion offers them: lower case,
// each once, in table order.
std::string completion_words(Keywords kind) {
    std::vector<std::string> words;
    for (const auto& k : keyword_table(kind)) {
        const std::string word = to_lower(k.word);
        if (std::find(words.begin(), words.end(), word) == words.end()) {
            words.push_back(word);
        }
    }
    std::string out;
    for (const auto& word : words) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

TEST(ReferenceTest, EveryOptionOfTheTableIsInTheHelpTheManualAndTheCompletion) {
    const auto help = help_all_lines("pixlane");
    const std::string man = man_page();
    test::TempDir dir;
    test::write_file(dir / "pixlane.bash", bash_completion());

    // One bash run answers every completion question: the option's name
    // from its full spelling, and for keyword options the words after "=".
    std::string script = "source \"$1\"\ncompopt() { :; }\n"
                         "ask() { COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); _pixlane;"
                         " echo \"${COMPREPLY[*]}\"; }\n";
    std::vector<std::string> expected;
    for (const auto& row : setting_keys()) {
        if (row.option.empty()) {
            continue;
        }
        const std::string name = to_lower(row.option);
        const bool takes_value = row.option_class != OptionClass::Flag;
        const std::string entry = help_entry(help, help_names(row));
        EXPECT_NE(entry.find(std::string(row.key)), std::string::npos) << name << ": " << entry;
        EXPECT_NE(entry.find("(default "), std::string::npos) << name << ": " << entry;
        EXPECT_NE(man.find(roff_name(name)), std::string::npos) << name;

        script += "ask pixlane " + name + "\n";
        expected.push_back(takes_value ? name + "=" : name);
        if (row.option_class == OptionClass::Keyword) {
            script += "ask pixlane " + to_upper(name) + " = ''\n";
            expected.push_back(completion_words(row.keywords));
            std::string listed = completion_words(row.keywords);
            for (auto pos = listed.find(' '); pos != std::string::npos;
                 pos = listed.find(' ', pos + 3)) {
                listed.replace(pos, 1, " | ");
            }
            EXPECT_NE(entry.find("one of " + listed), std::string::npos) << name << ": " << entry;
        }
    }
    test::write_file(dir / "ask.sh", script);
    const auto r = test::run("/bin/bash", {dir / "ask.sh", dir / "pixlane.bash"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream answers(r.out);
    std::string answer;
    for (const auto& want : expected) {
        ASSERT_TRUE(std::getline(answers, answer)) << want;
        // A name may be the start of longer ones (--rotation, --rotation-type).
        EXPECT_TRUE(answer == want ||
                    (" " + answer + " ").find(" " + want + " ") != std::string::npos)
            << want << " got " << answer;
    }
}

TEST(ReferenceTest, HelpAllShowsWhatTheTableSays) {
    const auto help = help_all_lines("pixlane");
    struct Case {
        const char* names;
        const char* part;
    };
    const Case cases[] = {
        {"--keep-aspect-ratio", "stores 1 (default 0)"}, // the command line's own default
        {"--no-subfolders", "Keep Subfolders: flag, stores 0 (default 1)"},
        {"--gamma=NUM", "decimal 0.01..9.99; also sets Do Image Color Correction to 1 (default 1)"},
        {"--png-bpp=NUM", "one of 0 (automatic) | 1 | 4 | 8 | 24 | 32 | 48 (default 0)"},
        {"--width=NUM", "integer, above 0 (0 with --keep-aspect-ratio: follows the other side)"},
        {"--fr-solid-opacity=NUM", "in a profile --wm-solid-opacity"},
        {"--max-frames=NUM", "Max Frames: integer (default 5000)"},
        {"--max-megapixels=NUM", "(default 256)"},
        {"--max-output-mb=NUM", "(default 2048)"},
        {"--jobs=NUM", "Jobs: integer (default 0)"},
        {"-c STR, --conversion=STR", "bmp | dds | exr"},
    };
    for (const auto& c : cases) {
        EXPECT_NE(help_entry(help, c.names).find(c.part), std::string::npos)
            << c.names << ": " << help_entry(help, c.names);
    }
    for (const auto& line : help) {
        EXPECT_LE(line.size(), 79u) << line;
    }
}

TEST(ReferenceTest, HelpTokensListsEveryMaskToken) {
    const auto lines = help_token_lines();
    for (const auto& token : mask_tokens()) {
        EXPECT_FALSE(token.meaning.empty()) << token.text;
        EXPECT_NE(help_entry(lines, std::string(token.text)).find(token.meaning), std::string::npos)
            << token.text;
    }
}

TEST(ReferenceTest, HiddenArgumentsPrintTheDocuments) {
    EXPECT_EQ(reference_document(kManPageArgument), man_page());
    EXPECT_EQ(reference_document(kBashCompletionArgument), bash_completion());
    EXPECT_EQ(reference_document("--help-all"), std::nullopt);
}

} // namespace
} // namespace pixlane::cli
