// The run report's rows from a real run loop, its CSV and JSON
// texts, and the dry run's marks under each overwrite policy.
#include "run/report.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include "pipeline/save.h"
#include "platform/platform.h"
#include "support/fake_worker.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

TEST(RunReportTest, EveryFileGetsRowsEvenWhenTheRunStopsBeforeIt) {
    TempDir in;
    InputList list;
    for (const char* name : {"a.gif", "b.gif", "c.gif", "d.gif"}) {
        write_file(in / name, "GIF89a");
        list.add(in / name, in.path());
    }
    Settings s;
    const BatchPlan plan;
    NamingCounters counters;
    ProgressRecord progress;
    RunReport report(list);
    RunHooks hooks;
    hooks.file_ended = [&](const FileEnd& file) { report.file_ended(file); };
    int call = 0;
    const FakeAnswer fake = [&](const FileTask&) {
        switch (++call) {
        case 1: { // two frames: one written, one left alone
            FileOutcome outcome;
            outcome.frame_results = {{1, "/o/a[1].png", FrameStatus::Converted, "", 5},
                                     {2, "/o/a[2].png", FrameStatus::Skipped, "", 6}};
            return outcome;
        }
        case 2: // refused before any frame
            return failed_outcome("not a GIF file");
        default: // its frame went well, the file did not; then the run stops
            progress.request_stop();
            return failed_outcome("stopped", {{1, "/o/c.png", FrameStatus::Converted, "", 7}});
        }
    };
    run_fake(s, plan, counters, progress, list, fake, hooks);
    struct Row {
        std::string input;
        int frame;
        std::string output, status, reason;
    };
    const std::vector<Row> expected = {
        {"a.gif", 1, "/o/a[1].png", "converted", ""},
        {"a.gif", 2, "/o/a[2].png", "skipped", "the output exists"},
        {"b.gif", 0, "", "failed", "not a GIF file"},
        {"c.gif", 1, "/o/c.png", "converted", ""},
        {"c.gif", 0, "", "failed", "stopped"},
        {"d.gif", 0, "", "skipped", "the run stopped before this file"},
    };
    const auto rows = report.rows();
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].input, in / expected[i].input) << i;
        EXPECT_EQ(rows[i].frame, expected[i].frame) << i;
        EXPECT_EQ(rows[i].output, expected[i].output) << i;
        EXPECT_EQ(rows[i].status, expected[i].status) << i;
        EXPECT_EQ(rows[i].reason, expected[i].reason) << i;
    }
    EXPECT_EQ(rows[1].ms, 6);
}

TEST(ReportTextTest, CsvAndJsonKeepAwkwardNamesIntact) {
    struct Case {
        ReportRow row;
        const char* csv;  // the line after the header
        const char* json; // the object
    };
    const Case cases[] = {
        {{"/in/a.gif", 3, "/out/a[3].png", "converted", "", 12, 1, 0},
         "/in/a.gif,3,/out/a[3].png,converted,,12,1,0",
         R"({"input": "/in/a.gif", "frame": 3, "output": "/out/a[3].png", "status": "converted", "reason": "", "ms": 12, "frames": 1, "dropped": 0})"},
        // An animated output: every frame in one file, two repeats left out.
        {{"/in/a.gif", 1, "/out/a.webp", "converted", "", 40, 30, 2},
         "/in/a.gif,1,/out/a.webp,converted,,40,30,2",
         R"({"input": "/in/a.gif", "frame": 1, "output": "/out/a.webp", "status": "converted", "reason": "", "ms": 40, "frames": 30, "dropped": 2})"},
        {{"/in/say \"hi\", all.gif", 0, "", "failed", "line one\nline two", 0},
         "\"/in/say \"\"hi\"\", all.gif\",,,failed,\"line one\nline two\",0,0,0",
         R"({"input": "/in/say \"hi\", all.gif", "frame": null, "output": "", "status": "failed", "reason": "line one\u000aline two", "ms": 0, "frames": 0, "dropped": 0})"},
        {{"/in/caf\xC3\xA9\x01\xFF.gif", 1, "/o\\x.png", "skipped", "", 1},
         "/in/caf\xC3\xA9\x01\xEF\xBF\xBD.gif,1,/o\\x.png,skipped,,1,0,0",
         "{\"input\": \"/in/caf\xC3\xA9\\u0001\xEF\xBF\xBD.gif\", \"frame\": 1, \"output\": "
         "\"/o\\\\x.png\", \"status\": \"skipped\", \"reason\": \"\", \"ms\": 1, "
         "\"frames\": 0, \"dropped\": 0}"},
        // An overlong form and a surrogate: each byte that is not UTF-8 is one U+FFFD.
        {{"/in/\xC0\xAF\xED\xA0\x80.gif", 0, "", "failed", "", 0},
         "/in/\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD.gif,,,failed,,0,0,0",
         "{\"input\": \"/in/\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD.gif\", \"frame\": null, \"output\": "
         "\"\", "
         "\"status\": \"failed\", \"reason\": \"\", \"ms\": 0, \"frames\": 0, \"dropped\": 0}"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(report_csv({c.row}),
                  std::string("input,frame,output,status,reason,ms,frames,dropped\n") + c.csv +
                      "\n");
        EXPECT_EQ(report_json({c.row}), std::string("[\n  ") + c.json + "\n]\n");
    }
    EXPECT_EQ(report_json({}), "[]\n");
}

// What keeps a report from being written is known before the run.
TEST(ReportFaultTest, AReportThatCannotBeWrittenIsRefusedBeforeTheRun) {
    TempDir dir;
    platform::make_folder(dir / "old.csv");
    struct Case {
        std::string path;
        std::string why; // after "cannot write the report PATH: "; empty: no fault
    };
    const Case cases[] = {
        {dir / "run.csv", ""},
        {dir / "old.csv", "it is a folder"},
        {dir / "nowhere/run.csv", "no such folder"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(report_path_fault(c.path),
                  c.why.empty() ? "" : "cannot write the report " + c.path + ": " + c.why);
    }
    TempDir mount;
    const auto failures = in_read_only_tmpfs(mount.path(), [&] {
        const std::string fault = report_path_fault(mount / "run.csv");
        return fault == "cannot write the report " + mount / "run.csv: Read-only file system"
                   ? std::string()
                   : fault;
    });
    if (!failures) {
        GTEST_SKIP() << "no read-only tmpfs can be mounted here (needs root or user namespaces)";
    }
    EXPECT_EQ(*failures, "");
}

TEST(ReportFaultTest, AReportInTheSameFileAsAnInputIsRefused) {
    TempDir dir;
    write_file(dir / "a.gif", "GIF89a");
    write_file(dir / "b.gif", "GIF89a");
    write_file(dir / "list.txt", dir / "a.gif");
    write_file(dir / "old.csv", "input,frame");
    ::symlink((dir / "b.gif").c_str(), (dir / "b-link.csv").c_str());
    ::link((dir / "a.gif").c_str(), (dir / "a-hard.csv").c_str());
    ::symlink((dir / "list.txt").c_str(), (dir / "list-link.csv").c_str());
    InputList list;
    list.add(dir / "a.gif", "");
    list.add(dir / "b.gif", "");
    struct Case {
        std::string report;
        std::string input; // the input it is; empty: none
    };
    const Case cases[] = {
        {dir / "b-link.csv", dir / "b.gif"},
        {dir / "a-hard.csv", dir / "a.gif"},
        {dir / "list-link.csv", dir / "list.txt"},
        {dir / "old.csv", ""},
        {dir / "new.csv", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(report_input_fault(c.report, dir / "list.txt", list),
                  c.input.empty()
                      ? ""
                      : "cannot write the report " + c.report + ": it is the input " + c.input);
    }
}

TEST(OutputPlanTest, ExistingAndClashingNamesUnderEachPolicy) {
    TempDir out;
    write_file(out / "x.png", "earlier");
    write_file(out / "x (2).png", "earlier");
    struct Case {
        int policy;
        std::vector<std::string> lines; // for x.png, y.png, y.png, y.png
    };
    const std::string x = out / "x.png", y = out / "y.png";
    const Case cases[] = {
        {kOverwriteReplace,
         {x + " (exists)", y, y + " (clash with a.gif)", y + " (clash with b.gif)"}},
        {kOverwriteSkip,
         {x + " (exists; left alone)", y, y + " (clash with a.gif; left alone)",
          y + " (clash with a.gif; left alone)"}},
        {kOverwriteRename,
         {x + " (exists; written as " + out / "x (3).png)", y,
          y + " (clash with a.gif; written as " + out / "y (2).png)",
          y + " (clash with a.gif; written as " + out / "y (3).png)"}},
    };
    for (const auto& c : cases) {
        OutputPlan plan(c.policy);
        std::vector<std::string> lines;
        lines.push_back(plan.line("a.gif", x));
        lines.push_back(plan.line("a.gif", y));
        lines.push_back(plan.line("b.gif", y));
        lines.push_back(plan.line("c.gif", y));
        EXPECT_EQ(lines, c.lines) << c.policy;
        EXPECT_EQ(plan.existing(), 1) << c.policy;
        EXPECT_EQ(plan.clashes(), 2) << c.policy;
        EXPECT_FALSE(platform::exists(y)) << "a plan writes nothing";
    }
}

} // namespace
} // namespace pixlane::test
