// Colour texts: six hexadecimal digits, red, green, blue ("FF8000").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pixlane {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A text of exactly six characters is read as three hexadecimal pairs (an
// invalid pair reads as 0); any other length gives black.
Rgb parse_colour(std::string_view text);

// Six upper-case hexadecimal digits.
std::string colour_text(Rgb c);

} // namespace pixlane
