// Built-in English language table: texts addressed as group/key, looked up
// without regard to case, with "%s1%".."%s4%" substitution, and the message
// box interface the window mode implements.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pixlane {

// One pair of the built-in table. A pair whose key is "_GROUP_" opens a group
// named by its text; the pair whose key is "_END_" ends the table.
struct LanguagePair {
    const char* key;
    const char* text;
};

// The built-in table, in table order, ending with {"_END_", ""}.
extern const LanguagePair kBuiltinLanguage[];
extern const std::size_t kBuiltinLanguageSize;

inline constexpr std::string_view kNoStringError = "%NO_STRING_ERROR%";

// One language the Preferences dialog offers, named in its own language.
struct LanguageChoice {
    std::string code;
    std::string name;
};

// The loaded form: upper-cased keys sorted within each group, a first-letter
// index per group and the group found by the previous lookup.
class LanguageTable {
  public:
    LanguageTable() = default;

    // Builds the loaded form from pairs ending with "_END_" (or at count).
    void load(const LanguagePair* pairs, std::size_t count);
    void load_builtin() { load(kBuiltinLanguage, kBuiltinLanguageSize); }

    // The entry's text, or "%NO_STRING_ERROR%" when the group or key is
    // missing. Group and key are matched without regard to case.
    std::string text(std::string_view group, std::string_view key) const;

    // The languages installed beside the program when the table was
    // loaded; empty for a table loaded without looking.
    const std::vector<LanguageChoice>& choices() const { return m_choices; }
    void set_choices(std::vector<LanguageChoice> choices) { m_choices = std::move(choices); }

    std::size_t group_count() const { return m_groups.size() - 1; }
    std::size_t entry_count() const { return m_keys.size() - 1; }

  private:
    struct Group {
        std::string name; // upper case
        std::size_t first = 0;
        std::size_t last = 0; // first > last when empty
        std::size_t first_letter[256] = {};
    };
    std::vector<Group> m_groups{1};     // index 0 holds no group
    std::vector<std::string> m_keys{1}; // index 0 holds no entry
    std::vector<std::string> m_texts{1};
    mutable std::atomic<std::size_t> m_remembered{0};
    std::vector<LanguageChoice> m_choices;
};

// Fills "%s1%".."%s4%" (matched without regard to case); an empty argument
// leaves its placeholder in the text.
std::string substitute(std::string text, std::string_view s1 = {}, std::string_view s2 = {},
                       std::string_view s3 = {}, std::string_view s4 = {});

// The standard message boxes. The window mode implements them; in console
// mode nothing calls them.
enum class Question {
    NewUpdate,       // New Update / New Update Text, question icon
    CheckForUpdates, // Check for Updates / Ask check for updates
    ResetToDefaults, // Reset to Defaults / Ask reset to defaults
    OverwriteFile,   // Warning / Ask overwrite file, warning icon
    BreakImport,     // Warning / Ask break import
    BreakExport,     // Warning / Ask break export
    BreakConversion, // Warning / Ask break conversion
};

struct QuestionText {
    const char* title_key;   // key in group Msg
    const char* message_key; // key in group Msg
    bool warning_icon;       // false: question icon
};
QuestionText question_text(Question q);

class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // Title Msg/Error, OK button, error icon.
    virtual void show_error(const std::string& message) = 0;
    // Title Msg/Warning, OK button, warning icon.
    virtual void show_warning(const std::string& message) = 0;
    // Yes/No box; true only when Yes is pressed.
    virtual bool ask(Question q) = 0;
};

} // namespace pixlane
