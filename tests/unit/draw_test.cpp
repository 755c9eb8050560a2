#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "draw/canvas.h"
#include "draw/text.h"
#include "support/pixels.h"
#include "support/test_support.h"

namespace pixlane::draw {
namespace {

using test::Pixel;
using test::pixel_at;

constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};

TEST(CanvasTest, CreatesTransparentCanvasesOnlyOfPositiveSize) {
    const Canvas c = Canvas::create(4, 3);
    ASSERT_TRUE(c);
    EXPECT_EQ(c.width(), 4);
    EXPECT_EQ(c.height(), 3);
    EXPECT_EQ(c.pixel(3, 2), Rgba{});
    EXPECT_FALSE(Canvas::create(0, 3));
    EXPECT_FALSE(Canvas::create(3, -1));
    EXPECT_FALSE(Canvas().to_bitmap());
}

TEST(CanvasTest, FillsRectanglesWithAntialiasedEdges) {
    Canvas c = Canvas::create(10, 10);
    c.fill_rect(2, 2, 4, 4, kRed);
    EXPECT_EQ(c.pixel(2, 2), kRed);
    EXPECT_EQ(c.pixel(5, 5), kRed);
    EXPECT_EQ(c.pixel(6, 5), Rgba{});
    c.fill_rect(7.5, 0, 1, 1, kBlue);
    const Rgba half = c.pixel(7, 0);
    EXPECT_GT(half.a, 100);
    EXPECT_LT(half.a, 155);
    EXPECT_EQ(half.b, 255);
}

TEST(CanvasTest, FillsPathsAndRejectsMalformedOnes) {
    Canvas c = Canvas::create(10, 10);
    // (0,0) -> (10,0) -> (0,10): the half above the anti-diagonal.
    ASSERT_TRUE(c.fill_path("M 0 0 l 10 0 l -10 10 Z", kRed));
    EXPECT_EQ(c.pixel(1, 1), kRed);
    EXPECT_EQ(c.pixel(8, 8), Rgba{});
    ASSERT_TRUE(c.fill_path("M 10 10 L 10 5 l -5 5 z", kBlue));
    EXPECT_EQ(c.pixel(9, 9), kBlue);

    const char* bad[] = {"M 0", "l 1 1 Z", "X 1 2", "M a b", "M 0 0 L", "M 0 0 l 1 --1 Z", "M0 0"};
    for (const char* path : bad) {
        Canvas blank = Canvas::create(4, 4);
        EXPECT_FALSE(blank.fill_path(path, kRed)) << path;
        EXPECT_EQ(blank.pixel(0, 0), Rgba{}) << path;
    }
}

TEST(CanvasTest, FillsRectanglesReachingFarPastTheCanvas) {
    struct Case {
        double x, y, w, h;
        int rows; // rows 0..rows-1 covered, the others not
    };
    const Case cases[] = {
        {0, 0, 1e9, 1e9, 10},
        {-1e9, -1e9, 2e9, 1e9 + 5, 5},
        {100 - 2147483648.0, 0, 2147483648.0, 5, 5},
        {-2147483648.0, -2147483648.0, 4294967295.0, 4294967295.0, 10},
    };
    for (const auto& c : cases) {
        Canvas canvas = Canvas::create(10, 10);
        canvas.fill_rect(c.x, c.y, c.w, c.h, kRed);
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 10; ++x) {
                ASSERT_EQ(canvas.pixel(x, y), y < c.rows ? kRed : Rgba{})
                    << c.x << " " << c.y << " at " << x << "," << y;
            }
        }
    }
}

TEST(CanvasTest, FillsPathsReachingFarPastTheCanvas) {
    struct Case {
        const char* path;
        int in_x, in_y;   // a pixel the figure covers
        int out_x, out_y; // one it does not (-1: covers everything)
    };
    // clang-format off
    const Case cases[] = {
        // The canvas and far beyond it.
        {"M 0 0 l 100000000 0 l 0 100000000 l -100000000 0 Z", 5, 5, -1, -1},
        {"M -2147483648 -2147483648 L 2147483647 -2147483648 L 2147483647 2147483647 "
         "L -2147483648 2147483647 Z", 9, 9, -1, -1},
        // Below the diagonal through the canvas, from far points.
        {"M -100000000 -100000000 l 200000000 200000000 l -200000000 0 Z", 1, 8, 8, 1},
        // A frame band of a billion pixels: (0,0) (W,0) (W-R,T) (L,T), R = 0.
        {"M 0 0 l 10 0 l 0 1000000000 l -10 0 Z", 9, 9, -1, -1},
        // Two figures, the second after a close.
        {"M 0 0 l 3 0 l 0 3 Z M 5 5 l 100000000 0 l 0 100000000 Z", 9, 6, 6, 9},
    };
    // clang-format on
    for (const auto& c : cases) {
        Canvas canvas = Canvas::create(10, 10);
        ASSERT_TRUE(canvas.fill_path(c.path, kRed)) << c.path;
        EXPECT_EQ(canvas.pixel(c.in_x, c.in_y), kRed) << c.path;
        if (c.out_x >= 0) {
            EXPECT_EQ(canvas.pixel(c.out_x, c.out_y), Rgba{}) << c.path;
        } else {
            for (int y = 0; y < 10; ++y) {
                for (int x = 0; x < 10; ++x) {
                    ASSERT_EQ(canvas.pixel(x, y), kRed) << c.path << " at " << x << "," << y;
                }
            }
        }
    }
}

TEST(CanvasTest, DrawsWithConstantAlphaAndWritesWithoutBlending) {
    Canvas red = Canvas::create(4, 4);
    red.fill(kRed);
    Canvas over = Canvas::create(4, 4);
    over.fill(kBlue);
    over.draw(red, 2, 0, 128);
    EXPECT_EQ(over.pixel(1, 0), kBlue);
    const Rgba blend = over.pixel(2, 0);
    EXPECT_NEAR(blend.r, 128, 1);
    EXPECT_NEAR(blend.b, 127, 1);
    EXPECT_EQ(blend.a, 255);

    Canvas written = Canvas::create(4, 4);
    written.fill(kBlue);
    written.write(red, 2, 0, 128);
    EXPECT_EQ(written.pixel(1, 0), kBlue);
    EXPECT_EQ(written.pixel(2, 0), (Rgba{255, 0, 0, 128}));
    Canvas clear = Canvas::create(2, 2);
    written.write(clear, 0, 0, 255);
    EXPECT_EQ(written.pixel(0, 0), Rgba{});
    EXPECT_EQ(written.pixel(0, 2), kBlue);
}

TEST(CanvasTest, GreyFilterWeighsChannelsAndKeepsAlpha) {
    Canvas c = Canvas::create(2, 1);
    c.fill_rect(0, 0, 1, 1, {200, 100, 50, 255});
    c.fill_rect(1, 0, 1, 1, {255, 0, 0, 255});
    c.grey_filter();
    // (77 * 200 + 150 * 100 + 29 * 50) >> 8 = 124; (77 * 255) >> 8 = 76.
    EXPECT_EQ(c.pixel(0, 0), (Rgba{124, 124, 124, 255}));
    EXPECT_EQ(c.pixel(1, 0), (Rgba{76, 76, 76, 255}));
}

// A canvas holding every alpha value and a spread of colours.
Canvas ramp() {
    Canvas c = Canvas::create(256, 4);
    for (int a = 0; a < 256; ++a) {
        for (int y = 0; y < 4; ++y) {
            c.fill_rect(a, y, 1, 1,
                        {std::uint8_t(255 - a), std::uint8_t(a * 7), std::uint8_t(y * 80),
                         std::uint8_t(a)});
        }
    }
    return c;
}

TEST(CanvasTest, HandsOverStraightColourTheSameWayAsThePngRoute) {
    const Canvas c = ramp();
    const Bitmap direct = c.to_bitmap();
    const Bitmap png = c.to_bitmap_via_png();
    ASSERT_TRUE(direct);
    ASSERT_TRUE(png);
    EXPECT_EQ(bpp_of(direct), 32);
    EXPECT_TRUE(test::same_pixels(direct, png));
    // Top row of the canvas is the top row of the bitmap; opaque colours exact.
    EXPECT_EQ(pixel_at(direct, 255, 0), (Pixel{0, std::uint8_t(255 * 7), 0, 255}));
    EXPECT_EQ(pixel_at(direct, 255, 3), (Pixel{0, std::uint8_t(255 * 7), 240, 255}));
    EXPECT_EQ(pixel_at(direct, 0, 0), (Pixel{0, 0, 0, 0}));

    // An opaque canvas still comes over as 32 bits.
    Canvas opaque = Canvas::create(3, 3);
    opaque.fill(kRed);
    EXPECT_EQ(bpp_of(opaque.to_bitmap_via_png()), 32);
    EXPECT_TRUE(test::same_pixels(opaque.to_bitmap(), opaque.to_bitmap_via_png()));
}

TEST(CanvasTest, LoadsPngBmpAndJpegFiles) {
    test::TempDir dir;
    const Bitmap rgb = test::solid_bitmap(6, 4, 24, {200, 40, 10});
    const Bitmap rgba = test::solid_bitmap(6, 4, 32, {200, 40, 10, 100});
    struct Case {
        FREE_IMAGE_FORMAT fif;
        const char* name;
        const Bitmap& source;
        bool alpha;
        int tolerance;
    };
    const Case cases[] = {
        {FIF_PNG, "a.png", rgba, true, 0},
        {FIF_PNG, "b.png", rgb, false, 0},
        {FIF_BMP, "c.bmp", rgb, false, 0},
        {FIF_JPEG, "d.jpg", rgb, false, 8},
    };
    for (const auto& k : cases) {
        const std::string path = dir / k.name;
        ASSERT_TRUE(FreeImage_Save(k.fif, k.source.get(), path.c_str(), 0)) << k.name;
        const Canvas c = Canvas::load(path);
        ASSERT_TRUE(c) << k.name;
        EXPECT_EQ(c.width(), 6);
        EXPECT_EQ(c.height(), 4);
        const Rgba p = c.pixel(2, 1);
        EXPECT_NEAR(p.r, 200, k.tolerance + 1) << k.name;
        EXPECT_NEAR(p.g, 40, k.tolerance + 1) << k.name;
        EXPECT_EQ(p.a, k.alpha ? 100 : 255) << k.name;
    }
    // Sixteen bits per channel.
    const Bitmap deep(FreeImage_AllocateT(FIT_RGBA16, 6, 4));
    auto* px = reinterpret_cast<FIRGBA16*>(FreeImage_GetScanLine(deep.get(), 0));
    px[0] = {65535, 0, 32896, 65535};
    const std::string deep_path = dir / "deep.png";
    ASSERT_TRUE(FreeImage_Save(FIF_PNG, deep.get(), deep_path.c_str(), 0));
    const Canvas d = Canvas::load(deep_path);
    ASSERT_TRUE(d);
    EXPECT_EQ(d.pixel(0, 3), (Rgba{255, 0, 128, 255}));
    EXPECT_EQ(d.pixel(1, 3), Rgba{});

    test::write_file(dir / "junk.png", "not an image");
    EXPECT_FALSE(Canvas::load(dir / "junk.png"));
    EXPECT_FALSE(Canvas::load(dir / "missing.png"));
}

TEST(TextFontTest, ResolvesOnlyInstalledFamiliesAndMetricAliases) {
    struct Case {
        const char* face;
        const char* family; // null: cannot be loaded
    };
    const Case cases[] = {
        {"Arial", "Liberation Sans"},
        {"arial", "Liberation Sans"},
        {"Liberation Sans", "Liberation Sans"},
        {"liberation serif", "Liberation Serif"},
        {"Times New Roman", "Liberation Serif"},
        {"DejaVu Sans", "DejaVu Sans"},
        {"Pixlane Nonsense Face", nullptr},
        {"", nullptr},
    };
    for (const auto& k : cases) {
        const auto found = resolve_font_face(k.face);
        if (k.family) {
            ASSERT_TRUE(found) << k.face;
            EXPECT_EQ(*found, k.family) << k.face;
        } else {
            EXPECT_FALSE(found) << k.face;
        }
    }
    EXPECT_TRUE(TextFont::load({"Arial", 12}));
    EXPECT_FALSE(TextFont::load({"Arial", 0}));
    EXPECT_FALSE(TextFont::load({"Arial", 40000000}));
    EXPECT_FALSE(TextFont::load({"Pixlane Nonsense Face", 12}));
}

TEST(TextFontTest, MeasuresWholePixelsInRasterMode) {
    const auto font = TextFont::load({"DejaVu Sans", 14});
    ASSERT_TRUE(font);
    const TextExtent one = font->measure("Wg", TextMode::Raster);
    const TextExtent two = font->measure("WgWg", TextMode::Raster);
    EXPECT_GT(one.width, 10);
    EXPECT_GT(one.height, 14); // 14 points are about 19 pixels
    EXPECT_GT(two.width, one.width);
    EXPECT_EQ(two.height, one.height);
    EXPECT_EQ(one.width, double(int(one.width)));
    const auto bold = TextFont::load({"DejaVu Sans", 14, true});
    EXPECT_GT(bold->measure("WgWg", TextMode::Raster).width, two.width);
    EXPECT_NEAR(font->measure("WgWg", TextMode::Vector).width, two.width, 3.0);
}

// The alpha values found on a canvas.
std::set<int> alphas(const Canvas& c) {
    std::set<int> found;
    for (int y = 0; y < c.height(); ++y) {
        for (int x = 0; x < c.width(); ++x) {
            found.insert(c.pixel(x, y).a);
        }
    }
    return found;
}

TEST(TextFontTest, RasterTextWritesColourAndAlphaWithoutCoverage) {
    for (const bool underline : {false, true}) {
        const auto font = TextFont::load({"Liberation Serif", 16, false, true, underline});
        ASSERT_TRUE(font);
        Canvas raster = Canvas::create(80, 30);
        raster.fill({0, 0, 255, 60});
        font->draw(raster, "Swag", 2.4, 1.6, {255, 255, 0, 200}, TextMode::Raster);
        EXPECT_EQ(alphas(raster), (std::set<int>{60, 200}));

        Canvas vector = Canvas::create(80, 30);
        font->draw(vector, "Swag", 2.4, 1.6, {255, 255, 0, 255}, TextMode::Vector);
        const std::set<int> found = alphas(vector);
        EXPECT_GT(found.size(), 10u); // the coverage of the glyph edges
        EXPECT_TRUE(found.count(0));
    }
}

TEST(TextFontTest, DrawsTheSameOnAnotherThread) {
    const auto font = TextFont::load({"Arial", 12, true});
    ASSERT_TRUE(font);
    auto render = [&] {
        Canvas c = Canvas::create(60, 20);
        font->draw(c, "Thread", 1, 1, {0, 0, 0, 255}, TextMode::Vector);
        return c.to_bitmap();
    };
    const Bitmap here = render();
    Bitmap there;
    std::thread worker([&] { there = render(); });
    worker.join();
    EXPECT_TRUE(test::same_pixels(here, there));
}

} // namespace
} // namespace pixlane::draw
