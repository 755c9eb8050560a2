// Previews in the supervised worker process: a hung worker is given up for
// the newer request, which a fresh worker answers.
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "pipeline/save.h"
#include "run/preview.h"
#include "support/preview_support.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

TEST(PreviewE2eTest, ANewerRequestReplacesAHungOne) {
    ::setenv("PIXLANE_WORKER_FAULTS", "hang=a_hang.gif", 1);
    TempDir in;
    PreviewRequest request;
    request.plan.output_folder = in.path();
    ASSERT_TRUE(set_batch_output(request.plan, "png", request.settings));
    for (const char* name : {"a_hang.gif", "b_good.gif"}) {
        write_file(in / name, patterned_gif(12, 8, 2));
    }
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<std::uint64_t, Preview>> answers;
    WorkerLimits limits;
    limits.wall_seconds_per_file = 120; // far beyond the test: only the replacement ends it
    {
        PreviewService service(
            limits, pixlane_exe(),
            [&](std::uint64_t id, Preview p) {
                std::lock_guard guard(lock);
                answers.emplace_back(id, std::move(p));
                changed.notify_all();
            },
            200);
        request.task.input_path = in / "a_hang.gif";
        service.request(request);
        // Whether or not the hung request has started by now, the newer
        // one is the only one answered.
        std::unique_lock guard(lock);
        changed.wait_for(guard, std::chrono::milliseconds(500));
        guard.unlock();
        request.task.input_path = in / "b_good.gif";
        const std::uint64_t good = service.request(request);
        guard.lock();
        changed.wait(guard, [&] { return !answers.empty(); });
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(answers[0].first, good);
        EXPECT_EQ(answers[0].second.error, "");
        EXPECT_EQ(answers[0].second.output_path, in / "b_good[1].png");
    }
    ::unsetenv("PIXLANE_WORKER_FAULTS");
}

} // namespace
} // namespace pixlane::test
