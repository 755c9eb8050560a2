// The loader composes frames itself, so it must show exactly what
// FreeImage's own playback shows wherever that playback is safe, and it must
// turn every malformed file into either a correct picture or a refusal.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <cstring>
#include <map>
#include <random>

#include "gif_writer/gif_writer.h"
#include "pipeline/gif_load.h"
#include "pipeline/opacity.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

// The pixel at (x, y), top row first, as 0xAARRGGBB.
std::uint32_t pixel(const Bitmap& b, int x, int y) {
    RGBQUAD q;
    FreeImage_GetPixelColor(b.get(), static_cast<unsigned>(x),
                            static_cast<unsigned>(height_of(b) - 1 - y), &q);
    return (std::uint32_t{q.rgbReserved} << 24) | (std::uint32_t{q.rgbRed} << 16) |
           (std::uint32_t{q.rgbGreen} << 8) | q.rgbBlue;
}

constexpr std::uint32_t opaque(Rgb c) { return 0xFF000000u | c; }

// Number of pixels that differ between two 32-bit images of the same size.
int differences(FIBITMAP* a, FIBITMAP* b) {
    const int w = static_cast<int>(FreeImage_GetWidth(a));
    const int h = static_cast<int>(FreeImage_GetHeight(a));
    int n = 0;
    for (int y = 0; y < h; ++y) {
        const auto* ra = reinterpret_cast<const std::uint32_t*>(FreeImage_GetScanLine(a, y));
        const auto* rb = reinterpret_cast<const std::uint32_t*>(FreeImage_GetScanLine(b, y));
        for (int x = 0; x < w; ++x) {
            n += ra[x] != rb[x];
        }
    }
    return n;
}

// What the composer says of a frame's alpha against what its pixels hold.
void expect_known_opacity(const Bitmap& b, const std::string& what, int* opaque_frames = nullptr) {
    bool opaque = true;
    for (int y = 0; opaque && y < height_of(b); ++y) {
        for (int x = 0; opaque && x < width_of(b); ++x) {
            opaque = pixel(b, x, y) >> 24 == 0xFF;
        }
    }
    EXPECT_EQ(known_opacity(b.get()), opaque ? Opacity::Opaque : Opacity::Translucent) << what;
    if (opaque_frames) {
        *opaque_frames += opaque;
    }
}

// Compares every composed frame with FreeImage's playback of the same file.
void expect_same_as_playback(const std::string& path, const std::string& what,
                             int* opaque_frames = nullptr) {
    GifAnimation gif;
    ASSERT_TRUE(gif.open(path)) << what;
    FIMULTIBITMAP* multi =
        FreeImage_OpenMultiBitmap(FIF_GIF, path.c_str(), FALSE, TRUE, TRUE, GIF_PLAYBACK);
    ASSERT_NE(multi, nullptr) << what;
    ASSERT_EQ(FreeImage_GetPageCount(multi), gif.frame_count()) << what;
    for (int i = 0; i < gif.frame_count(); ++i) {
        Bitmap mine = gif.frame(i);
        FIBITMAP* theirs = FreeImage_LockPage(multi, i);
        ASSERT_NE(theirs, nullptr) << what << " frame " << i;
        ASSERT_TRUE(mine) << what << " frame " << i;
        EXPECT_EQ(bpp_of(mine), 32);
        EXPECT_EQ(FreeImage_GetWidth(theirs), FreeImage_GetWidth(mine.get())) << what;
        EXPECT_EQ(FreeImage_GetHeight(theirs), FreeImage_GetHeight(mine.get())) << what;
        if (FreeImage_GetWidth(theirs) == FreeImage_GetWidth(mine.get()) &&
            FreeImage_GetHeight(theirs) == FreeImage_GetHeight(mine.get())) {
            EXPECT_EQ(differences(mine.get(), theirs), 0) << what << " frame " << i;
        }
        expect_known_opacity(mine, what + " frame " + std::to_string(i), opaque_frames);
        FreeImage_UnlockPage(multi, theirs, FALSE);
    }
    // Handed over rather than copied, each frame is the same picture; every
    // hand-over makes the next request start again from the first frame.
    for (int i = gif.frame_count() - 1; i >= 0; --i) {
        Bitmap taken = gif.take_frame(i);
        FIBITMAP* theirs = FreeImage_LockPage(multi, i);
        ASSERT_TRUE(taken) << what << " frame " << i;
        EXPECT_EQ(differences(taken.get(), theirs), 0) << what << " taken frame " << i;
        expect_known_opacity(taken, what + " taken frame " + std::to_string(i));
        FreeImage_UnlockPage(multi, theirs, FALSE);
    }
    FreeImage_CloseMultiBitmap(multi, 0);
}

// A random animation whose frames all lie inside the screen and carry a
// graphic control extension: the inputs playback handles safely.
GifSpec random_animation(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int palette_sizes[] = {2, 3, 4, 7, 16, 100, 256};
    GifSpec s;
    s.width = pick(1, 40);
    s.height = pick(1, 30);
    if (pick(0, 4) > 0) {
        s.global_palette = test_palette(palette_sizes[pick(0, 6)]);
    }
    s.background = pick(0, 3) == 0 ? pick(0, 255) : pick(0, 3);
    const int frames = pick(1, 7);
    for (int k = 0; k < frames; ++k) {
        const int w = pick(1, s.width);
        const int h = pick(1, s.height);
        GifFrame f = solid_frame(pick(0, s.width - w), pick(0, s.height - h), w, h, 0);
        if (pick(0, 3) == 0) {
            f.local_palette = test_palette(palette_sizes[pick(0, 6)]);
            for (auto& c : f.local_palette) {
                c ^= 0x5A3C96; // tell local colours from global ones
            }
        }
        const std::size_t listed = !f.local_palette.empty()    ? f.local_palette.size()
                                   : !s.global_palette.empty() ? s.global_palette.size()
                                                               : 4;
        // Indices up to the padded table size, so unlisted entries show too.
        std::size_t table = 2;
        while (table < listed) {
            table *= 2;
        }
        for (auto& v : f.indices) {
            v = static_cast<std::uint8_t>(pick(0, static_cast<int>(table) - 1));
        }
        f.disposal = pick(0, 9) == 0 ? pick(4, 7) : pick(0, 3);
        f.transparent = pick(0, 1) ? pick(0, static_cast<int>(table) - 1) : -1;
        f.interlaced = pick(0, 3) == 0;
        s.frames.push_back(f);
    }
    s.gif89 = pick(0, 4) > 0;
    return s;
}

TEST(GifLoadTest, ComposesLikePlaybackOnGeneratedAnimations) {
    TempDir dir;
    std::mt19937 rng(20261208);
    int frames = 0;
    int opaque_frames = 0;
    for (int round = 0; round < 300; ++round) {
        const GifSpec spec = random_animation(rng);
        const std::string path = dir / "g.gif";
        write_file(path, encode_gif(spec));
        expect_same_as_playback(path, "round " + std::to_string(round), &opaque_frames);
        frames += static_cast<int>(spec.frames.size());
        if (HasFailure()) {
            break;
        }
    }
    // Both kinds of frame were composed, so the opacity counts were tried.
    EXPECT_GT(opaque_frames, 10);
    EXPECT_LT(opaque_frames, frames - 10);
}

TEST(GifLoadTest, ComposesLikePlaybackOnTheSamples) {
    for (const char* name : {"anim.gif", "still.gif", "nested/badge.gif"}) {
        expect_same_as_playback(std::string(PIXLANE_SOURCE_DIR) + "/examples/" + name, name);
    }
}

// Every disposal method once, on a 4x1 screen, checked by hand.
TEST(GifLoadTest, AppliesEachDisposalMethod) {
    GifSpec s;
    s.width = 4;
    s.height = 1;
    s.global_palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    s.background = 3;
    GifFrame base = solid_frame(0, 0, 4, 1, 1);
    base.disposal = 1;
    GifFrame cleared = solid_frame(0, 0, 1, 1, 2);
    cleared.disposal = 2;
    GifFrame restored = solid_frame(1, 0, 1, 1, 2);
    restored.disposal = 3;
    GifFrame last = solid_frame(3, 0, 1, 1, 0);
    last.transparent = 0;
    s.frames = {base, cleared, restored, last};
    GifAnimation gif;
    ASSERT_TRUE(gif.open_bytes(encode_gif(s)));
    const std::uint32_t red = opaque(0xFF0000), green = opaque(0x00FF00), clear = 0x000000FF;
    const std::uint32_t expected[4][4] = {{red, red, red, red},
                                          {green, red, red, red},
                                          {clear, green, red, red},
                                          {clear, red, red, red}};
    for (int i = 0; i < 4; ++i) {
        Bitmap b = gif.frame(i);
        ASSERT_TRUE(b);
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(pixel(b, x, 0), expected[i][x]) << "frame " << i << " x " << x;
        }
    }
    // Asking for an earlier frame starts again and gives the same picture.
    Bitmap again = gif.frame(1);
    EXPECT_EQ(pixel(again, 0, 0), green);
    // A frame handed over stays as it was while later frames are composed.
    Bitmap taken = gif.take_frame(2);
    Bitmap later = gif.frame(3);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(pixel(taken, x, 0), expected[2][x]) << "x " << x;
        EXPECT_EQ(pixel(later, x, 0), expected[3][x]) << "x " << x;
    }
}

// Playback erases every earlier frame that has no graphic control
// extension; such a frame stays on the screen, as in a GIF87a animation.
TEST(GifLoadTest, FrameWithoutControlExtensionStays) {
    GifSpec s;
    s.width = 2;
    s.height = 1;
    s.gif89 = false;
    s.global_palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    GifFrame left = solid_frame(0, 0, 1, 1, 1);
    left.graphic_control = false;
    GifFrame right = solid_frame(1, 0, 1, 1, 2);
    right.graphic_control = false;
    s.frames = {left, right};
    GifAnimation gif;
    ASSERT_TRUE(gif.open_bytes(encode_gif(s)));
    Bitmap b = gif.frame(1);
    EXPECT_EQ(pixel(b, 0, 0), opaque(0xFF0000));
    EXPECT_EQ(pixel(b, 1, 0), opaque(0x00FF00));
}

// ---------------------------------------------------------------------------
// Malformed and hostile inputs: each is converted correctly or refused.

// A 4x3 screen with one frame of colour 1 and the given frame placement.
GifSpec one_frame(int left, int top, int width, int height) {
    GifSpec s;
    s.width = 4;
    s.height = 3;
    s.global_palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    s.frames = {solid_frame(left, top, width, height, 1)};
    return s;
}

// Byte offset of the first image descriptor's LZW code size.
std::size_t code_size_offset(const std::string& gif) {
    const std::size_t desc = gif.find(',', 13);
    const unsigned packed = static_cast<unsigned char>(gif[desc + 9]);
    return desc + 10 + ((packed & 0x80) ? 3u * (2u << (packed & 7)) : 0u);
}

std::string with_screen(std::string gif, int width, int height) {
    gif[6] = static_cast<char>(width & 0xFF);
    gif[7] = static_cast<char>(width >> 8);
    gif[8] = static_cast<char>(height & 0xFF);
    gif[9] = static_cast<char>(height >> 8);
    return gif;
}

struct Malformed {
    const char* name;
    std::string bytes;
    int frames;          // 0: refused
    int red_pixels = -1; // converted: opaque red pixels expected in the last frame
};

std::vector<Malformed> malformed_inputs() {
    std::vector<Malformed> rows;
    rows.push_back({"plain 89a", encode_gif(one_frame(1, 1, 2, 2)), 1, 4});
    {
        GifSpec s = one_frame(1, 1, 2, 2);
        s.gif89 = false;
        s.frames[0].graphic_control = false;
        rows.push_back({"plain 87a", encode_gif(s), 1, 4});
    }
    rows.push_back({"frame 1 px too wide", encode_gif(one_frame(0, 0, 5, 3)), 1, 12});
    rows.push_back({"frame past the corner", encode_gif(one_frame(2, 1, 10, 10)), 1, 4});
    rows.push_back({"frame far outside", encode_gif(one_frame(60000, 50000, 3, 3)), 1, 0});
    {
        std::string g = encode_gif(one_frame(0, 0, 4, 3));
        g[code_size_offset(g)] = 0;
        rows.push_back({"LZW code size 0", g, 0});
        g[code_size_offset(g)] = 12;
        rows.push_back({"LZW code size 12", g, 0});
        g[code_size_offset(g)] = 9;
        rows.push_back({"LZW code size 9", g, 0});
    }
    {
        GifSpec s = one_frame(0, 0, 4, 3);
        s.global_palette = {0x000000, 0xFF0000};
        s.frames[0].min_code_size = 1;
        // FreeImage decodes one pixel of twelve: refused.
        rows.push_back({"LZW code size 1, two colours", encode_gif(s), 0});
    }
    rows.push_back({"0x0 screen", with_screen(encode_gif(one_frame(0, 0, 4, 3)), 0, 0), 0});
    rows.push_back({"0x3 screen", with_screen(encode_gif(one_frame(0, 0, 4, 3)), 0, 3), 0});
    rows.push_back(
        {"65535x65535 screen", with_screen(encode_gif(one_frame(0, 0, 4, 3)), 65535, 65535), 0});
    rows.push_back({"16385x1 screen", with_screen(encode_gif(one_frame(0, 0, 4, 3)), 16385, 1), 0});
    rows.push_back({"0x2 frame", encode_gif(one_frame(0, 0, 0, 2)), 0});
    {
        GifSpec s = one_frame(0, 0, 4, 3);
        s.frames[0] = solid_frame(0, 0, 20000, 1, 1);
        rows.push_back({"frame wider than the limit", encode_gif(s), 0});
    }
    {
        GifSpec s = one_frame(1, 1, 2, 2);
        s.trailer = false;
        rows.push_back({"no trailer", encode_gif(s), 1, 4});
    }
    {
        const std::string g = encode_gif(one_frame(0, 0, 4, 3));
        rows.push_back({"truncated inside the frame data", g.substr(0, g.size() - 4), 0});
        rows.push_back({"truncated inside the descriptor", g.substr(0, g.find(',', 13) + 5), 0});
        rows.push_back({"truncated inside the colour table", g.substr(0, 20), 0});
        rows.push_back({"header only", g.substr(0, 13), 0});
        std::string junk = g;
        junk.insert(junk.size() - 1, 1, '\x99');
        rows.push_back({"unknown block", junk, 0});
        std::string bad = g;
        bad[3] = '9';
        bad[4] = '0';
        rows.push_back({"GIF90a", bad, 0});
    }
    rows.push_back({"empty file", "", 0});
    rows.push_back({"not a GIF", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, '\0'), 0});
    {
        GifSpec s = one_frame(0, 0, 1, 1);
        s.frames.assign(kGifMaxFrames + 1, solid_frame(0, 0, 1, 1, 1));
        rows.push_back({"too many frames", encode_gif(s), 0});
    }
    {
        // 4096 x 4096 is 16 Mpx; 65 such frames exceed the total.
        GifSpec s = one_frame(0, 0, 1, 1);
        s.width = 4096;
        s.height = 4096;
        s.frames.assign(65, solid_frame(0, 0, 1, 1, 1));
        rows.push_back({"too many screen pixels", encode_gif(s), 0});
    }
    return rows;
}

int count_pixels(const Bitmap& b, std::uint32_t colour) {
    int n = 0;
    for (int y = 0; y < height_of(b); ++y) {
        for (int x = 0; x < width_of(b); ++x) {
            n += pixel(b, x, y) == colour;
        }
    }
    return n;
}

TEST(GifLoadTest, MalformedInputsAreClippedOrRefused) {
    // Every refusal says why; the reasons a user meets most, exactly.
    const std::map<std::string, std::string> reasons = {
        {"not a GIF", "not a GIF file"},
        {"empty file", "not a GIF file"},
        {"truncated inside the frame data", "truncated GIF file"},
        {"LZW code size 12", "an LZW code size of 12 (2 to 8 are valid)"},
        {"16385x1 screen", "a screen of 16385\u00D71 is empty or larger than the loader takes"},
    };
    for (const auto& row : malformed_inputs()) {
        GifAnimation gif;
        const GifAnimation::Opened opened = gif.open_bytes(row.bytes);
        EXPECT_EQ(static_cast<bool>(opened), row.frames > 0) << row.name;
        EXPECT_EQ(gif.frame_count(), row.frames) << row.name;
        if (!opened) {
            EXPECT_FALSE(gif.frame(0)) << row.name;
            EXPECT_FALSE(opened.failure->reason.empty()) << row.name;
            if (const auto it = reasons.find(row.name); it != reasons.end()) {
                EXPECT_EQ(opened.failure->reason, it->second) << row.name;
            }
            continue;
        }
        Bitmap last = gif.frame(row.frames - 1);
        ASSERT_TRUE(last) << row.name;
        EXPECT_EQ(width_of(last), gif.layout().width) << row.name;
        EXPECT_EQ(height_of(last), gif.layout().height) << row.name;
        EXPECT_EQ(count_pixels(last, opaque(0xFF0000)), row.red_pixels) << row.name;
        expect_known_opacity(last, row.name);
    }
}

// Damaged bytes anywhere in a file: the loader refuses it or gives
// screen-sized frames, and never reads or writes out of bounds (run this
// under the sanitizer build).
TEST(GifLoadTest, RandomDamageIsRefusedOrComposed) {
    std::mt19937 rng(4242);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int opened = 0;
    for (int round = 0; round < 400; ++round) {
        std::string bytes = encode_gif(random_animation(rng));
        if (pick(0, 3) == 0) {
            bytes.resize(static_cast<std::size_t>(pick(0, static_cast<int>(bytes.size()))));
        }
        for (int k = pick(1, 4); k > 0 && !bytes.empty(); --k) {
            bytes[static_cast<std::size_t>(pick(0, static_cast<int>(bytes.size()) - 1))] =
                static_cast<char>(pick(0, 255));
        }
        GifAnimation gif;
        if (!gif.open_bytes(bytes)) {
            continue;
        }
        ++opened;
        for (int i = 0; i < gif.frame_count(); ++i) {
            Bitmap b = gif.frame(i);
            ASSERT_TRUE(b) << "round " << round << " frame " << i;
            EXPECT_EQ(width_of(b), gif.layout().width);
            EXPECT_EQ(height_of(b), gif.layout().height);
            expect_known_opacity(b,
                                 "round " + std::to_string(round) + " frame " + std::to_string(i));
        }
    }
    EXPECT_GT(opened, 0); // damage inside pixel data still decodes
}

TEST(GifLoadTest, MissingTrailerIsAddedInMemory) {
    GifSpec s = one_frame(0, 0, 4, 3);
    s.trailer = false;
    std::string bytes = encode_gif(s);
    const std::size_t size = bytes.size();
    const auto checked = validate_and_complete_gif(bytes);
    const auto* layout = std::get_if<GifLayout>(&checked);
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->trailer_added);
    EXPECT_EQ(bytes.size(), size + 1);
    EXPECT_EQ(bytes.back(), ';');
}

TEST(GifLoadTest, OpensFilesAndRefusesMissingOnes) {
    TempDir dir;
    write_file(dir / "a.gif", encode_gif(one_frame(0, 0, 4, 3)));
    GifAnimation gif;
    EXPECT_TRUE(gif.open(dir / "a.gif"));
    EXPECT_EQ(gif.frame_count(), 1);
    EXPECT_FALSE(gif.open(dir / "missing.gif"));
    EXPECT_EQ(gif.frame_count(), 0);
    EXPECT_FALSE(gif.open(dir.path())); // a folder
    bool opened = true;
    EXPECT_TRUE(returns_promptly_on_fifo(
        dir / "pipe.gif", [&] { opened = static_cast<bool>(gif.open(dir / "pipe.gif")); }));
    EXPECT_FALSE(opened);
}

} // namespace
} // namespace pixlane::test
