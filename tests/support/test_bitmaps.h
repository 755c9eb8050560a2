// Small bitmaps built in memory for the pipeline step tests, and pixel-level
// comparison of two bitmaps.
#pragma once

#include "pipeline/bitmap.h"

#include <FreeImage.h>

#include <cstdint>
#include <cstring>

namespace pixlane::test {

// A distinct, non-symmetric colour for each position.
inline RGBQUAD pattern_colour(unsigned x, unsigned y) {
    return RGBQUAD{static_cast<BYTE>((x * 13 + y * 7) & 0xFF),
                   static_cast<BYTE>((x * 5 + y * 53) & 0xFF),
                   static_cast<BYTE>((x * 37 + y * 11) & 0xFF), 0xFF};
}

// A 16-, 24- or 32-bit (opaque) bitmap filled with pattern_colour.
inline Bitmap make_rgb(unsigned w, unsigned h, unsigned bpp) {
    Bitmap b =
        (bpp == 16)
            ? adopt(FreeImage_Allocate(static_cast<int>(w), static_cast<int>(h), 16,
                                       FI16_565_RED_MASK, FI16_565_GREEN_MASK, FI16_565_BLUE_MASK))
            : adopt(FreeImage_Allocate(static_cast<int>(w), static_cast<int>(h),
                                       static_cast<int>(bpp)));
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            RGBQUAD c = pattern_colour(x, y);
            FreeImage_SetPixelColor(b.get(), x, y, &c);
        }
    }
    return b;
}

// A 1-, 4- or 8-bit bitmap with a grey ramp palette; index (x + y) mod the
// palette size at each position.
inline Bitmap make_palette(unsigned w, unsigned h, unsigned bpp) {
    Bitmap b =
        adopt(FreeImage_Allocate(static_cast<int>(w), static_cast<int>(h), static_cast<int>(bpp)));
    const unsigned colours = FreeImage_GetColorsUsed(b.get());
    RGBQUAD* pal = FreeImage_GetPalette(b.get());
    for (unsigned i = 0; i < colours; ++i) {
        const auto v = static_cast<BYTE>(i * 255 / (colours - 1));
        pal[i] = RGBQUAD{v, v, v, 0};
    }
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            BYTE index = static_cast<BYTE>((x + y) % colours);
            FreeImage_SetPixelIndex(b.get(), x, y, &index);
        }
    }
    return b;
}

// An 8-bit grey bitmap, one row, the given values left to right.
template <std::size_t N> inline Bitmap make_grey_row(const BYTE (&values)[N]) {
    Bitmap b = make_palette(static_cast<unsigned>(N), 1, 8);
    RGBQUAD* pal = FreeImage_GetPalette(b.get());
    for (unsigned i = 0; i < 256; ++i) {
        pal[i] = RGBQUAD{static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
    }
    std::memcpy(FreeImage_GetScanLine(b.get(), 0), values, N);
    return b;
}

// A 48-bit RGB bitmap filled with pattern_colour scaled to 16 bits.
inline Bitmap make_rgb48(unsigned w, unsigned h) {
    Bitmap b = adopt(FreeImage_AllocateT(FIT_RGB16, static_cast<int>(w), static_cast<int>(h), 48));
    for (unsigned y = 0; y < h; ++y) {
        auto* line =
            reinterpret_cast<FIRGB16*>(FreeImage_GetScanLine(b.get(), static_cast<int>(y)));
        for (unsigned x = 0; x < w; ++x) {
            const RGBQUAD c = pattern_colour(x, y);
            line[x] =
                FIRGB16{static_cast<WORD>(c.rgbRed * 257), static_cast<WORD>(c.rgbGreen * 257),
                        static_cast<WORD>(c.rgbBlue * 257)};
        }
    }
    return b;
}

// The colour at a position of a 16-, 24- or 32-bit bitmap.
inline RGBQUAD pixel(const Bitmap& b, unsigned x, unsigned y) {
    RGBQUAD c{};
    FreeImage_GetPixelColor(b.get(), x, y, &c);
    return c;
}

// The palette index at a position of a 1-, 4- or 8-bit bitmap.
inline BYTE index_at(const Bitmap& b, unsigned x, unsigned y) {
    BYTE i = 0;
    FreeImage_GetPixelIndex(b.get(), x, y, &i);
    return i;
}

inline bool same_colour(RGBQUAD a, RGBQUAD b, bool with_alpha) {
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue &&
           (!with_alpha || a.rgbReserved == b.rgbReserved);
}

// Same type, size and depth, and the same bytes in every row's pixels.
inline bool same_pixels(const Bitmap& a, const Bitmap& b) {
    if (!a || !b || FreeImage_GetImageType(a.get()) != FreeImage_GetImageType(b.get()) ||
        width_of(a) != width_of(b) || height_of(a) != height_of(b) || bpp_of(a) != bpp_of(b)) {
        return false;
    }
    const std::size_t bits = static_cast<std::size_t>(width_of(a)) * bpp_of(a);
    const std::size_t whole = bits / 8;
    const unsigned rest = bits % 8;
    for (int y = 0; y < height_of(a); ++y) {
        const BYTE* la = FreeImage_GetScanLine(a.get(), y);
        const BYTE* lb = FreeImage_GetScanLine(b.get(), y);
        if (std::memcmp(la, lb, whole) != 0) {
            return false;
        }
        if (rest != 0) {
            const auto mask = static_cast<BYTE>(0xFF << (8 - rest));
            if ((la[whole] & mask) != (lb[whole] & mask)) {
                return false;
            }
        }
    }
    return true;
}

// A 32-bit bitmap of exactly `colours` distinct colours (up to 65536, at
// most one a pixel), colour k at pixel k counted row by row and repeating.
// Colour 0 has alpha `first_alpha`, every other colour 255.
inline Bitmap make_colours(unsigned w, unsigned h, unsigned colours, BYTE first_alpha = 255) {
    Bitmap b = adopt(FreeImage_Allocate(static_cast<int>(w), static_cast<int>(h), 32));
    for (unsigned y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<RGBQUAD*>(FreeImage_GetScanLine(b.get(), static_cast<int>(y)));
        for (unsigned x = 0; x < w; ++x) {
            const unsigned k = (y * w + x) % colours;
            row[x] = RGBQUAD{static_cast<BYTE>(k * 53), static_cast<BYTE>(k >> 8),
                             static_cast<BYTE>(k), k == 0 ? first_alpha : BYTE{255}};
        }
    }
    return b;
}

// An independent copy.
inline Bitmap clone(const Bitmap& b) { return adopt(FreeImage_Clone(b.get())); }

} // namespace pixlane::test
