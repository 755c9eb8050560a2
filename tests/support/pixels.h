// Small FreeImage helpers for pixel checks: solid bitmaps, pixels read with
// y counted from the top, and whole-bitmap comparisons.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <string>

#include "pipeline/bitmap.h"

namespace pixlane::test {

struct Pixel {
    int r = 0;
    int g = 0;
    int b = 0;
    int a = 255;
    friend bool operator==(const Pixel&, const Pixel&) = default;
};

inline std::string describe(const Pixel& p) {
    std::string text;
    for (int channel : {p.r, p.g, p.b, p.a}) {
        text += text.empty() ? "(" : ",";
        text += std::to_string(channel);
    }
    return text + ")";
}

// A bitmap of `bpp` bits (24 or 32) filled with `colour`.
inline Bitmap solid_bitmap(int width, int height, int bpp, Pixel colour) {
    Bitmap b(FreeImage_Allocate(width, height, bpp, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                FI_RGBA_BLUE_MASK));
    const int step = bpp / 8;
    for (int y = 0; y < height; ++y) {
        BYTE* p = FreeImage_GetScanLine(b.get(), y);
        for (int x = 0; x < width; ++x, p += step) {
            p[FI_RGBA_RED] = BYTE(colour.r);
            p[FI_RGBA_GREEN] = BYTE(colour.g);
            p[FI_RGBA_BLUE] = BYTE(colour.b);
            if (bpp == 32) {
                p[FI_RGBA_ALPHA] = BYTE(colour.a);
            }
        }
    }
    return b;
}

// Sets one pixel, y counted from the top.
inline void set_pixel(const Bitmap& b, int x, int y, Pixel colour) {
    const int step = int(FreeImage_GetBPP(b.get())) / 8;
    BYTE* p = FreeImage_GetScanLine(b.get(), int(FreeImage_GetHeight(b.get())) - 1 - y) + x * step;
    p[FI_RGBA_RED] = BYTE(colour.r);
    p[FI_RGBA_GREEN] = BYTE(colour.g);
    p[FI_RGBA_BLUE] = BYTE(colour.b);
    if (step == 4) {
        p[FI_RGBA_ALPHA] = BYTE(colour.a);
    }
}

// One pixel of a 24- or 32-bit bitmap, y counted from the top; alpha 255
// for 24 bits.
inline Pixel pixel_at(const Bitmap& b, int x, int y) {
    const int step = int(FreeImage_GetBPP(b.get())) / 8;
    const BYTE* p =
        FreeImage_GetScanLine(b.get(), int(FreeImage_GetHeight(b.get())) - 1 - y) + x * step;
    return {p[FI_RGBA_RED], p[FI_RGBA_GREEN], p[FI_RGBA_BLUE], step == 4 ? p[FI_RGBA_ALPHA] : 255};
}

// Same size, depth and pixels.
inline bool same_pixels(const Bitmap& a, const Bitmap& b) {
    if (!a || !b || width_of(a) != width_of(b) || height_of(a) != height_of(b) ||
        bpp_of(a) != bpp_of(b)) {
        return false;
    }
    for (int y = 0; y < height_of(a); ++y) {
        for (int x = 0; x < width_of(a); ++x) {
            if (!(pixel_at(a, x, y) == pixel_at(b, x, y))) {
                return false;
            }
        }
    }
    return true;
}

// True when every pixel of the rectangle has colour `c`.
inline bool area_is(const Bitmap& b, int x0, int y0, int w, int h, Pixel c) {
    for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) {
            if (!(pixel_at(b, x, y) == c)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace pixlane::test
