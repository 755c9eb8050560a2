#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <set>

#include "decorations/watermark.h"
#include "draw/text.h"
#include "support/frame_records.h"
#include "support/pixels.h"
#include "support/test_support.h"

namespace pixlane {
namespace {

using test::Pixel;
using test::pixel_at;

constexpr Pixel kBlack{0, 0, 0};
constexpr Pixel kRed{255, 0, 0};
constexpr Pixel kGreen{0, 255, 0};

TEST(WatermarkTest, SplitsLinesAtLineBreaksOfAnyCase) {
    struct Case {
        const char* text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"one", {"one"}},
        {"one%eol%two", {"one", "two"}},
        {"one%EOL%two", {"one", "two"}},
        {"%Eol%a%eOl%", {"", "a", ""}},
        {"a%eol", {"a%eol"}},
        {"", {""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(watermark_lines(c.text), c.lines) << c.text;
    }
}

TEST(WatermarkTest, NinePositionsInsideTheArea) {
    // A 100 x 20 layer on 640 x 480 with offsets 10, 10.
    const LayerPosition expected[] = {{10, 10},   {270, 10}, {530, 10},  {10, 230},  {270, 230},
                                      {530, 230}, {10, 450}, {270, 450}, {530, 450}, {0, 0}};
    for (int position = 0; position < 10; ++position) {
        EXPECT_EQ(watermark_position(position, 640, 480, 100, 20, 10, 10), expected[position])
            << position;
    }
    // Centring truncates toward zero, also for a layer larger than the area.
    EXPECT_EQ(watermark_position(4, 11, 11, 20, 14, 0, 0), (LayerPosition{-4, -1}));
}

// An image watermark of `w` × `h`, its left half red and its right half green.
struct ImageWatermark {
    test::TempDir dir;
    Settings s;

    explicit ImageWatermark(int w = 100, int h = 20, int bpp = 24) {
        const Bitmap layer = test::solid_bitmap(w, h, bpp, {255, 0, 0, 255});
        for (int y = 0; y < h; ++y) {
            for (int x = w / 2; x < w; ++x) {
                test::set_pixel(layer, x, y, {0, 255, 0, 255});
            }
        }
        s.image = dir / "mark.png";
        EXPECT_TRUE(FreeImage_Save(FIF_PNG, layer.get(), s.image.c_str(), 0));
        s.do_watermark = 2;
    }

    Bitmap stamp(int bpp = 24, int w = 640, int h = 480, Pixel under = kBlack) const {
        return draw_watermark(test::solid_bitmap(w, h, bpp, under), s,
                              test::FrameRecords{}.tokens(), w, h, nullptr);
    }
};

// The bounding box of the pixels that differ from black.
struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
    bool empty() const { return x1 < 0; }
};

Box ink_box(const Bitmap& b, Pixel background = kBlack) {
    Box box;
    for (int y = 0; y < height_of(b); ++y) {
        for (int x = 0; x < width_of(b); ++x) {
            if (!(pixel_at(b, x, y) == background)) {
                box.x0 = std::min(box.x0, x);
                box.y0 = std::min(box.y0, y);
                box.x1 = std::max(box.x1, x);
                box.y1 = std::max(box.y1, y);
            }
        }
    }
    return box;
}

TEST(WatermarkTest, PlacesTheLayerInsideTheImageOrTheFrame) {
    struct Case {
        int do_frame;
        int boundary;
        int x, y;
    };
    const Case cases[] = {{0, 0, 530, 450}, {0, 1, 530, 450}, {1, 0, 530, 450}, {1, 1, 510, 430}};
    for (const auto& c : cases) {
        ImageWatermark wm;
        wm.s.do_frame = std::uint8_t(c.do_frame);
        wm.s.solid_left = wm.s.solid_right = wm.s.solid_top = wm.s.solid_bottom = 20;
        wm.s.image_boundary = std::uint8_t(c.boundary);
        const Bitmap out = wm.stamp();
        ASSERT_TRUE(out);
        EXPECT_EQ(bpp_of(out), 24);
        const Box box = ink_box(out);
        EXPECT_EQ(box.x0, c.x) << c.do_frame << c.boundary;
        EXPECT_EQ(box.y0, c.y) << c.do_frame << c.boundary;
        EXPECT_EQ(box.width(), 100);
        EXPECT_EQ(box.height(), 20);
        EXPECT_EQ(pixel_at(out, c.x, c.y), kRed);
        EXPECT_EQ(pixel_at(out, c.x + 99, c.y + 19), kGreen);
    }
}

TEST(WatermarkTest, CutsOnTheRightInsteadOfScaling) {
    ImageWatermark wm;
    wm.s.image_position = 0; // TOPLEFT
    wm.s.image_x_offset = 600;
    wm.s.image_y_offset = 470;
    const Bitmap out = wm.stamp();
    const Box box = ink_box(out);
    EXPECT_EQ(box.x0, 600);
    EXPECT_EQ(box.y0, 470);
    EXPECT_EQ(box.width(), 40);
    EXPECT_EQ(box.height(), 10);
    // Only the left (red) part remains, at its natural size.
    EXPECT_TRUE(test::area_is(out, 600, 470, 40, 10, kRed));
}

TEST(WatermarkTest, DrawsNothingWhenTheLayerLeavesTheImage) {
    struct Case {
        int position;
        int x_offset;
        int y_offset;
    };
    const Case cases[] = {
        {0, -5, 10},  // pushed over the left edge
        {8, -5, 10},  // pushed over the right edge
        {8, 10, -1},  // over the bottom edge
        {0, 640, 0},  // crop leaves nothing
        {0, 10, 500}, // crop leaves nothing
    };
    for (const auto& c : cases) {
        ImageWatermark wm;
        wm.s.image_position = std::uint8_t(c.position);
        wm.s.image_x_offset = c.x_offset;
        wm.s.image_y_offset = c.y_offset;
        const Bitmap out = wm.stamp(32);
        ASSERT_TRUE(out);
        EXPECT_EQ(bpp_of(out), 24);
        EXPECT_TRUE(ink_box(out).empty()) << c.position << " " << c.x_offset << " " << c.y_offset;
    }
}

TEST(WatermarkTest, ExtremeOffsetsAndBandsDrawNothing) {
    struct Case {
        int x_offset, y_offset, band;
    };
    const Case cases[] = {
        {INT_MAX, 10, 0},  {10, INT_MIN, 0}, {INT_MIN, INT_MIN, 0},
        {10, 10, INT_MAX}, {0, 0, INT_MIN},
    };
    for (const auto& c : cases) {
        for (int position = 0; position < 9; ++position) {
            ImageWatermark wm;
            wm.s.image_position = std::uint8_t(position);
            wm.s.image_x_offset = c.x_offset;
            wm.s.image_y_offset = c.y_offset;
            wm.s.do_frame = c.band != 0;
            wm.s.image_boundary = 1;
            wm.s.solid_left = wm.s.solid_right = wm.s.solid_top = wm.s.solid_bottom = c.band;
            const Bitmap out = wm.stamp(24, 64, 48);
            ASSERT_TRUE(out);
            // Centred axes ignore their offsets, so only some cases stay blank.
            if (c.band != 0 || (position != 4 && c.x_offset == c.y_offset)) {
                EXPECT_TRUE(ink_box(out).empty()) << position << " " << c.x_offset;
            }
        }
    }
}

TEST(WatermarkTest, RotationSwapsTheLayerSides) {
    ImageWatermark wm;
    wm.s.wm_image_rotation = 90;
    const Box box = ink_box(wm.stamp());
    EXPECT_EQ(box.width(), 20);
    EXPECT_EQ(box.height(), 100);
    EXPECT_EQ(box.x0, 640 - 20 - 10);
    EXPECT_EQ(box.y0, 480 - 100 - 10);

    // At 45 degrees the corners the layer does not cover stay transparent.
    wm.s.wm_image_rotation = 45;
    const Bitmap tilted = wm.stamp();
    const Box diamond = ink_box(tilted);
    EXPECT_NEAR(diamond.width(), 85, 2);
    EXPECT_NEAR(diamond.height(), 85, 2);
    EXPECT_EQ(pixel_at(tilted, diamond.x0, diamond.y0), kBlack);
    EXPECT_EQ(pixel_at(tilted, diamond.x1, diamond.y1), kBlack);

    // Angles outside 1 to 359 leave the layer as it is.
    for (const int angle : {0, 360, -90}) {
        wm.s.wm_image_rotation = angle;
        EXPECT_EQ(ink_box(wm.stamp()).width(), 100) << angle;
    }
}

TEST(WatermarkTest, ImageOpacityAndGreyFilter) {
    // The opaque red watermark over white: translucent, not darkened.
    struct Case {
        int opacity;
        bool grey;
        Pixel seen;
    };
    const Case cases[] = {
        {255, false, kRed},           {128, false, {255, 127, 127}},
        {0, false, {255, 255, 255}},  {255, true, {76, 76, 76}}, // (77 * 255) >> 8
        {128, true, {165, 165, 165}},
    };
    for (const auto& c : cases) {
        ImageWatermark wm;
        wm.s.image_opacity = c.opacity;
        wm.s.image_greyscale = c.grey;
        const Pixel p = pixel_at(wm.stamp(24, 640, 480, {255, 255, 255}), 540, 460);
        EXPECT_NEAR(p.r, c.seen.r, 1) << c.opacity << c.grey;
        EXPECT_NEAR(p.g, c.seen.g, 1) << c.opacity << c.grey;
        EXPECT_NEAR(p.b, c.seen.b, 1) << c.opacity << c.grey;
    }
}

TEST(WatermarkTest, ImageAlphaIsKept) {
    ImageWatermark wm(10, 10, 32);
    // Make the watermark file half transparent.
    const Bitmap layer = test::solid_bitmap(10, 10, 32, {255, 0, 0, 0});
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 5; ++x) {
            test::set_pixel(layer, x, y, {255, 0, 0, 255});
        }
    }
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, layer.get(), wm.s.image.c_str(), 0));
    wm.s.image_position = 0;
    wm.s.image_x_offset = wm.s.image_y_offset = 0;
    const Bitmap out = wm.stamp(24, 20, 20);
    EXPECT_TRUE(test::area_is(out, 0, 0, 5, 10, kRed));
    EXPECT_TRUE(test::area_is(out, 5, 0, 15, 20, kBlack));
}

TEST(WatermarkTest, MissingLayerGivesTheImageInTwentyFourBits) {
    Settings s;
    const test::FrameRecords records;
    struct Case {
        int kind;
        std::string image;
    };
    const Case cases[] = {{1, ""}, {2, "/nonexistent/mark.png"}, {2, ""}, {7, ""}};
    for (const auto& c : cases) {
        s.do_watermark = std::uint8_t(c.kind);
        s.image = c.image;
        const Bitmap out = draw_watermark(test::solid_bitmap(30, 20, 32, {1, 2, 3, 4}), s,
                                          records.tokens(), 30, 20, nullptr);
        ASSERT_TRUE(out);
        EXPECT_EQ(bpp_of(out), 24);
        EXPECT_TRUE(test::area_is(out, 0, 0, 30, 20, {1, 2, 3})) << c.kind;
    }
    s.do_watermark = 0;
    Bitmap in = test::solid_bitmap(4, 4, 32, {});
    FIBITMAP* raw = in.get();
    EXPECT_EQ(draw_watermark(std::move(in), s, records.tokens(), 4, 4, nullptr).get(), raw);
}

// Text watermark settings: opaque white raster text on a transparent block.
Settings text_settings(const char* text) {
    Settings s;
    s.do_watermark = 1;
    s.text = text;
    s.font = "DejaVu Sans";
    s.font_size = 14;
    s.font_color = "FFFFFF";
    s.back_opacity = 0;
    return s;
}

// Row `y` of a layer's alpha from column x0 on, `n` values.
std::vector<int> alpha_row(const Bitmap& b, int y, int x0, int n) {
    std::vector<int> row;
    for (int x = x0; x < x0 + n; ++x) {
        row.push_back(x >= 0 && x < width_of(b) ? pixel_at(b, x, y).a : 0);
    }
    return row;
}

bool blank(const std::vector<int>& row) {
    return std::all_of(row.begin(), row.end(), [](int a) { return a == 0; });
}

TEST(WatermarkFontTest, LoadsInstalledFacesOnly) {
    Settings s;
    struct Case {
        const char* face;
        int size;
        bool loads;
    };
    const Case cases[] = {
        {"Arial", 14, true},          {"DejaVu Sans", 9, true}, {"Liberation Mono", 30, true},
        {"Qwxz Nonsense", 14, false}, {"Arial", 0, false},
    };
    for (const auto& c : cases) {
        s.font = c.face;
        s.font_size = c.size;
        for (std::uint8_t style = 0; style < 4; ++style) {
            s.font_style = style;
            s.font_effect = std::uint8_t(style % 3);
            EXPECT_EQ(WatermarkFont::load(s) != nullptr, c.loads) << c.face << " " << c.size;
        }
    }
}

TEST(WatermarkTextTest, BlockSizeFromRasterMetricsAndPadding) {
    Settings s = text_settings("");
    const auto font = WatermarkFont::load(s);
    ASSERT_TRUE(font);
    const draw::TextExtent one = font->text_font().measure("Copy", draw::TextMode::Raster);
    const draw::TextExtent wide = font->text_font().measure("Copyright", draw::TextMode::Raster);
    struct Case {
        const char* text;
        int padding;
        int leading;
        int w, h;
    };
    const Case cases[] = {
        {"Copy", 0, 0, int(one.width), int(one.height)},
        {"Copy", 3, 0, int(one.width) + 6, int(one.height) + 6},
        {"Copy%eol%Copyright", 2, 5, int(wide.width) + 4, int(2 * one.height) + 5 + 4},
        {"Copy%EOL%Copy%eol%Copy", 0, -2, int(one.width), int(3 * one.height) - 4},
        {"%eol%", 0, 0, 10, int(2 * one.height)}, // lines of several are at least 10 wide
    };
    for (const auto& c : cases) {
        s.text_padding = c.padding;
        s.font_leading = c.leading;
        const Bitmap layer = make_text_layer(s, c.text, *font);
        ASSERT_TRUE(layer) << c.text;
        EXPECT_EQ(bpp_of(layer), 32);
        EXPECT_EQ(width_of(layer), c.w) << c.text;
        EXPECT_EQ(height_of(layer), c.h) << c.text;
    }
    EXPECT_FALSE(make_text_layer(s, "", *font)); // an empty text has no block
    for (const int padding : {INT_MAX, INT_MIN, -100}) {
        s.text_padding = padding;
        EXPECT_FALSE(make_text_layer(s, "Copy", *font)) << padding;
    }
}

TEST(WatermarkTextTest, UpperCaseLineBreakDrawsTheSecondLineOneStepLower) {
    Settings s = text_settings("");
    s.font_leading = 4;
    const auto font = WatermarkFont::load(s);
    const Bitmap layer = make_text_layer(s, "Hg%EOL%Hg", *font);
    const int step = int(font->text_font().measure("Hg", draw::TextMode::Raster).height) + 4;
    ASSERT_EQ(height_of(layer), 2 * step - 4);
    int inked = 0;
    for (int y = 0; y < step - 4; ++y) {
        const std::vector<int> first = alpha_row(layer, y, 0, width_of(layer));
        EXPECT_EQ(first, alpha_row(layer, y + step, 0, width_of(layer))) << y;
        inked += !blank(first);
    }
    EXPECT_GT(inked, 5);
}

TEST(WatermarkTextTest, AlignmentPlacesEachLineOfSeveral) {
    Settings s = text_settings("");
    s.text_padding = 3;
    const auto font = WatermarkFont::load(s);
    const draw::TextFont& f = font->text_font();
    const char* text = "ll%eol%Wide text line";
    const int narrow = int(f.measure("ll", draw::TextMode::Raster).width);
    const int block = int(f.measure("Wide text line", draw::TextMode::Raster).width) + 6;
    const int row = 8; // inside the first line's glyphs

    s.text_alignment = 0;
    const Bitmap left = make_text_layer(s, text, *font);
    const std::vector<int> ink = alpha_row(left, row, 3, narrow);
    ASSERT_FALSE(blank(ink));

    struct Case {
        int alignment;
        int x;
    };
    const Case cases[] = {
        {1, int(std::lround((block - narrow) / 2.0))},
        {2, block - narrow - 3},
        {5, 0},
    };
    for (const auto& c : cases) {
        s.text_alignment = std::uint8_t(c.alignment);
        const Bitmap layer = make_text_layer(s, text, *font);
        EXPECT_EQ(alpha_row(layer, row, c.x, narrow), ink) << c.alignment;
    }

    // One line stays at the padding whatever the alignment.
    s.text_alignment = 0;
    const Bitmap single_left = make_text_layer(s, "ll", *font);
    s.text_alignment = 2;
    EXPECT_TRUE(test::same_pixels(single_left, make_text_layer(s, "ll", *font)));
}

TEST(WatermarkTextTest, RasterModeWritesOnlyTheTwoAlphasAndVectorModeBlends) {
    Settings s = text_settings("");
    s.font_style = 3;
    s.font_effect = 1;
    s.text_opacity = 200;
    s.back_opacity = 90;
    s.back_color = "0000FF";
    const auto font = WatermarkFont::load(s);
    std::set<int> raster;
    std::set<int> vector;
    s.text_antialiasing = 0;
    const Bitmap r = make_text_layer(s, "Sway%eol%Ag", *font);
    s.text_antialiasing = 1;
    const Bitmap v = make_text_layer(s, "Sway%eol%Ag", *font);
    for (int y = 0; y < height_of(r); ++y) {
        for (int x = 0; x < width_of(r); ++x) {
            raster.insert(pixel_at(r, x, y).a);
            vector.insert(pixel_at(v, x, y).a);
        }
    }
    EXPECT_EQ(raster, (std::set<int>{90, 200}));
    EXPECT_GT(vector.size(), 10u);
    EXPECT_TRUE(vector.count(90));
    EXPECT_FALSE(vector.count(0));
}

TEST(WatermarkTextTest, StampsTheExpandedTextOverTheImage) {
    Settings s = text_settings("%FILENAME%");
    test::FrameRecords records;
    records.task.input_path = "/pictures/abc.gif";
    const auto font = WatermarkFont::load(s);
    const Bitmap tokens = draw_watermark(test::solid_bitmap(200, 100, 24, kBlack), s,
                                         records.tokens(), 200, 100, font.get());
    s.text = "abc";
    const Bitmap plain = draw_watermark(test::solid_bitmap(200, 100, 24, kBlack), s,
                                        records.tokens(), 200, 100, font.get());
    EXPECT_TRUE(test::same_pixels(tokens, plain));
    const Box box = ink_box(plain);
    ASSERT_FALSE(box.empty());
    const Bitmap layer = make_text_layer(s, "abc", *font);
    // BOTTOMRIGHT with offsets 10, 10: the ink lies inside the layer's place.
    EXPECT_GE(box.x0, 200 - width_of(layer) - 10);
    EXPECT_LE(box.x1, 200 - 10 - 1);
    EXPECT_GE(box.y0, 100 - height_of(layer) - 10);
    EXPECT_LE(box.y1, 100 - 10 - 1);
    EXPECT_EQ(pixel_at(plain, 5, 5), kBlack);
}

TEST(WatermarkTextTest, DefaultBackgroundIsPracticallyInvisible) {
    Settings s = text_settings("Pixlane");
    s.back_opacity = 1; // the default, black
    s.font_color = "000000";
    const auto font = WatermarkFont::load(s);
    for (const std::uint8_t antialiasing : {0, 1}) {
        s.text_antialiasing = antialiasing;
        const Bitmap out = draw_watermark(test::solid_bitmap(200, 60, 24, {255, 255, 255}), s,
                                          test::FrameRecords{}.tokens(), 200, 60, font.get());
        const Bitmap layer = make_text_layer(s, s.text, *font);
        // The block's top-left corner, where no glyph reaches.
        const Pixel corner = pixel_at(out, 200 - 10 - width_of(layer), 60 - 10 - height_of(layer));
        EXPECT_GE(corner.r, 253);
        EXPECT_GE(corner.b, 253);
    }
}

} // namespace
} // namespace pixlane
