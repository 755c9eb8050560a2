#include "pipeline/transform.h"

#include "pipeline/opacity.h"
#include "settings/colour.h"

#include <cmath>
#include <iterator>
#include <limits>

namespace pixlane {
namespace {

// Values of `Image Rotation Type`.
constexpr int kRotateSimple = 0;
constexpr int kRotateAdvanced = 1;

// Values of `Image Width Unit` and `Image Height Unit`.
constexpr int kUnitPixels = 0;
constexpr int kUnitPercent = 1;

// Value of `Image Resize Type` that leaves images alone unless they are
// larger than the target.
constexpr int kResizeLargeImages = 1;

// The resize filters by `Image Resize Algorithm`: BOX, BILINEAR, BSPLINE,
// BICUBIC, CATMULLROM, LANCZOS. Anything else resamples bicubic.
constexpr FREE_IMAGE_FILTER kResizeFilters[] = {
    FILTER_BOX, FILTER_BILINEAR, FILTER_BSPLINE, FILTER_BICUBIC, FILTER_CATMULLROM, FILTER_LANCZOS3,
};

FREE_IMAGE_FILTER resize_filter(int algorithm) {
    if (algorithm < 0 || algorithm >= static_cast<int>(std::size(kResizeFilters))) {
        return FILTER_BICUBIC;
    }
    return kResizeFilters[algorithm];
}

// The widest (and tallest) bitmap a resize may make. FreeImage counts the
// bits of a row in 32 bits; a wider row, at the 128 bits a pixel of its
// deepest type, would wrap that count to a pitch of a few bytes that every
// later step writes past.
constexpr int kLargestSide = static_cast<int>(0xFFFFFFFFU / 128);

// Target size of one dimension: pixels as given, percent of the current
// size rounded half to even, anything else (or a size no int can hold) 0.
int target_size(std::int32_t value, int unit, int current) {
    if (unit == kUnitPixels) {
        return value;
    }
    if (unit != kUnitPercent) {
        return 0;
    }
    const double size = std::nearbyint(static_cast<double>(value) / 100.0 * current);
    if (!(size >= std::numeric_limits<int>::min() && size <= std::numeric_limits<int>::max())) {
        return 0;
    }
    return static_cast<int>(size);
}

// The shorter side's length when the longer one becomes `longer`: the
// ratio and the quotient are 32-bit floats, rounded half away from zero.
// A side never shrinks below one pixel, so very long thin images still
// resize instead of failing.
int scaled_side(int longer, int long_side, int short_side) {
    const float ratio = static_cast<float>(long_side) / static_cast<float>(short_side);
    const float side = static_cast<float>(longer) / ratio;
    const long rounded = std::lround(side);
    if (rounded < 1) {
        return 1;
    }
    if (rounded > std::numeric_limits<int>::max()) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(rounded);
}

} // namespace

Bitmap rotate(Bitmap in, const Settings& s) {
    if (!in || !s.do_image_rotation) {
        return in;
    }
    const int angle = s.image_rotation;
    const int type = s.image_rotation_type;
    if (angle < 1 || angle > 359 || (type != kRotateSimple && type != kRotateAdvanced)) {
        return in;
    }
    // Only 24- and 32-bit bitmaps are rotated; others go through 24 bits.
    const int bpp = bpp_of(in);
    if (bpp <= 16 || bpp > 32) {
        in = convert_to_24(std::move(in));
        if (!in) {
            return in;
        }
    }
    Bitmap out;
    if (type == kRotateSimple) {
        // With 32 bits the uncovered area is the background colour, fully
        // transparent.
        const Rgb back = parse_colour(s.image_rotation_back_color);
        const RGBQUAD background{back.b, back.g, back.r, 0};
        out = adopt(FreeImage_Rotate(in.get(), static_cast<double>(angle), &background));
    } else {
        // About the centre, same size; the library mirrors into uncovered areas.
        const double x_origin = width_of(in) / 2.0;
        const double y_origin = height_of(in) / 2.0;
        out = adopt(FreeImage_RotateEx(in.get(), static_cast<double>(angle), 0.0, 0.0, x_origin,
                                       y_origin, FALSE));
    }
    // A quarter turn moves pixels and nothing else; any other angle
    // uncovers corners or interpolates alpha.
    const bool quarter_turn = type == kRotateSimple && angle % 90 == 0;
    set_opacity(out.get(), quarter_turn ? known_opacity(in.get()) : Opacity::Unknown);
    return out;
}

Bitmap resize(Bitmap in, const Settings& s) {
    if (!in || !s.do_image_resize) {
        return in;
    }
    const int w = width_of(in);
    const int h = height_of(in);
    const int tw = target_size(s.image_width, s.image_width_unit, w);
    const int th = target_size(s.image_height, s.image_height_unit, h);
    // With the aspect ratio kept a side without a target follows the other.
    const bool width_follows = s.keep_aspect_ratio && s.image_width == 0 && th > 0;
    const bool height_follows = s.keep_aspect_ratio && s.image_height == 0 && tw > 0;
    if (w <= 0 || h <= 0 || (tw <= 0 && !width_follows) || (th <= 0 && !height_follows)) {
        return in;
    }
    if (width_follows || height_follows) {
        const int given = width_follows ? h : w;
        const int target = width_follows ? th : tw;
        if (given == target || (s.image_resize_type == kResizeLargeImages && given <= target)) {
            return in;
        }
    } else if (w == tw && h == th) {
        return in;
    }
    // Only images larger than the target in some dimension are resized.
    if (!width_follows && !height_follows && s.image_resize_type == kResizeLargeImages && w <= tw &&
        h <= th) {
        return in;
    }
    int new_width = tw;
    int new_height = th;
    if (width_follows) {
        new_width = scaled_side(th, h, w);
    } else if (height_follows) {
        new_height = scaled_side(tw, w, h);
    } else if (s.keep_aspect_ratio) {
        // The longer side's target decides; squares count as landscape.
        if (w >= h) {
            new_height = scaled_side(tw, w, h);
        } else {
            new_width = scaled_side(th, h, w);
        }
    }
    if (new_width > kLargestSide || new_height > kLargestSide) {
        return nullptr; // as a rescale that cannot be allocated
    }
    Bitmap out = adopt(FreeImage_Rescale(in.get(), new_width, new_height,
                                         resize_filter(s.image_resize_algorithm)));
    // The filters' weights add up to 1, so alpha 255 everywhere stays 255;
    // a translucent picture may come out opaque.
    const Opacity before = known_opacity(in.get());
    set_opacity(out.get(), before == Opacity::Opaque ? before : Opacity::Unknown);
    return out;
}

Bitmap flip(Bitmap in, const Settings& s) {
    if (!in) {
        return in;
    }
    if (s.do_image_flip_horizontal) {
        FreeImage_FlipHorizontal(in.get());
    }
    if (s.do_image_flip_vertical) {
        FreeImage_FlipVertical(in.get());
    }
    return in;
}

} // namespace pixlane
