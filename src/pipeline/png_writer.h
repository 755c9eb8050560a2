// The PNG encoder, written against libpng directly, and the exact palette
// that lets a picture of few colours be written as a palette image without
// losing anything.
//
// The rows come from the caller's memory as they are: the writer flips
// nothing and copies nothing but the row libpng works on. The choices it
// makes for libpng:
//   compression level 0   no row filters (a stored stream gains nothing
//                         from them; they only cost time)
//   other levels          pictures of 16 bits a pixel or more: the filters
//                         none, sub and Paeth with zlib's filtered strategy;
//                         grey and palette pictures: libpng's defaults
// so at every level but 0 the rows are filtered as FreeImage's PNG writer
// filters them, and at level 1 the files are its bytes. From level 2 on
// compression is libdeflate's at the same level: libpng writes the file at
// level 0 (zlib's stored blocks), and the stored image data is compressed
// once into a single IDAT chunk, in a third to a half of zlib's time and to
// smaller files. The pixels are FreeImage's; those bytes are not.
//
// This header is free of FreeImage and libpng types; the save step maps its
// bitmaps onto PngPicture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pixlane {

// Pixel layouts of the rows handed to the writer.
enum class PngPixels : std::uint8_t {
    Grey,    // 1, 2, 4 or 8 bits of grey, packed as PNG packs them
    Palette, // 1, 2, 4 or 8 bits of palette index, packed, or one index a byte
    Bgr24,   // blue, green, red bytes; written as RGB
    Bgrx32,  // blue, green, red and a byte that is not written: an opaque
             // picture written as RGB
    Bgra32,  // blue, green, red, alpha bytes; written as RGBA
    Rgb48,   // red, green, blue little-endian 16-bit words; written as RGB 16
};

struct PngColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

struct PngPicture {
    PngPixels pixels = PngPixels::Bgr24;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bits = 8;              // Grey and Palette: bits a pixel in the file
    bool index_a_byte = false; // Palette: rows hold one index a byte
    bool invert_grey = false;  // Grey: the rows hold 0 for white
    const std::uint8_t* top_row = nullptr;
    std::ptrdiff_t stride = 0;           // row y starts at top_row + y * stride
    std::span<const PngColour> palette;  // Palette: the PLTE entries
    std::span<const std::uint8_t> alpha; // Palette: tRNS, alpha of the first entries
    std::uint32_t dots_per_metre_x = 0;  // pHYs, written when both are above 0
    std::uint32_t dots_per_metre_y = 0;
};

struct PngOptions {
    int level = -1;          // zlib level 0 to 9; -1: libpng's default (6)
    bool interlaced = false; // Adam7
};

// Encodes the picture into `file`. False when libpng refuses the picture or
// a write fails; the caller finishes or discards the file.
bool write_png(platform::OutputFile& file, const PngPicture& picture, const PngOptions& options);

// The same encoding into `out` (replaced), for writers that take the file
// apart (the frames of an APNG).
bool encode_png(std::string& out, const PngPicture& picture, const PngOptions& options);

// A picture of at most 256 distinct colours as palette indices, one a byte,
// top row first. Entries are numbered in the order the colours first appear
// (rows from the top); alpha holds the entries up to the last one that is
// not fully opaque, so an opaque picture has none.
struct PngIndexed {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bits = 8; // 1, 2, 4 or 8: the fewest that number every entry
    std::vector<PngColour> palette;
    std::vector<std::uint8_t> alpha;
    std::vector<std::uint8_t> indices;

    // The indices as a picture for write_png (valid while this object lives).
    PngPicture picture(std::uint32_t dots_per_metre_x, std::uint32_t dots_per_metre_y) const;
};

// The exact palette of a Bgr24, Bgrx32 or Bgra32 picture: every distinct
// colour (alpha included: each fully transparent colour counts as one) gets
// an entry. Nothing when there are more than 256, or for other layouts.
std::optional<PngIndexed> index_colours(const PngPicture& picture);

} // namespace pixlane
