#include "settings/colour.h"

#include <cstdio>

#include "util/strings.h"

namespace pixlane {
namespace {

std::uint8_t pair(std::string_view two) {
    const int hi = hex_digit(two[0]);
    const int lo = hex_digit(two[1]);
    return (hi < 0 || lo < 0) ? 0 : static_cast<std::uint8_t>(hi * 16 + lo);
}

} // namespace

Rgb parse_colour(std::string_view text) {
    if (text.size() != 6) {
        return {};
    }
    return {pair(text.substr(0, 2)), pair(text.substr(2, 2)), pair(text.substr(4, 2))};
}

std::string colour_text(Rgb c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X", c.r, c.g, c.b);
    return buf;
}

} // namespace pixlane
