#include "ui/preferences_logic.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

#include "base/translations.h"
#include "formats/catalogue.h"
#include "formats/extensions.h"
#include "settings/keywords.h"
#include "ui/main_window_logic.h"
#include "util/strings.h"

namespace pixlane {
namespace {

constexpr std::string_view kGroup = "Preferences";

// A Preferences text; `fallback` when the table has no such key.
std::string text_or(const LanguageTable& language, std::string_view key, std::string fallback) {
    std::string t = language.text(kGroup, key);
    return t == kNoStringError ? fallback : t;
}

std::vector<std::string_view> split_commas(std::string_view list) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(',', start);
        if (comma == std::string_view::npos) {
            comma = list.size();
        }
        parts.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return parts;
}

// The items of a list row: the keys of `items`, storing 0, 1, ..., or one
// item per value of the row's keyword table, worded by the keyword's key
// where the table has one.
std::vector<ListItem> fixed_items(const SettingKey& row, const LanguageTable& language) {
    std::vector<ListItem> items;
    if (!row.prefs.items.empty()) {
        for (std::string_view key : split_commas(row.prefs.items)) {
            const std::int32_t value = static_cast<std::int32_t>(items.size());
            items.push_back({text_or(language, key, std::string(key)), value, {}, {}});
        }
        return items;
    }
    for (const Keyword& k : keyword_table(row.keywords)) {
        const bool seen = std::any_of(items.begin(), items.end(),
                                      [&](const ListItem& i) { return i.value == k.value; });
        if (!seen) {
            items.push_back({text_or(language, k.word, std::string(k.word)), k.value, {}, {}});
        }
    }
    return items;
}

int index_of_value(const std::vector<ListItem>& items, std::int32_t value) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].value == value) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int index_of_tag(const std::vector<ListItem>& items, std::string_view tag) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (iequals(items[i].tag, tag)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const ListItem* selected(const std::vector<ListItem>& items, int selection) {
    return selection >= 0 && selection < static_cast<int>(items.size())
               ? &items[static_cast<std::size_t>(selection)]
               : nullptr;
}

int clamp_to(const SliderRange& r, long long v) {
    return static_cast<int>(std::clamp<long long>(v, r.min, r.max));
}

// A number field's text: an optional sign and the leading digits, held to
// the 32-bit range; no digits read 0.
std::int64_t number_from_text(std::string_view text) {
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    std::int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            break;
        }
        v = std::min<std::int64_t>(v * 10 + (c - '0'), std::numeric_limits<std::int32_t>::max());
    }
    return negative ? -v : v;
}

// A text control's text as stored: without tabs and line breaks, trimmed.
std::string cleaned_text(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c != '\t' && c != '\r' && c != '\n') {
            out += c;
        }
    }
    return std::string(trim(out));
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t days_from_civil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(std::int64_t z, std::int64_t& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

struct NamedColour {
    const char* hex;
    const char* name;
};
constexpr NamedColour kNamedColours[] = {
    {"000000", "Black"},  {"C0C0C0", "Silver"}, {"808080", "Gray"},   {"FFFFFF", "White"},
    {"800000", "Maroon"}, {"FF0000", "Red"},    {"800080", "Purple"}, {"FF00FF", "Fuchsia"},
    {"008000", "Green"},  {"00FF00", "Lime"},   {"808000", "Olive"},  {"FFFF00", "Yellow"},
    {"000080", "Navy"},   {"0000FF", "Blue"},   {"008080", "Teal"},   {"00FFFF", "Aqua"},
    {"FF8000", "Orange"}, {"804000", "Brown"},  {"8000FF", "Violet"},
};

} // namespace

// --- pages ----------------------------------------------------------------

int page_of_group(std::string_view group) {
    for (std::size_t i = 0; i < kPreferencesPages.size(); ++i) {
        if (iequals(kPreferencesPages[i], group)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int take_start_page(int& start_page) {
    const int page =
        start_page >= 0 && start_page < static_cast<int>(kPreferencesPages.size()) ? start_page : 0;
    start_page = 0;
    return page;
}

// --- rows -----------------------------------------------------------------

Control resolved_control(const SettingKey& row) {
    if (page_of_group(row.group) < 0 || row.persist == Persist::ReadOnly) {
        return Control::None;
    }
    if (row.prefs.control != Control::Auto) {
        return row.prefs.control;
    }
    const bool has_items = row.keywords != Keywords::None || !row.prefs.items.empty();
    switch (row.type) {
    case FieldType::Flag: return Control::Check;
    case FieldType::Choice: return has_items ? Control::List : Control::Number;
    case FieldType::Int:
        if (row.check == Check::FormatDepth) {
            return Control::Depth;
        }
        if (row.check == Check::Range) {
            return Control::Slider;
        }
        return has_items ? Control::List : Control::Number;
    case FieldType::Float: return Control::Number;
    case FieldType::Text: return Control::Text;
    case FieldType::Colour: return Control::Colour;
    case FieldType::ColourList: return Control::None;
    case FieldType::Date: return Control::Date;
    }
    return Control::None;
}

std::vector<PrefRow> preference_rows(const LanguageTable& language) {
    std::vector<PrefRow> rows;
    for (const SettingKey& key : setting_keys()) {
        const Control control = resolved_control(key);
        if (control == Control::None) {
            continue;
        }
        const int page = page_of_group(key.group);
        if (control == Control::Unit) {
            if (!rows.empty() && rows.back().page == page && rows.back().key != nullptr) {
                rows.back().unit_key = &key;
                rows.back().units = fixed_items(key, language);
            }
            continue;
        }
        PrefRow r;
        r.key = &key;
        r.control = control;
        r.page = page;
        r.format = std::string(key.format);
        std::string label_key(key.prefs.label.empty() ? key.key : key.prefs.label);
        if (control == Control::Depth && key.prefs.label.empty()) {
            label_key = "Bits Per Pixel";
        }
        r.label = text_or(language, label_key, label_key + ":");
        if (!key.prefs.unit.empty()) {
            r.units.push_back(
                {text_or(language, key.prefs.unit, std::string(key.prefs.unit)), 0, {}, {}});
        }
        switch (control) {
        case Control::List: r.items = fixed_items(key, language); break;
        case Control::Slider:
        case Control::Gamma:
            r.range = {key.prefs.min, key.prefs.max, control == Control::Gamma};
            if (r.range.min == 0 && r.range.max == 0 && key.check == Check::Range) {
                r.range.min = static_cast<int>(std::lround(key.range_min));
                r.range.max = static_cast<int>(std::lround(key.range_max));
            }
            break;
        case Control::Depth:
            r.items.push_back({text_or(language, "Auto", "Auto"), 0, {}, {}});
            for (int depth : allowed_depths(key.format)) {
                r.items.push_back({std::to_string(depth), depth, {}, {}});
            }
            break;
        case Control::Language: {
            // Automatic, then English and every installed language by its own name.
            r.items.push_back({text_or(language, "Language Automatic", "Automatic"),
                               0,
                               std::string(kAutomaticLanguage),
                               {}});
            std::vector<LanguageChoice> choices = language.choices();
            if (choices.empty()) {
                choices.push_back({std::string(kEnglishLanguage), "English"});
            }
            for (const LanguageChoice& choice : choices) {
                r.items.push_back(
                    {choice.name, static_cast<std::int32_t>(r.items.size()), choice.code, {}});
            }
            break;
        }
        case Control::InputFormat:
            for (std::string_view ext : kInputExtensions) {
                r.items.push_back({to_upper(ext), 0, std::string(ext), {}});
            }
            break;
        case Control::OutputFormat:
            for (const FormatItem& f : format_items(false)) {
                r.items.push_back(
                    {f.text,
                     0,
                     std::string(kOutputExtensions[static_cast<std::size_t>(f.index)]),
                     {}});
            }
            break;
        default: break;
        }
        rows.push_back(std::move(r));
        if (control == Control::Depth && key.format == "pcx") {
            // pcx is always written with RLE: a list that only shows it.
            PrefRow shown;
            shown.control = Control::List;
            shown.page = page;
            shown.format = "pcx";
            shown.label = text_or(language, "Compression", "Compression:");
            shown.items.push_back({text_or(language, "RLE", "RLE"), 0, {}, {}});
            rows.push_back(std::move(shown));
        }
    }
    return rows;
}

const PrefRow* find_row(const std::vector<PrefRow>& rows, std::string_view group,
                        std::string_view key) {
    for (const PrefRow& r : rows) {
        if (r.key != nullptr && iequals(r.key->group, group) && iequals(r.key->key, key)) {
            return &r;
        }
    }
    return nullptr;
}

std::vector<ListItem> list_items(const PrefRow& row, const Settings& s,
                                 const LanguageTable& language, const ThemeList& themes) {
    std::vector<ListItem> items;
    const SettingKey* source = nullptr;
    if (row.key != nullptr &&
        (row.control == Control::ColourList || row.control == Control::FontList)) {
        source = find_setting(row.key->group, row.key->prefs.items);
    }
    const std::string* entries = source ? text_field(s, source->field) : nullptr;
    switch (row.control) {
    case Control::ColourList:
        if (entries != nullptr) {
            for (Rgb c : colour_entries(*entries)) {
                items.push_back({colour_name(language, c), static_cast<std::int32_t>(items.size()),
                                 colour_text(c), c});
            }
        }
        return items;
    case Control::FontList:
        if (entries != nullptr) {
            for (std::string& name : font_entries(*entries)) {
                items.push_back({name, static_cast<std::int32_t>(items.size()), name, {}});
            }
        }
        return items;
    case Control::Theme: {
        std::vector<std::pair<std::string, std::string>> named;
        for (const auto& [package, display] : themes.names) {
            if (!display.empty()) {
                named.emplace_back(package, display);
            }
        }
        std::stable_sort(named.begin(), named.end(), [](const auto& a, const auto& b) {
            return to_lower(a.first) < to_lower(b.first);
        });
        for (auto& [package, display] : named) {
            items.push_back({display, static_cast<std::int32_t>(items.size()), package, {}});
        }
        if (items.empty()) {
            items.push_back({text_or(language, "None", "None"), 0, {}, {}});
        }
        return items;
    }
    default: return row.items;
    }
}

// --- load and store -------------------------------------------------------

ControlValue load_control(const PrefRow& row, const std::vector<ListItem>& items,
                          const Settings& s) {
    ControlValue v;
    if (row.key == nullptr) {
        v.selection = items.empty() ? -1 : 0;
        return v;
    }
    const FieldRef& field = row.key->field;
    const std::string* text = text_field(s, field);
    const std::string empty;
    const std::string& t = text ? *text : empty;
    switch (row.control) {
    case Control::List:
    case Control::Depth: v.selection = index_of_value(items, get_int(s, field)); break;
    case Control::Language:
        // A language no longer installed shows as English, which it loads as.
        v.selection = index_of_tag(items, t);
        if (v.selection < 0) {
            v.selection = std::max(0, index_of_tag(items, kEnglishLanguage));
        }
        break;
    case Control::Theme:
    case Control::InputFormat:
    case Control::OutputFormat: v.selection = std::max(0, index_of_tag(items, t)); break;
    case Control::FontList:
        v.selection = index_of_tag(items, t);
        if (v.selection < 0 && !items.empty()) {
            v.selection = 0;
        }
        break;
    case Control::ColourList: {
        const Rgb c = parse_colour(t);
        for (std::size_t i = 0; i < items.size() && v.selection < 0; ++i) {
            if (items[i].colour == c) {
                v.selection = static_cast<int>(i);
            }
        }
        if (v.selection < 0 && !items.empty()) {
            v.selection = 0;
        }
        break;
    }
    case Control::Check: v.checked = get_int(s, field) != 0; break;
    case Control::Number:
        if (const auto* f = std::get_if<float Settings::*>(&field)) {
            v.text = std::to_string(std::lround(s.**f));
        } else {
            v.text = std::to_string(get_int(s, field));
        }
        break;
    case Control::Text:
    case Control::ImagePath: v.text = t; break;
    case Control::Slider:
        v.value = clamp_to(row.range, get_int(s, field));
        v.text = spin_text(row.range, v.value);
        break;
    case Control::Gamma: {
        const auto* f = std::get_if<float Settings::*>(&field);
        const double gamma = f ? static_cast<double>(s.**f) : get_int(s, field);
        v.value =
            std::isfinite(gamma) ? clamp_to(row.range, std::llround(gamma * 100)) : row.range.min;
        v.text = spin_text(row.range, v.value);
        break;
    }
    case Control::Colour: v.text = colour_text(parse_colour(t)); break;
    case Control::Date: v.text = date_text(get_int(s, field)); break;
    default: break;
    }
    if (row.unit_key != nullptr) {
        v.unit_selection = index_of_value(row.units, get_int(s, row.unit_key->field));
    } else if (!row.units.empty()) {
        v.unit_selection = 0;
    }
    return v;
}

void store_control(const PrefRow& row, const std::vector<ListItem>& items, const ControlValue& v,
                   Settings& s) {
    if (row.key == nullptr) {
        return;
    }
    const FieldRef& field = row.key->field;
    std::string* text = text_field(s, field);
    const ListItem* item = selected(items, v.selection);
    switch (row.control) {
    case Control::List:
        if (item != nullptr) {
            set_int(s, field, item->value);
        }
        break;
    case Control::Depth: set_int(s, field, item != nullptr ? item->value : 0); break;
    case Control::Language:
        if (item != nullptr && text != nullptr) {
            *text = item->tag;
        }
        break;
    case Control::Theme:
    case Control::InputFormat:
    case Control::OutputFormat:
    case Control::FontList:
    case Control::ColourList:
        if (item != nullptr && text != nullptr) {
            *text = item->tag;
        }
        break;
    case Control::Check: set_int(s, field, v.checked ? 1 : 0); break;
    case Control::Number:
        if (const auto* f = std::get_if<float Settings::*>(&field)) {
            s.** f = static_cast<float>(number_from_text(v.text));
        } else {
            set_int(s, field, number_from_text(v.text));
        }
        break;
    case Control::Text:
    case Control::ImagePath:
        if (text != nullptr) {
            *text = cleaned_text(v.text);
        }
        break;
    case Control::Slider: set_int(s, field, clamp_to(row.range, v.value)); break;
    case Control::Gamma:
        if (const auto* f = std::get_if<float Settings::*>(&field)) {
            s.** f = static_cast<float>(clamp_to(row.range, v.value) / 100.0);
        }
        break;
    case Control::Colour:
        if (text != nullptr) {
            *text = colour_text(parse_colour(v.text));
        }
        break;
    case Control::Date:
        if (const auto d = parse_date_text(v.text)) {
            set_int(s, field, *d);
        }
        break;
    default: break;
    }
    if (row.unit_key != nullptr) {
        if (const ListItem* unit = selected(row.units, v.unit_selection)) {
            set_int(s, row.unit_key->field, unit->value);
        }
    }
}

// --- rules ----------------------------------------------------------------

bool holds(const When& when, const Settings& s) {
    const std::int32_t v = get_int(s, when.field);
    return v >= 0 && v < 32 && ((when.values >> v) & 1u) != 0;
}

RowState row_state(const PrefRow& row, const Settings& edited) {
    RowState state;
    if (row.key == nullptr) {
        return state;
    }
    const PrefsRow& p = row.key->prefs;
    state.shown = !p.shown_when || holds(*p.shown_when, edited);
    state.enabled = !p.enabled_when || holds(*p.enabled_when, edited);
    return state;
}

bool panel_shown(const PrefRow& row, const Settings& edited) {
    if (!row.format.empty()) {
        return iequals(row.format,
                       row.page == kOutputPage ? edited.output_format : edited.input_format);
    }
    if (row.key != nullptr && row.key->prefs.panel) {
        return holds(*row.key->prefs.panel, edited);
    }
    return true;
}

// --- slider boxes ---------------------------------------------------------

std::string spin_text(const SliderRange& r, int value) {
    if (!r.hundredths) {
        return std::to_string(value);
    }
    char buf[32];
    const int magnitude = value < 0 ? -value : value;
    std::snprintf(buf, sizeof buf, "%s%d.%02d", value < 0 ? "-" : "", magnitude / 100,
                  magnitude % 100);
    return buf;
}

std::optional<SpinEdit> typed_into_spin(const SliderRange& r, std::string_view typed, bool final) {
    const std::string_view t = trim(typed);
    std::size_t at = 0;
    bool negative = false;
    if (at < t.size() && (t[at] == '-' || t[at] == '+')) {
        negative = t[at] == '-';
        ++at;
    }
    long long whole = 0;
    int digits = 0;
    while (at < t.size() && t[at] >= '0' && t[at] <= '9' && digits < 12) {
        whole = whole * 10 + (t[at] - '0');
        ++at;
        ++digits;
    }
    long long hundredths = 0;
    int decimals = 0;
    if (r.hundredths && at < t.size() && t[at] == '.') {
        ++at;
        // Two decimals count; a third rounds them.
        while (at < t.size() && t[at] >= '0' && t[at] <= '9') {
            if (decimals < 2) {
                hundredths = hundredths * 10 + (t[at] - '0');
            } else if (decimals == 2 && t[at] >= '5') {
                ++hundredths;
            }
            ++at;
            ++decimals;
        }
        for (int k = decimals; k < 2; ++k) {
            hundredths *= 10;
        }
    }
    const bool clean = at == t.size() && decimals <= 2;
    if (digits == 0 && decimals == 0 && !final) {
        return std::nullopt; // nothing of a number yet
    }
    long long typed_value = r.hundredths ? whole * 100 + hundredths : whole;
    if (negative) {
        typed_value = -typed_value;
    }
    SpinEdit edit;
    edit.value = clamp_to(r, typed_value);
    const std::string canonical = spin_text(r, edit.value);
    if (final) {
        if (t != canonical) {
            edit.rewrite = canonical;
        }
        return edit;
    }
    // A gamma of zeros so far ("0", "0.0") may still become 0.05.
    const bool may_grow = r.hundredths && typed_value < r.min && !negative && decimals < 2;
    if (!clean || (typed_value != edit.value && !may_grow)) {
        edit.rewrite = canonical;
    }
    return edit;
}

// --- colours, fonts, dates, files -----------------------------------------

std::string colour_name(const LanguageTable& language, Rgb c) {
    const std::string hex = colour_text(c);
    for (const auto& named : kNamedColours) {
        if (hex == named.hex) {
            return text_or(language, named.name, named.name);
        }
    }
    return text_or(language, "Color", "Color") + " #" + hex;
}

std::vector<Rgb> colour_entries(std::string_view list) {
    std::vector<Rgb> colours;
    if (list.empty()) {
        return colours;
    }
    for (std::string_view part : split_commas(list)) {
        colours.push_back(parse_colour(part));
    }
    return colours;
}

std::vector<std::string> font_entries(std::string_view list) {
    std::vector<std::string> fonts;
    for (std::string_view part : split_commas(list)) {
        const std::string_view name = trim(part);
        if (!name.empty()) {
            fonts.emplace_back(name);
        }
    }
    return fonts;
}

int add_colour(std::string& list, Rgb c) {
    const std::vector<Rgb> colours = colour_entries(list);
    for (std::size_t i = 0; i < colours.size(); ++i) {
        if (colours[i] == c) {
            return static_cast<int>(i);
        }
    }
    if (!list.empty()) {
        list += ',';
    }
    list += colour_text(c);
    return static_cast<int>(colours.size());
}

int add_font(std::string& list, std::string_view name) {
    std::string plain;
    for (char ch : name) {
        if (ch != ',') {
            plain += ch;
        }
    }
    plain = std::string(trim(plain));
    if (plain.empty()) {
        return -1;
    }
    std::vector<std::string> fonts = font_entries(list);
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        if (fonts[i] == plain) {
            return static_cast<int>(i);
        }
    }
    if (!list.empty()) {
        list += ',';
    }
    list += plain;
    return static_cast<int>(fonts.size());
}

int font_style_of(bool bold, bool italic) { return (bold ? 1 : 0) + (italic ? 2 : 0); }

std::string date_text(Date d) {
    const std::int64_t seconds = d;
    const std::int64_t days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
    const std::int64_t rest = seconds - days * 86400;
    std::int64_t y = 0;
    int m = 0, day = 0;
    civil_from_days(days, y, m, day);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04lld/%02d/%02d %02d:%02d", static_cast<long long>(y), m, day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest % 3600 / 60));
    return buf;
}

std::optional<Date> parse_date_text(std::string_view text) {
    text = trim(text);
    int parts[5] = {};
    const char separators[] = {'/', '/', ' ', ':'};
    std::size_t at = 0;
    for (int k = 0; k < 5; ++k) {
        int digits = 0;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4) {
            parts[k] = parts[k] * 10 + (text[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || (k > 0 && digits > 2)) {
            return std::nullopt;
        }
        if (k < 4) {
            if (at >= text.size() || text[at] != separators[k]) {
                return std::nullopt;
            }
            ++at;
        }
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    const int y = parts[0], m = parts[1], d = parts[2], h = parts[3], i = parts[4];
    if (m < 1 || m > 12 || d < 1 || h > 23 || i > 59) {
        return std::nullopt;
    }
    const std::int64_t first = days_from_civil(y, m, 1);
    const std::int64_t next = m == 12 ? days_from_civil(y + 1, 1, 1) : days_from_civil(y, m + 1, 1);
    if (d > next - first) {
        return std::nullopt;
    }
    const std::int64_t seconds = (first + d - 1) * 86400 + h * 3600 + i * 60;
    if (seconds < std::numeric_limits<Date>::min() || seconds > std::numeric_limits<Date>::max()) {
        return std::nullopt;
    }
    return static_cast<Date>(seconds);
}

std::string watermark_image_filter(const LanguageTable& language) {
    struct Entry {
        const char* label;
        const char* patterns;
    };
    constexpr Entry kEntries[] = {
        {"Portable Network Graphics", "*.png"},
        {"Windows or OS/2 Bitmap", "*.bmp;*.rle;*.dib"},
        {"JPEG File", "*.jpg;*.jpeg;*.jpe;*.jif"},
    };
    std::string all;
    std::string entries;
    for (const auto& e : kEntries) {
        all += all.empty() ? "" : ";";
        all += e.patterns;
        entries += std::string("|") + e.label + "|" + e.patterns;
    }
    return language.text("Dialog", "All Supported Files") + "|" + all + entries + "|" +
           language.text("Dialog", "All Files") + " (*.*)|*.*";
}

// --- OK and Defaults ------------------------------------------------------

bool colour_correction_needed(const Settings& s) {
    return s.image_brightness != 0 || s.image_contrast != 0 || s.image_gamma != 1.0f ||
           s.image_invert != 0;
}

int refresh_request(const Settings& before, const Settings& after) {
    if (before.ui_theme != after.ui_theme) {
        return 1;
    }
    return before.ui_size != after.ui_size ? 2 : 0;
}

int commit_preferences(Settings& s, Settings edited) {
    edited.do_image_color_correction = colour_correction_needed(edited) ? 1 : 0;
    const int request = refresh_request(s, edited);
    s = std::move(edited);
    return request;
}

int tallest_page_height(const std::vector<RowHeight>& rows) {
    std::map<int, int> own;                 // page: its rows outside panels
    std::map<std::pair<int, int>, int> sub; // (page, panel): its rows
    for (const RowHeight& r : rows) {
        (r.panel < 0 ? own[r.page] : sub[{r.page, r.panel}]) += r.height;
    }
    std::map<int, int> panel; // page: its tallest panel
    for (const auto& [where, height] : sub) {
        panel[where.first] = std::max(panel[where.first], height);
        own.try_emplace(where.first, 0);
    }
    int tallest = 0;
    for (const auto& [page, height] : own) {
        tallest = std::max(tallest, height + panel[page]);
    }
    return tallest;
}

int dialog_inner_height(int usual, int chrome, int tallest_page, int screen) {
    const int wanted = std::max(usual, chrome + tallest_page);
    return screen > 0 ? std::min(wanted, screen) : wanted;
}

} // namespace pixlane
