// Pictures of the image sets as wxWidgets bitmaps.
#pragma once

#include <wx/bitmap.h>

#include "ui/theme.h"

namespace pixlane {

// The image as a bitmap with alpha, scaled (high quality) to size x size
// when `size` is above 0 and differs; an empty bitmap of that size (or
// 16 x 16) when `image` is nullptr.
wxBitmap to_bitmap(const RgbaImage* image, int size = 0);

} // namespace pixlane
