// Animated outputs: every frame of an input in one GIF, WebP or PNG (APNG)
// file. The frames stream into an encoder as the conversion makes them; an
// encoder keeps at most a few frames of pixels (its own picture of the
// screen and the frame it waits to write), never the animation.
//
//   gif   our own encoder: a palette per frame, exact when the frame needs
//         at most 256 colours (the usual case), Wu-quantised otherwise; each
//         frame only the rectangle that changed, unchanged pixels in it
//         transparent so they compress to nothing
//   webp  libwebp's animation encoder with the format's quality (100:
//         lossless)
//   png   APNG written by our PNG writer: every frame whole, RGBA; the first
//         is the default image, so viewers without APNG show it
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pipeline/png_writer.h"
#include "platform/platform.h"

namespace pixlane {

// A frame as the encoders take it: blue, green, red, alpha bytes (FreeImage's
// 32-bit layout), row y at top_row + y * stride.
struct AnimationFrame {
    const std::uint8_t* top_row = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0;
    int height = 0;
};

// What every encoder is told before the first frame.
struct AnimationInfo {
    int width = 0; // every frame has this size
    int height = 0;
    // How often the animation plays: 0 for ever.
    int plays = 0;
};

// The repeats of a GIF's looping extension (0: for ever, -1: none) as plays
// of the whole animation, as browsers play a GIF: none once, n repeats n + 1
// times, 0 for ever.
int plays_of_loop_count(int loop_count);

class AnimationEncoder {
  public:
    virtual ~AnimationEncoder() = default;
    // The next frame, shown for `delay_ms`. False when the encoder failed;
    // the file is then given up.
    virtual bool add(const AnimationFrame& frame, int delay_ms) = 0;
    // Writes what is left; false when that failed.
    virtual bool finish() = 0;
};

// Encoders writing into `file`, which stays open until finish() returned.
std::unique_ptr<AnimationEncoder> gif_animation(platform::OutputFile& file,
                                                const AnimationInfo& info);
// `quality` 1 to 99 lossy, 100 lossless.
std::unique_ptr<AnimationEncoder> webp_animation(platform::OutputFile& file,
                                                 const AnimationInfo& info, int quality);
std::unique_ptr<AnimationEncoder>
png_animation(platform::OutputFile& file, const AnimationInfo& info, const PngOptions& options);

} // namespace pixlane
