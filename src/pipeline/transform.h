// Geometric steps of the conversion job: rotation, resize and flip. Each
// takes the working bitmap and returns the one the job goes on with; a step
// that is switched off returns its input, a missing bitmap passes through.
#pragma once

#include "pipeline/bitmap.h"
#include "settings/settings.h"

namespace pixlane {

Bitmap rotate(Bitmap in, const Settings& s);
Bitmap resize(Bitmap in, const Settings& s);
Bitmap flip(Bitmap in, const Settings& s);

} // namespace pixlane
