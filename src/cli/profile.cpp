#include "cli/profile.h"

#include "cli/arguments.h"
#include "cli/options.h"
#include "settings/ini.h"
#include "settings/keys.h"
#include "util/strings.h"

namespace pixlane::cli {

namespace {
constexpr std::string_view kProfileGroup = "CLI";
constexpr std::string_view kFilenameMaskOption = "--FILENAME-MASK";
} // namespace

bool load_profile(const std::string& path, Settings& s) {
    // Only a plain file is read: a folder is no profile.
    const auto ini = IniFile::load(path);
    if (!ini) {
        return false;
    }
    // The group may be written in several parts; they are read in file order.
    for (const auto& group : ini->groups()) {
        if (!iequals(group.name, kProfileGroup)) {
            continue;
        }
        for (const auto& [key, raw_value] : group.entries) {
            const SettingKey* row = find_profile_option(to_upper(trim(key)));
            if (row == nullptr) {
                continue;
            }
            std::string value(trim(raw_value));
            if (row->option == kFilenameMaskOption) {
                value = strip_quotes(value);
            }
            apply_option_value(*row, value, s);
        }
    }
    return true;
}

} // namespace pixlane::cli
