#include "cli/options.h"

#include <variant>

#include "cli/arguments.h"
#include "settings/keywords.h"
#include "util/strings.h"

namespace pixlane::cli {

bool value_is_missing(std::string_view value) { return value.empty() || value.starts_with("--"); }

bool value_is_refused(const SettingKey& row, std::string_view value) {
    return row.option_class != OptionClass::Flag && value_is_missing(value);
}

std::string option_value_warning(const SettingKey& row, std::string_view value) {
    const std::string name = to_lower(row.option);
    if (row.option_class == OptionClass::Keyword) {
        const std::string word = to_upper(trim(value));
        std::string expected;
        for (const auto& k : keyword_table(row.keywords)) {
            if (k.word == word) {
                return {};
            }
            expected += (expected.empty() ? "" : ", ") + to_lower(k.word);
        }
        return name + ": unknown value " + std::string(trim(value)) + "; expected " + expected;
    }
    if (row.option_class == OptionClass::Integer && row.check == Check::None &&
        row.range_max > row.range_min) {
        const std::int64_t v = read_integer(value);
        if (v < row.range_min || v > row.range_max) {
            return name + ": " + std::to_string(v) + " is outside " +
                   std::to_string(static_cast<std::int64_t>(row.range_min)) + " to " +
                   std::to_string(static_cast<std::int64_t>(row.range_max));
        }
    }
    return {};
}

std::string unknown_option_warning(std::string_view typed, std::span<const std::string> known) {
    const std::string spelled = to_lower(typed);
    std::string warning = "unknown option " + spelled;
    const std::string* nearest = nullptr;
    std::size_t best = 0;
    for (const auto& name : known) {
        const std::size_t d = edit_distance(spelled, name);
        if (nearest == nullptr || d < best) {
            nearest = &name;
            best = d;
        }
    }
    // Close enough to be a typo: a few slips, fewer than a third of the name.
    if (nearest != nullptr && best <= std::max<std::size_t>(2, spelled.size() / 3)) {
        warning += " (did you mean " + *nearest + "?)";
    }
    return warning;
}

} // namespace pixlane::cli
