#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "pipeline/opacity.h"
#include "pipeline/transform.h"
#include "settings/keys.h"
#include "support/test_bitmaps.h"

namespace pixlane {
namespace {

using test::clone;
using test::make_colours;
using test::make_palette;
using test::make_rgb;
using test::pixel;
using test::same_colour;
using test::same_pixels;

Settings rotation(int type, int angle, const char* back = "000000") {
    Settings s;
    s.do_image_rotation = 1;
    s.image_rotation_type = static_cast<std::uint8_t>(type);
    s.image_rotation = angle;
    s.image_rotation_back_color = back;
    return s;
}

TEST(TransformTest, StepsSwitchedOffOrOutOfRangeReturnTheSameBitmap) {
    Settings off;
    Settings zero_target;
    zero_target.do_image_resize = 1;
    zero_target.image_width = 0;
    zero_target.image_height = 100;
    zero_target.keep_aspect_ratio = 0; // a side of 0 follows the other only with the aspect kept
    Settings odd_unit;
    odd_unit.do_image_resize = 1;
    odd_unit.image_width = 10;
    odd_unit.image_height = 10;
    odd_unit.image_width_unit = 2;

    struct Case {
        const char* name;
        Bitmap (*step)(Bitmap, const Settings&);
        Settings settings;
        unsigned bpp;
    };
    const Case cases[] = {
        {"rotate off", rotate, off, 8},
        {"angle 0", rotate, rotation(0, 0), 8},
        {"angle 360", rotate, rotation(0, 360), 8},
        {"angle -90", rotate, rotation(1, -90), 24},
        {"unknown rotation type", rotate, rotation(2, 90), 8},
        {"resize off", resize, off, 24},
        {"zero target", resize, zero_target, 24},
        {"unknown unit", resize, odd_unit, 24},
        {"flip off", flip, off, 32},
    };
    for (const auto& c : cases) {
        Bitmap in = c.bpp == 8 ? make_palette(6, 4, 8) : make_rgb(6, 4, c.bpp);
        const Bitmap before = clone(in);
        FIBITMAP* raw = in.get();
        const Bitmap out = c.step(std::move(in), c.settings);
        EXPECT_EQ(out.get(), raw) << c.name;
        EXPECT_TRUE(same_pixels(out, before)) << c.name;
    }
    EXPECT_EQ(rotate(nullptr, rotation(0, 90)), nullptr);
    EXPECT_EQ(flip(nullptr, off), nullptr);
}

TEST(TransformTest, SimpleQuarterTurnSwapsSidesCounterClockwise) {
    const Bitmap src = make_rgb(5, 3, 24);
    const Bitmap out = rotate(clone(src), rotation(0, 90));
    ASSERT_TRUE(out);
    EXPECT_EQ(width_of(out), 3);
    EXPECT_EQ(height_of(out), 5);
    // Rows count from the bottom: the source's right column becomes the top.
    for (unsigned y = 0; y < 5; ++y) {
        for (unsigned x = 0; x < 3; ++x) {
            EXPECT_TRUE(same_colour(pixel(out, x, y), pixel(src, y, 2 - x), false))
                << x << "," << y;
        }
    }
}

TEST(TransformTest, RotationDepthGuardAndBackground) {
    struct Case {
        const char* name;
        Bitmap in;
        int type;
        unsigned out_bpp;
        bool same_size;
    };
    Case cases[] = {
        {"8-bit simple", make_palette(20, 10, 8), 0, 24, false},
        {"1-bit simple", make_palette(20, 10, 1), 0, 24, false},
        {"16-bit simple", make_rgb(20, 10, 16), 0, 24, false},
        {"48-bit simple", test::make_rgb48(20, 10), 0, 24, false},
        {"32-bit simple", make_rgb(20, 10, 32), 0, 32, false},
        {"8-bit advanced", make_palette(20, 10, 8), 1, 24, true},
        {"32-bit advanced", make_rgb(20, 10, 32), 1, 32, true},
    };
    for (auto& c : cases) {
        const Bitmap out = rotate(std::move(c.in), rotation(c.type, 45, "FF8000"));
        ASSERT_TRUE(out) << c.name;
        EXPECT_EQ(bpp_of(out), static_cast<int>(c.out_bpp)) << c.name;
        EXPECT_EQ(width_of(out) == 20 && height_of(out) == 10, c.same_size) << c.name;
        if (c.type == 0) {
            // The corner a 45° turn leaves uncovered has the background
            // colour; at 32 bits it is fully transparent.
            const RGBQUAD corner = pixel(out, 0, 0);
            EXPECT_TRUE(same_colour(corner, RGBQUAD{0x00, 0x80, 0xFF, 0}, c.out_bpp == 32))
                << c.name;
        }
    }
}

TEST(TransformTest, RotationKeepsAlpha) {
    Bitmap in = make_rgb(4, 6, 32);
    RGBQUAD half{1, 2, 3, 0x80};
    FreeImage_SetPixelColor(in.get(), 3, 5, &half);
    const Bitmap out = rotate(std::move(in), rotation(0, 90, "FFFFFF"));
    ASSERT_TRUE(out);
    ASSERT_EQ(bpp_of(out), 32);
    // Source (3, 5) lands at (h - 1 - 5, 3) = (0, 3).
    EXPECT_TRUE(same_colour(pixel(out, 0, 3), half, true));
    EXPECT_EQ(pixel(out, 1, 1).rgbReserved, 0xFF);
}

TEST(TransformTest, AResizeSideIsAllowedAboveZeroOrFollowingTheOther) {
    const struct {
        std::int32_t side, other;
        bool keep;
        bool allowed;
    } cases[] = {
        {200, 0, true, true}, {200, 100, false, true}, {0, 200, true, true}, {0, 200, false, false},
        {0, 0, true, false},  {-1, 200, true, false},  {-5, 0, true, false}, {0, -1, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resize_side_allowed(c.side, c.other, c.keep), c.allowed)
            << c.side << " " << c.other << " " << c.keep;
    }
}

TEST(TransformTest, ResizeTargets) {
    struct Case {
        const char* name;
        int w, h;
        int tw, th;
        int unit;
        bool keep_aspect;
        int type;
        int out_w, out_h; // 0: the same bitmap comes back
    };
    const Case cases[] = {
        {"landscape kept", 400, 300, 200, 200, 0, true, 0, 200, 150},
        {"portrait kept", 300, 400, 200, 200, 0, true, 0, 150, 200},
        {"landscape free", 400, 300, 200, 200, 0, false, 0, 200, 200},
        {"portrait free", 300, 400, 200, 200, 0, false, 0, 200, 200},
        {"square kept uses width", 300, 300, 120, 50, 0, true, 0, 120, 120},
        {"half", 400, 300, 50, 50, 1, false, 0, 200, 150},
        {"percent halves to even", 5, 7, 50, 50, 1, false, 0, 2, 4},
        {"aspect halves away", 400, 100, 10, 10, 0, true, 0, 10, 3},
        {"thin image keeps one pixel", 1000, 1, 10, 10, 0, true, 0, 10, 1},
        {"equal target", 64, 48, 64, 48, 0, false, 0, 0, 0},
        {"large: smaller stays", 320, 240, 640, 480, 0, true, 1, 0, 0},
        {"large: wider resizes", 800, 200, 640, 480, 0, true, 1, 640, 160},
        {"large: wider, free", 800, 200, 640, 480, 0, false, 1, 640, 480},
        {"large: equal stays", 640, 480, 640, 480, 0, true, 1, 0, 0},
        {"large: equal width, lower stays", 640, 100, 640, 480, 0, false, 1, 0, 0},
        {"all: smaller enlarges", 320, 240, 640, 480, 0, true, 0, 640, 480},
        {"width only, portrait", 90, 160, 200, 0, 0, true, 0, 200, 356},
        {"height only, portrait", 90, 160, 0, 80, 0, true, 0, 45, 80},
        {"width only in percent", 400, 300, 50, 0, 1, true, 0, 200, 150},
        {"width only, large: narrower stays", 90, 160, 200, 0, 0, true, 1, 0, 0},
        {"height only, large: taller shrinks", 90, 160, 0, 80, 0, true, 1, 45, 80},
        {"width only, equal stays", 90, 160, 90, 0, 0, true, 0, 0, 0},
        {"width only without the aspect: nothing", 90, 160, 200, 0, 0, false, 0, 0, 0},
        {"negative: nothing", 90, 160, 200, -1, 0, true, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Settings s;
        s.do_image_resize = 1;
        s.image_width = c.tw;
        s.image_height = c.th;
        s.image_width_unit = static_cast<std::uint8_t>(c.unit);
        s.image_height_unit = static_cast<std::uint8_t>(c.unit);
        s.keep_aspect_ratio = c.keep_aspect ? 1 : 0;
        s.image_resize_type = static_cast<std::uint8_t>(c.type);
        Bitmap in = make_rgb(static_cast<unsigned>(c.w), static_cast<unsigned>(c.h), 24);
        FIBITMAP* raw = in.get();
        const Bitmap out = resize(std::move(in), s);
        ASSERT_TRUE(out) << c.name;
        if (c.out_w == 0) {
            EXPECT_EQ(out.get(), raw) << c.name;
        } else {
            EXPECT_EQ(width_of(out), c.out_w) << c.name;
            EXPECT_EQ(height_of(out), c.out_h) << c.name;
        }
    }
}

// What the steps say of alpha afterwards holds: a quarter turn and every
// resize filter keep an opaque picture opaque; steps that may change alpha
// otherwise forget what was known.
TEST(TransformTest, StepsKeepOnlyWhatHoldsOfAlpha) {
    auto resized = [](int algorithm, int width, int height) {
        Settings s;
        s.do_image_resize = 1;
        s.image_width = width;
        s.image_height = height;
        s.image_resize_algorithm = algorithm;
        return s;
    };
    struct Case {
        const char* name;
        Bitmap (*step)(Bitmap, const Settings&);
        Settings settings;
        Opacity before, after;
    };
    std::vector<Case> cases = {
        {"quarter turn, opaque", rotate, rotation(0, 270), Opacity::Opaque, Opacity::Opaque},
        {"quarter turn, translucent", rotate, rotation(0, 90), Opacity::Translucent,
         Opacity::Translucent},
        {"30 degrees", rotate, rotation(0, 30), Opacity::Opaque, Opacity::Unknown},
        {"advanced quarter turn", rotate, rotation(1, 90), Opacity::Opaque, Opacity::Unknown},
        {"resize, translucent", resize, resized(0, 5, 3), Opacity::Translucent, Opacity::Unknown},
    };
    for (int algorithm = 0; algorithm < 6; ++algorithm) {
        for (const auto& [w, h] : {std::pair{7, 5}, std::pair{61, 43}, std::pair{19, 40}}) {
            cases.push_back({"resize, opaque", resize, resized(algorithm, w, h), Opacity::Opaque,
                             Opacity::Opaque});
        }
    }
    for (const auto& c : cases) {
        Bitmap in = make_colours(23, 17, 300, c.before == Opacity::Opaque ? 255 : 0);
        set_opacity(in.get(), c.before);
        const Bitmap out = c.step(std::move(in), c.settings);
        ASSERT_EQ(FreeImage_GetBPP(out.get()), 32U) << c.name;
        EXPECT_EQ(known_opacity(out.get()), c.after) << c.name;
        if (c.after != Opacity::Unknown) {
            set_opacity(out.get(), Opacity::Unknown);
            EXPECT_EQ(is_opaque(out.get()), c.after == Opacity::Opaque)
                << c.name << " " << c.settings.image_resize_algorithm << " "
                << c.settings.image_width;
        }
    }
}

TEST(TransformTest, ResizeFailsForRowsTooWideForTheImageLibrary) {
    // FreeImage counts a row's bits in 32 bits: these widths would wrap that
    // count to a pitch of a few bytes and the resampler would write past it.
    struct Case {
        int bpp;
        int width;
        bool resized;
    };
    const Case cases[] = {
        {32, 134'217'728, false}, // 2^32 bits: pitch 0
        {32, 134'217'729, false}, {24, 178'956'971, false},
        {32, 33'554'432, false}, // 96-bit float rows of that width wrap too
        {32, 100'000, true},
    };
    for (const auto& c : cases) {
        Settings s;
        s.do_image_resize = 1;
        s.image_width = c.width;
        s.image_height = 1;
        s.keep_aspect_ratio = 0;
        const Bitmap out = resize(make_rgb(4, 4, static_cast<unsigned>(c.bpp)), s);
        EXPECT_EQ(static_cast<bool>(out), c.resized) << c.width;
        if (out) {
            EXPECT_EQ(width_of(out), c.width);
            EXPECT_GE(FreeImage_GetPitch(out.get()), static_cast<unsigned>(c.width) * 4);
        }
    }
}

TEST(TransformTest, ResizeFilterByAlgorithm) {
    struct Case {
        int algorithm;
        FREE_IMAGE_FILTER filter;
    };
    const Case cases[] = {
        {0, FILTER_BOX},        {1, FILTER_BILINEAR}, {2, FILTER_BSPLINE}, {3, FILTER_BICUBIC},
        {4, FILTER_CATMULLROM}, {5, FILTER_LANCZOS3}, {6, FILTER_BICUBIC}, {200, FILTER_BICUBIC},
    };
    const Bitmap src = make_rgb(17, 13, 24);
    for (const auto& c : cases) {
        Settings s;
        s.do_image_resize = 1;
        s.image_width = 7;
        s.image_height = 5;
        s.keep_aspect_ratio = 0;
        s.image_resize_algorithm = static_cast<std::uint8_t>(c.algorithm);
        const Bitmap expected = adopt(FreeImage_Rescale(src.get(), 7, 5, c.filter));
        EXPECT_TRUE(same_pixels(resize(clone(src), s), expected)) << c.algorithm;
    }
    // The filters really differ on this picture, so the table is checked.
    const Bitmap box = adopt(FreeImage_Rescale(src.get(), 7, 5, FILTER_BOX));
    const Bitmap bicubic = adopt(FreeImage_Rescale(src.get(), 7, 5, FILTER_BICUBIC));
    EXPECT_FALSE(same_pixels(box, bicubic));
}

TEST(TransformTest, FlipsInPlaceAndBothEqualHalfTurn) {
    for (unsigned bpp : {1u, 8u, 24u, 32u}) {
        Bitmap in = bpp <= 8 ? make_palette(7, 5, bpp) : make_rgb(7, 5, bpp);
        Settings s;
        s.do_image_flip_horizontal = 1;
        s.do_image_flip_vertical = 1;
        const Bitmap half_turn = adopt(FreeImage_Rotate(in.get(), 180.0, nullptr));
        FIBITMAP* raw = in.get();
        const Bitmap out = flip(std::move(in), s);
        EXPECT_EQ(out.get(), raw) << bpp;
        EXPECT_TRUE(same_pixels(out, half_turn)) << bpp;
    }
    // One flip mirrors the rows only.
    const Bitmap src = make_rgb(3, 2, 24);
    Settings h;
    h.do_image_flip_horizontal = 1;
    const Bitmap out = flip(clone(src), h);
    EXPECT_TRUE(same_colour(pixel(out, 0, 0), pixel(src, 2, 0), false));
    EXPECT_TRUE(same_colour(pixel(out, 0, 1), pixel(src, 2, 1), false));
}

} // namespace
} // namespace pixlane
