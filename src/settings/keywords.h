// The 23 keyword tables of the command line: the words a user types for an
// option's value and the small integers the settings record stores.
//
// Forward: the value of the first entry whose word equals the upper-cased,
// trimmed text, else 0. Reverse: the lower-case word of the first entry in
// table order with that value, else the empty text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pixlane {

struct Keyword {
    std::string_view word;
    std::int32_t value;
};

inline constexpr int kKeywordKinds = 23;

std::span<const Keyword> keyword_table(int kind);
std::int32_t keyword_value(int kind, std::string_view text);
std::string keyword_name(int kind, std::int32_t value);

} // namespace pixlane
