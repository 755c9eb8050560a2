#include "config/config.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "base/product.h"
#include "formats/extensions.h"
#include "platform/platform.h"
#include "settings/keys.h"
#include "util/strings.h"

namespace pixlane {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kEol = "\r\n";
constexpr std::string_view kGroupEnd = "; ";

// Layout versions at which the file changed.
constexpr std::int32_t kMaskWithExtension = 11; // masks carry "%ext%" themselves
constexpr std::int32_t kRawLoadAsExtended = 14; // RAW Load As gained "8" and "16"
constexpr std::int32_t kColorModeRenamed = 19;  // "... Color Model" became "... Color Mode"

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& list, std::string_view extension) {
    return std::find(list.begin(), list.end(), extension) != list.end();
}

// Whether the writer puts this row into the file.
bool is_written(const SettingKey& row, const Settings& s) {
    switch (row.persist) {
    case Persist::Always: return true;
    case Persist::ReadOnly: return false;
    case Persist::WindowPosition: return s.save_window_position != 0;
    case Persist::InputOption: return listed(kInputExtensions, row.format);
    case Persist::OutputOption: return listed(kOutputExtensions, row.format);
    }
    return false;
}

std::string value_text(const SettingKey& row, const Settings& s) {
    if (row.field == FieldRef{&Settings::cfg}) {
        return std::to_string(kConfigVersion);
    }
    if (const auto* text = text_field(s, row.field)) {
        // A line break inside a value (possible in folder names) would end
        // the line and let the rest pass for keys and groups of its own.
        std::string one_line = *text;
        std::replace_if(
            one_line.begin(), one_line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        return one_line;
    }
    if (const auto* f = std::get_if<float Settings::*>(&row.field)) {
        return float_text(s.**f);
    }
    return std::to_string(get_int(s, row.field));
}

// Brings a file of an older layout up to date.
void migrate(Settings& s, const IniFile& ini) {
    if (s.cfg < kMaskWithExtension && s.filename_mask.find("%ext%") == std::string::npos) {
        s.filename_mask += ".%ext%";
    }
    if (s.cfg < kRawLoadAsExtended && s.raw_load_as != 0) {
        s.raw_load_as += 2;
    }
    if (s.cfg < kColorModeRenamed) {
        const auto psd = static_cast<std::int32_t>(ini.integer("Input", "PSD Color Model", 0));
        const auto tiff = static_cast<std::int32_t>(ini.integer("Output", "TIFF Color Model", 0));
        if (psd != 0) {
            s.psd_color_mode = psd;
        }
        if (tiff != 0) {
            s.tiff_color_mode = tiff;
        }
    }
}

} // namespace

std::string float_text(float value) {
    if (std::isnan(value)) {
        return "NaN";
    }
    if (std::isinf(value)) {
        return value > 0 ? "+Infinity" : "-Infinity";
    }
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

float float_from_text(std::string_view text, float fallback) {
    text = trim(text, true);
    if (iequals(text, "+Infinity") || iequals(text, "Infinity")) {
        return std::numeric_limits<float>::infinity();
    }
    if (iequals(text, "-Infinity")) {
        return -std::numeric_limits<float>::infinity();
    }
    if (iequals(text, "NaN")) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    float value = 0;
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    return result.ec == std::errc{} ? value : fallback;
}

std::string csv_delimiter_from_name(std::string_view text) {
    const auto name = to_lower(text);
    if (name == "tab") {
        return "\t";
    }
    if (name == "space") {
        return " ";
    }
    if (name == "crlf") {
        return "\r\n";
    }
    return std::string(text);
}

std::string csv_delimiter_to_name(std::string_view text) {
    if (text == "\t") {
        return "tab";
    }
    if (text == " ") {
        return "space";
    }
    if (text == "\r\n") {
        return "crlf";
    }
    return std::string(text);
}

void read_configuration(Settings& s, const IniFile& ini, Date now) {
    // Per-key defaults: the window form, except that a file without CFG is
    // of the oldest layout, a window without position opens at 100, 100, and
    // missing dates are the present.
    Settings defaults;
    reset_to_defaults(defaults, DefaultsForm::Window, now, 0, 0);
    defaults.cfg = 0;
    defaults.x = 100;
    defaults.y = 100;

    for (const auto& row : setting_keys()) {
        if (auto* text = text_field(s, row.field)) {
            *text = ini.text(row.group, row.key, *text_field(defaults, row.field));
        } else if (const auto* f = std::get_if<float Settings::*>(&row.field)) {
            const auto value = ini.value(row.group, row.key);
            s.** f = value ? float_from_text(*value, defaults.**f) : defaults.**f;
        } else {
            set_int(s, row.field, ini.integer(row.group, row.key, get_int(defaults, row.field)));
        }
    }
    migrate(s, ini);
    s.csv_delimiter = csv_delimiter_from_name(s.csv_delimiter);
}

bool load_configuration(Settings& s, const ConfigContext& context) {
    const auto ini = IniFile::load(s.config_path);
    if (!ini) {
        reset_to_defaults(s, DefaultsForm::Window, context.now, context.desktop_width,
                          context.desktop_height);
        return false;
    }
    read_configuration(s, *ini, context.now);
    return true;
}

std::string configuration_text(const Settings& s) {
    std::string out;
    out += kBom;
    out += kEol;
    std::string_view group;
    for (const auto& row : setting_keys()) {
        if (row.group != group) {
            if (!group.empty()) {
                out.append(kGroupEnd).append(kEol);
            }
            group = row.group;
            out.append("[").append(group).append("]").append(kEol);
        }
        if (is_written(row, s)) {
            out.append(row.key).append(" = ").append(value_text(row, s)).append(kEol);
        }
    }
    if (!group.empty()) {
        out.append(kGroupEnd).append(kEol);
    }
    return out;
}

bool save_configuration(const Settings& s) {
    // CsvDelimiter is read but not written, so its tab, blank or CR LF never
    // reaches the file and the record is left untouched.
    return platform::replace_file(s.config_path, configuration_text(s));
}

bool reset_to_defaults_confirmed(Settings& s, MessageBoxes& boxes, const ConfigContext& context) {
    if (!boxes.ask(Question::ResetToDefaults)) {
        return false;
    }
    reset_to_defaults(s, DefaultsForm::Window, context.now, context.desktop_width,
                      context.desktop_height);
    save_configuration(s);
    return true;
}

} // namespace pixlane
