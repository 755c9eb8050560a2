// Fault injection for the tests of the supervised worker. Only installed when
// PIXLANE_WORKER_FAULTS is set: "crash=a.gif;hang=b.gif;oom=c.gif" makes the
// worker process fail in that way on a file of that name (also "spin": busy
// forever; "litter": leave a temporary output, then crash).
#pragma once

#include "run/worker_process.h"

namespace pixlane {

// The hook for run_worker_process(), or an empty one when the variable is unset.
BeforeJob worker_faults_from_environment();

} // namespace pixlane
