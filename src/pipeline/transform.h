// Geometric steps of the conversion job: rotation, resize and flip. Each
// takes the working bitmap and returns the one the job goes on with; a step
// that is switched off returns its input, a missing bitmap passes through.
#pragma once

#include "pipeline/bitmap.h"
#include "settings/settings.h"

namespace pixlane {

// Turns the bitmap by `image_rotation` degrees (1 to 359, counter-clockwise;
// anything else leaves it alone). Bitmaps of 16 bits or fewer, or more than
// 32, are rotated as 24-bit copies. SIMPLE grows the canvas to hold the
// whole picture and fills the rest with `image_rotation_back_color`
// (transparent at 32 bits); ADVANCED turns about the centre, keeps the size
// and mirrors the picture into the uncovered corners.
//
//   SIMPLE 90:  AB      B D
//               CD  ->  A C
Bitmap rotate(Bitmap in, const Settings& s);

// Resamples to the target size: pixels, or percent of the current size
// (rounded half to even). With the aspect ratio kept the longer side's
// target decides and the other side follows (rounded half away from zero,
// at least one pixel). LARGEIMAGES leaves bitmaps that are larger than the
// target in neither dimension alone; an equal size or a zero target, too.
// With the aspect ratio kept, a side whose setting is 0 follows the other
// side's target.
// A new side above 33554431 pixels fails (no bitmap): FreeImage would size
// its rows wrongly.
Bitmap resize(Bitmap in, const Settings& s);

// Mirrors in place, horizontally then vertically; returns the same bitmap.
//
//   both:  AB      DC
//          CD  ->  BA
Bitmap flip(Bitmap in, const Settings& s);

} // namespace pixlane
