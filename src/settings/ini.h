// Reader of INI text: group lines in square brackets, "key = value" lines,
// ";" comments. Groups and keys match without regard to case; blanks and
// tabs around values are ignored. Used by config.ini and by profiles.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pixlane {

struct IniGroup {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries; // in file order
    std::vector<int> entry_lines;                             // the line (from 1) of each entry
    // Lines of the group that are neither a key with "=" nor a comment, with
    // their line numbers: readers that check their files name them.
    std::vector<std::pair<int, std::string>> stray_lines;
};

// The largest INI file read (profiles, config.ini): far above any real
// one, so a huge file cannot take the program's memory.
inline constexpr std::int64_t kIniMaxBytes = std::int64_t{1} << 20;

class IniFile {
  public:
    // Reads a file; nullopt when it is not a plain file, is larger than
    // kIniMaxBytes, or cannot be opened or read. A file starting with the
    // UTF-8 byte-order mark is UTF-8; without it, valid UTF-8 is taken as
    // such and anything else as Windows-1252 (files of older installations).
    static std::optional<IniFile> load(const std::string& path);
    // Parses text that is already UTF-8 (a byte-order mark is skipped).
    static IniFile parse(std::string_view text);

    // The first group of that name, or nullptr.
    const IniGroup* group(std::string_view name) const;
    // The value of the first such key in the group, or nullopt.
    std::optional<std::string> value(std::string_view group, std::string_view key) const;

    std::string text(std::string_view group, std::string_view key, std::string_view fallback) const;
    // The leading integer of the value ("12abc" reads 12, "abc" reads 0).
    std::int64_t integer(std::string_view group, std::string_view key, std::int64_t fallback) const;

    const std::vector<IniGroup>& groups() const { return m_groups; }

  private:
    std::vector<IniGroup> m_groups;
};

// The leading decimal integer of a text, after blanks and tabs, with an
// optional sign; 0 when there are no digits.
std::int64_t leading_integer(std::string_view text);

// Text decoded for reading: BOM-marked UTF-8, valid UTF-8, else Windows-1252.
std::string decode_text_file(std::string_view bytes);
bool is_valid_utf8(std::string_view bytes);
std::string windows1252_to_utf8(std::string_view bytes);

} // namespace pixlane
