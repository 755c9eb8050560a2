#include "pipeline/adjust.h"

namespace pixlane {

// Pass-through until the colour steps are built.
Bitmap adjust_colours(Bitmap in, const Settings&) { return in; }
Bitmap greyscale(Bitmap in, const Settings&) { return in; }
Bitmap threshold(Bitmap in, const Settings&) { return in; }
Bitmap dither(Bitmap in, const Settings&) { return in; }

} // namespace pixlane
