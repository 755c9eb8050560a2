// The run records as messages between a run and its worker process. Each
// record travels as name and value pairs from one field list, as the
// settings travel through the key table: a field added to a record is a row
// added to its list here, and both ends read it.
#pragma once

#include <optional>

#include "records/records.h"
#include "run/wire.h"

namespace pixlane::wire {

// "plan" and the plan's fields.
Message plan_message(const BatchPlan& plan);
std::optional<BatchPlan> read_plan(const Message& m);

// "task" and the task's fields.
Message task_message(const FileTask& task);
std::optional<FileTask> read_task(const Message& m);

// "outcome", the failure's fields when there is one, then each frame's and
// each pending output's fields after a marker of its own.
Message outcome_message(const FileOutcome& outcome);
std::optional<FileOutcome> read_outcome(const Message& m);

} // namespace pixlane::wire
