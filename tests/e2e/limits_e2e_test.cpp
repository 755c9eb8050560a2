// Resource limits: tiny hostile GIFs whose outputs would fill a disk fail
// quickly with a reason naming the limit; good files beside them convert.
#include <gtest/gtest.h>

#include <chrono>

#include "gif_writer/gif_writer.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

// `frames` one-pixel frames on a `side` × `side` screen: a few bytes each,
// a whole screen each once composed.
std::string amplifying_gif(int side, int frames) {
    GifSpec s;
    s.width = s.height = side;
    s.global_palette = test_palette(4);
    for (int i = 0; i < frames; ++i) {
        s.frames.push_back(solid_frame(i % side, 0, 1, 1, static_cast<std::uint8_t>(i % 4)));
    }
    return encode_gif(s);
}

TEST(LimitsE2eTest, AmplifyingFilesFailWithTheLimitNamedAndWriteNothing) {
    TempDir in, out;
    write_file(in / "a_good.gif", amplifying_gif(20, 3));
    write_file(in / "b_screen.gif", amplifying_gif(4096, 64));
    write_file(in / "c_frames.gif", amplifying_gif(463, 5000));
    EXPECT_LT(read_file(in / "b_screen.gif").size(), 2048U);
    const auto started = std::chrono::steady_clock::now();
    const auto r = run_pixlane({"-q", "-i", in.path(), "-o", out.path(), "-c", "png"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
    EXPECT_EQ(r.status, 2);
    std::vector<std::string> names;
    for (const auto& e : platform::list_folder(out.path())) {
        names.push_back(e.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a_good[1].png", "a_good[2].png", "a_good[3].png"}));
    EXPECT_NE(
        r.err.find("b_screen.gif: 64 frames of 4096\u00D74096 exceed the output limit of 2 GiB "
                   "per file; raise --max-output-mb"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("c_frames.gif: 5000 frames of 463\u00D7463 exceed the output limit"),
              std::string::npos)
        << r.err;

    // Each limit can be set; 0 lifts it.
    struct Case {
        std::vector<std::string> options;
        const char* reason; // empty: converts
    };
    const Case cases[] = {
        {{"--max-frames=2"}, "3 frames exceed the limit of 2 frames per file; raise --max-frames"},
        {{"--max-megapixels=1", "--width=2000", "--height=1000"},
         "a frame of 2000\u00D71000 exceeds the limit of 1 megapixels; raise --max-megapixels"},
        {{"--max-output-mb=1", "--width=1000", "--height=1000"},
         "3 frames of 1000\u00D71000 exceed the output limit of 1 MiB per file"},
        {{"--max-output-mb=0", "--max-frames=0", "--max-megapixels=0"}, ""},
    };
    for (const auto& c : cases) {
        TempDir o;
        std::vector<std::string> args = {"-q", "-i", in / "a_good.gif", "-o", o.path(),
                                         "-c", "png"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto run = run_pixlane(args);
        if (*c.reason) {
            EXPECT_EQ(run.status, 2) << c.reason;
            EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
            EXPECT_TRUE(platform::list_folder(o.path()).empty()) << c.reason;
        } else {
            EXPECT_EQ(run.status, 0) << run.err;
        }
    }
}

// Five 150×150 stills (about 90 KB of 32-bit bmp each) into a 256 KiB
// file system: the third fills it (with two workers, files in flight share
// the space, so fewer may fit). The batch stops there with one line, keeps
// the files before it and the earlier output of that name, and leaves no
// temporary file.
TEST(LimitsE2eTest, AFullOutputDeviceStopsTheBatch) {
    TempDir in, out;
    const std::vector<std::string> names = {"a", "b", "c", "d", "e"};
    for (const auto& name : names) {
        GifSpec g;
        g.width = g.height = 150;
        g.global_palette = test_palette(4);
        g.frames.push_back(solid_frame(0, 0, 150, 150, 1));
        write_file(in / (name + ".gif"), encode_gif(g));
    }
    for (const auto& [jobs, fitting] : {std::pair{"--jobs=1", 2}, std::pair{"--jobs=2", 0}}) {
        const auto failures = in_small_tmpfs(out.path(), 256, [&, jobs = jobs, fitting = fitting] {
            write_file(out / "c.bmp", "earlier output");
            const auto r = run_pixlane({"-i", in.path(), "-o", out.path(), "-c", "bmp", jobs});
            std::string listed;
            int converted = 0;
            for (const auto& e : platform::list_folder(out.path())) {
                listed += e.name + " ";
                converted += e.name != "c.bmp" ? 1 : 0;
            }
            std::string expected_files;
            for (int i = 0; i < converted; ++i) {
                expected_files += names[static_cast<std::size_t>(i)] + ".bmp ";
            }
            expected_files += "c.bmp ";
            std::string failures;
            if (r.status != 2 || (fitting > 0 && converted != fitting) ||
                listed != expected_files || read_file(out / "c.bmp") != "earlier output" ||
                r.out.find("Error: no space left on the output device\nConversion stopped\n") ==
                    std::string::npos ||
                (converted > 0 && r.out.find("Files converted: " + std::to_string(converted) +
                                             " of 5") == std::string::npos) ||
                r.err.find(": No space left on device") == std::string::npos ||
                r.err.find("e.gif") != std::string::npos) {
                failures = "status " + std::to_string(r.status) + ", files " + listed + ", out " +
                           r.out + ", err " + r.err;
            }
            return failures;
        });
        if (!failures) {
            GTEST_SKIP() << "no small tmpfs can be mounted here (needs root or user namespaces)";
        }
        EXPECT_EQ(*failures, "") << jobs;
    }
}

} // namespace
} // namespace pixlane::test
