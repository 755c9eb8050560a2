#include "pipeline/save.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>

#include "formats/catalogue.h"
#include "naming/mask.h"
#include "pipeline/opacity.h"
#include "platform/platform.h"
#include "support/jxr_reader.h"
#include "support/test_bitmaps.h"
#include "support/test_support.h"

namespace pixlane {
namespace {

using test::read_file;
using test::TempDir;
using test::WriteLimit;

// A 32-bit picture with more than 256 colours, some translucent pixels and
// a top row unlike the rest.
Bitmap make_picture(int width, int height) {
    Bitmap b = adopt(FreeImage_Allocate(width, height, 32));
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(b.get(), y);
        for (int x = 0; x < width; ++x) {
            BYTE* p = row + 4 * x;
            p[FI_RGBA_BLUE] = static_cast<BYTE>(x * 4 + y);
            p[FI_RGBA_GREEN] = static_cast<BYTE>(y * 5);
            p[FI_RGBA_RED] = static_cast<BYTE>(x * 3 + y * 7);
            p[FI_RGBA_ALPHA] = x % 5 == 0 ? 128 : 255;
            if (y == height - 1) { // the top row
                p[FI_RGBA_BLUE] = 0;
                p[FI_RGBA_GREEN] = 0;
                p[FI_RGBA_RED] = 250;
                p[FI_RGBA_ALPHA] = 255;
            }
        }
    }
    return b;
}

std::uint32_t get32(const std::string& data, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, data.data() + at, 4);
    return v;
}
std::uint16_t get16(const std::string& data, std::size_t at) {
    std::uint16_t v = 0;
    std::memcpy(&v, data.data() + at, 2);
    return v;
}

// Where one frame goes: the batch set up for an output format, the frame's
// facts and its output path.
struct SaveTarget {
    BatchPlan plan;
    FrameFacts frame;
    std::string path;
};

// The batch set up for `ext`; depth -1 keeps the setting (automatic by
// default), another value overrides it.
SaveTarget target_for(std::string_view ext, const Settings& s, const std::string& path,
                      int depth = -1) {
    SaveTarget target;
    EXPECT_TRUE(set_batch_output(target.plan, ext, s));
    if (depth >= 0) {
        target.plan.output_depth = depth;
        target.plan.automatic_depth = depth == 0;
    }
    target.path = path;
    return target;
}

// The end of a file's conversion for one frame: icon canvas, depth
// conversion, save.
SaveReport run_save(Bitmap picture, SaveTarget& target, const Settings& s) {
    target.frame.source_depth = bpp_of(picture);
    Bitmap b = fit_icon(std::move(picture), target.plan);
    b = convert_depth(std::move(b), target.plan, target.frame);
    return save_frame(b, s, target.plan, target.path);
}

// save_frame() to the target.
SaveReport save_to(const Bitmap& b, const Settings& s, const SaveTarget& target) {
    return save_frame(b, s, target.plan, target.path);
}

bool has_temporary_file(const std::string& folder) {
    for (const auto& entry : platform::list_folder(folder)) {
        if (entry.name.rfind("pixlane", 0) == 0) {
            return true;
        }
    }
    return false;
}

// A Portable Floatmap read the way the format defines it.
struct Pfm {
    unsigned width = 0;
    unsigned height = 0;
    double scale = 0;
    std::vector<float> samples; // in file order: bottom row first
};
std::optional<Pfm> parse_pfm(const std::string& data) {
    std::istringstream in(data);
    std::string magic;
    Pfm pfm;
    if (!(in >> magic >> pfm.width >> pfm.height >> pfm.scale) || magic != "PF") {
        return std::nullopt;
    }
    in.get(); // the single white-space character before the samples
    const std::size_t count = std::size_t{pfm.width} * pfm.height * 3;
    const std::size_t at = static_cast<std::size_t>(in.tellg());
    if (data.size() != at + count * 4 || pfm.scale >= 0) { // little-endian samples only here
        return std::nullopt;
    }
    pfm.samples.resize(count);
    std::memcpy(pfm.samples.data(), data.data() + at, count * 4);
    return pfm;
}

struct ReadBack {
    unsigned width = 0;
    unsigned height = 0;
    int bpp = 0;
};

// Reads an output file back: FreeImage for most, jxrlib for jxr, the
// format's own rules for pfm.
std::optional<ReadBack> read_back(const std::string& path, std::string_view ext) {
    if (ext == "jxr") {
        auto file = test::read_jxr(path);
        return file ? std::optional<ReadBack>({file->width, file->height, file->bits})
                    : std::nullopt;
    }
    if (ext == "pfm") {
        auto pfm = parse_pfm(read_file(path));
        return pfm ? std::optional<ReadBack>({pfm->width, pfm->height, 96}) : std::nullopt;
    }
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path.c_str());
    if (fif == FIF_UNKNOWN) {
        fif = FreeImage_GetFIFFromFilename(path.c_str());
    }
    Bitmap b = adopt(FreeImage_Load(fif, path.c_str(), 0));
    if (!b) {
        return std::nullopt;
    }
    return ReadBack{FreeImage_GetWidth(b.get()), FreeImage_GetHeight(b.get()), bpp_of(b)};
}

// --- every format at every depth ------------------------------------------------

struct FormatDepth {
    std::string ext;
    int depth;
};

// ctest shows the case as "png 24", not as bytes.
[[maybe_unused]] void PrintTo(const FormatDepth& c, std::ostream* os) {
    *os << c.ext << " " << c.depth;
}

std::vector<FormatDepth> all_format_depths() {
    std::vector<FormatDepth> all;
    for (const OutputFormat& f : output_catalogue()) {
        for (int depth : allowed_depths(f.extension)) {
            all.push_back({std::string(f.extension), depth});
        }
    }
    return all;
}

class SaveEveryFormat : public testing::TestWithParam<FormatDepth> {};

TEST_P(SaveEveryFormat, WritesAFileThatReadsBackWithItsSizeAndDepth) {
    const FormatDepth& c = GetParam();
    TempDir dir;
    Settings s;
    SaveTarget out = target_for(c.ext, s, dir / ("out." + c.ext), c.depth);
    ASSERT_EQ(run_save(make_picture(64, 48), out, s).status, FrameStatus::Converted);

    const auto back = read_back(out.path, c.ext);
    ASSERT_TRUE(back) << "cannot read " << out.path;
    EXPECT_EQ(back->width, 64U);
    EXPECT_EQ(back->height, c.ext == "ico" ? 64U : 48U); // the icon's square canvas
    EXPECT_EQ(back->bpp, c.depth);
    EXPECT_FALSE(has_temporary_file(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveEveryFormat, testing::ValuesIn(all_format_depths()),
                         [](const testing::TestParamInfo<FormatDepth>& info) {
                             return info.param.ext + "_" + std::to_string(info.param.depth);
                         });

// --- flags, batch values, depths ---------------------------------------------------

TEST(SaveFlags, FlagWordsOfTheFormats) {
    struct Case {
        const char* what;
        const char* ext;
        void (*set)(Settings&);
        int expected;
    };
    const Case cases[] = {
        {"jpg 90, 4:2:0, progressive", "jpg",
         [](Settings& s) {
             s.jpg_quality = 90;
             s.jpg_chroma = 2;
             s.jpg_save_as = 3;
         },
         0x605A},
        {"jpg 75, 4:4:4, optimized", "jpg",
         [](Settings& s) {
             s.jpg_quality = 75;
             s.jpg_chroma = 0;
             s.jpg_save_as = 2;
         },
         75 | 0x10000 | 0x20000},
        {"jpg unknown chroma and mode add nothing", "jpg",
         [](Settings& s) {
             s.jpg_quality = 50;
             s.jpg_chroma = 9;
             s.jpg_save_as = 9;
         },
         50},
        {"png none, interlaced", "png",
         [](Settings& s) {
             s.png_compression = 0;
             s.png_interlaced = 1;
         },
         0x0300},
        {"png zlib9", "png", [](Settings& s) { s.png_compression = 3; }, 9},
        {"png unknown level", "png", [](Settings& s) { s.png_compression = 7; }, 0},
        {"webp 100 is lossless", "webp", [](Settings& s) { s.webp_quality = 100; }, 0x0100},
        {"webp 99 is lossy 99", "webp", [](Settings& s) { s.webp_quality = 99; }, 99},
        {"bmp rle", "bmp", [](Settings& s) { s.bmp_compression = 1; }, 1},
        {"tga rle", "tga", [](Settings& s) { s.tga_compression = 1; }, 2},
        {"tga other", "tga", [](Settings& s) { s.tga_compression = 2; }, 0},
        {"tiff lzw, cmyk", "tiff",
         [](Settings& s) {
             s.tiff_compression = 6;
             s.tiff_color_mode = 1;
         },
         0x4001},
        {"tiff none", "tiff", [](Settings& s) { s.tiff_compression = 0; }, 0x0800},
        {"tiff logluv", "tiff", [](Settings& s) { s.tiff_compression = 8; }, 0x10000},
        {"exr piz", "exr", [](Settings& s) { s.exr_compression = 2; }, 0x0008},
        {"exr b44", "exr", [](Settings& s) { s.exr_compression = 4; }, 0x0020},
        {"jxr is always lossless", "jxr", [](Settings&) {}, 100},
        {"dds has none", "dds", [](Settings&) {}, 0},
        {"unknown extension", "xyz", [](Settings&) {}, 0},
    };
    for (const Case& c : cases) {
        Settings s;
        c.set(s);
        EXPECT_EQ(save_flags(c.ext, s), c.expected) << c.what;
    }
}

TEST(SaveFlags, BatchValuesComeFromTheFormatAndItsSettings) {
    Settings s;
    s.png_bpp = 24;
    s.png_compression = 3;
    BatchPlan plan;
    ASSERT_TRUE(set_batch_output(plan, "png", s));
    EXPECT_EQ(plan.output_extension, "png");
    EXPECT_EQ(plan.save_type, FIF_PNG);
    EXPECT_EQ(plan.output_depth, 24);
    EXPECT_FALSE(plan.automatic_depth);
    EXPECT_EQ(plan.save_flags, 9);

    ASSERT_TRUE(set_batch_output(plan, "psd", s));
    EXPECT_EQ(plan.save_type, 0x0439);
    EXPECT_EQ(plan.output_depth, 0);
    EXPECT_TRUE(plan.automatic_depth);

    EXPECT_FALSE(set_batch_output(plan, "jpeg", s));
    EXPECT_EQ(plan.output_extension, "psd"); // unchanged

    for (const OutputFormat& f : output_catalogue()) { // every format has its depth setting
        Settings one;
        EXPECT_EQ(depth_setting(f.extension, one), 0);
    }
    s.xpm_bpp = 24;
    EXPECT_EQ(depth_setting("xpm", s), 24);
}

TEST(ConvertDepth, AutomaticDepthFollowsTheSourceDepth) {
    struct Case {
        const char* ext;
        int expected;
    };
    for (const Case& c :
         {Case{"jpg", 24}, Case{"png", 32}, Case{"gif", 8}, Case{"exr", 96}, Case{"pbm", 1}}) {
        SaveTarget out = target_for(c.ext, Settings{}, "unused", 0);
        out.frame.source_depth = 32;
        Bitmap b = convert_depth(make_picture(20, 10), out.plan, out.frame);
        EXPECT_EQ(out.frame.output_depth, c.expected) << c.ext;
        EXPECT_EQ(bpp_of(b), c.expected) << c.ext;
    }
    // An output depth of 0 is automatic even without the flag.
    BatchPlan plan;
    plan.output_extension = "jpg";
    FrameFacts frame;
    frame.source_depth = 32;
    EXPECT_EQ(bpp_of(convert_depth(make_picture(4, 4), plan, frame)), 24);
    EXPECT_EQ(frame.output_depth, 24);
}

TEST(ConvertDepth, EightBitsIsGreyForJpegFamiliesAndAPaletteOtherwise) {
    for (const char* ext : {"jpg", "j2k", "jp2", "jxr", "pgm"}) {
        SaveTarget out = target_for(ext, Settings{}, "unused", 8);
        Bitmap b = convert_depth(make_picture(40, 30), out.plan, out.frame);
        ASSERT_EQ(bpp_of(b), 8) << ext;
        EXPECT_EQ(FreeImage_GetColorType(b.get()), FIC_MINISBLACK) << ext;
    }
    for (const char* ext : {"png", "bmp", "gif", "tga", "tiff"}) {
        SaveTarget out = target_for(ext, Settings{}, "unused", 8);
        Bitmap b = convert_depth(make_picture(40, 30), out.plan, out.frame);
        ASSERT_EQ(bpp_of(b), 8) << ext;
        EXPECT_EQ(FreeImage_GetColorType(b.get()), FIC_PALETTE) << ext;
    }
}

TEST(ConvertDepth, SixteenBitsIs555ForIconsAndTargaAnd565Otherwise) {
    struct Case {
        const char* ext;
        unsigned green_mask;
    };
    for (const Case& c : {Case{"tga", FI16_555_GREEN_MASK}, Case{"ico", FI16_555_GREEN_MASK},
                          Case{"bmp", FI16_565_GREEN_MASK}, Case{"jxr", FI16_565_GREEN_MASK}}) {
        SaveTarget out = target_for(c.ext, Settings{}, "unused", 16);
        Bitmap b = convert_depth(make_picture(16, 16), out.plan, out.frame);
        ASSERT_EQ(bpp_of(b), 16) << c.ext;
        EXPECT_EQ(FreeImage_GetGreenMask(b.get()), c.green_mask) << c.ext;
        // A 5-6-5 bitmap headed for tga is converted again, not passed on.
        Bitmap again = convert_depth(std::move(b), out.plan, out.frame);
        EXPECT_EQ(FreeImage_GetGreenMask(again.get()), c.green_mask) << c.ext;
    }
    TempDir dir;
    Settings s;
    SaveTarget out = target_for("bmp", s, dir / "565.bmp", 16);
    ASSERT_EQ(run_save(make_picture(16, 16), out, s).status, FrameStatus::Converted);
    Bitmap back = adopt(FreeImage_Load(FIF_BMP, out.path.c_str(), 0));
    EXPECT_EQ(FreeImage_GetGreenMask(back.get()), FI16_565_GREEN_MASK);
}

TEST(ConvertDepth, TheSameBitmapPassesWhenAlreadyInFormAndAnUnknownDepthGivesNone) {
    SaveTarget out = target_for("png", Settings{}, "unused", 32);
    Bitmap b = make_picture(8, 8);
    FIBITMAP* raw = b.get();
    b = convert_depth(std::move(b), out.plan, out.frame);
    EXPECT_EQ(b.get(), raw);
    out.plan.output_depth = 12;
    EXPECT_FALSE(convert_depth(std::move(b), out.plan, out.frame));
    EXPECT_FALSE(convert_depth(Bitmap{}, out.plan, out.frame));
}

TEST(ConvertDepth, GreymapsHoldGreyLevelsNotPaletteIndices) {
    // Index 0 is white: a greymap of the indices would be black.
    Bitmap indexed = adopt(FreeImage_Allocate(20, 20, 8));
    RGBQUAD* palette = FreeImage_GetPalette(indexed.get());
    for (int k = 0; k < 256; ++k) {
        palette[k] = {static_cast<BYTE>(k), 0, 0, 0};
    }
    palette[0] = {255, 255, 255, 0};
    TempDir dir;
    Settings s;
    SaveTarget out = target_for("pgm", s, dir / "grey.pgm");
    ASSERT_EQ(run_save(std::move(indexed), out, s).status, FrameStatus::Converted);
    const std::string data = read_file(out.path);
    ASSERT_EQ(data.rfind("P5\n20 20\n255\n", 0), 0U);
    EXPECT_EQ(static_cast<unsigned char>(data.back()), 255);
}

// --- icons ---------------------------------------------------------------------------

// Laying a frame over the background gives the library's compositing to the
// byte, metadata included, for any alpha and for frames known opaque.
TEST(LayOver, GivesTheLibrarysCompositeToTheByte) {
    const Rgb under{200, 17, 96};
    RGBQUAD quad{};
    quad.rgbRed = under.r;
    quad.rgbGreen = under.g;
    quad.rgbBlue = under.b;
    struct Case {
        const char* what;
        Opacity known;
        bool opaque_pixels;
    };
    const Case cases[] = {{"alpha unknown", Opacity::Unknown, false},
                          {"translucent", Opacity::Translucent, false},
                          {"known opaque", Opacity::Opaque, true}};
    for (const auto& c : cases) {
        Bitmap in = make_picture(37, 23); // a width whose rows are padded
        for (int y = 0; y < 23; ++y) {
            BYTE* row = FreeImage_GetScanLine(in.get(), y);
            for (int x = 0; x < 37; ++x) {
                row[4 * x + FI_RGBA_ALPHA] =
                    c.opaque_pixels ? 255 : static_cast<BYTE>((x * 37 + y * 11) % 256);
            }
        }
        set_opacity(in.get(), c.known);
        const Bitmap expected = adopt(FreeImage_Composite(in.get(), FALSE, &quad, nullptr));
        const Bitmap got = lay_over(adopt(FreeImage_Clone(in.get())), under);
        ASSERT_TRUE(got) << c.what;
        EXPECT_EQ(bpp_of(got), 24) << c.what;
        EXPECT_TRUE(test::same_pixels(expected, got)) << c.what;
        EXPECT_EQ(known_opacity(got.get()), known_opacity(expected.get())) << c.what;
        EXPECT_EQ(FreeImage_GetDotsPerMeterX(got.get()),
                  FreeImage_GetDotsPerMeterX(expected.get()));
    }
}

TEST(FitIcon, IconsTheWriterRefusesGetASquareTransparentCanvas) {
    struct Case {
        int width, height, side;
    };
    for (const Case& c : {Case{8, 8, 16}, Case{40, 20, 40}, Case{20, 41, 41}, Case{1, 1, 16}}) {
        BatchPlan plan;
        plan.output_extension = "ico";
        Bitmap b = fit_icon(make_picture(c.width, c.height), plan);
        ASSERT_EQ(width_of(b), c.side);
        ASSERT_EQ(height_of(b), c.side);
        ASSERT_EQ(bpp_of(b), 32);
        const int left = (c.side - c.width) / 2;
        const int top = (c.side - c.height) / 2;
        // Corners outside the picture are transparent; the picture's top-left
        // pixel sits at (left, top) counted from the top.
        RGBQUAD corner{};
        if (left > 0 || top > 0) {
            FreeImage_GetPixelColor(b.get(), 0, 0, &corner);
            EXPECT_EQ(corner.rgbReserved, 0);
        }
        RGBQUAD pixel{};
        FreeImage_GetPixelColor(b.get(), left, c.side - 1 - top, &pixel);
        EXPECT_EQ(pixel.rgbRed, 250) << c.width << "x" << c.height;
        EXPECT_EQ(pixel.rgbReserved, 255);
    }
}

TEST(FitIcon, SquareIconsAndOtherFormatsPassUnchanged) {
    BatchPlan plan;
    plan.output_extension = "ico";
    Bitmap b = make_picture(16, 16);
    FIBITMAP* raw = b.get();
    EXPECT_EQ(fit_icon(std::move(b), plan).get(), raw);
    plan.output_extension = "png";
    b = make_picture(8, 3);
    raw = b.get();
    EXPECT_EQ(fit_icon(std::move(b), plan).get(), raw);
}

// --- DevIL route ------------------------------------------------------------------------

TEST(SaveDevil, DdsCarriesMipmapsPsdAndPcxKeepOrientation) {
    TempDir dir;
    Settings s;
    SaveTarget dds = target_for("dds", s, dir / "out.dds");
    ASSERT_EQ(run_save(make_picture(64, 48), dds, s).status, FrameStatus::Converted);
    const std::string dds_file = read_file(dds.path);
    ASSERT_GE(dds_file.size(), 128U);
    EXPECT_EQ(dds_file.substr(0, 4), "DDS ");
    EXPECT_EQ(get32(dds_file, 12), 48U); // height
    EXPECT_EQ(get32(dds_file, 16), 64U); // width
    EXPECT_EQ(get32(dds_file, 28), 7U);  // 64, 32, ... 1: seven levels

    for (const char* ext : {"psd", "pcx"}) {
        SaveTarget out = target_for(ext, s, dir / (std::string("out.") + ext));
        ASSERT_EQ(run_save(make_picture(64, 48), out, s).status, FrameStatus::Converted) << ext;
        Bitmap back =
            adopt(FreeImage_Load(FreeImage_GetFileType(out.path.c_str()), out.path.c_str(), 0));
        ASSERT_TRUE(back) << ext;
        RGBQUAD top{};
        RGBQUAD bottom{};
        FreeImage_GetPixelColor(back.get(), 3, 47, &top);
        FreeImage_GetPixelColor(back.get(), 3, 0, &bottom);
        EXPECT_EQ(top.rgbRed, 250) << ext;
        EXPECT_EQ(bottom.rgbRed, 9) << ext; // x * 3 + y * 7 at (3, 0)
    }
    // pcx is written as 24-bit colour: three planes of 8 bits.
    const std::string pcx = read_file(dir / "out.pcx");
    EXPECT_EQ(static_cast<int>(pcx[3]), 8);
    EXPECT_EQ(static_cast<int>(pcx[65]), 3);
    // psd carries no mipmaps: one image, so the file is about one picture's size.
    EXPECT_LT(read_file(dir / "out.psd").size(), 64U * 48 * 4 + 2048);
}

// A bitmap with a header and no pixels, read from the headers of a BMP file.
Bitmap header_only_bitmap(int width, int height, int bpp) {
    std::string bmp(54, '\0');
    const auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
        for (int k = 0; k < bytes; ++k) {
            bmp[at + k] = static_cast<char>(v >> (8 * k));
        }
    };
    put(0, 0x4D42, 2);
    put(2, 54, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<std::uint32_t>(width), 4);
    put(22, static_cast<std::uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, static_cast<std::uint32_t>(bpp), 2);
    const MemoryStream stream(
        FreeImage_OpenMemory(reinterpret_cast<BYTE*>(bmp.data()), static_cast<DWORD>(bmp.size())));
    return adopt(FreeImage_LoadFromMemory(FIF_BMP, stream.get(), FIF_LOAD_NOPIXELS));
}

TEST(SaveDevil, PicturesWhoseByteCountDevilCannotHoldAreRefused) {
    // DevIL sizes an image in 32-bit arithmetic: these wrap to 256 KiB.
    // Headers only, so nothing of that size is allocated here.
    struct Case {
        const char* ext;
        int bpp, width, height;
    };
    for (const Case& c : {Case{"dds", 32, 65536, 16385}, Case{"psd", 32, 65536, 16385},
                          Case{"pcx", 24, 65536, 21846}}) {
        TempDir dir;
        Settings s;
        SaveTarget out = target_for(c.ext, s, dir / (std::string("huge.") + c.ext));
        const Bitmap huge = header_only_bitmap(c.width, c.height, c.bpp);
        ASSERT_TRUE(huge) << c.ext;
        EXPECT_EQ(save_to(huge, s, out).status, FrameStatus::Failed) << c.ext;
        EXPECT_TRUE(platform::list_folder(dir.path()).empty()) << c.ext;
    }
}

// --- the exact colour table writer -------------------------------------------------------

Bitmap sixteen_colour_picture() {
    Bitmap b = adopt(FreeImage_Allocate(40, 30, 8));
    RGBQUAD* palette = FreeImage_GetPalette(b.get());
    for (int k = 0; k < 256; ++k) {
        palette[k] = {static_cast<BYTE>(k), static_cast<BYTE>(255 - k), static_cast<BYTE>(k * 3),
                      0};
    }
    for (int y = 0; y < 30; ++y) {
        BYTE* row = FreeImage_GetScanLine(b.get(), y);
        for (int x = 0; x < 40; ++x) {
            row[x] = static_cast<BYTE>((x / 3 + y) % 16);
        }
    }
    return b;
}

void expect_same_pixels(FIBITMAP* a, FIBITMAP* b) {
    ASSERT_EQ(FreeImage_GetWidth(a), FreeImage_GetWidth(b));
    ASSERT_EQ(FreeImage_GetHeight(a), FreeImage_GetHeight(b));
    for (unsigned y = 0; y < FreeImage_GetHeight(a); ++y) {
        for (unsigned x = 0; x < FreeImage_GetWidth(a); ++x) {
            RGBQUAD pa{};
            RGBQUAD pb{};
            FreeImage_GetPixelColor(a, x, y, &pa);
            FreeImage_GetPixelColor(b, x, y, &pb);
            ASSERT_TRUE(pa.rgbRed == pb.rgbRed && pa.rgbGreen == pb.rgbGreen &&
                        pa.rgbBlue == pb.rgbBlue)
                << "at " << x << "," << y;
        }
    }
}

// RLE8 pixel data: rows from the bottom, runs (count, index), escapes 0 0
// (end of line), 0 1 (end of bitmap), 0 2 dx dy (delta), 0 n (n literal
// indices padded to an even length).
std::vector<std::vector<BYTE>> decode_rle8(const std::string& data, int width, int height) {
    std::vector<std::vector<BYTE>> rows(1);
    for (std::size_t i = 0; i + 1 < data.size();) {
        const auto count = static_cast<BYTE>(data[i]);
        const auto value = static_cast<BYTE>(data[i + 1]);
        i += 2;
        if (count > 0) {
            rows.back().insert(rows.back().end(), count, value);
        } else if (value == 0) {
            rows.emplace_back();
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            return {}; // deltas are not written here
        } else {
            rows.back().insert(rows.back().end(), data.begin() + static_cast<long>(i),
                               data.begin() + static_cast<long>(i + value));
            i += value + (value & 1);
        }
    }
    if (rows.back().empty()) {
        rows.pop_back();
    }
    for (const auto& row : rows) {
        if (static_cast<int>(row.size()) != width) {
            return {};
        }
    }
    return static_cast<int>(rows.size()) == height ? rows : std::vector<std::vector<BYTE>>{};
}

TEST(SaveExactBmp, ThePaletteIsCutToTheIndicesUsed) {
    for (int compression : {0, 1}) {
        TempDir dir;
        Settings s;
        s.bmp_color_table = 1;
        s.bmp_compression = compression;
        SaveTarget out = target_for("bmp", s, dir / "exact.bmp", 8);
        ASSERT_EQ(save_route("bmp", 8, s), SaveRoute::ExactBmp);
        Bitmap picture = sixteen_colour_picture();
        ASSERT_EQ(run_save(adopt(FreeImage_Clone(picture.get())), out, s).status,
                  FrameStatus::Converted);

        const std::string file = read_file(out.path);
        ASSERT_GE(file.size(), 118U);
        EXPECT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(get32(file, 2), file.size()); // file size
        EXPECT_EQ(get32(file, 10), 118U);       // 14 + 40 + 16 * 4
        EXPECT_EQ(get32(file, 14), 40U);
        EXPECT_EQ(get16(file, 28), 8);                                    // bits per pixel
        EXPECT_EQ(get32(file, 30), unsigned(compression));                // BI_RGB or BI_RLE8
        EXPECT_EQ(get32(file, 34), file.size() - 118);                    // image size
        EXPECT_EQ(get32(file, 46), 16U);                                  // colours used
        EXPECT_EQ(get32(file, 50), 16U);                                  // colours important
        EXPECT_EQ(static_cast<unsigned char>(file[54 + 4 * 15 + 2]), 45); // red of entry 15

        if (compression == 0) {
            Bitmap back = adopt(FreeImage_Load(FIF_BMP, out.path.c_str(), 0));
            ASSERT_TRUE(back);
            expect_same_pixels(back.get(), picture.get());
        } else {
            // FreeImage refuses its own RLE8 data on reading (an end of line
            // before the end of bitmap); decode it by the format's rules.
            const auto rows = decode_rle8(file.substr(118), 40, 30);
            ASSERT_EQ(rows.size(), 30U);
            for (int y = 0; y < 30; ++y) {
                ASSERT_EQ(std::memcmp(rows[y].data(), FreeImage_GetScanLine(picture.get(), y), 40),
                          0)
                    << "row " << y;
            }
        }
    }
}

TEST(SaveExactBmp, WithoutExactTheFileIsFreeImagesOwn) {
    TempDir dir;
    Settings s;
    s.bmp_color_table = 0;
    SaveTarget out = target_for("bmp", s, dir / "own.bmp", 8);
    ASSERT_EQ(run_save(sixteen_colour_picture(), out, s).status, FrameStatus::Converted);
    const std::string file = read_file(out.path);
    EXPECT_EQ(get32(file, 10), 1078U); // full 256-entry palette
    EXPECT_EQ(file.size(), 1078U + 40 * 30);
}

// --- pfm -------------------------------------------------------------------------------------

TEST(SavePfm, RowsAreWrittenFromTheBottomOfThePicture) {
    Bitmap b = adopt(FreeImage_AllocateT(FIT_RGBF, 3, 4));
    for (int y = 0; y < 4; ++y) { // scan line 0 is the bottom row
        auto* row = reinterpret_cast<FIRGBF*>(FreeImage_GetScanLine(b.get(), y));
        for (int x = 0; x < 3; ++x) {
            row[x] = {static_cast<float>(y) / 10.0F, static_cast<float>(x), 0.5F};
        }
    }
    TempDir dir;
    Settings s;
    SaveTarget out = target_for("pfm", s, dir / "float.pfm");
    ASSERT_EQ(run_save(std::move(b), out, s).status, FrameStatus::Converted);
    const auto pfm = parse_pfm(read_file(out.path));
    ASSERT_TRUE(pfm);
    EXPECT_EQ(pfm->width, 3U);
    EXPECT_EQ(pfm->height, 4U);
    for (unsigned k = 0; k < 4; ++k) { // the k-th row of the file is the k-th from the bottom
        EXPECT_FLOAT_EQ(pfm->samples[k * 9], static_cast<float>(k) / 10.0F);
        EXPECT_FLOAT_EQ(pfm->samples[k * 9 + 3 + 1], 1.0F);
    }
}

// --- jxr -------------------------------------------------------------------------------------

TEST(SaveJxr, EveryDepthIsLosslessAndTopRowFirst) {
    for (int depth : allowed_depths("jxr")) {
        TempDir dir;
        Settings s;
        SaveTarget out = target_for("jxr", s, dir / "out.jxr", depth);
        out.frame.source_depth = 32;
        // Sizes off the 16-pixel blocks.
        Bitmap b = convert_depth(make_picture(37, 21), out.plan, out.frame);
        ASSERT_TRUE(b) << depth;
        Bitmap kept = adopt(FreeImage_Clone(b.get()));
        ASSERT_EQ(save_to(b, s, out).status, FrameStatus::Converted) << depth;
        const auto file = test::read_jxr(out.path);
        ASSERT_TRUE(file) << depth;
        ASSERT_EQ(file->bits, depth);
        const unsigned line = FreeImage_GetLine(kept.get());
        for (unsigned y = 0; y < 21; ++y) {
            const BYTE* expected = FreeImage_GetScanLine(kept.get(), static_cast<int>(20 - y));
            const std::uint8_t* got = file->pixels.data() + y * file->stride;
            if (depth == 96) { // floats keep 13 mantissa bits
                const auto* e = reinterpret_cast<const float*>(expected);
                const auto* g = reinterpret_cast<const float*>(got);
                for (unsigned k = 0; k < 37 * 3; ++k) {
                    ASSERT_NEAR(g[k], e[k], 1e-3 * std::fabs(e[k]) + 1e-6) << "row " << y;
                }
            } else if (depth == 1) {
                ASSERT_EQ(std::memcmp(expected, got, 4), 0) << "row " << y;
                ASSERT_EQ(expected[4] & 0xF8, got[4] & 0xF8) << "row " << y; // 37 = 4 * 8 + 5
            } else {
                ASSERT_EQ(std::memcmp(expected, got, line), 0) << "depth " << depth << " row " << y;
            }
        }
        // The bitmap is the same after the write (it is turned over and back).
        EXPECT_EQ(std::memcmp(FreeImage_GetBits(kept.get()), FreeImage_GetBits(b.get()),
                              FreeImage_GetPitch(b.get()) * 21),
                  0);
    }
}

// --- failures --------------------------------------------------------------------------------

struct RouteCase {
    const char* ext;
    int depth;
    int color_table;
};
const RouteCase kRoutes[] = {
    {"png", 24, 0}, {"dds", 32, 0}, {"psd", 32, 0}, {"pcx", 24, 0},
    {"bmp", 8, 1},  {"jxr", 24, 0}, {"pfm", 96, 0},
};

TEST(SaveFailure, AFolderThatCannotExistFailsAndCreatesNothing) {
    for (const RouteCase& r : kRoutes) {
        TempDir dir;
        test::write_file(dir / "plain", "a file, not a folder");
        Settings s;
        s.bmp_color_table = r.color_table;
        SaveTarget out = target_for(r.ext, s, dir / ("plain/out." + std::string(r.ext)), r.depth);
        EXPECT_EQ(run_save(make_picture(32, 32), out, s).status, FrameStatus::Failed) << r.ext;
        EXPECT_EQ(platform::list_folder(dir.path()).size(), 1U) << r.ext;
    }
}

TEST(SaveFailure, ANameTheFileSystemRefusesLeavesNoTemporaryFile) {
    for (const RouteCase& r : kRoutes) {
        TempDir dir;
        Settings s;
        s.bmp_color_table = r.color_table;
        SaveTarget out = target_for(r.ext, s, dir / (std::string(300, 'n') + "." + r.ext), r.depth);
        EXPECT_EQ(run_save(make_picture(32, 32), out, s).status, FrameStatus::Failed) << r.ext;
        EXPECT_TRUE(platform::list_folder(dir.path()).empty()) << r.ext;
    }
}

TEST(SaveFailure, WhatHoldsTheOutputNameIsLeftAsItWas) {
    for (const RouteCase& r : kRoutes) {
        TempDir dir;
        Settings s;
        s.bmp_color_table = r.color_table;
        const std::string target = dir / ("taken." + std::string(r.ext));
        ASSERT_TRUE(platform::make_folder(target));
        test::write_file(target + "/inside", "kept");
        SaveTarget out = target_for(r.ext, s, target, r.depth);
        EXPECT_EQ(run_save(make_picture(32, 32), out, s).status, FrameStatus::Failed) << r.ext;
        EXPECT_EQ(read_file(target + "/inside"), "kept");
        EXPECT_FALSE(has_temporary_file(dir.path())) << r.ext;
    }
}

TEST(SaveFailure, ARefusingEncoderLeavesTheEarlierFileIntact) {
    struct Case {
        const char* ext;
        int width, height, depth;
    };
    // The icon writer refuses 8 x 8 (fit_icon is skipped here); the JPEG 2000
    // writers refuse pictures under 32 pixels; webp takes no 8-bit bitmap.
    for (const Case& c : {Case{"ico", 8, 8, 32}, Case{"j2k", 20, 40, 24}, Case{"jp2", 40, 20, 24},
                          Case{"webp", 16, 16, 8}}) {
        TempDir dir;
        Settings s;
        const std::string path = dir / (std::string("earlier.") + c.ext);
        test::write_file(path, "earlier");
        SaveTarget out = target_for(c.ext, s, path, c.depth);
        Bitmap b = convert_depth(make_picture(c.width, c.height), out.plan, out.frame);
        EXPECT_EQ(save_to(b, s, out).status, FrameStatus::Failed) << c.ext;
        EXPECT_EQ(read_file(path), "earlier") << c.ext;
        EXPECT_FALSE(has_temporary_file(dir.path())) << c.ext;
    }
}

TEST(SaveFailure, NoBitmapOrNoOutputFormatFails) {
    TempDir dir;
    Settings s;
    SaveTarget out = target_for("png", s, dir / "none.png");
    EXPECT_EQ(save_to(Bitmap{}, s, out).status, FrameStatus::Failed);
    out.plan.output_extension = "jpeg";
    EXPECT_EQ(save_to(make_picture(4, 4), s, out).status, FrameStatus::Failed);
    EXPECT_TRUE(platform::list_folder(dir.path()).empty());
}

TEST(SaveNames, NamesBeyondAsciiWorkOnEveryRoute) {
    for (const RouteCase& r : kRoutes) {
        TempDir dir;
        Settings s;
        s.bmp_color_table = r.color_table;
        const std::string path = dir / ("\xC3\xB1"
                                        "and\xC3\xBA-\xE6\x97\xA5\xE6\x9C\xAC." +
                                        std::string(r.ext));
        test::write_file(path, "earlier");
        SaveTarget out = target_for(r.ext, s, path, r.depth);
        const SaveReport saved = run_save(make_picture(32, 32), out, s);
        ASSERT_EQ(saved.status, FrameStatus::Converted) << r.ext;
        EXPECT_NE(read_file(path), "earlier");
        EXPECT_TRUE(read_back(path, r.ext)) << r.ext;
        EXPECT_EQ(platform::list_folder(dir.path()).size(), 1U) << r.ext;
        EXPECT_NE(saved.temporary_path.find("/pixlane"), std::string::npos);
    }
}

// --- a full disk ---------------------------------------------------------------------

struct FullDiskCase {
    std::string ext;
    int depth;
    int color_table;     // 1: the exact colour table writer (bmp, 8 bits)
    int png_palette = 0; // 1: the exact palette (png, automatic depth, few colours)
};
void PrintTo(const FullDiskCase& c, std::ostream* os) {
    *os << c.ext << " at " << c.depth << " bits" << (c.color_table ? ", exact colour table" : "")
        << (c.png_palette ? ", exact palette" : "");
}

// The picture a case saves: one of few colours for the exact palette.
Bitmap full_disk_picture(const FullDiskCase& c) {
    return c.png_palette ? test::make_colours(64, 48, 200, 0) : make_picture(64, 48);
}

// Every output format once (24 bits where it has them), and the exact
// colour table writer: each save route.
std::vector<FullDiskCase> full_disk_cases() {
    std::vector<FullDiskCase> all;
    for (const OutputFormat& f : output_catalogue()) {
        const auto depths = allowed_depths(f.extension);
        const bool has_24 = std::find(depths.begin(), depths.end(), 24) != depths.end();
        all.push_back({std::string(f.extension), has_24 ? 24 : depths.back(), 0});
    }
    all.push_back({"bmp", 8, 1});
    all.push_back({"png", 0, 0, 1});
    return all;
}

class SaveOnAFullDisk : public testing::TestWithParam<FullDiskCase> {};

// The disk fills at the first byte, halfway and at the very last byte: the
// save fails with its reason, the earlier output keeps every byte and no
// temporary file stays. With room again the same save is complete.
TEST_P(SaveOnAFullDisk, FailsAndKeepsTheEarlierFile) {
    const FullDiskCase& c = GetParam();
    TempDir dir;
    Settings s;
    s.bmp_color_table = c.color_table;
    s.png_palette = c.png_palette;
    SaveTarget sized = target_for(c.ext, s, dir / ("complete." + c.ext), c.depth);
    ASSERT_EQ(run_save(full_disk_picture(c), sized, s).status, FrameStatus::Converted);
    const std::string complete = read_file(sized.path);
    ASSERT_GT(complete.size(), 1U);

    const std::string path = dir / ("out." + c.ext);
    test::write_file(path, "earlier output");
    for (const std::size_t room : {std::size_t{0}, complete.size() / 2, complete.size() - 1}) {
        SaveTarget out = target_for(c.ext, s, path, c.depth);
        SaveReport report;
        {
            WriteLimit limit(static_cast<std::int64_t>(room));
            out.frame.source_depth = 32;
            Bitmap b = convert_depth(fit_icon(full_disk_picture(c), out.plan), out.plan, out.frame);
            report = save_to(b, s, out);
        }
        EXPECT_EQ(report.status, FrameStatus::Failed) << room << " bytes of room";
        ASSERT_TRUE(report.failure) << room << " bytes of room";
        EXPECT_NE(report.failure->reason.find("No space left on device"), std::string::npos)
            << report.failure->reason;
        EXPECT_TRUE(report.failure->out_of_space) << report.failure->reason;
        EXPECT_EQ(read_file(path), "earlier output") << room << " bytes of room";
        EXPECT_EQ(platform::list_folder(dir.path()).size(), 2U) << room << " bytes of room";
    }
    SaveTarget out = target_for(c.ext, s, path, c.depth);
    ASSERT_EQ(run_save(full_disk_picture(c), out, s).status, FrameStatus::Converted);
    EXPECT_EQ(read_file(path), complete);
    if (c.png_palette) {
        EXPECT_EQ(complete[25], 3) << "not written with a palette";
    }
}

INSTANTIATE_TEST_SUITE_P(Routes, SaveOnAFullDisk, testing::ValuesIn(full_disk_cases()),
                         [](const testing::TestParamInfo<FullDiskCase>& info) {
                             return info.param.ext + (info.param.color_table ? "_exact" : "") +
                                    (info.param.png_palette ? "_palette" : "");
                         });

TEST(SaveOnAFullDisk, ARealFullFileSystemOnEveryRoute) {
    TempDir dir;
    const auto failures = test::in_small_tmpfs(dir.path(), 256, [&] {
        std::string failures;
        for (const RouteCase& r : kRoutes) {
            Settings s;
            s.bmp_color_table = r.color_table;
            const std::string path = dir / ("out." + std::string(r.ext));
            test::write_file(path, "earlier output");
            test::fill_file_system(dir.path());
            SaveTarget out = target_for(r.ext, s, path, r.depth);
            if (run_save(make_picture(200, 200), out, s).status != FrameStatus::Failed) {
                failures += std::string(r.ext) + ": saved on a full disk; ";
            }
            if (read_file(path) != "earlier output") {
                failures += std::string(r.ext) + ": the earlier output changed; ";
            }
            for (const auto& entry : platform::list_folder(dir.path())) {
                if (entry.name.rfind("filler", 0) != 0 &&
                    entry.name != "out." + std::string(r.ext)) {
                    failures += std::string(r.ext) + ": " + entry.name + " left; ";
                }
                platform::remove_file(dir / entry.name);
            }
        }
        return failures;
    });
    if (!failures) {
        GTEST_SKIP() << "no small tmpfs can be mounted here (needs root or user namespaces)";
    }
    EXPECT_EQ(*failures, "");
}

} // namespace
} // namespace pixlane

namespace pixlane {
namespace {

// The id of a process that has ended (and been reaped).
pid_t ended_process() {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    ::waitpid(pid, nullptr, 0);
    return pid;
}

TEST(SaveLeftovers, OnlyTheTemporariesOfEndedRunsGo) {
    test::TempDir dir;
    const RunOwner self = run_owner();
    const long gone = ended_process();
    const auto mark = [](long pid, std::uint64_t started) {
        return std::to_string(pid) + "-" + std::to_string(started);
    };
    const struct {
        std::string name;
        bool removed;
    } files[] = {
        {"pixlanebhajcbbjajabcde." + mark(gone, 12345) + ".png", true},
        {"pixlanebhajcbbjajabcde." + mark(gone, 0) + ".png", true},
        // This run's own, and a live process of another start time's id
        // reused: kept (the parent of this process is alive).
        {"pixlanebhajcbbjajabcde." + mark(self.pid, self.started) + ".png", false},
        {"pixlanebhajcbbjajabcde." + mark(::getppid(), 0) + ".png", false},
        // Outputs that merely look alike.
        {"pixlanebhajcbbjajabcde.png", false},
        {"pixlane." + mark(gone, 1) + ".png", false},
        {"pixlaneABC." + mark(gone, 1) + ".png", false},
        {"pixlanex." + mark(gone, 1) + ".tar.gz", false},
        {"pixlanex.+" + mark(gone, 1) + ".png", false},
        {"mypixlanex." + mark(gone, 1) + ".png", false},
    };
    for (const auto& f : files) {
        test::write_file(dir / f.name, "x");
    }
    // A link and a folder with a leftover's name are never touched.
    const std::string link = "pixlanelink." + mark(gone, 7) + ".png";
    ASSERT_EQ(::symlink((dir / files[0].name).c_str(), (dir / link).c_str()), 0);
    platform::make_folder(dir / ("pixlanedir." + mark(gone, 7) + ".png"));

    EXPECT_EQ(remove_leftover_temporaries(dir.path()), 2);
    for (const auto& f : files) {
        EXPECT_EQ(platform::exists(dir / f.name), !f.removed) << f.name;
    }
    EXPECT_TRUE(platform::is_folder(dir / ("pixlanedir." + mark(gone, 7) + ".png")));
}

} // namespace
} // namespace pixlane
