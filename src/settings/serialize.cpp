#include "settings/serialize.h"

#include <cstdio>
#include <cstdlib>

#include "settings/keys.h"

namespace pixlane {

SettingPairs settings_to_pairs(const Settings& s) {
    SettingPairs out;
    for (const auto& row : setting_keys()) {
        std::string name = std::string(row.group) + "/" + std::string(row.key);
        if (const auto* text = text_field(s, row.field)) {
            out.emplace_back(std::move(name), *text);
        } else if (const auto* f = std::get_if<float Settings::*>(&row.field)) {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%a", static_cast<double>(s.**f));
            out.emplace_back(std::move(name), buf);
        } else {
            out.emplace_back(std::move(name), std::to_string(get_int(s, row.field)));
        }
    }
    return out;
}

void settings_from_pairs(Settings& s, const SettingPairs& pairs) {
    for (const auto& [name, value] : pairs) {
        const auto slash = name.find('/');
        if (slash == std::string::npos) {
            continue;
        }
        const SettingKey* row = find_setting(std::string_view(name).substr(0, slash),
                                             std::string_view(name).substr(slash + 1));
        if (!row) {
            continue;
        }
        if (auto* text = text_field(s, row->field)) {
            *text = value;
        } else if (const auto* f = std::get_if<float Settings::*>(&row->field)) {
            s.**f = std::strtof(value.c_str(), nullptr);
        } else {
            set_int(s, row->field, std::strtoll(value.c_str(), nullptr, 10));
        }
    }
}

} // namespace pixlane
