// A small GIF encoder for the tests, the sample GIFs and the benchmarks: every field of the
// format under the caller's control (disposal, transparency, local palettes,
// interlacing, partial frames, LZW code size), so odd and malformed files
// can be made as easily as ordinary ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pixlane::test {

using Rgb = std::uint32_t; // 0xRRGGBB

struct GifFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> indices; // width * height, row by row (top to bottom)
    std::vector<Rgb> local_palette;    // empty: use the global palette
    int disposal = 0;                  // 0 none, 1 keep, 2 background, 3 previous
    int transparent = -1;              // transparent index, -1 for none
    int delay = 10;                    // hundredths of a second
    bool interlaced = false;
    bool graphic_control = true; // write a graphic control extension (GIF89a)
    int min_code_size = 0;       // 0: chosen from the palette size
};

struct GifSpec {
    int width = 0;
    int height = 0;
    std::vector<Rgb> global_palette; // empty: no global colour table
    int background = 0;
    bool gif89 = true;
    bool loop = false; // write a NETSCAPE looping extension
    std::vector<GifFrame> frames;
    bool trailer = true;
};

// The file's bytes.
std::string encode_gif(const GifSpec& spec);

// LZW-compresses indices with the given minimum code size into sub-blocks
// (each prefixed by its length) followed by the block terminator.
std::string lzw_blocks(const std::vector<std::uint8_t>& indices, int min_code_size);

// A frame of one colour index.
GifFrame solid_frame(int left, int top, int width, int height, std::uint8_t index);

// A palette of n colours spread over the RGB cube (n <= 256).
std::vector<Rgb> test_palette(int n);

} // namespace pixlane::test
