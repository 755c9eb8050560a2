#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "settings/keys.h"
#include "settings/serialize.h"

namespace pixlane {
namespace {

TEST(SerializeTest, EverySettingSurvivesTheRoundTrip) {
    Settings in;
    int n = 3;
    for (const auto& row : setting_keys()) {
        if (auto* t = text_field(in, row.field)) {
            *t = "value\t" + std::to_string(n) + "\r\n\xC2\xA9"; // tabs, line breaks, UTF-8
        } else {
            set_int(in, row.field, n);
        }
        ++n;
    }
    in.image_gamma = 0.1f; // not exact in decimal
    Settings out;
    settings_from_pairs(out, settings_to_pairs(in));
    EXPECT_EQ(settings_to_pairs(out), settings_to_pairs(in));
    EXPECT_EQ(out.image_gamma, 0.1f);
    EXPECT_EQ(out.wm_image_rotation, in.wm_image_rotation);
    EXPECT_NE(out.wm_image_rotation, out.image_rotation);

    in.image_gamma = std::numeric_limits<float>::infinity();
    settings_from_pairs(out, settings_to_pairs(in));
    EXPECT_TRUE(std::isinf(out.image_gamma));
    settings_from_pairs(out, {{"No/Such", "1"}, {"broken", "2"}});
}

} // namespace
} // namespace pixlane
