#include "settings/serialize.h"

#include <charconv>
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
            // Hexadecimal float text, independent of the locale: the same bits back.
            char buf[64];
            const auto end =
                std::to_chars(buf, buf + sizeof buf, s.**f, std::chars_format::hex).ptr;
            out.emplace_back(std::move(name), std::string(buf, end));
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
            float v = 0.0f;
            std::from_chars(value.data(), value.data() + value.size(), v, std::chars_format::hex);
            s.** f = v;
        } else {
            set_int(s, row->field, std::strtoll(value.c_str(), nullptr, 10));
        }
    }
}

} // namespace pixlane
