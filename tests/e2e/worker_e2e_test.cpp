// Supervised conversion: a file that crashes, hangs or exhausts its child
// costs that file only; the batch goes on in a fresh child.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <limits>
#include <sstream>
#include <thread>

#include "gif_writer/gif_writer.h"
#include "pipeline/save.h"
#include "platform/platform.h"
#include "run/worker_process.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true; // no address-space limit: skip the memory hog
#else
constexpr bool kSanitized = false;
#endif

std::string small_gif(int w = 9, int h = 7) {
    GifSpec s;
    s.width = w;
    s.height = h;
    s.global_palette = test_palette(8);
    s.frames = {solid_frame(0, 0, w, h, 3)};
    return encode_gif(s);
}

std::vector<std::string> names_in(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : platform::list_folder(folder)) {
        names.push_back(e.name);
    }
    return names;
}

TEST(WorkerE2eTest, FaultyFilesCostOnlyThemselves) {
    TempDir in, out;
    write_file(in / "a_good.gif", small_gif());
    write_file(in / "b_crash.gif", small_gif());
    write_file(in / "c_good.gif", small_gif());
    write_file(in / "d_hang.gif", small_gif());
    write_file(in / "e_good.gif", small_gif());
    write_file(in / "f_litter.gif", small_gif());
    std::string oversized = small_gif();
    oversized[6] = oversized[7] = oversized[8] = oversized[9] = '\xFF'; // a 65535 x 65535 screen
    write_file(in / "g_oversized.gif", oversized);
    std::string faults = "crash=b_crash.gif;hang=d_hang.gif;litter=f_litter.gif";
    if (!kSanitized) {
        write_file(in / "h_hog.gif", small_gif());
        faults += ";oom=h_hog.gif";
    }
    const auto r = run_pixlane({"-i", in.path(), "-o", out.path(), "-c", "png", "-q",
                                "--filename-mask=%filename%-%n%.%ext%"},
                               {},
                               {{"PIXLANE_WORKER_FAULTS", faults},
                                {"PIXLANE_WORKER_TIMEOUT_SECONDS", "5"},
                                {"PIXLANE_WORKER_MEMORY_MB", "768"}});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(
        names_in(out.path()),
        (std::vector<std::string>{"a_good-00001.png", "c_good-00002.png", "e_good-00003.png"}));
    EXPECT_NE(r.err.find("b_crash.gif: crashed with signal 11"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("d_hang.gif: took longer than 5 s"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("f_litter.gif: crashed with signal 11"), std::string::npos) << r.err;
    if (!kSanitized) {
        EXPECT_NE(r.err.find("h_hog.gif: out of memory"), std::string::npos) << r.err;
    }
    EXPECT_NE(r.err.find("g_oversized.gif: a screen of"), std::string::npos)
        << "refused, not crashed";

    // With the summary: the converted count tells.
    const auto loud = run_pixlane({"-i", in / "a_good.gif", "-o", out.path(), "-c", "png"}, {},
                                  {{"PIXLANE_WORKER_FAULTS", "crash=a_good.gif"}});
    EXPECT_NE(loud.out.find("Conversion stopped"), std::string::npos);
    EXPECT_EQ(loud.status, 2);
}

TEST(WorkerE2eTest, AStopSignalEndsTheChildAtOnceAndLeavesNoStrayFiles) {
    for (int sig : {SIGTERM, SIGINT}) {
        TempDir in, out;
        write_file(in / "a_good.gif", small_gif());
        write_file(in / "b_hang.gif", small_gif());
        write_file(in / "c_good.gif", small_gif());
        const auto started = std::chrono::steady_clock::now();
        const auto signal_once_a_is_written = [&](pid_t pid) {
            while (!platform::exists(out / "a_good.png") &&
                   std::chrono::steady_clock::now() - started < std::chrono::seconds(60)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the child hangs on b
            ::kill(pid, sig);
        };
        TempDir reports;
        const auto r = run_pixlane({"-i", in.path(), "-o", out.path(), "-c", "png", "--jobs=1",
                                    "--report=" + reports / "run.csv"},
                                   {},
                                   {{"PIXLANE_WORKER_FAULTS", "hang=b_hang.gif"},
                                    {"PIXLANE_WORKER_TIMEOUT_SECONDS", "120"}},
                                   signal_once_a_is_written);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
        EXPECT_EQ(r.status, 2) << sig;
        EXPECT_NE(r.out.find("Files converted: 1 of 3"), std::string::npos) << r.out;
        EXPECT_NE(r.err.find("b_hang.gif: stopped"), std::string::npos) << r.err;
        EXPECT_EQ(names_in(out.path()), std::vector<std::string>{"a_good.png"}) << sig;
        // The report is written all the same, naming what never ran.
        const std::string report = read_file(reports / "run.csv");
        EXPECT_NE(report.find(in / "a_good.gif,1," + out / "a_good.png,converted,,"),
                  std::string::npos)
            << report;
        EXPECT_NE(report.find(in / "b_hang.gif,,,failed,stopped,"), std::string::npos) << report;
        EXPECT_NE(report.find(in / "c_good.gif,,,skipped,the run stopped before this file,0,0,0\n"),
                  std::string::npos)
            << report;
    }
}

TEST(WorkerE2eTest, AnAnimationOfThousandsOfFramesComesBackWhole) {
    // Every frame's result crosses the pipe from the worker: one message
    // of several fields a frame (thousands in all). With two workers the
    // frames wait under temporary names.
    GifSpec spec;
    spec.width = spec.height = 1;
    spec.global_palette = test_palette(2);
    spec.frames.assign(1000, solid_frame(0, 0, 1, 1, 1));
    TempDir in;
    write_file(in / "long.gif", encode_gif(spec));
    write_file(in / "short.gif", small_gif());
    for (const char* jobs : {"--jobs=1", "--jobs=2"}) {
        TempDir out;
        const auto r = run_pixlane({"-q", "-i", in.path(), "-o", out.path(), "-c", "pgm", jobs,
                                    "--report=" + out / "run.json"});
        EXPECT_EQ(r.status, 0) << jobs << r.err;
        EXPECT_EQ(names_in(out.path()).size(), 1002u) << jobs; // the report too
        EXPECT_TRUE(platform::exists(out / "long[1000].pgm")) << jobs;
    }
}

TEST(WorkerE2eTest, AFinishedOutputNamedLikeATemporaryFileSurvivesACrash) {
    // Only the temporary files the child announced are removed after it dies.
    TempDir in, out;
    write_file(in / "pixlaneabc.gif", small_gif());
    write_file(in / "zz_litter.gif", small_gif());
    const auto r = run_pixlane({"-q", "-i", in.path(), "-o", out.path(), "-c", "png"}, {},
                               {{"PIXLANE_WORKER_FAULTS", "litter=zz_litter.gif"}});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(names_in(out.path()), std::vector<std::string>{"pixlaneabc.png"}) << r.err;
}

TEST(WorkerE2eTest, TemporaryOutputOfAFileFromASubfolderIsRemoved) {
    // Without kept subfolders the output of sub/b.gif goes to the output
    // folder itself, and so does its temporary file.
    struct Case {
        std::vector<std::string> options;
        std::string folder_with_output; // below the output folder
    };
    const Case cases[] = {{{}, "sub/"}, {{"--no-subfolders"}, ""}};
    for (const auto& c : cases) {
        TempDir in, out;
        platform::make_folders(in / "sub");
        write_file(in / "sub/b.gif", small_gif());
        write_file(in / "sub/c.gif", small_gif());
        std::vector<std::string> args = {"-q", "-i", in.path(), "-o", out.path(), "-c", "png"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto r = run_pixlane(args, {}, {{"PIXLANE_WORKER_FAULTS", "litter=b.gif"}});
        EXPECT_EQ(r.status, 2) << c.folder_with_output;
        EXPECT_EQ(names_in(out / c.folder_with_output), std::vector<std::string>{"c.png"}) << r.err;
    }
}

TEST(WorkerE2eTest, ChildAndInProcessWriteTheSameBytes) {
    TempDir in, child_out, local_out;
    write_file(in / "pic.gif", small_gif(40, 30));
    for (auto ext : {"png", "bmp", "psd", "jxr"}) {
        const auto a = run_pixlane({"-q", "-i", in / "pic.gif", "-o", child_out.path(), "-c", ext});
        const auto b = run_pixlane({"-q", "-i", in / "pic.gif", "-o", local_out.path(), "-c", ext},
                                   {}, {{"PIXLANE_IN_PROCESS", "1"}});
        ASSERT_EQ(a.status, 0) << ext;
        ASSERT_EQ(b.status, 0) << ext;
        const std::string name = std::string("pic.") + ext;
        EXPECT_EQ(read_file(child_out / name), read_file(local_out / name)) << ext;
        EXPECT_FALSE(read_file(child_out / name).empty()) << ext;
    }
}

// Small GIFs in a folder, converted to png by a supervisor of the built
// executable.
struct SupervisedBatch {
    TempDir in, out;
    Settings settings;
    BatchPlan plan; // handed to the child when it starts, at the first file
    WorkerSupervisor supervisor;
    FileOutcome outcome; // of the last file
    std::string reason;  // why it failed

    explicit SupervisedBatch(std::initializer_list<const char*> names, WorkerLimits limits = {})
        : supervisor(settings, plan, limits, pixlane_exe()) {
        for (auto name : names) {
            write_file(in / name, small_gif());
        }
        plan.output_folder = out.path();
        set_batch_output(plan, "png", settings);
    }

    bool convert(const std::string& name) {
        FileTask task;
        task.input_path = in / name;
        outcome = supervisor.convert(task);
        reason = outcome.failure ? outcome.failure->reason : std::string();
        return outcome.ok();
    }
};

TEST(WorkerSupervisorTest, AKilledChildCostsOneRespawnAndNoFile) {
    SupervisedBatch b({"one.gif", "two.gif", "three.gif"});
    EXPECT_TRUE(b.convert("one.gif")) << b.reason;
    // The child's answer carries the file's frames back.
    ASSERT_EQ(b.outcome.frame_results.size(), 1u);
    EXPECT_EQ(b.outcome.frame_results[0].frame, 1);
    EXPECT_EQ(b.outcome.frame_results[0].status, FrameStatus::Converted);
    EXPECT_EQ(b.outcome.last_output(), b.out / "one.png");
    const Bitmap written = adopt(FreeImage_Load(FIF_PNG, (b.out / "one.png").c_str(), 0));
    EXPECT_EQ(width_of(written), 9);
    EXPECT_EQ(height_of(written), 7);
    b.supervisor.kill_child();
    EXPECT_TRUE(b.convert("two.gif")) << b.reason;
    EXPECT_TRUE(b.convert("three.gif")) << b.reason;
    EXPECT_EQ(b.supervisor.spawned(), 2);
    EXPECT_EQ(names_in(b.out.path()),
              (std::vector<std::string>{"one.png", "three.png", "two.png"}));

    // A file that fails on its own is not a death of the child.
    write_file(b.in / "broken.gif", "GIF89a");
    EXPECT_FALSE(b.convert("broken.gif"));
    EXPECT_EQ(b.reason, "truncated GIF file");
    EXPECT_EQ(b.supervisor.spawned(), 2);
}

TEST(WorkerLimitsTest, EnvironmentValuesAreReadWithinRange) {
    // The watchdog waits seconds × 1000 milliseconds in an int; a huge value
    // means "as long as can be", never a wrapped short or negative one.
    const WorkerLimits defaults;
    struct Case {
        const char* text;
        int seconds; // 0: the default
    };
    const Case cases[] = {
        {"", 0},         {"0", 0},  {"-5", 0},          {"abc", 0},
        {"12", 12},      {" 7", 7}, {"4294967297", -1}, {"99999999999999999999", -1},
        {"3000000", -1},
    };
    for (const auto& c : cases) {
        for (const char* name : {"PIXLANE_WORKER_TIMEOUT_SECONDS", "PIXLANE_WORKER_CPU_SECONDS"}) {
            ::setenv(name, c.text, 1);
        }
        const WorkerLimits l = WorkerLimits::from_environment();
        ::unsetenv("PIXLANE_WORKER_TIMEOUT_SECONDS");
        ::unsetenv("PIXLANE_WORKER_CPU_SECONDS");
        if (c.seconds == 0) {
            EXPECT_EQ(l.wall_seconds_per_file, defaults.wall_seconds_per_file) << c.text;
            EXPECT_EQ(l.cpu_seconds_per_file, defaults.cpu_seconds_per_file) << c.text;
        } else if (c.seconds > 0) {
            EXPECT_EQ(l.wall_seconds_per_file, c.seconds) << c.text;
            EXPECT_EQ(l.cpu_seconds_per_file, c.seconds) << c.text;
        } else {
            EXPECT_GE(l.wall_seconds_per_file, 1000000) << c.text;
            EXPECT_LE(l.wall_seconds_per_file, std::numeric_limits<int>::max() / 1000) << c.text;
            EXPECT_GE(l.cpu_seconds_per_file, 1000000) << c.text;
        }
    }
}

// The children of the calling thread, from /proc.
std::vector<pid_t> children_of_this_thread() {
    std::ifstream in("/proc/thread-self/children");
    std::vector<pid_t> pids;
    for (pid_t pid = 0; in >> pid;) {
        pids.push_back(pid);
    }
    return pids;
}

TEST(WorkerSupervisorTest, AChildThatEndsBetweenFilesCostsNoFile) {
    SupervisedBatch b({"one.gif", "two.gif"});
    ASSERT_TRUE(b.convert("one.gif")) << b.reason;
    const auto children = children_of_this_thread();
    if (children.size() != 1) {
        GTEST_SKIP() << "the children of this thread cannot be listed";
    }
    // Killed from outside while idle; waited for without being reaped.
    ASSERT_EQ(::kill(children[0], SIGKILL), 0);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(children[0]), &info, WEXITED | WNOWAIT), 0);

    EXPECT_TRUE(b.convert("two.gif")) << b.reason;
    EXPECT_EQ(b.reason, "");
    EXPECT_EQ(b.supervisor.spawned(), 2);
    EXPECT_EQ(names_in(b.out.path()), (std::vector<std::string>{"one.png", "two.png"}));
}

// The soft and hard processor-time limits of a process, as /proc shows them.
std::pair<std::string, std::string> cpu_limits_of(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/limits");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Max cpu time", 0) == 0) {
            std::istringstream fields(line.substr(12));
            std::string soft, hard;
            fields >> soft >> hard;
            return {soft, hard};
        }
    }
    return {};
}

TEST(WorkerSupervisorTest, TheChildKeepsItsHardProcessorLimit) {
    // Without privileges a hard limit can never be raised again, so a child
    // that lowered it for one file would run every later file on what was left.
    WorkerLimits limits;
    limits.cpu_seconds_per_file = 50;
    SupervisedBatch b({"one.gif", "two.gif"}, limits);
    for (auto name : {"one.gif", "two.gif"}) {
        ASSERT_TRUE(b.convert(name)) << b.reason;
    }
    const auto children = children_of_this_thread();
    if (children.size() != 1) {
        GTEST_SKIP() << "the children of this thread cannot be listed";
    }
    rlimit own{};
    ASSERT_EQ(::getrlimit(RLIMIT_CPU, &own), 0);
    const std::string own_hard =
        own.rlim_max == RLIM_INFINITY ? "unlimited" : std::to_string(own.rlim_max);
    const auto [soft, hard] = cpu_limits_of(children[0]);
    EXPECT_EQ(hard, own_hard);
    ASSERT_FALSE(soft.empty());
    EXPECT_NE(soft, "unlimited") << "the per-file limit is the soft one";
    EXPECT_GE(std::stol(soft), 50);
}

} // namespace
} // namespace pixlane::test
