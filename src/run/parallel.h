// Conversion with several supervised worker processes side by side, giving
// exactly the results of the one-at-a-time conversion worker: each worker
// leaves its frames under temporary names, and one committer renames them
// in list order, deciding only then whether a file counts as converted.
// `%n%` and `%rnd%` are assumed from the files before a file (all of them
// converted); a file whose assumption a failure broke, or whose input an
// earlier output replaced, is converted again before it is committed.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "run/conversion.h"

namespace pixlane {

class ParallelConversion {
public:
    // `jobs` >= 2 worker processes; nothing starts until run().
    ParallelConversion(const Settings& s, int jobs, const WorkerLimits& limits,
                       const std::string& program);
    ~ParallelConversion();
    ParallelConversion(const ParallelConversion&) = delete;
    ParallelConversion& operator=(const ParallelConversion&) = delete;

    // As conversion_worker() with supervised workers: the same progress,
    // lines, hooks, job record fields and counts. At most 2 × jobs files
    // are converted or waiting for their commit at once.
    int run(JobRecord& job, ProgressRecord& progress, const InputList& list, const RunHooks& hooks,
            bool verbose);

    // From any thread: the files in hand are given up (their worker
    // processes ended, temporary files removed) and no new one starts.
    void abort();

private:
    struct Task;
    void serve(WorkerSupervisor& supervisor);

    const Settings& m_settings;
    std::vector<std::unique_ptr<WorkerSupervisor>> m_supervisors;
    std::vector<std::thread> m_threads;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Task*> m_queue;
    bool m_closing = false;
    bool m_aborted = false;
};

// Workers a run uses: `setting` when above 0, else the online processors;
// never more than the files, and one when converting in this process.
int worker_count(int setting, std::size_t files, bool in_process);

} // namespace pixlane
