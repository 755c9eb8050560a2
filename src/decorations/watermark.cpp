#include "decorations/watermark.h"

namespace pixlane {

// Pass-through until the watermark is built.
Bitmap draw_watermark(Bitmap in, const Settings&, const JobRecord&, int, int,
                      const WatermarkFont*) {
    return in;
}

} // namespace pixlane
