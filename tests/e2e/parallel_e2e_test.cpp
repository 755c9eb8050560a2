// Several worker processes give exactly the outputs of one: names, bytes,
// counts, status and debug lines, with failing files, %n% and %rnd%.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <thread>

#include "gif_writer/gif_writer.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

std::string animation(int seed, int frames) {
    GifSpec s;
    s.width = 24 + seed % 5;
    s.height = 16 + seed % 3;
    s.global_palette = test_palette(16);
    for (int f = 0; f < frames; ++f) {
        s.frames.push_back(
            solid_frame(f % 4, f % 3, 8, 6, static_cast<std::uint8_t>((seed + f) % 16)));
    }
    return encode_gif(s);
}

// Every file below `folder` with its bytes, by relative path.
std::map<std::string, std::string> tree(const std::string& folder, const std::string& below = {}) {
    std::map<std::string, std::string> files;
    for (const auto& e : platform::list_folder(folder + below)) {
        if (e.is_folder) {
            files.merge(tree(folder, below + e.name + "/"));
        } else {
            files[below + e.name] = read_file(folder + below + e.name);
        }
    }
    return files;
}

struct Corpus {
    TempDir in;
    Corpus() {
        platform::make_folders(in / "sub");
        for (int i = 0; i < 9; ++i) {
            write_file(in / ("f" + std::to_string(i) + ".gif"), animation(i, 1 + i % 4));
        }
        write_file(in / "f3.gif", "not a gif at all"); // fails in the job
        write_file(in / "sub/s1.gif", animation(11, 3));
        write_file(in / "sub/s2.gif", animation(12, 1));
    }
};

TEST(ParallelE2eTest, TwoWorkersWriteWhatOneWrites) {
    const Corpus corpus;
    const std::map<std::string, std::string> env = {{"PIXLANE_RANDOM_SEED", "42"},
                                                    {"PIXLANE_WORKER_FAULTS", "crash=f6.gif"}};
    const std::vector<std::vector<std::string>> cases = {
        {"-c", "png", "--filename-mask=%filename%-%n%-%rnd%"},
        {"-c", "bmp", "--gif-frame-loading=random", "--filename-mask=%n%_%filename%"},
        {"-c", "png", "--wm-text=%n%/%rnd%", "--wm-font=DejaVu Sans", "--no-subfolders"},
    };
    for (const auto& options : cases) {
        std::map<std::string, std::string> outputs[2];
        RunResult runs[2];
        for (int jobs : {1, 2}) {
            TempDir out;
            std::vector<std::string> args = {"-d", "-i",       corpus.in.path(),
                                             "-o", out.path(), "--jobs=" + std::to_string(jobs)};
            args.insert(args.end(), options.begin(), options.end());
            runs[jobs - 1] = run_pixlane(args, {}, env);
            outputs[jobs - 1] = tree(out.path());
            std::string& listing = runs[jobs - 1].out;
            for (auto pos = listing.find(out.path()); pos != std::string::npos;
                 pos = listing.find(out.path())) {
                listing.replace(pos, out.path().size(), "OUT/");
            }
        }
        const std::string name = options.back();
        EXPECT_EQ(runs[0].status, 2) << name;
        EXPECT_EQ(runs[1].status, runs[0].status) << name;
        EXPECT_EQ(runs[1].out, runs[0].out) << name;
        EXPECT_NE(runs[0].out.find("Files converted: 9 of 11"), std::string::npos) << runs[0].out;
        EXPECT_EQ(outputs[0].size(), outputs[1].size()) << name;
        EXPECT_TRUE(outputs[0] == outputs[1]) << name;
        EXPECT_NE(runs[1].err.find("f6.gif: crashed with signal 11"), std::string::npos)
            << runs[1].err;
    }
}

// A long animation alone, or last in a batch, spreads its frames over the
// cores the other workers leave: the outputs and listing stay those of one.
TEST(ParallelE2eTest, FramesOfALongAnimationSpreadAsOneWouldWrite) {
    TempDir in;
    GifSpec s;
    s.width = 64;
    s.height = 48;
    s.global_palette = test_palette(16);
    for (int f = 0; f < 60; ++f) {
        s.frames.push_back(
            solid_frame(f % 7, f % 5, 20, 12, static_cast<std::uint8_t>(f / 3 % 16)));
    }
    write_file(in / "long.gif", encode_gif(s));
    const std::vector<std::vector<std::string>> cases = {
        {"-c", "png", "--drop-duplicate-frames", "--wm-text=%frame%/%frames%",
         "--wm-font=DejaVu Sans"},
        {"-c", "jpg", "--filename-mask=%filename%-%frame%-%delay%"},
    };
    for (const auto& options : cases) {
        std::map<std::string, std::string> outputs[2];
        std::string listings[2];
        for (int jobs : {1, 2}) {
            TempDir out;
            std::vector<std::string> args = {"-d", "-i",       in.path(),
                                             "-o", out.path(), "--jobs=" + std::to_string(jobs)};
            args.insert(args.end(), options.begin(), options.end());
            const RunResult r = run_pixlane(args);
            EXPECT_EQ(r.status, 0) << r.err;
            outputs[jobs - 1] = tree(out.path());
            listings[jobs - 1] = replaced(r.out, out.path(), "OUT/");
        }
        EXPECT_FALSE(outputs[0].empty());
        EXPECT_TRUE(outputs[0] == outputs[1]) << options[1];
        EXPECT_EQ(listings[1], listings[0]) << options[1];
    }
}

TEST(ParallelE2eTest, AStopLeavesNoTemporaryFiles) {
    TempDir in, out;
    for (int i = 0; i < 6; ++i) {
        write_file(in / ("f" + std::to_string(i) + ".gif"), animation(i, 2));
    }
    const auto started = std::chrono::steady_clock::now();
    const auto r = run_pixlane(
        {"-q", "-i", in.path(), "-o", out.path(), "-c", "png", "--jobs=2"}, {},
        {{"PIXLANE_WORKER_FAULTS", "hang=f2.gif;hang=f3.gif"}}, [&](pid_t pid) {
            while (!platform::exists(out / "f1[2].png") &&
                   std::chrono::steady_clock::now() - started < std::chrono::seconds(60)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ::kill(pid, SIGTERM);
        });
    EXPECT_EQ(r.status, 2);
    const auto files = tree(out.path());
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(name.rfind("pixlane", 0), std::string::npos) << "stray " << name;
    }
    EXPECT_EQ(files.size(), 4u) << r.err; // f0 and f1, two frames each
}

} // namespace
} // namespace pixlane::test
