#include <gtest/gtest.h>

#include "settings/colour.h"

namespace pixlane {
namespace {

TEST(ColourTest, SixDigitsOrBlack) {
    struct Case {
        const char* text;
        Rgb rgb;
    };
    const Case cases[] = {
        {"FF8000", {255, 128, 0}}, {"ff8000", {255, 128, 0}},
        {"000000", {0, 0, 0}},     {"1A2B3C", {0x1A, 0x2B, 0x3C}},
        {"FFF", {0, 0, 0}},        {"FF80001", {0, 0, 0}},
        {"", {0, 0, 0}},           {"GG8000", {0, 128, 0}},
        {"FF 000", {255, 0, 0}},   {"#FF800", {0, 0xF8, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_colour(c.text), c.rgb) << c.text;
    }
    EXPECT_EQ(colour_text({0x1A, 0x2B, 0x3C}), "1A2B3C");
}

} // namespace
} // namespace pixlane
