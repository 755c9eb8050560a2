// The conversion job: one input file in, one output file per selected frame.
//
// Each frame goes through, in this order: rotation, resize, the icon size
// limit, flip, colour adjustment, greyscale, threshold, dither, the solid
// frame, the watermark, the icon fit, the depth conversion and the save,
// under the name built from the filename mask (plus "[k]" when every frame
// of an animation is written).
#pragma once

#include <string>

#include "decorations/watermark.h"
#include "pipeline/bitmap.h"
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

// Icons are at most 128 pixels a side: for "ico" output a bitmap with a
// side above 128 is rescaled (bicubic) to exactly 128 x 128, aspect ratio
// not kept. Anything else passes through.
Bitmap limit_icon_size(Bitmap in, const JobRecord& job);

// `path` with "[number]" inserted before "." + `extension` when it ends so
// (compared without regard to case), otherwise appended.
std::string with_frame_number(const std::string& path, const std::string& extension, int number);

// Converts job.input_path with the settings `s` and the batch fields of
// `job`. Leaves in `job` the output path, temporary path, width, height,
// source depth and (automatic depth) output depth of the last frame
// processed. True when at least one frame was saved and every frame that
// reached the save step was saved. An input that cannot be read or is not a
// sound GIF fails at once and writes nothing.
bool run_job(const Settings& s, JobRecord& job, const WatermarkFont* font = nullptr);

} // namespace pixlane
