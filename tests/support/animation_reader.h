// Readers of animated files for the tests, each frame as a viewer shows it
// (32 bits, the logical screen's size), with the frame times and how often
// the animation plays: GIF through the loader of the program, WebP through
// libwebp's animation decoder, APNG by walking its chunks (every frame of
// ours is whole and replaces the canvas, so each one decodes alone as a PNG
// of the first frame's header and its own data).
#pragma once

#include <string>
#include <vector>

#include "pipeline/bitmap.h"

namespace pixlane::test {

struct Animation {
    std::vector<Bitmap> frames; // 32-bit
    std::vector<int> delays_ms; // one per frame
    int plays = -1;             // 0: for ever; -1: not said
    bool read = false;          // the file was read whole
};

Animation read_gif_animation(const std::string& path);
Animation read_webp_animation(const std::string& path);
Animation read_apng(const std::string& path);

// Whether two 32-bit pictures show the same: every pixel equal, the colour
// of fully transparent ones aside. Empty when they do, else the first
// difference.
std::string picture_difference(FIBITMAP* a, FIBITMAP* b);

} // namespace pixlane::test
