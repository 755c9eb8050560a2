#include "settings/ini.h"

#include <limits>

#include "platform/platform.h"
#include "util/strings.h"

namespace pixlane {

namespace {
constexpr std::string_view kBom = "\xEF\xBB\xBF";
} // namespace

bool is_valid_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        int extra = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(extra) >= s.size()) {
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        static constexpr std::uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

std::string windows1252_to_utf8(std::string_view s) {
    // Code points of 0x80..0x9F; 0 where the code page leaves a hole.
    static constexpr std::uint16_t kHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        std::uint32_t cp = c;
        if (c >= 0x80 && c <= 0x9F) {
            cp = kHigh[c - 0x80] ? kHigh[c - 0x80] : c;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string decode_text_file(std::string_view bytes) {
    if (bytes.substr(0, kBom.size()) == kBom) {
        return std::string(bytes.substr(kBom.size()));
    }
    if (is_valid_utf8(bytes)) {
        return std::string(bytes);
    }
    return windows1252_to_utf8(bytes);
}

std::int64_t leading_integer(std::string_view text) {
    text = trim(text, true);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        if (v < std::numeric_limits<std::int64_t>::max() / 10) {
            v = v * 10 + (c - '0');
        }
    }
    return negative ? -v : v;
}

std::optional<IniFile> IniFile::load(const std::string& path) {
    // Only a plain file is read (a folder would read as an empty file, a
    // device without end, and a pipe without a writer would never open), only
    // up to the cap, and a read that fails is no file.
    const auto bytes = platform::read_plain_file(path, kIniMaxBytes);
    if (!bytes) {
        return std::nullopt;
    }
    return parse(decode_text_file(*bytes));
}

IniFile IniFile::parse(std::string_view text) {
    if (text.substr(0, kBom.size()) == kBom) {
        text.remove_prefix(kBom.size());
    }
    IniFile ini;
    IniGroup* current = nullptr;
    int line_number = 1;
    while (!text.empty()) {
        auto eol = text.find_first_of("\r\n");
        std::string_view line = text.substr(0, eol);
        const int number = line_number;
        if (eol != std::string_view::npos &&
            (text[eol] == '\n' || eol + 1 == text.size() || text[eol + 1] != '\n')) {
            ++line_number; // LF, or a CR standing alone
        }
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        line = trim(line, true);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            const auto close = line.find(']');
            ini.m_groups.push_back({std::string(trim(line.substr(1, close == std::string_view::npos
                                                                        ? std::string_view::npos
                                                                        : close - 1),
                                                     true)),
                                    {},
                                    {},
                                    {}});
            current = &ini.m_groups.back();
            continue;
        }
        if (current == nullptr) {
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) {
            current->stray_lines.emplace_back(number, std::string(line));
            continue;
        }
        current->entries.emplace_back(std::string(trim(line.substr(0, eq), true)),
                                      std::string(trim(line.substr(eq + 1), true)));
        current->entry_lines.push_back(number);
    }
    return ini;
}

const IniGroup* IniFile::group(std::string_view name) const {
    for (const auto& g : m_groups) {
        if (iequals(g.name, name)) {
            return &g;
        }
    }
    return nullptr;
}

std::optional<std::string> IniFile::value(std::string_view group_name, std::string_view key) const {
    // A group may appear more than once; its keys are looked up in every part.
    for (const auto& g : m_groups) {
        if (!iequals(g.name, group_name)) {
            continue;
        }
        for (const auto& [k, v] : g.entries) {
            if (iequals(k, key)) {
                return v;
            }
        }
    }
    return std::nullopt;
}

std::string IniFile::text(std::string_view group_name, std::string_view key,
                          std::string_view fallback) const {
    auto v = value(group_name, key);
    return v ? *v : std::string(fallback);
}

std::int64_t IniFile::integer(std::string_view group_name, std::string_view key,
                              std::int64_t fallback) const {
    auto v = value(group_name, key);
    return v ? leading_integer(*v) : fallback;
}

} // namespace pixlane
