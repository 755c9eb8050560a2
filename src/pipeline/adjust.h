// Colour steps of the conversion job: colour adjustment (brightness,
// contrast, gamma, invert), greyscale, threshold and dither. Bitmap in,
// bitmap out; switched off returns the input.
#pragma once

#include "pipeline/bitmap.h"
#include "settings/settings.h"

namespace pixlane {

Bitmap adjust_colours(Bitmap in, const Settings& s);
Bitmap greyscale(Bitmap in, const Settings& s);
Bitmap threshold(Bitmap in, const Settings& s);
Bitmap dither(Bitmap in, const Settings& s);

} // namespace pixlane
