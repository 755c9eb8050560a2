// The conversion of one file: one input file in, one output file per
// selected frame.
//
// Each frame goes through, in this order: rotation, resize, the icon size
// limit, flip, colour adjustment, greyscale, threshold, dither, the solid
// frame, the watermark, the icon fit, the depth conversion and the save,
// under the name built from the filename mask (plus "[k]" when every frame
// of an animation is written).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "decorations/watermark.h"
#include "pipeline/bitmap.h"
#include "pipeline/frame_source.h"
#include "records/records.h"
#include "settings/settings.h"

namespace pixlane {

// GIF Frame Loading values.
enum FrameLoading : int {
    kFramesAll = 0,
    kFramesFirst = 1,
    kFramesMiddle = 2,
    kFramesLast = 3,
    kFramesRandom = 4,
};

// Pages first..last (0-based, inclusive) to convert.
struct FrameRange {
    int first = 0;
    int last = 0;
};

// The frames chosen by `mode` (a GIF Frame Loading value) out of `count`
// pages (count >= 1). `random_pick`, from 1 to count, is the frame RANDOM
// takes; other values of `mode` convert every page.
FrameRange select_frames(int mode, int count, int random_pick);

// The first frame (0-based) of `count` the run converts for a file whose
// RANDOM frame `frame_pick` draws (0: a fresh draw).
int first_converted_frame(const Settings& s, int count, std::uint32_t frame_pick);

// Icons are at most 128 pixels a side: for icon output a bitmap with a
// side above 128 is rescaled (bicubic) to exactly 128 x 128, aspect ratio
// not kept. Anything else passes through.
Bitmap limit_icon_size(Bitmap in, const BatchPlan& plan);

// `path` with "[number]" inserted before "." + `extension` when it ends so
// (compared without regard to case), otherwise appended.
std::string with_frame_number(const std::string& path, const std::string& extension, int number);

// The per-file limits (Max Frames, Max Megapixels, Max Output MB) in one
// check: the frames to be converted and, once the first frame is sized, its
// size after resize and the icon limit, and the size and depth it is written
// at (0 while not known: only the frame count is checked). Nothing when
// every limit holds.
struct LimitFacts {
    std::int64_t frames = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t written_width = 0;
    std::int32_t written_height = 0;
    std::int32_t written_depth = 0;
};
std::optional<Failure> exceeded_limit(const Settings& s, const LimitFacts& facts);

// What would stop the save of an output at `path` before a byte is written:
// its folder missing (only `made_folder`, the subfolder the run makes, may be
// missing, when the run can make it), not a folder, not writable, or a name
// longer than its file system takes. A dry run reports such a frame as the
// real run would fail it. Nothing when the place is sound.
std::optional<Failure> output_place_fault(const std::string& path, const std::string& made_folder);

// How many cores the frames of one file may use at once, asked between
// frames: a run lends a long animation the cores its other workers have no
// file for, and takes them back. Empty: one.
using CoreCount = std::function<int()>;

// Converts the frames `source` gives for task.input_path with the settings
// `s` and the plan. The outcome holds every frame taken up and, when the
// file failed, why: no frame saved, a frame that reached the save failed, or
// a limit was exceeded. A dry run names each frame and stops before the
// drawing steps.
//
// Frames are decoded in order; after the first that can be sized, the
// steps, the depth conversion and the save of several frames may run side
// by side on the cores `cores` gives. Frames are taken into the outcome
// and placed under their names in frame order, so names, bytes, results,
// repeats dropped and stops are those of one frame at a time. (An animated
// output takes its frames one at a time.)
FileOutcome convert_file(const Settings& s, const BatchPlan& plan, const FileTask& task,
                         FrameSource& source, const WatermarkFont* font = nullptr,
                         const CoreCount& cores = {});

// Frame `index` of `source` as the conversion writes it: through every step
// the run takes it, the depth conversion included, and under the name the
// run gives it. When the run writes the file as one animation, the frame
// as it goes into the animation's encoder (after the drawing steps) under
// the animation's name, and `animated` is set. `failure` says why there is
// no picture.
struct ConvertedFrame {
    Bitmap picture;
    FrameFacts facts;
    std::string output_path;
    bool animated = false;
    std::optional<Failure> failure;
};
// `loaded`, when given, is that frame as the source gives it (the caller
// has it already).
ConvertedFrame convert_frame(const Settings& s, const BatchPlan& plan, const FileTask& task,
                             FrameSource& source, int index, const WatermarkFont* font = nullptr,
                             Bitmap loaded = {});

// As above, with the frames of the file at task.input_path: one that cannot
// be read or is not a sound GIF fails at once and writes nothing.
FileOutcome convert_file(const Settings& s, const BatchPlan& plan, const FileTask& task,
                         const WatermarkFont* font = nullptr, const CoreCount& cores = {});

} // namespace pixlane
