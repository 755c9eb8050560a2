// The records one frame of one file is named and drawn from, for the tests
// of the steps that read them.
#pragma once

#include "naming/mask.h"
#include "records/records.h"

namespace pixlane::test {

// A batch plan, a file task and the facts of one frame of that file.
struct FrameRecords {
    BatchPlan plan;
    FileTask task;
    FrameFacts frame;

    // The tokens of an output name or a watermark text, filled from these.
    TokenSource tokens(Clock clock = nullptr) const { return {plan, task, frame, clock}; }
};

} // namespace pixlane::test
