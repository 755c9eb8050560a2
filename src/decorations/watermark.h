// The text or image watermark stamped into each image.
#pragma once

#include "pipeline/bitmap.h"
#include "pipeline/records.h"
#include "settings/settings.h"

namespace pixlane {

// The font of the text watermark, loaded once per batch by the front end and
// released after it.
class WatermarkFont;

// Stamps the watermark chosen by Do Watermark; `width` and `height` are the
// image's size after resize and the icon limit. The text's tokens are filled
// from `job`.
Bitmap draw_watermark(Bitmap in, const Settings& s, const JobRecord& job, int width, int height,
                      const WatermarkFont* font);

} // namespace pixlane
