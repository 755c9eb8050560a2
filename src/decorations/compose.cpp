#include "decorations/compose.h"

namespace pixlane {

Bitmap to_24_bits(Bitmap in) {
    if (!in || bpp_of(in) == 24) {
        return in;
    }
    Bitmap converted(FreeImage_ConvertTo24Bits(in.get()));
    return converted ? std::move(converted) : std::move(in);
}

Bitmap composite_over(Bitmap image, const Bitmap& layer) {
    if (!image || !layer) {
        return image;
    }
    Bitmap result(FreeImage_Composite(layer.get(), FALSE, nullptr, image.get()));
    return result ? std::move(result) : std::move(image);
}

} // namespace pixlane
