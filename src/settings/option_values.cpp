#include "settings/option_values.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <variant>

#include "settings/keywords.h"
#include "util/strings.h"

namespace pixlane {

namespace {

// Skips blanks and tabs, then reads an optional sign; true for "-".
bool skip_blanks_and_sign(std::string_view& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    return negative;
}

// A digit's value, or 99 (no base takes it) for anything else.
int digit_value(char c) {
    const int v = hex_digit(c);
    return v < 0 ? 99 : v;
}

} // namespace

std::int64_t read_integer(std::string_view text) {
    const bool negative = skip_blanks_and_sign(text);
    unsigned base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (!text.empty() && text.front() == '%') {
        base = 2;
        text.remove_prefix(1);
    }
    // Unsigned arithmetic wraps instead of overflowing; the field's width
    // decides what is kept.
    std::uint64_t v = 0;
    for (const char c : text) {
        const int d = digit_value(c);
        if (d < 0 || static_cast<unsigned>(d) >= base) {
            break;
        }
        v = v * base + static_cast<unsigned>(d);
    }
    if (negative) {
        v = ~v + 1;
    }
    return static_cast<std::int64_t>(v);
}

float read_decimal(std::string_view text) {
    const bool negative = skip_blanks_and_sign(text);
    if (text.empty() || text.front() == '+' || text.front() == '-') {
        return 0.0f;
    }
    float v = 0.0f;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), v,
                        std::chars_format::fixed | std::chars_format::scientific);
    if (ec != std::errc{} || !std::isfinite(v)) {
        return 0.0f;
    }
    (void)end;
    return negative ? -v : v;
}

void apply_option_value(const SettingKey& row, std::string_view value, Settings& s) {
    switch (row.option_class) {
    case OptionClass::None: return;
    case OptionClass::Flag: set_int(s, row.field, row.flag_value); break;
    case OptionClass::Integer: set_int(s, row.field, read_integer(value)); break;
    case OptionClass::Decimal:
        // Only 32-bit floating-point fields take decimal values.
        if (const auto* member = std::get_if<float Settings::*>(&row.field)) {
            s.** member = read_decimal(value);
        }
        break;
    case OptionClass::Keyword: set_int(s, row.field, keyword_value(row.keywords, value)); break;
    case OptionClass::Text:
        if (auto* text = text_field(s, row.field)) {
            *text = std::string(value);
        }
        break;
    }
    if (row.also_sets) {
        set_int(s, row.also_sets->field, row.also_sets->value);
    }
}

std::string_view profile_name(const SettingKey& row) {
    return row.profile_option.empty() ? row.option : row.profile_option;
}

namespace {

constexpr std::string_view kFilenameMaskOption = "--FILENAME-MASK";

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

namespace {

constexpr std::string_view kProfileGroup = "CLI";

// "KEY=value" for each option that turns `defaults` into `s`: values
// first (their options also switch steps on, which a flag after them may
// switch off again), then flags. Keys by `name_of`.
std::vector<std::string> option_lines(const Settings& s, const Settings& defaults,
                                      std::vector<std::string>& not_kept,
                                      std::string_view (*name_of)(const SettingKey&)) {
    std::vector<std::string> lines;
    // What the lines so far make of the defaults.
    Settings made = defaults;
    auto write = [&](const SettingKey& row, const std::string& value) {
        lines.push_back(std::string(name_of(row)) + "=" + value);
        apply_option_value(row, value, made);
    };
    for (const auto& row : setting_keys()) {
        if (name_of(row).empty() || row.option_class == OptionClass::Flag ||
            same_value(made, s, row.field)) {
            continue;
        }
        if (auto value = value_text(row, s)) {
            write(row, *value);
        }
    }
    for (const auto& row : setting_keys()) {
        if (!name_of(row).empty() && row.option_class == OptionClass::Flag &&
            !same_value(made, s, row.field) && get_int(s, row.field) == row.flag_value) {
            write(row, "1");
        }
    }
    for (const auto& row : setting_keys()) {
        if (!name_of(row).empty() && !same_value(made, s, row.field)) {
            not_kept.push_back(to_lower(name_of(row)));
        }
    }
    return lines;
}

std::string_view option_name(const SettingKey& row) { return row.option; }

} // namespace

std::string profile_text(const Settings& s, const Settings& defaults, const std::string& command,
                         std::vector<std::string>& not_kept) {
    std::string text = "; " + command + "\n[" + std::string(kProfileGroup) + "]\n";
    for (const auto& line : option_lines(s, defaults, not_kept, profile_name)) {
        text += line + "\n";
    }
    return text;
}

std::vector<std::string> profile_arguments(const Settings& s, const Settings& defaults,
                                           std::vector<std::string>& not_kept) {
    std::vector<std::string> arguments;
    for (const auto& line : option_lines(s, defaults, not_kept, option_name)) {
        const auto eq = line.find('=');
        const SettingKey* row = find_option(line.substr(0, eq));
        // A flag needs no value on the command line.
        arguments.push_back(row != nullptr && row->option_class == OptionClass::Flag
                                ? to_lower(line.substr(0, eq))
                                : to_lower(line.substr(0, eq)) + line.substr(eq));
    }
    return arguments;
}

} // namespace pixlane
