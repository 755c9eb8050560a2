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

} // namespace pixlane::cli
