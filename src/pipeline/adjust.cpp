#include "pipeline/adjust.h"

#include <iterator>

namespace pixlane {
namespace {

// The dither algorithms by `Image Dither Algorithm`: FS, BAYER4, BAYER8,
// BAYER16, CLUSTER6, CLUSTER8, CLUSTER16. Anything else is Floyd-Steinberg.
constexpr FREE_IMAGE_DITHER kDitherAlgorithms[] = {
    FID_FS,         FID_BAYER4x4,   FID_BAYER8x8,     FID_BAYER16x16,
    FID_CLUSTER6x6, FID_CLUSTER8x8, FID_CLUSTER16x16,
};

FREE_IMAGE_DITHER dither_algorithm(int value) {
    if (value < 0 || value >= static_cast<int>(std::size(kDitherAlgorithms))) {
        return FID_FS;
    }
    return kDitherAlgorithms[value];
}

// Threshold and dither take 4 to 32 bits per pixel.
Bitmap guard_4_to_32(Bitmap in) {
    const int bpp = bpp_of(in);
    return (bpp < 4 || bpp > 32) ? convert_to_24(std::move(in)) : std::move(in);
}

} // namespace

Bitmap adjust_colours(Bitmap in, const Settings& s) {
    if (!in || !s.do_image_color_correction) {
        return in;
    }
    // The colour curves only apply to 8, 24 and 32 bits; a 16-bit bitmap
    // would come back silently unchanged, so it goes through 24 bits too.
    const int bpp = bpp_of(in);
    if (bpp != 8 && bpp != 24 && bpp != 32) {
        in = convert_to_24(std::move(in));
        if (!in) {
            return in;
        }
    }
    FreeImage_AdjustColors(in.get(), static_cast<double>(s.image_brightness),
                           static_cast<double>(s.image_contrast),
                           static_cast<double>(s.image_gamma), s.image_invert ? TRUE : FALSE);
    return in;
}

Bitmap greyscale(Bitmap in, const Settings& s) {
    if (!in || !s.do_image_greyscale) {
        return in;
    }
    if (bpp_of(in) > 32) {
        in = convert_to_24(std::move(in));
        if (!in) {
            return in;
        }
    }
    return adopt(FreeImage_ConvertToGreyscale(in.get()));
}

Bitmap threshold(Bitmap in, const Settings& s) {
    if (!in || !s.do_image_threshold) {
        return in;
    }
    in = guard_4_to_32(std::move(in));
    if (!in) {
        return in;
    }
    // The level is one byte: its low 8 bits.
    const auto level = static_cast<BYTE>(s.image_threshold & 0xFF);
    return adopt(FreeImage_Threshold(in.get(), level));
}

Bitmap dither(Bitmap in, const Settings& s) {
    if (!in || !s.do_image_dither) {
        return in;
    }
    in = guard_4_to_32(std::move(in));
    if (!in) {
        return in;
    }
    return adopt(FreeImage_Dither(in.get(), dither_algorithm(s.image_dither_algorithm)));
}

} // namespace pixlane
