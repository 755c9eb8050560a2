// The LZW decoder must give, index for index, what FreeImage's GIF page
// decoder gives on the same image data, for damaged and odd code streams as
// much as for ordinary ones: frames composed from either stay the same.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <random>
#include <string>
#include <vector>

#include "pipeline/gif_lzw.h"

namespace pixlane::test {
namespace {

// What the code streams below exercised, so the comparison is known to
// have covered each edge.
struct Seen {
    int stale = 0;      // the next free code right after a clear code
    int self = 0;       // the next free code, just made (its string and its first index)
    int full_table = 0; // codes read with all 4096 entries made
    int late_end = 0;   // streams ended by an end code or a code out of range
    int truncated = 0;  // streams cut short
    int interlaced = 0; // interlaced images
};

// Appends `code` in `size` bits, least significant first.
struct BitWriter {
    std::string bytes;
    std::uint32_t acc = 0;
    int bits = 0;
    void put(unsigned code, unsigned size) {
        acc |= code << bits;
        bits += static_cast<int>(size);
        while (bits >= 8) {
            bytes.push_back(static_cast<char>(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    }
    std::string finish() {
        if (bits > 0) {
            bytes.push_back(static_cast<char>(acc & 0xFF));
        }
        return bytes;
    }
};

// A random code stream that tracks a decoder's table so its codes are read
// at the widths a decoder reads them: mostly valid codes, with clear codes
// anywhere, references to the entry about to be made, and now and then an
// end code or a code out of range followed by more data.
std::string random_codes(std::mt19937& rng, int min_code_size, int count, Seen& seen) {
    auto chance = [&](double p) { return std::uniform_real_distribution<double>(0, 1)(rng) < p; };
    auto pick = [&](unsigned lo, unsigned hi) {
        return std::uniform_int_distribution<unsigned>(lo, hi)(rng);
    };
    const unsigned clear = 1u << min_code_size;
    const unsigned end = clear + 1;
    unsigned next = end + 1;
    unsigned size = static_cast<unsigned>(min_code_size) + 1;
    bool have_old = false;
    BitWriter out;
    if (chance(0.8)) {
        out.put(clear, size);
    }
    // Some streams repeat one entry and its successors, for long strings;
    // some clear rarely, so the table fills.
    const double self_rate = chance(0.3) ? 0.6 : 0.1;
    const double clear_rate = chance(0.5) ? 0.0001 : 0.01;
    for (int k = 0; k < count; ++k) {
        unsigned code = 0;
        if (chance(0.002)) {
            code = chance(0.5) ? end : std::min(next + 1, (1u << size) - 1);
            seen.late_end += code == end || code > next;
        } else if (chance(clear_rate)) {
            code = clear;
        } else if (!have_old) {
            code = chance(0.2) ? next : pick(0, clear - 1);
            seen.stale += code == next;
        } else if (next < 4096 && chance(self_rate)) {
            code = next;
            ++seen.self;
        } else if (next > end + 1 && chance(0.5)) {
            code = pick(std::max(end + 1, next > 64 ? next - 64 : 0), next - 1);
        } else {
            code = pick(0, clear - 1);
        }
        seen.full_table += next == 4096;
        out.put(code, size);
        if (code == clear) {
            next = end + 1;
            size = static_cast<unsigned>(min_code_size) + 1;
            have_old = false;
            continue;
        }
        if (code == end || code > next) {
            continue; // the decoders stop here; what follows is extra data
        }
        if (have_old && next < 4096 && ++next < 4096 && (next & ((1u << size) - 1)) == 0) {
            ++size;
        }
        have_old = true;
    }
    if (chance(0.5)) {
        out.put(end, size);
    }
    return out.finish();
}

// A GIF of one image with the given code stream, without colour tables.
std::string one_image(int width, int height, bool interlaced, int min_code_size,
                      const std::string& codes, std::mt19937& rng) {
    auto u16 = [](std::string& s, int v) {
        s.push_back(static_cast<char>(v & 0xFF));
        s.push_back(static_cast<char>(v >> 8));
    };
    std::string g = "GIF89a";
    u16(g, width);
    u16(g, height);
    g += std::string("\x00\x00\x00", 3);
    g.push_back(',');
    u16(g, 0);
    u16(g, 0);
    u16(g, width);
    u16(g, height);
    g.push_back(static_cast<char>(interlaced ? 0x40 : 0));
    g.push_back(static_cast<char>(min_code_size));
    for (std::size_t p = 0; p < codes.size();) {
        const std::size_t n =
            std::min(codes.size() - p, std::uniform_int_distribution<std::size_t>(1, 255)(rng));
        g.push_back(static_cast<char>(n));
        g += codes.substr(p, n);
        p += n;
    }
    g.push_back('\0');
    g.push_back(';');
    return g;
}

// FreeImage's indices of the file's first image, top row first.
std::vector<std::uint8_t> freeimage_indices(const std::string& gif) {
    std::vector<std::uint8_t> indices;
    std::string bytes = gif;
    FIMEMORY* memory = FreeImage_OpenMemory(reinterpret_cast<BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size()));
    FIMULTIBITMAP* multi = FreeImage_LoadMultiBitmapFromMemory(FIF_GIF, memory, GIF_LOAD256);
    FIBITMAP* page = multi ? FreeImage_LockPage(multi, 0) : nullptr;
    if (page) {
        const int w = static_cast<int>(FreeImage_GetWidth(page));
        const int h = static_cast<int>(FreeImage_GetHeight(page));
        for (int y = 0; y < h; ++y) {
            const BYTE* row = FreeImage_GetScanLine(page, h - 1 - y);
            indices.insert(indices.end(), row, row + w);
        }
        FreeImage_UnlockPage(multi, page, FALSE);
    }
    if (multi) {
        FreeImage_CloseMultiBitmap(multi, 0);
    }
    FreeImage_CloseMemory(memory);
    return indices;
}

TEST(GifLzwTest, DecodesLikeFreeImageOnRandomCodeStreams) {
    std::mt19937 rng(9031);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Seen seen;
    GifLzwDecoder decoder; // one for all, as the loader keeps one per file
    for (int round = 0; round < 1500; ++round) {
        const int min_code_size = pick(2, 8);
        const bool big = pick(0, 9) == 0;
        const int width = big ? pick(100, 400) : pick(1, 60);
        const int height = pick(0, 3) == 0 ? pick(1, 5) : big ? pick(100, 300) : pick(1, 60);
        const bool interlaced = pick(0, 3) == 0;
        const int count = big ? pick(3000, 12000) : pick(0, width * height / 2 + 4);
        std::string codes = random_codes(rng, min_code_size, count, seen);
        if (pick(0, 5) == 0 && !codes.empty()) {
            codes.resize(static_cast<std::size_t>(pick(0, static_cast<int>(codes.size()) - 1)));
            ++seen.truncated;
        }
        seen.interlaced += interlaced;
        const std::string gif = one_image(width, height, interlaced, min_code_size, codes, rng);
        const std::vector<std::uint8_t> expected = freeimage_indices(gif);
        ASSERT_EQ(expected.size(), static_cast<std::size_t>(width) * height) << "round " << round;
        // The header, screen, image descriptor and minimum code size come first.
        constexpr std::size_t kData = 6 + 7 + 10 + 1;
        const std::uint8_t* mine = decoder.decode(std::string_view(gif).substr(kData),
                                                  min_code_size, width, height, interlaced);
        int differ = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            differ += mine[i] != expected[i];
        }
        ASSERT_EQ(differ, 0) << "round " << round << ": " << width << "x" << height
                             << (interlaced ? " interlaced" : "") << ", min code size "
                             << min_code_size;
    }
    EXPECT_GT(seen.stale, 100);
    EXPECT_GT(seen.self, 1000);
    EXPECT_GT(seen.full_table, 1000);
    EXPECT_GT(seen.late_end, 20);
    EXPECT_GT(seen.truncated, 50);
    EXPECT_GT(seen.interlaced, 100);
}

} // namespace
} // namespace pixlane::test
