// The PNG route against FreeImage's own PNG writer (what the route wrote
// before it had a writer of its own), and the exact palette against the RGB
// route.
#include <gtest/gtest.h>

#include <FreeImage.h>
#include <zlib.h>

#include <ostream>
#include <string>
#include <vector>

#include "formats/catalogue.h"
#include "pipeline/opacity.h"
#include "pipeline/save.h"
#include "support/test_bitmaps.h"
#include "support/test_support.h"

namespace pixlane {
namespace {

using test::make_colours;
using test::read_file;
using test::TempDir;

// The header fields of a PNG file: bit depth, colour type, interlacing.
struct Header {
    int depth = 0;
    int colour_type = 0;
    int interlace = 0;
    friend bool operator==(const Header&, const Header&) = default;
};
[[maybe_unused]] void PrintTo(const Header& h, std::ostream* os) {
    *os << "depth " << h.depth << ", colour type " << h.colour_type << ", interlace "
        << h.interlace;
}
Header header_of(const std::string& png) {
    if (png.size() < 33 || png.compare(12, 4, "IHDR") != 0) {
        return {};
    }
    return {static_cast<unsigned char>(png[24]), static_cast<unsigned char>(png[25]),
            static_cast<unsigned char>(png[28])};
}

// The image data inflated: the filtered rows.
std::string image_data(const std::string& png) {
    std::string zlib;
    for (std::size_t pos = 8; pos + 12 <= png.size();) {
        const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(png[pos + i]); };
        const std::size_t len =
            (std::size_t{byte(0)} << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
        if (png.compare(pos + 4, 4, "IDAT") == 0) {
            zlib.append(png, pos + 8, len);
        }
        pos += 12 + len;
    }
    z_stream z{};
    inflateInit(&z);
    z.next_in = reinterpret_cast<Bytef*>(zlib.data());
    z.avail_in = static_cast<uInt>(zlib.size());
    std::string raw;
    char buffer[16384];
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        raw.append(buffer, sizeof buffer - z.avail_out);
    }
    inflateEnd(&z);
    return status == Z_STREAM_END ? raw : std::string();
}

bool has_chunk(const std::string& png, const char* name) {
    return png.find(name) != std::string::npos;
}

// The decoded pixels: 16-bit RGB rows as they are, anything else as RGBA.
std::string decoded(std::string png) {
    const MemoryStream in(
        FreeImage_OpenMemory(reinterpret_cast<BYTE*>(png.data()), static_cast<DWORD>(png.size())));
    Bitmap b = adopt(FreeImage_LoadFromMemory(FIF_PNG, in.get(), 0));
    if (!b) {
        return "(unreadable)";
    }
    if (FreeImage_GetImageType(b.get()) != FIT_RGB16) {
        b = adopt(FreeImage_ConvertTo32Bits(b.get()));
    }
    const std::size_t line = FreeImage_GetLine(b.get());
    std::string pixels = std::to_string(width_of(b)) + "x" + std::to_string(height_of(b)) + ":";
    for (int y = 0; y < height_of(b); ++y) {
        pixels.append(reinterpret_cast<const char*>(FreeImage_GetScanLine(b.get(), y)), line);
    }
    return pixels;
}

// A png plan at `depth` (0: automatic).
BatchPlan png_plan(const Settings& s, int depth) {
    BatchPlan plan;
    EXPECT_TRUE(set_batch_output(plan, "png", s));
    plan.output_depth = depth;
    plan.automatic_depth = depth == 0;
    return plan;
}

// Depth conversion and save to a file, as a file's conversion ends; the
// file's bytes.
std::string saved_png(const Bitmap& frame, const Settings& s, int depth, const TempDir& dir) {
    const BatchPlan plan = png_plan(s, depth);
    FrameFacts facts;
    facts.source_depth = bpp_of(frame);
    Bitmap b = convert_depth(adopt(FreeImage_Clone(frame.get())), plan, facts);
    const SaveReport saved = save_frame(b, s, plan, dir / "out.png");
    EXPECT_EQ(saved.status, FrameStatus::Converted);
    return read_file(saved.output_path);
}

// The same frame through FreeImage's PNG writer with the batch's flag word.
std::string freeimage_png(const Bitmap& frame, const Settings& s, int depth) {
    const BatchPlan plan = png_plan(s, depth);
    FrameFacts facts;
    facts.source_depth = bpp_of(frame);
    Bitmap b = convert_depth(adopt(FreeImage_Clone(frame.get())), plan, facts);
    const MemoryStream out(FreeImage_OpenMemory(nullptr, 0));
    BYTE* bytes = nullptr;
    DWORD size = 0;
    if (!b || !FreeImage_SaveToMemory(FIF_PNG, b.get(), out.get(), plan.save_flags) ||
        !FreeImage_AcquireMemory(out.get(), &bytes, &size)) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

Bitmap marked(Bitmap b, Opacity opacity) {
    set_opacity(b.get(), opacity);
    return b;
}

// Settings of the PNG options: compression 0 to 3 (and 7, which gives
// libpng's default level), interlacing on or off.
std::vector<Settings> png_options() {
    std::vector<Settings> all;
    for (int compression : {0, 1, 2, 3, 7}) {
        for (int interlaced : {0, 1}) {
            Settings s;
            s.png_compression = compression;
            s.png_interlaced = static_cast<std::uint8_t>(interlaced);
            all.push_back(s);
        }
    }
    return all;
}

// Every depth (automatic included) and option on frames with and without
// alpha, of few and of many colours: the same colour type, chunks and
// pixels as FreeImage's writer gave and, but for compression level 0 (where
// rows are no longer filtered), the same filtered rows; libdeflate
// compresses them above zlib level 1.
TEST(PngRoute, EveryDepthAndOptionGivesTheFileFreeImageWrote) {
    struct Frame {
        const char* name;
        Bitmap bitmap;
    };
    Bitmap grey = adopt(FreeImage_ConvertToGreyscale(make_colours(29, 19, 551).get()));
    const Frame frames[] = {
        {"opaque, 551 colours", make_colours(29, 19, 551)},
        {"opaque, 551 colours, known opaque", marked(make_colours(29, 19, 551), Opacity::Opaque)},
        {"opaque, 40 colours", make_colours(29, 19, 40)},
        {"alpha 128 in one of 551 colours", make_colours(29, 19, 551, 128)},
        {"one transparent colour of 40", marked(make_colours(29, 19, 40, 0), Opacity::Translucent)},
        // The 32-bit frame was translucent before a step made it grey.
        {"grey, once translucent", marked(std::move(grey), Opacity::Translucent)},
    };
    std::vector<int> depths = allowed_depths("png");
    depths.insert(depths.begin(), 0);
    TempDir dir;
    for (const Frame& f : frames) {
        for (int depth : depths) {
            for (const Settings& s : png_options()) {
                const std::string what = std::string(f.name) + ", depth " + std::to_string(depth) +
                                         ", compression " + std::to_string(s.png_compression) +
                                         (s.png_interlaced ? ", interlaced" : "");
                const std::string ours = saved_png(f.bitmap, s, depth, dir);
                const std::string theirs = freeimage_png(f.bitmap, s, depth);
                ASSERT_FALSE(theirs.empty()) << what;
                EXPECT_EQ(header_of(ours), header_of(theirs)) << what;
                EXPECT_EQ(decoded(ours), decoded(theirs)) << what;
                // The same chunks before the image data; when compressed, the
                // same filtered rows (the deflate streams differ).
                EXPECT_EQ(ours.substr(0, ours.find("IDAT") - 4),
                          theirs.substr(0, theirs.find("IDAT") - 4))
                    << what;
                if (s.png_compression != 0) {
                    EXPECT_TRUE(image_data(ours) == image_data(theirs)) << what;
                }
                if (s.png_compression == 1) { // zlib 1 is still zlib's
                    EXPECT_TRUE(ours == theirs) << what;
                }
            }
        }
    }
}

// With the exact palette, a frame of at most 256 colours (a fully
// transparent one among them) decodes to the RGBA of the RGB route, in the
// fewest bits; one of 257 colours, or a depth that is not automatic, gives
// the RGB route's file.
TEST(PngPalette, FewColoursGiveAPaletteFileOfTheSamePixels) {
    struct Case {
        unsigned colours;
        BYTE first_alpha;
        int depth; // 0: automatic
        int bits;  // palette bits expected; 0: the RGB route's file
    };
    const Case cases[] = {
        {1, 255, 0, 1},  {2, 0, 0, 1},   {3, 255, 0, 2},   {4, 128, 0, 2}, {5, 0, 0, 4},
        {16, 255, 0, 4}, {17, 0, 0, 8},  {256, 255, 0, 8}, {256, 0, 0, 8}, {257, 255, 0, 0},
        {257, 0, 0, 0},  {40, 0, 32, 0}, {40, 255, 24, 0},
    };
    TempDir dir;
    for (const Case& c : cases) {
        for (Settings s : png_options()) {
            const Bitmap frame = make_colours(29, 19, c.colours, c.first_alpha);
            const std::string what =
                std::to_string(c.colours) + " colours, alpha " + std::to_string(c.first_alpha) +
                ", depth " + std::to_string(c.depth) + ", compression " +
                std::to_string(s.png_compression) + (s.png_interlaced ? ", interlaced" : "");
            const std::string rgb = saved_png(frame, s, c.depth, dir);
            s.png_palette = 1;
            const std::string palette = saved_png(frame, s, c.depth, dir);
            if (c.bits == 0) {
                EXPECT_TRUE(palette == rgb) << what;
                continue;
            }
            EXPECT_EQ(header_of(palette), (Header{c.bits, 3, s.png_interlaced})) << what;
            EXPECT_EQ(has_chunk(palette, "tRNS"), c.first_alpha != 255) << what;
            EXPECT_EQ(decoded(palette), decoded(rgb)) << what;
        }
    }
}

} // namespace
} // namespace pixlane
