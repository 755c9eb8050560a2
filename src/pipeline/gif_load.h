// Safe loading of GIF animations. The file is read once into memory, its
// block structure checked against fixed limits before any image data is
// decoded, and every image decoded once (pipeline/gif_lzw.h), without
// playback, from that same buffer. The frames are then composed here, on a canvas of the logical
// screen, with the GIF disposal rules and clipping to the screen:
//
//   screen 6x4       frame 1 (keep)     frame 2 at (4,2), 4x3, clipped
//   ......           AAAA..             AAAA..
//   ......    ->     AAAA..      ->     AAAA..
//   ......           ......             ....BB
//   ......           ......             ....BB
//
// so every frame comes out as a full 32-bit image of the screen size, the
// picture a viewer would show at that moment. Cleared areas (the start, and
// disposal "background") get the background colour of the global colour
// table with alpha 0; drawn pixels have alpha 255.
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "pipeline/bitmap.h"
#include "util/failure.h"

namespace pixlane {

// Limits that bound what any input can make the program allocate or compute.
inline constexpr int kGifMaxSide = 16384; // screen and every frame, per side
inline constexpr std::int64_t kGifMaxPixels = std::int64_t{1}
                                              << 24; // 16 Mpx, screen and every frame
inline constexpr int kGifMaxFrames = 5000;
inline constexpr std::int64_t kGifMaxTotalPixels = std::int64_t{1}
                                                   << 30; // frames x screen, and all frame areas
inline constexpr std::int64_t kGifMaxFileBytes = std::int64_t{1} << 30;

// GIF disposal methods (values 4 to 7 are undefined and act as "none").
enum GifDisposal : int {
    kDisposalUnspecified = 0,
    kDisposalNone = 1,
    kDisposalBackground = 2,
    kDisposalPrevious = 3,
};

// One image descriptor as found in the file.
struct GifFrameLayout {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int disposal = kDisposalUnspecified; // from the graphic control extension, 0..7
    bool has_control = false;            // a graphic control extension preceded the frame
    int delay_cs = 0;                    // from the graphic control extension, 1/100 s
    int transparent = -1;                // the transparent index, -1 for none
    bool interlaced = false;
    // The colour table that applies (local, else global): its byte offset
    // and entries; 0 entries when the file has none (a grey ramp then).
    std::size_t palette_offset = 0;
    int palette_entries = 0;
    std::size_t data_offset = 0; // of the LZW minimum code size, the image data follows
};

// What the structure check learnt about a file.
struct GifLayout {
    int width = 0; // logical screen
    int height = 0;
    RGBQUAD background{}; // colour of cleared areas, alpha 0
    std::vector<GifFrameLayout> frames;
    bool trailer_added = false; // the stream ended after complete blocks without a trailer
    // The looping extension's count (0: for ever); -1 without one (played once).
    int loop_count = -1;
};

// Checks the block structure of a GIF held in `data`: a GIF87a or GIF89a
// header, a logical screen of 1..kGifMaxSide per side and at most
// kGifMaxPixels, only image, extension and trailer blocks, every block
// complete, frames of non-zero size within the same limits, an LZW minimum
// code size of 2..8, at
// least one and at most kGifMaxFrames frames, and at most kGifMaxTotalPixels
// in frames x screen and in the sum of the frame areas. A stream that ends
// after complete blocks without the trailer gets one appended to `data`
// (the layout says so). Returns why when the file is refused.
std::variant<GifLayout, Failure> validate_and_complete_gif(std::string& data);

// A GIF animation opened for reading its composed frames in order.
class GifAnimation {
  public:
    GifAnimation();
    ~GifAnimation();
    GifAnimation(const GifAnimation&) = delete;
    GifAnimation& operator=(const GifAnimation&) = delete;

    // What an open gave: true when the file is open, otherwise why it was
    // refused ("not a GIF file", "truncated GIF file", …).
    struct Opened {
        std::optional<Failure> failure;
        explicit operator bool() const { return !failure; }
    };

    // Reads the file at `path` (a regular file of at most kGifMaxFileBytes;
    // a pipe or device is refused without waiting on it), checks it and
    // opens it for decoding.
    Opened open(const std::string& path);

    // As open(), from bytes already in memory.
    Opened open_bytes(std::string bytes);

    // Number of frames (0 when not open).
    int frame_count() const;

    // The layout found by the structure check (empty when not open).
    const GifLayout& layout() const;

    // Frame `index` (0-based) composed over the earlier frames: a 32-bit
    // image of the logical screen size. Frames are composed once each while
    // the requested index ascends; asking for an earlier index starts again
    // from the first frame. Null only for an index out of range.
    Bitmap frame(int index);

    // As frame(), for the last frame a caller needs: the picture handed over
    // is the canvas itself, not a copy, so the next request of any frame
    // starts again from the first one.
    Bitmap take_frame(int index);

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace pixlane
