#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "platform/process.h"
#include "run/wire.h"
#include "run/wire_records.h"
#include "settings/keys.h"
#include "settings/serialize.h"

namespace pixlane {
namespace {

TEST(SerializeTest, EverySettingSurvivesTheRoundTrip) {
    Settings in;
    int n = 3;
    for (const auto& row : setting_keys()) {
        if (auto* t = text_field(in, row.field)) {
            *t = "value\t" + std::to_string(n) + "\r\n\xC2\xA9"; // tabs, line breaks, UTF-8
        } else {
            set_int(in, row.field, n);
        }
        ++n;
    }
    in.image_gamma = 0.1f; // not exact in decimal
    Settings out;
    settings_from_pairs(out, settings_to_pairs(in));
    EXPECT_EQ(settings_to_pairs(out), settings_to_pairs(in));
    EXPECT_EQ(out.image_gamma, 0.1f);
    EXPECT_EQ(out.wm_image_rotation, in.wm_image_rotation);
    EXPECT_NE(out.wm_image_rotation, out.image_rotation);

    in.image_gamma = std::numeric_limits<float>::infinity();
    settings_from_pairs(out, settings_to_pairs(in));
    EXPECT_TRUE(std::isinf(out.image_gamma));
    settings_from_pairs(out, {{"No/Such", "1"}, {"broken", "2"}});
}

// A record of each kind with every field away from its default, values a
// plain text form would break (tabs, line breaks, UTF-8, a value spelled
// like a marker) and the extremes of the numbers.
BatchPlan sample_plan() {
    BatchPlan plan;
    plan.output_extension = "png";
    plan.save_type = 13;
    plan.output_depth = 24;
    plan.save_flags = -0x10000;
    plan.automatic_depth = true;
    plan.output_folder = "/out/tab\there\n\xC3\xA9/";
    plan.dry_run = true;
    plan.defer_outputs = true;
    return plan;
}

FileTask sample_task() {
    return {std::numeric_limits<std::size_t>::max(),
            "/in/a b.gif",
            "sub/\xC3\xA9/",
            99999,
            std::numeric_limits<std::int32_t>::min(),
            std::numeric_limits<std::uint32_t>::max()};
}

FileOutcome sample_outcome() {
    FileOutcome outcome;
    outcome.frame_results = {
        {1, "/out/a[1].png", FrameStatus::Pending, "", std::numeric_limits<std::int64_t>::max()},
        {2, "", FrameStatus::Failed, "frame_result", 0},
        {3, "/out/failure.png", FrameStatus::Skipped, "line one\nline two", 7},
    };
    outcome.pending_outputs = {{"/out/pixlaneab.png", "/out/a[1].png"}};
    outcome.failure = Failure{"cannot write /out/x: No space left on device", true};
    return outcome;
}

TEST(WireRecordsTest, EveryFieldOfThePlanTaskAndOutcomeCrosses) {
    const BatchPlan plan = sample_plan();
    const auto p = wire::read_plan(wire::plan_message(plan));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->output_extension, plan.output_extension);
    EXPECT_EQ(p->save_type, plan.save_type);
    EXPECT_EQ(p->output_depth, plan.output_depth);
    EXPECT_EQ(p->save_flags, plan.save_flags);
    EXPECT_EQ(p->automatic_depth, plan.automatic_depth);
    EXPECT_EQ(p->output_folder, plan.output_folder);
    EXPECT_EQ(p->dry_run, plan.dry_run);
    EXPECT_EQ(p->defer_outputs, plan.defer_outputs);

    const FileTask task = sample_task();
    const auto t = wire::read_task(wire::task_message(task));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->index, task.index);
    EXPECT_EQ(t->input_path, task.input_path);
    EXPECT_EQ(t->relative_subfolder, task.relative_subfolder);
    EXPECT_EQ(t->sequence_number, task.sequence_number);
    EXPECT_EQ(t->random_value, task.random_value);
    EXPECT_EQ(t->frame_pick, task.frame_pick);

    const FileOutcome outcome = sample_outcome();
    const auto o = wire::read_outcome(wire::outcome_message(outcome));
    ASSERT_TRUE(o);
    ASSERT_EQ(o->frame_results.size(), outcome.frame_results.size());
    for (std::size_t i = 0; i < outcome.frame_results.size(); ++i) {
        const FrameResult& got = o->frame_results[i];
        const FrameResult& sent = outcome.frame_results[i];
        EXPECT_EQ(got.frame, sent.frame) << i;
        EXPECT_EQ(got.output_path, sent.output_path) << i;
        EXPECT_EQ(got.status, sent.status) << i;
        EXPECT_EQ(got.reason, sent.reason) << i;
        EXPECT_EQ(got.ms, sent.ms) << i;
    }
    ASSERT_EQ(o->pending_outputs.size(), outcome.pending_outputs.size());
    EXPECT_EQ(o->pending_outputs[0].temporary_path, outcome.pending_outputs[0].temporary_path);
    EXPECT_EQ(o->pending_outputs[0].output_path, outcome.pending_outputs[0].output_path);
    ASSERT_TRUE(o->failure);
    EXPECT_EQ(o->failure->reason, outcome.failure->reason);
    EXPECT_TRUE(o->out_of_space());

    // A file that went well comes back without a failure.
    const auto fine = wire::read_outcome(wire::outcome_message(FileOutcome{}));
    ASSERT_TRUE(fine);
    EXPECT_TRUE(fine->ok());
    EXPECT_TRUE(fine->frame_results.empty());
}

TEST(WireRecordsTest, ADamagedMessageIsRefused) {
    using Reader = std::function<bool(const wire::Message&)>;
    const Reader plan = [](const wire::Message& m) { return wire::read_plan(m).has_value(); };
    const Reader task = [](const wire::Message& m) { return wire::read_task(m).has_value(); };
    const Reader outcome = [](const wire::Message& m) { return wire::read_outcome(m).has_value(); };
    const wire::Message plan_message = wire::plan_message(sample_plan());
    const wire::Message task_message = wire::task_message(sample_task());
    const wire::Message outcome_message = wire::outcome_message(sample_outcome());
    // Each damaged message is a sound one with something added.
    ASSERT_TRUE(plan(plan_message));
    ASSERT_TRUE(task(task_message));
    ASSERT_TRUE(outcome(outcome_message));
    const auto with = [](wire::Message m, std::initializer_list<std::string> added) {
        m.insert(m.end(), added);
        return m;
    };
    struct Case {
        const char* what;
        wire::Message message;
        Reader read;
    };
    const Case cases[] = {
        {"an unknown field name", with(plan_message, {"colour", "red"}), plan},
        {"a name without its value", with(plan_message, {"dry_run"}), plan},
        {"a flag other than 0 or 1", with(plan_message, {"dry_run", "yes"}), plan},
        {"a number that does not parse", with(task_message, {"sequence_number", "12x"}), task},
        {"an empty number", with(task_message, {"frame_pick", ""}), task},
        {"a number out of its range", with(task_message, {"random_value", "2147483648"}), task},
        {"a negative index", with(task_message, {"index", "-1"}), task},
        {"another record's kind", plan_message, task},
        {"no kind at all", {}, plan},
        {"an unknown frame field", with(outcome_message, {"frame_result", "colour", "red"}),
         outcome},
        {"a frame field without its value", with(outcome_message, {"frame_result", "frame"}),
         outcome},
        {"a frame status out of range", with(outcome_message, {"frame_result", "status", "9"}),
         outcome},
        {"a frame's time that does not parse", with(outcome_message, {"frame_result", "ms", "1.5"}),
         outcome},
        {"a failure's field in a pending output",
         with(outcome_message, {"pending_output", "out_of_space", "1"}), outcome},
        {"a pair before any marker", {"outcome", "reason", "lost"}, outcome},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.read(c.message)) << c.what;
    }
}

// The bytes write_message puts in a pipe for `messages`.
std::string framed(const std::vector<wire::Message>& messages) {
    auto pipe = platform::make_pipe();
    std::string bytes;
    std::thread drain([&] {
        char buf[4096];
        for (ssize_t n; (n = ::read(pipe->read_end.get(), buf, sizeof buf)) > 0;) {
            bytes.append(buf, static_cast<std::size_t>(n));
        }
    });
    for (const auto& m : messages) {
        wire::write_message(pipe->write_end.get(), m);
    }
    pipe->write_end.reset();
    drain.join();
    return bytes;
}

// Messages written back to back, all at once or a few bytes at a time, come
// out of the reader one by one and whole; a silent pipe times out, a closed
// one ends, a damaged length is refused.
TEST(WireTest, TheReaderTakesMessagesWholeHoweverTheyArrive) {
    const std::vector<wire::Message> sent = {
        {"temp", "/out/a.png.tmp"}, {}, {std::string(70 * 1024, 'x'), "", "tail"}, {"quit"}};
    const std::string bytes = framed(sent);
    for (const std::size_t piece : {bytes.size(), std::size_t{1}, std::size_t{3}}) {
        auto pipe = platform::make_pipe();
        ASSERT_TRUE(pipe);
        std::thread writer([&] {
            for (std::size_t at = 0; at < bytes.size(); at += piece) {
                const std::size_t n = std::min(piece, bytes.size() - at);
                if (::write(pipe->write_end.get(), bytes.data() + at, n) !=
                    static_cast<ssize_t>(n)) {
                    return;
                }
            }
        });
        wire::MessageReader reader(pipe->read_end.get());
        for (const auto& m : sent) {
            bool timed_out = true;
            const auto got = reader.read(60'000, &timed_out);
            ASSERT_TRUE(got) << piece;
            EXPECT_EQ(*got, m) << piece;
            EXPECT_FALSE(timed_out);
        }
        writer.join();
        bool timed_out = false;
        EXPECT_FALSE(reader.read(1, &timed_out)) << piece;
        EXPECT_TRUE(timed_out) << piece;
        pipe->write_end.reset();
        EXPECT_FALSE(reader.read(-1, &timed_out)) << piece;
        EXPECT_FALSE(timed_out) << piece;
    }
    auto pipe = platform::make_pipe();
    ASSERT_TRUE(pipe);
    const char damaged[] = {1, 0, 0, 0, 0, 0, 0, 0x7F}; // one field of 2 GiB
    ASSERT_EQ(::write(pipe->write_end.get(), damaged, sizeof damaged), 8);
    wire::MessageReader reader(pipe->read_end.get());
    EXPECT_FALSE(reader.read(60'000));
}

} // namespace
} // namespace pixlane
