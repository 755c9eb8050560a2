// A run loop over a worker whose answers the test gives, for the tests of
// what the loop does with outcomes: counts, numbers, progress, hooks.
#pragma once

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "run/conversion.h"

namespace pixlane::test {

using FakeAnswer = std::function<FileOutcome(const FileTask& task)>;

// A worker that answers each task with `answer`, on the thread that serves it
// (with one worker, the loop's own).
class FakeConverter final : public FileConverter {
  public:
    explicit FakeConverter(FakeAnswer answer) : m_answer(std::move(answer)) {}
    FileOutcome convert(const FileTask& task) override { return m_answer(task); }

  private:
    FakeAnswer m_answer;
};

// A run loop of one worker in this process answering with `answer`.
inline int run_fake(const Settings& s, const BatchPlan& plan, NamingCounters& counters,
                    ProgressRecord& progress, const InputList& list, FakeAnswer answer,
                    const RunHooks& hooks = {}, bool verbose = false) {
    std::vector<std::unique_ptr<FileConverter>> workers;
    workers.push_back(std::make_unique<FakeConverter>(std::move(answer)));
    RunLoop loop(s, plan, std::move(workers));
    return loop.run(counters, progress, list, hooks, verbose);
}

// An outcome that failed for `reason`, with `frames` taken up before.
inline FileOutcome failed_outcome(std::string reason, std::vector<FrameResult> frames = {}) {
    FileOutcome outcome;
    outcome.frame_results = std::move(frames);
    outcome.failure = Failure{std::move(reason)};
    return outcome;
}

} // namespace pixlane::test
