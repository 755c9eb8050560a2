// Colour steps of the conversion job: colour adjustment (brightness,
// contrast, gamma, invert), greyscale, threshold and dither. Bitmap in,
// bitmap out; switched off returns the input.
#pragma once

#include "pipeline/bitmap.h"
#include "settings/settings.h"

namespace pixlane {

// Brightness and contrast (percent, -100 to 100), gamma (1.0 unchanged) and
// inversion, in place on 8-, 24- and 32-bit bitmaps; any other depth is
// adjusted as a 24-bit copy, which the job goes on with.
Bitmap adjust_colours(Bitmap in, const Settings& s);

// A new 8-bit grey bitmap; above 32 bits the input goes through 24 first.
Bitmap greyscale(Bitmap in, const Settings& s);

// A new 1-bit bitmap: white where the grey level reaches `image_threshold`
// (its low 8 bits, so 300 acts as 44). Below 4 or above 32 bits the input
// goes through 24 first.
Bitmap threshold(Bitmap in, const Settings& s);

// A new 1-bit bitmap dithered with `image_dither_algorithm` (Floyd-Steinberg
// for unknown values). Same depth guard as threshold.
Bitmap dither(Bitmap in, const Settings& s);

} // namespace pixlane
