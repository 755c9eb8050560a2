// The shared run: the run loop over a fake worker, progress snapshots
// under a concurrent writer, the remaining-time text and the interactive
// run's checks.
#include "run/conversion.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <set>
#include <thread>

#include "platform/platform.h"
#include "run/checks.h"
#include "support/fake_worker.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

struct FakeBatch {
    TempDir in, out;
    Settings settings;
    BatchPlan plan;
    NamingCounters counters;
    ProgressRecord progress;
    InputList list;

    explicit FakeBatch(int files) {
        for (int i = 1; i <= files; ++i) {
            const std::string path = in / ("f" + std::to_string(i) + ".gif");
            write_file(path, "GIF89a");
            list.add(path, in.path());
        }
        plan.output_folder = out.path();
    }
};

// More workers start for a batch whose files left would keep one busy for
// long, never for the tail of a batch of small files.
TEST(SpareWorkersTest, StartWhenTheWorkLeftPaysForThem) {
    struct Case {
        std::size_t left, converted;
        std::int64_t busy_ms;
        bool pay;
    } cases[] = {
        {1999, 0, 0, true},      // nothing known yet: the first file is slow
        {900, 1100, 150, false}, // tiny files: 0.14 ms each, 120 ms left
        {49, 11, 150, true},     // animations: 14 ms each, 670 ms left
        {0, 60, 800, false},     // nothing left
    };
    for (const auto& c : cases) {
        EXPECT_EQ(spare_workers_pay(c.left, c.converted, c.busy_ms), c.pay) << c.left;
    }
}

TEST(RunLoopTest, WalksTheListWithSequenceNumbersOfSuccessesOnly) {
    struct Case {
        const char* name;
        std::vector<bool> outcome;   // per file
        int stop_after = 0;          // the worker stops the run at this file (0: never)
        std::vector<int> sequence;   // %n% each file saw
        std::vector<long> durations; // last duration each file saw
        int converted;
    };
    const Case cases[] = {
        {"all succeed", {true, true, true}, 0, {1, 2, 3}, {0, 1000, 1000}, 3},
        {"a failure skips no number", {true, false, true}, 0, {1, 2, 2}, {0, 1000, 0}, 2},
        {"stop after file 2", {true, true, true, true}, 2, {1, 2}, {0, 1000}, 2},
    };
    for (const auto& c : cases) {
        FakeBatch b(static_cast<int>(c.outcome.size()));
        std::vector<int> sequence;
        std::vector<long> durations;
        std::vector<std::string> failed;
        const FakeAnswer fake = [&](const FileTask& task) {
            const std::size_t i = sequence.size();
            sequence.push_back(task.sequence_number);
            if (c.stop_after == static_cast<int>(i) + 1) {
                b.progress.request_stop();
            }
            if (!c.outcome[i]) {
                return failed_outcome("broken");
            }
            FileOutcome done;
            done.frame_results = {{1, task.input_path + ".out", FrameStatus::Converted, "", 1}};
            return done;
        };
        RunHooks hooks;
        hooks.file_failed = [&](const std::string& input, const std::string& reason) {
            failed.push_back(platform::file_name_of(input) + ":" + reason);
        };
        // The progress record holds the duration of the file before while
        // a file is in hand.
        hooks.file_ended = [&](const FileEnd&) {
            durations.push_back(static_cast<long>(b.progress.snapshot().last_duration));
        };
        int finished = -1;
        hooks.finished = [&](int count) { finished = count; };
        const int converted =
            run_fake(b.settings, b.plan, b.counters, b.progress, b.list, fake, hooks);
        EXPECT_EQ(sequence, c.sequence) << c.name;
        EXPECT_EQ(durations, c.durations) << c.name;
        EXPECT_EQ(converted, c.converted) << c.name;
        EXPECT_EQ(b.progress.snapshot().count, c.converted) << c.name;
        EXPECT_EQ(finished, c.converted) << c.name;
        EXPECT_EQ(b.progress.snapshot().total, static_cast<int>(c.outcome.size())) << c.name;
        EXPECT_EQ(b.counters.sequence_number, 1 + c.converted) << "the next batch goes on";
        const bool any_failure =
            std::find(c.outcome.begin(), c.outcome.end(), false) != c.outcome.end();
        EXPECT_EQ(failed, any_failure ? std::vector<std::string>{"f2.gif:broken"}
                                      : std::vector<std::string>{})
            << c.name;
    }
}

TEST(RunLoopTest, APausedWorkerWaitsBeforeItsNextFileUntilResumed) {
    FakeBatch b(2);
    std::atomic<int> done{0};
    const FakeAnswer fake = [&](const FileTask&) {
        ++done;
        return FileOutcome{};
    };
    b.progress.pause();
    WorkerThread worker(
        [&] { run_fake(b.settings, b.plan, b.counters, b.progress, b.list, fake); });
    EXPECT_FALSE(worker.wait_for(100));
    EXPECT_EQ(done, 0);
    b.progress.resume();
    EXPECT_TRUE(worker.wait_for(10000));
    EXPECT_EQ(done, 2);
}

// Several workers: the first file is held until the other worker has
// converted every later one, so the window runs far past a long file; the
// commit stays in list order. A short wait before the spare workers start
// leaves a two-file batch to the first worker alone.
TEST(RunLoopTest, SeveralWorkersRunFarAheadOfALongFileAndCommitInOrder) {
    struct Case {
        int files;
        std::int64_t spare_after_ms;
        bool both_work;
    };
    for (const Case c : {Case{40, 0, true}, Case{2, 60'000, false}}) {
        FakeBatch b(c.files);
        b.plan.defer_outputs = true;
        std::mutex lock;
        std::condition_variable later_done;
        int others = 0;
        std::set<std::thread::id> threads;
        const FakeAnswer fake = [&](const FileTask& task) {
            std::unique_lock guard(lock);
            threads.insert(std::this_thread::get_id());
            if (task.index == 0 && c.both_work) {
                // Released by the other worker, or after a minute at worst.
                later_done.wait_for(guard, std::chrono::minutes(1),
                                    [&] { return others == c.files - 1; });
                EXPECT_EQ(others, c.files - 1);
            } else if (task.index != 0) {
                ++others;
                later_done.notify_all();
            }
            return FileOutcome{};
        };
        std::vector<std::unique_ptr<FileConverter>> workers;
        workers.push_back(std::make_unique<FakeConverter>(fake));
        workers.push_back(std::make_unique<FakeConverter>(fake));
        RunLoop loop(b.settings, b.plan, std::move(workers), c.spare_after_ms);
        std::vector<std::size_t> committed;
        RunHooks hooks;
        hooks.file_ended = [&](const FileEnd& end) { committed.push_back(end.task.index); };
        EXPECT_EQ(loop.run(b.counters, b.progress, b.list, hooks, false), c.files);
        std::vector<std::size_t> in_order(static_cast<std::size_t>(c.files));
        std::iota(in_order.begin(), in_order.end(), std::size_t{0});
        EXPECT_EQ(committed, in_order);
        EXPECT_EQ(threads.size(), c.both_work ? 2u : 1u) << c.files;
    }
}

TEST(ProgressRecordTest, ASnapshotIsNeverTornByAConcurrentWriter) {
    ProgressRecord p;
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 1; !stop; ++i) {
            std::lock_guard guard(p.lock);
            p.index = i;
            p.current_input = std::to_string(i);
            p.last_duration = i * 10;
        }
    });
    for (int k = 0; k < 20000; ++k) {
        const ProgressSnapshot s = p.snapshot();
        if (s.index == 0) {
            continue;
        }
        ASSERT_EQ(s.current_input, std::to_string(s.index));
        ASSERT_EQ(s.last_duration, s.index * 10);
    }
    stop = true;
    writer.join();
}

TEST(RemainingTimeTest, HoursMinutesSecondsAndDays) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "00:00:00"},
        {59'999, "00:00:59"},
        {(3600 + 5 * 60 + 9) * 1000, "01:05:09"},
        {2LL * 24 * 3600 * 1000, "2d:00:00:00"},
        {(2LL * 24 * 3600 + 3 * 3600) * 1000, "2d:03:00:00"},
    };
    for (const auto& [ms, text] : cases) {
        EXPECT_EQ(remaining_time_text(ms), text) << ms;
    }
    // The third of ten files, the last taking 1.5 s: eight files to go.
    EXPECT_EQ(remaining_ms(10, 3, 1500), 8 * 1500);
}

TEST(InteractiveChecksTest, FaultsComeInTheirOrder) {
    TempDir out;
    struct Case {
        const char* name;
        std::size_t inputs;
        std::string folder;
        std::function<void(Settings&)> set;
        Fault expected;
    };
    const std::string missing = out / "missing";
    const Case cases[] = {
        {"empty list before empty folder", 0, "", {}, {"Empty input files"}},
        {"empty folder", 1, "", {}, {"Empty output folder"}},
        {"missing folder, with its separator",
         1,
         missing,
         {},
         {"Invalid output folder", missing + "/"}},
        {"width 0 with resize on",
         1,
         out.path(),
         [](Settings& s) {
             s.do_image_resize = 1;
             s.keep_aspect_ratio = 0;
             s.image_width = 0;
             s.image_height = 5;
         },
         {"Invalid width"}},
        {"height 0 with resize on",
         1,
         out.path(),
         [](Settings& s) {
             s.do_image_resize = 1;
             s.keep_aspect_ratio = 0;
             s.image_width = 5;
             s.image_height = 0;
         },
         {"Invalid height"}},
        {"both 0 with the aspect kept",
         1,
         out.path(),
         [](Settings& s) {
             s.do_image_resize = 1;
             s.keep_aspect_ratio = 1;
             s.image_width = 0;
             s.image_height = 0;
         },
         {"Invalid width"}},
        {"negative height with the aspect kept",
         1,
         out.path(),
         [](Settings& s) {
             s.do_image_resize = 1;
             s.keep_aspect_ratio = 1;
             s.image_width = 5;
             s.image_height = -1;
         },
         {"Invalid height"}},
        {"empty watermark image",
         1,
         out.path(),
         [](Settings& s) {
             s.do_watermark = 2;
             s.image.clear();
         },
         {"Empty watermark image"}},
        {"missing watermark image",
         1,
         out.path(),
         [&](Settings& s) {
             s.do_watermark = 2;
             s.image = missing;
         },
         {"Invalid watermark image", missing}},
    };
    for (const auto& c : cases) {
        Settings s;
        if (c.set) {
            c.set(s);
        }
        std::string folder = c.folder;
        std::unique_ptr<WatermarkFont> font;
        const auto fault = check_interactive_run(s, c.inputs, folder, font);
        ASSERT_TRUE(fault) << c.name;
        EXPECT_EQ(*fault, c.expected) << c.name;
    }
    // Width 0 with resize off runs; the folder gains its separator.
    Settings s;
    s.do_image_resize = 0;
    s.image_width = 0;
    std::string folder = out.path().substr(0, out.path().size() - 1);
    std::unique_ptr<WatermarkFont> font;
    EXPECT_FALSE(check_interactive_run(s, 1, folder, font));
    EXPECT_EQ(folder, out.path());
}

} // namespace
} // namespace pixlane::test
