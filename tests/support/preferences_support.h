// Settings records for the Preferences tests: which settings differ between
// two records, and a record in which every control shows something other
// than the defaults.
#pragma once

#include <string>
#include <vector>

#include "settings/keys.h"
#include "ui/preferences_logic.h"

namespace pixlane::test {

// The settings (group/key) whose values differ.
inline std::vector<std::string> differences(const Settings& a, const Settings& b) {
    std::vector<std::string> differing;
    for (const SettingKey& row : setting_keys()) {
        bool same = true;
        if (const std::string* t = text_field(a, row.field)) {
            same = *t == *text_field(b, row.field);
        } else if (const auto* f = std::get_if<float Settings::*>(&row.field)) {
            same = a.**f == b.**f;
        } else {
            same = get_int(a, row.field) == get_int(b, row.field);
        }
        if (!same) {
            differing.push_back(std::string(row.group) + "/" + std::string(row.key));
        }
    }
    return differing;
}

// What a user makes of a control: the last list item (the first when the
// last is shown) and the last unit, the other
// state of a check, numbers up by 3, texts and colours and dates of their
// own, sliders at an end.
inline ControlValue edited_value(const PrefRow& row, const std::vector<ListItem>& items,
                                 ControlValue v) {
    switch (row.control) {
    case Control::Check: v.checked = !v.checked; break;
    case Control::Number: v.text = std::to_string(std::stoi(v.text) + 3); break;
    case Control::Text:
    case Control::ImagePath: v.text += "x"; break;
    case Control::Slider: v.value = v.value == row.range.max ? row.range.min : row.range.max; break;
    case Control::Gamma: v.value = 237; break;
    case Control::Colour: v.text = "1A2B3C"; break;
    case Control::Date: v.text = "2024/02/29 23:59"; break;
    default: {
        const int last = static_cast<int>(items.size()) - 1;
        v.selection = v.selection == last ? 0 : last;
        break;
    }
    }
    if (row.unit_key != nullptr) {
        v.unit_selection = static_cast<int>(row.units.size()) - 1;
    }
    return v;
}

// `base` with every control of `rows` edited as above.
inline Settings edited_settings(const std::vector<PrefRow>& rows, const Settings& base,
                                const LanguageTable& language, const ThemeList& themes) {
    Settings out = base;
    for (const PrefRow& row : rows) {
        const auto items = list_items(row, base, language, themes);
        store_control(row, items, edited_value(row, items, load_control(row, items, base)), out);
    }
    out.do_image_color_correction = colour_correction_needed(out) ? 1 : 0;
    return out;
}

} // namespace pixlane::test
