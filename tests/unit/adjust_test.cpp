#include <gtest/gtest.h>

#include "pipeline/adjust.h"
#include "support/test_bitmaps.h"

namespace pixlane {
namespace {

using test::clone;
using test::index_at;
using test::make_grey_row;
using test::make_palette;
using test::make_rgb;
using test::pixel;
using test::same_pixels;

Bitmap make_any(unsigned bpp) {
    if (bpp == 48) {
        return test::make_rgb48(6, 4);
    }
    return bpp <= 8 ? make_palette(6, 4, bpp) : make_rgb(6, 4, bpp);
}

// The whole colour stage in job order.
Bitmap colour_stage(Bitmap b, const Settings& s) {
    b = adjust_colours(std::move(b), s);
    b = greyscale(std::move(b), s);
    b = threshold(std::move(b), s);
    return dither(std::move(b), s);
}

TEST(AdjustTest, AllStepsOffLeaveTheBitmapAndItsDepth) {
    Settings s;
    s.image_brightness = 50;
    s.image_invert = 1;
    s.image_threshold = 100;
    for (unsigned bpp : {1u, 4u, 8u, 16u, 24u, 32u, 48u}) {
        Bitmap in = make_any(bpp);
        const Bitmap before = clone(in);
        FIBITMAP* raw = in.get();
        const Bitmap out = colour_stage(std::move(in), s);
        EXPECT_EQ(out.get(), raw) << bpp;
        EXPECT_TRUE(same_pixels(out, before)) << bpp;
    }
    Settings on;
    on.do_image_color_correction = on.do_image_greyscale = 1;
    on.do_image_threshold = on.do_image_dither = 1;
    EXPECT_EQ(colour_stage(nullptr, on), nullptr);
}

TEST(AdjustTest, ColourAdjustmentDepths) {
    struct Case {
        unsigned bpp;
        unsigned out_bpp;
        bool same_bitmap;
    };
    // 8, 24 and 32 bits are adjusted in place; anything else (1, 4, 16,
    // 48) goes on as an adjusted 24-bit copy.
    const Case cases[] = {
        {1, 24, false}, {4, 24, false}, {8, 8, true},    {16, 24, false},
        {24, 24, true}, {32, 32, true}, {48, 24, false},
    };
    Settings s;
    s.do_image_color_correction = 1;
    s.image_invert = 1;
    for (const auto& c : cases) {
        Bitmap in = make_any(c.bpp);
        const Bitmap plain24 = adopt(FreeImage_ConvertTo24Bits(in.get()));
        FIBITMAP* raw = in.get();
        const Bitmap out = adjust_colours(std::move(in), s);
        ASSERT_TRUE(out) << c.bpp;
        EXPECT_EQ(bpp_of(out), static_cast<int>(c.out_bpp)) << c.bpp;
        if (c.same_bitmap) { // a converted one may reuse the freed address
            EXPECT_EQ(out.get(), raw) << c.bpp;
        }
        // Inverted: every channel is 255 minus the plain value.
        const Bitmap out24 = adopt(FreeImage_ConvertTo24Bits(out.get()));
        for (unsigned y = 0; y < 4; ++y) {
            for (unsigned x = 0; x < 6; ++x) {
                const RGBQUAD a = pixel(out24, x, y);
                const RGBQUAD b = pixel(plain24, x, y);
                EXPECT_EQ(a.rgbRed, 255 - b.rgbRed) << c.bpp << " at " << x << "," << y;
                EXPECT_EQ(a.rgbBlue, 255 - b.rgbBlue) << c.bpp << " at " << x << "," << y;
            }
        }
    }
}

TEST(AdjustTest, BrightnessContrastGammaReachThePixels) {
    const BYTE values[] = {0, 64, 128, 192, 255};
    struct Case {
        const char* name;
        int brightness;
        int contrast;
        float gamma;
    };
    const Case cases[] = {
        {"brightness", 40, 0, 1.0f},
        {"contrast", 0, 50, 1.0f},
        {"gamma", 0, 0, 2.2f},
    };
    for (const auto& c : cases) {
        Settings s;
        s.do_image_color_correction = 1;
        s.image_brightness = c.brightness;
        s.image_contrast = c.contrast;
        s.image_gamma = c.gamma;
        Bitmap expected = make_grey_row(values);
        FreeImage_AdjustColors(expected.get(), c.brightness, c.contrast, c.gamma, FALSE);
        const Bitmap out = adjust_colours(make_grey_row(values), s);
        EXPECT_TRUE(same_pixels(out, expected)) << c.name;
        EXPECT_FALSE(same_pixels(out, make_grey_row(values))) << c.name;
    }
}

TEST(AdjustTest, GreyscaleGivesEightBitGrey) {
    Settings s;
    s.do_image_greyscale = 1;
    for (unsigned bpp : {1u, 4u, 8u, 16u, 24u, 32u, 48u}) {
        Bitmap in = make_any(bpp);
        FIBITMAP* raw = in.get();
        const Bitmap out = greyscale(std::move(in), s);
        ASSERT_TRUE(out) << bpp;
        if (bpp != 48) { // the 24-bit step frees `raw`, whose address may come back
            EXPECT_NE(out.get(), raw) << bpp;
        }
        EXPECT_EQ(bpp_of(out), 8) << bpp;
        EXPECT_EQ(FreeImage_GetColorType(out.get()), FIC_MINISBLACK) << bpp;
    }
    // The 48-bit image comes out as the grey of its 24-bit form.
    const Bitmap wide = test::make_rgb48(6, 4);
    const Bitmap via24 =
        adopt(FreeImage_ConvertToGreyscale(adopt(FreeImage_ConvertTo24Bits(wide.get())).get()));
    EXPECT_TRUE(same_pixels(greyscale(clone(wide), s), via24));
}

TEST(AdjustTest, ThresholdLevelIsItsLowByte) {
    const BYTE values[] = {0, 43, 44, 45, 99, 100, 254, 255};
    struct Case {
        int level;
        int acts_as;
    };
    const Case cases[] = {{44, 44}, {300, 44}, {356, 100}, {256, 0}, {-1, 255}, {100, 100}};
    Settings s;
    s.do_image_threshold = 1;
    for (const auto& c : cases) {
        s.image_threshold = c.level;
        const Bitmap out = threshold(make_grey_row(values), s);
        ASSERT_TRUE(out) << c.level;
        ASSERT_EQ(bpp_of(out), 1) << c.level;
        for (unsigned x = 0; x < std::size(values); ++x) {
            EXPECT_EQ(index_at(out, x, 0), values[x] >= c.acts_as ? 1 : 0)
                << c.level << " value " << int(values[x]);
        }
    }
}

TEST(AdjustTest, ThresholdAndDitherGiveOneBit) {
    for (unsigned bpp : {1u, 4u, 8u, 16u, 24u, 32u, 48u}) {
        Settings s;
        s.do_image_threshold = 1;
        s.image_threshold = 128;
        s.do_image_dither = 1;
        const Bitmap both = colour_stage(make_any(bpp), s);
        ASSERT_TRUE(both) << bpp;
        EXPECT_EQ(bpp_of(both), 1) << bpp;
        s.do_image_threshold = 0;
        const Bitmap dithered = colour_stage(make_any(bpp), s);
        ASSERT_TRUE(dithered) << bpp;
        EXPECT_EQ(bpp_of(dithered), 1) << bpp;
    }
}

TEST(AdjustTest, DitherAlgorithmByValue) {
    struct Case {
        int value;
        FREE_IMAGE_DITHER algorithm;
    };
    const Case cases[] = {
        {0, FID_FS},           {1, FID_BAYER4x4},   {2, FID_BAYER8x8},
        {3, FID_BAYER16x16},   {4, FID_CLUSTER6x6}, {5, FID_CLUSTER8x8},
        {6, FID_CLUSTER16x16}, {7, FID_FS},         {255, FID_FS},
    };
    // A smooth ramp on which every algorithm leaves a different pattern.
    Bitmap ramp = adopt(FreeImage_Allocate(32, 32, 8));
    RGBQUAD* pal = FreeImage_GetPalette(ramp.get());
    for (unsigned i = 0; i < 256; ++i) {
        pal[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    }
    for (unsigned y = 0; y < 32; ++y) {
        for (unsigned x = 0; x < 32; ++x) {
            BYTE v = static_cast<BYTE>((x * 8 + y * 3) & 0xFF);
            FreeImage_SetPixelIndex(ramp.get(), x, y, &v);
        }
    }
    Settings s;
    s.do_image_dither = 1;
    for (const auto& c : cases) {
        s.image_dither_algorithm = static_cast<std::uint8_t>(c.value);
        const Bitmap expected = adopt(FreeImage_Dither(ramp.get(), c.algorithm));
        EXPECT_TRUE(same_pixels(dither(clone(ramp), s), expected)) << c.value;
    }
    const Bitmap fs = adopt(FreeImage_Dither(ramp.get(), FID_FS));
    const Bitmap bayer = adopt(FreeImage_Dither(ramp.get(), FID_BAYER16x16));
    EXPECT_FALSE(same_pixels(fs, bayer));
}

} // namespace
} // namespace pixlane
