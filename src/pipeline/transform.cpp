#include "pipeline/transform.h"

namespace pixlane {

// Pass-through until the transforms are built.
Bitmap rotate(Bitmap in, const Settings&) { return in; }
Bitmap resize(Bitmap in, const Settings&) { return in; }
Bitmap flip(Bitmap in, const Settings&) { return in; }

} // namespace pixlane
