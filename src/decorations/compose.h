// Steps shared by the solid frame and the watermark.
#pragma once

#include <algorithm>
#include <cstdint>

#include "draw/canvas.h"
#include "pipeline/bitmap.h"
#include "settings/colour.h"

namespace pixlane {

// The bitmap as 24 bits per pixel. When FreeImage cannot convert it, the
// bitmap is returned as it was rather than lost.
Bitmap to_24_bits(Bitmap in);

// `layer` (32-bit, with alpha, the size of `image`) composited over the
// 24-bit `image`; the result is 24-bit. When the composite fails, `image` is
// returned unchanged.
Bitmap composite_over(Bitmap image, const Bitmap& layer);

// An opacity setting as an alpha value: below 0 is 0, above 255 is 255.
inline std::uint8_t alpha_of(std::int32_t opacity) {
    return static_cast<std::uint8_t>(std::clamp(opacity, 0, 255));
}

// A colour text with the given alpha.
inline draw::Rgba rgba_of(std::string_view colour, std::uint8_t alpha) {
    const Rgb c = parse_colour(colour);
    return {c.r, c.g, c.b, alpha};
}

} // namespace pixlane
