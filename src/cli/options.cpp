#include "cli/options.h"

#include <variant>

#include "cli/arguments.h"
#include "settings/keywords.h"

namespace pixlane::cli {

bool value_is_missing(std::string_view value) { return value.empty() || value.starts_with("--"); }

bool value_is_refused(const SettingKey& row, std::string_view value) {
    return row.option_class != OptionClass::Flag && value_is_missing(value);
}

void apply_option_value(const SettingKey& row, std::string_view value, Settings& s) {
    switch (row.option_class) {
    case OptionClass::None:
        return;
    case OptionClass::Flag:
        set_int(s, row.field, row.flag_value);
        break;
    case OptionClass::Integer:
        set_int(s, row.field, read_integer(value));
        break;
    case OptionClass::Decimal:
        // Only 32-bit floating-point fields take decimal values.
        if (const auto* member = std::get_if<float Settings::*>(&row.field)) {
            s.**member = read_decimal(value);
        }
        break;
    case OptionClass::Keyword:
        set_int(s, row.field, keyword_value(row.keywords, value));
        break;
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

} // namespace pixlane::cli
