// Where the frames of an input come from. The conversion of a file walks a
// frame source and knows nothing of the file format behind it; today every
// input is a GIF animation.
#pragma once

#include <memory>
#include <string>
#include <variant>

#include "pipeline/bitmap.h"
#include "records/records.h"

namespace pixlane {

class FrameSource {
  public:
    virtual ~FrameSource() = default;

    // Number of frames, at least 1.
    virtual int frame_count() const = 0;
    // Frame `index` (0-based) as shown: a null bitmap when it cannot be
    // decoded. Frames are cheapest asked for in ascending order.
    virtual Bitmap frame(int index) = 0;
    // As frame(), for the last frame the caller needs: the source may hand
    // over its own picture instead of a copy.
    virtual Bitmap take_frame(int index) { return frame(index); }
    // How long frame `index` is shown, in milliseconds (0 when the file
    // gives no time).
    virtual int delay_ms(int) const { return 0; }
    // How often the animation repeats after its first showing: 0 for ever,
    // -1 when it plays once.
    virtual int loop_count() const { return -1; }
};

// The frames of the file at `path`, or why it cannot be read.
std::variant<std::unique_ptr<FrameSource>, Failure> open_frames(const std::string& path);

} // namespace pixlane
