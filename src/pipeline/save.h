// The end of the conversion job: icons made writable, depth conversion and
// saving through the format's writer.
#pragma once

#include "pipeline/bitmap.h"
#include "pipeline/records.h"
#include "settings/settings.h"

namespace pixlane {

// For ico output: an icon the writer would refuse (not square, or smaller
// than 16) is centred on a transparent square canvas. Other formats: input.
Bitmap fit_icon(Bitmap in, const JobRecord& job);

// Brings the bitmap to the output depth (or, with automatic depth, the depth
// chosen for it, which is stored in job.output_depth).
Bitmap convert_depth(Bitmap in, JobRecord& job);

enum class SaveResult {
    Saved,
    Failed, // this frame failed; the job goes on with the next one
    Abort,  // the job must stop at once (no memory for the writer's buffer)
};

// Writes the bitmap to job.output_path with the batch's save type and flags,
// through a temporary file in the same folder renamed over the final name.
SaveResult save_frame(const Bitmap& bitmap, const Settings& s, JobRecord& job);

} // namespace pixlane
