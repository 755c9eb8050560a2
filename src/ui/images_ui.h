// Pictures of the image sets as wxWidgets bitmaps, and the window's report
// of theme packages it left unread.
#pragma once

#include <wx/bitmap.h>

#include <vector>

#include "ui/theme.h"

namespace pixlane {

// The image as a bitmap with alpha, scaled (high quality) to size x size
// when `size` is above 0 and differs; an empty bitmap of that size (or
// 16 x 16) when `image` is nullptr.
wxBitmap to_bitmap(const RgbaImage* image, int size = 0);

// One line on standard error for each refused package: "Pixlane 2.8: theme
// PATH skipped: REASON".
void report_theme_refusals(const std::vector<ThemeRefusal>& refused);

} // namespace pixlane
