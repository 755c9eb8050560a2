// The solid frame drawn into each image.
#pragma once

#include "pipeline/bitmap.h"
#include "settings/settings.h"

namespace pixlane {

// Draws the four-sided solid frame when Do Frame is SOLID; `width` and
// `height` are the image's size after resize and the icon limit.
Bitmap draw_frame(Bitmap in, const Settings& s, int width, int height);

} // namespace pixlane
