#include <gtest/gtest.h>

#include <climits>

#include "decorations/frame.h"
#include "support/pixels.h"

namespace pixlane {
namespace {

using test::Pixel;
using test::pixel_at;

constexpr Pixel kGrey{90, 90, 90};
constexpr Pixel kTop{255, 0, 0};
constexpr Pixel kRight{0, 255, 0};
constexpr Pixel kBottom{0, 0, 255};
constexpr Pixel kLeft{255, 255, 0};

Settings frame_settings(int band) {
    Settings s;
    s.do_frame = 1;
    s.solid_left = s.solid_right = s.solid_top = s.solid_bottom = band;
    s.solid_top_color = "FF0000";
    s.solid_right_color = "00FF00";
    s.solid_bottom_color = "0000FF";
    s.solid_left_color = "FFFF00";
    return s;
}

TEST(FrameTest, BandsMeetAlongTheCornerDiagonals) {
    const Bitmap out =
        draw_frame(test::solid_bitmap(100, 80, 24, kGrey), frame_settings(10), 100, 80);
    ASSERT_TRUE(out);
    EXPECT_EQ(bpp_of(out), 24);
    EXPECT_EQ(width_of(out), 100);
    EXPECT_EQ(height_of(out), 80);
    EXPECT_TRUE(test::area_is(out, 10, 10, 80, 60, kGrey));

    struct Case {
        int x, y;
        Pixel colour;
    };
    // clang-format off
    const Case cases[] = {
        // Middle of each band.
        {50, 0, kTop}, {50, 9, kTop}, {99, 40, kRight}, {90, 40, kRight},
        {50, 79, kBottom}, {50, 70, kBottom}, {0, 40, kLeft}, {9, 40, kLeft},
        // Each corner on both sides of its diagonal.
        {7, 2, kTop}, {2, 7, kLeft},
        {92, 2, kTop}, {97, 7, kRight},
        {97, 72, kRight}, {92, 77, kBottom},
        {2, 72, kLeft}, {7, 77, kBottom},
        // The first pixels inside the frame.
        {10, 10, kGrey}, {89, 69, kGrey},
    };
    // clang-format on
    for (const auto& c : cases) {
        EXPECT_EQ(pixel_at(out, c.x, c.y), c.colour)
            << c.x << "," << c.y << " " << test::describe(pixel_at(out, c.x, c.y));
    }
    // A pixel on a diagonal mixes its two colours.
    const Pixel seam = pixel_at(out, 3, 3);
    EXPECT_GT(seam.r, 200);
    EXPECT_GT(seam.g, 60);
    EXPECT_LT(seam.g, 200);
}

TEST(FrameTest, OpacityBlendsTheFrameOverTheImage) {
    struct Case {
        int opacity;
        int red; // top band's red over a black image
    };
    const Case cases[] = {{255, 255}, {128, 128}, {0, 0}};
    for (const auto& c : cases) {
        Settings s = frame_settings(10);
        s.solid_opacity = c.opacity;
        const Bitmap out = draw_frame(test::solid_bitmap(100, 80, 24, {0, 0, 0}), s, 100, 80);
        EXPECT_NEAR(pixel_at(out, 50, 5).r, c.red, 1) << c.opacity;
        EXPECT_EQ(pixel_at(out, 50, 5).g, 0) << c.opacity;
    }
    Settings s = frame_settings(10);
    s.solid_opacity = 0;
    const Bitmap out = draw_frame(test::solid_bitmap(100, 80, 24, kGrey), s, 100, 80);
    EXPECT_TRUE(test::area_is(out, 0, 0, 100, 80, kGrey));
}

TEST(FrameTest, AlwaysGivesTwentyFourBitsWhenSwitchedOn) {
    struct Case {
        int do_frame;
        int band;
        int bpp;
    };
    const Case cases[] = {{1, 0, 24}, {1, 0, 32}, {1, 5, 32}, {2, 5, 32}};
    for (const auto& c : cases) {
        Settings s = frame_settings(c.band);
        s.do_frame = std::uint8_t(c.do_frame);
        const Bitmap out =
            draw_frame(test::solid_bitmap(20, 10, c.bpp, {10, 20, 30, 40}), s, 20, 10);
        ASSERT_TRUE(out);
        EXPECT_EQ(bpp_of(out), 24) << c.do_frame << " " << c.band;
        // Nothing drawn without bands or with an unknown frame kind.
        if (c.band == 0 || c.do_frame != 1) {
            EXPECT_TRUE(test::area_is(out, 0, 0, 20, 10, {10, 20, 30}));
        } else {
            EXPECT_EQ(pixel_at(out, 10, 0), kTop);
        }
    }
}

TEST(FrameTest, SwitchedOffOrMissingPassesThrough) {
    Bitmap in = test::solid_bitmap(8, 8, 32, kGrey);
    FIBITMAP* raw = in.get();
    Settings s = frame_settings(2);
    s.do_frame = 0;
    const Bitmap out = draw_frame(std::move(in), s, 8, 8);
    EXPECT_EQ(out.get(), raw);
    EXPECT_FALSE(draw_frame(nullptr, frame_settings(2), 8, 8));
}

TEST(FrameTest, SizeMismatchKeepsTheImage) {
    // A frame drawn for another size cannot be composited; the image is
    // kept (in 24 bits) rather than lost.
    const Bitmap out = draw_frame(test::solid_bitmap(20, 10, 32, kGrey), frame_settings(2), 30, 10);
    ASSERT_TRUE(out);
    EXPECT_EQ(bpp_of(out), 24);
    EXPECT_TRUE(test::area_is(out, 0, 0, 20, 10, kGrey));
}

TEST(FrameTest, ExtremeBandWidthsDoNotFail) {
    for (const int band : {INT_MAX, INT_MIN, -5}) {
        const Bitmap out =
            draw_frame(test::solid_bitmap(20, 10, 24, kGrey), frame_settings(band), 20, 10);
        ASSERT_TRUE(out) << band;
        EXPECT_EQ(bpp_of(out), 24);
    }
}

TEST(FrameTest, WideBandsOverlapWithoutFailing) {
    // Left and right bands of 60 on a 100-wide image overlap in the middle;
    // the later band (left) paints over the right one there.
    Settings s = frame_settings(0);
    s.solid_left = s.solid_right = 60;
    const Bitmap out = draw_frame(test::solid_bitmap(100, 80, 24, kGrey), s, 100, 80);
    ASSERT_TRUE(out);
    EXPECT_EQ(pixel_at(out, 50, 40), kLeft);
    EXPECT_EQ(pixel_at(out, 70, 40), kRight);
    EXPECT_EQ(pixel_at(out, 30, 40), kLeft);
}

TEST(FrameTest, ABandWiderThanTheImageCoversItWhateverItsWidth) {
    // One top band and no others: its trapezoid is the rectangle of the
    // whole image, however far past the image the band reaches.
    for (const int band : {80, 1000, 9'000'000, 100'000'000, INT_MAX}) {
        Settings s = frame_settings(0);
        s.solid_top = band;
        const Bitmap out = draw_frame(test::solid_bitmap(100, 80, 24, kGrey), s, 100, 80);
        ASSERT_TRUE(out) << band;
        EXPECT_TRUE(test::area_is(out, 0, 0, 100, 80, kTop)) << band;
    }
}

} // namespace
} // namespace pixlane
