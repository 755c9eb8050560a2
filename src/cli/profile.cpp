#include "cli/profile.h"

#include <algorithm>
#include <charconv>
#include <span>
#include <variant>

#include "cli/arguments.h"
#include "cli/options.h"
#include "settings/ini.h"
#include "settings/keys.h"
#include "settings/keywords.h"
#include "util/strings.h"

namespace pixlane::cli {

namespace {
constexpr std::string_view kProfileGroup = "CLI";
constexpr std::string_view kFilenameMaskOption = "--FILENAME-MASK";

std::string_view profile_name(const SettingKey& row) {
    return row.profile_option.empty() ? row.option : row.profile_option;
}

// Every profile key, lower case, for the nearest-name hint.
std::span<const std::string> profile_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> v;
        for (const auto& row : setting_keys()) {
            if (!profile_name(row).empty()) {
                v.push_back(to_lower(profile_name(row)));
            }
        }
        return v;
    }();
    return names;
}

bool same_value(const Settings& a, const Settings& b, const FieldRef& field) {
    return std::visit([&](auto member) { return a.*member == b.*member; }, field);
}

// The value that gives the row's field its value in `s`, as a profile
// line writes it; nothing when no line can.
std::optional<std::string> value_text(const SettingKey& row, const Settings& s) {
    switch (row.option_class) {
    case OptionClass::Integer: return std::to_string(get_int(s, row.field));
    case OptionClass::Decimal: {
        const auto* member = std::get_if<float Settings::*>(&row.field);
        if (member == nullptr) {
            return std::nullopt;
        }
        char buffer[32];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, s.**member);
        return ec == std::errc{} ? std::optional<std::string>(std::string(buffer, end))
                                 : std::nullopt;
    }
    case OptionClass::Keyword: {
        std::string word = keyword_name(row.keywords, get_int(s, row.field));
        return word.empty() ? std::nullopt : std::optional<std::string>(std::move(word));
    }
    case OptionClass::Text: {
        const std::string* text = text_field(s, row.field);
        if (text == nullptr || *text != trim(*text) ||
            text->find_first_of("\r\n") != std::string::npos ||
            (row.option == kFilenameMaskOption &&
             (text->starts_with('"') || text->ends_with('"')))) {
            return std::nullopt;
        }
        return *text;
    }
    case OptionClass::Flag:
    case OptionClass::None: break;
    }
    return std::nullopt;
}

} // namespace

bool load_profile(const std::string& path, Settings& s, std::vector<std::string>* warnings) {
    // Only a plain file is read: a folder is no profile.
    const auto ini = IniFile::load(path);
    if (!ini) {
        return false;
    }
    std::vector<std::pair<int, std::string>> mistakes; // by line
    auto warn = [&](int line, std::string text) { mistakes.emplace_back(line, std::move(text)); };
    bool found = false;
    // The group may be written in several parts; they are read in file order.
    for (const auto& group : ini->groups()) {
        if (!iequals(group.name, kProfileGroup)) {
            continue;
        }
        found = true;
        for (const auto& [line, text] : group.stray_lines) {
            warn(line, "not a setting: " + text);
        }
        for (std::size_t i = 0; i < group.entries.size(); ++i) {
            const auto& [key, raw_value] = group.entries[i];
            const SettingKey* row = find_profile_option(to_upper(trim(key)));
            if (row == nullptr) {
                warn(group.entry_lines[i], unknown_option_warning(trim(key), profile_names()));
                continue;
            }
            std::string value(trim(raw_value));
            if (row->option == kFilenameMaskOption) {
                value = strip_quotes(value);
            }
            apply_option_value(*row, value, s);
        }
    }
    if (warnings != nullptr) {
        std::stable_sort(mistakes.begin(), mistakes.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [line, text] : mistakes) {
            warnings->push_back(path + ":" + std::to_string(line) + ": " + text);
        }
        if (!found) {
            warnings->push_back(path + ": no [CLI] group; nothing was read from it");
        }
    }
    return true;
}

std::string profile_text(const Settings& s, const Settings& defaults, const std::string& command,
                         std::vector<std::string>& not_kept) {
    std::string text = "; " + command + "\n[" + std::string(kProfileGroup) + "]\n";
    // What the lines written so far make of the defaults.
    Settings made = defaults;
    auto write = [&](const SettingKey& row, const std::string& value) {
        text += std::string(profile_name(row)) + "=" + value + "\n";
        apply_option_value(row, value, made);
    };
    // Values first: their options also switch steps on, which a flag after
    // them may switch off again.
    for (const auto& row : setting_keys()) {
        if (profile_name(row).empty() || row.option_class == OptionClass::Flag ||
            same_value(made, s, row.field)) {
            continue;
        }
        if (auto value = value_text(row, s)) {
            write(row, *value);
        }
    }
    for (const auto& row : setting_keys()) {
        if (!profile_name(row).empty() && row.option_class == OptionClass::Flag &&
            !same_value(made, s, row.field) && get_int(s, row.field) == row.flag_value) {
            write(row, "1");
        }
    }
    for (const auto& row : setting_keys()) {
        if (!profile_name(row).empty() && !same_value(made, s, row.field)) {
            not_kept.push_back(to_lower(profile_name(row)));
        }
    }
    return text;
}

} // namespace pixlane::cli
