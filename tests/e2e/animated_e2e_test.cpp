// Animated outputs end to end: the built program writes one GIF, WebP or
// APNG per input; each is read back with a reader that is not the writer
// (and the frame times and looping with the formats' own tools), and every
// frame is compared with the frame outputs of the same input.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <FreeImage.h>

#include <cstdlib>
#include <sstream>

#include "gif_writer/gif_writer.h"
#include "platform/platform.h"
#include "support/animation_reader.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// Five frames that play for ever, 0.1 s to 0.5 s each: a full frame; a
// square drawn; the same square again (a frame that changes nothing);
// another square, then disposed to the background (transparent); a small
// corner square over the hole that leaves.
std::string sample_gif() {
    GifSpec s;
    s.width = 40;
    s.height = 30;
    s.global_palette = test_palette(16);
    s.loop = true;
    const auto frame = [](int left, int top, int w, int h, int index, int disposal, int delay) {
        GifFrame f = solid_frame(left, top, w, h, static_cast<std::uint8_t>(index));
        f.disposal = disposal;
        f.delay = delay;
        return f;
    };
    s.frames = {frame(0, 0, 40, 30, 1, 1, 10), frame(5, 5, 10, 8, 2, 1, 20),
                frame(5, 5, 10, 8, 2, 1, 30), frame(20, 10, 12, 10, 3, 2, 40),
                frame(0, 0, 4, 4, 4, 1, 50)};
    return encode_gif(s);
}

const std::vector<int> kDelays = {100, 200, 300, 400, 500};
// With repeats dropped: the second and third frames are one.
const std::vector<int> kMergedDelays = {100, 500, 400, 500};
const std::vector<int> kMergedFrames = {1, 2, 4, 5};

Bitmap load_32(const std::string& path) {
    Bitmap b = adopt(FreeImage_Load(FreeImage_GetFileType(path.c_str(), 0), path.c_str(), 0));
    return b && FreeImage_GetBPP(b.get()) != 32 ? adopt(FreeImage_ConvertTo32Bits(b.get()))
                                                : std::move(b);
}

struct Format {
    std::string ext;
    std::vector<std::string> lossless; // options that make it keep every pixel
    Animation (*read)(const std::string&);
    // libwebp's encoder itself folds a frame that changes nothing into the
    // one before it.
    bool merges_repeats = false;
};

const Format kFormats[] = {
    {"gif", {}, read_gif_animation},
    {"webp", {"--webp-quality=100"}, read_webp_animation, true},
    {"png", {}, read_apng},
};

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& more) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// What the formats' own tools say of a file: frame times, frame count and
// looping, as one line to compare.
std::string tool_view(const std::string& ext, const std::string& path) {
    if (ext == "gif") {
        const RunResult times = run("/usr/bin/identify", {"-format", "%T ", path});
        const RunResult info = run("/usr/bin/gifsicle", {"--info", path});
        return times.out + (info.out.find("loop forever") != std::string::npos ? "for ever" : "");
    }
    if (ext == "webp") {
        const RunResult info = run("/usr/bin/webpmux", {"-info", path});
        std::istringstream lines(info.out);
        std::string out;
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string number, w, h, alpha, x, y, duration;
            if (line.find("Loop Count : 0") != std::string::npos) {
                out += "for ever ";
            } else if (fields >> number >> w >> h >> alpha >> x >> y >> duration &&
                       number.back() == ':' &&
                       std::isdigit(static_cast<unsigned char>(number[0]))) {
                out += duration + " ";
            }
        }
        return out;
    }
    return {};
}

std::string expected_tool_view(const std::string& ext, const std::vector<int>& delays_ms) {
    std::string out;
    if (ext == "webp") {
        out = "for ever ";
    }
    for (int d : delays_ms) {
        out += std::to_string(ext == "gif" ? d / 10 : d) + " ";
    }
    if (ext == "gif") {
        out += "for ever";
    }
    return ext == "png" ? std::string() : out;
}

TEST(AnimatedE2eTest, EachFormatHoldsEveryFrameWithItsTimeAndLooping) {
    TempDir dir;
    write_file(dir / "anim.gif", sample_gif());
    platform::make_folder(dir / "frames");
    ASSERT_EQ(run_pixlane({"-i", dir / "anim.gif", "-o", dir / "frames", "-c", "png"}).status, 0);
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.ext);
        const std::string out = dir / f.ext;
        platform::make_folder(out);
        const RunResult r = run_pixlane(
            with({"-i", dir / "anim.gif", "-o", out, "-c", f.ext, "--animated"}, f.lossless));
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(names_in(out), "anim." + f.ext + " ");
        const std::string path = out + "/anim." + f.ext;
        const std::vector<int>& delays = f.merges_repeats ? kMergedDelays : kDelays;
        EXPECT_EQ(tool_view(f.ext, path), expected_tool_view(f.ext, delays));
        const Animation a = f.read(path);
        ASSERT_TRUE(a.read);
        EXPECT_EQ(a.delays_ms, delays);
        EXPECT_EQ(a.plays, 0);
        ASSERT_EQ(a.frames.size(), delays.size());
        for (std::size_t k = 0; k < a.frames.size(); ++k) {
            const int frame = f.merges_repeats ? kMergedFrames[k] : static_cast<int>(k + 1);
            const Bitmap own = load_32(dir / "frames/anim[" + std::to_string(frame) + "].png");
            EXPECT_EQ(picture_difference(a.frames[k].get(), own.get()), "") << "frame " << frame;
        }
    }
}

TEST(AnimatedE2eTest, RepeatedFramesAreMergedOrSkippedAndCounted) {
    TempDir dir;
    write_file(dir / "anim.gif", sample_gif());
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.ext);
        const std::string out = dir / f.ext;
        platform::make_folder(out);
        const RunResult r = run_pixlane(
            with({"-i", dir / "anim.gif", "-o", out, "-c", f.ext, "--animated",
                  "--drop-duplicate-frames", "-d", "--report=" + dir / (f.ext + ".csv")},
                 f.lossless));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("Dropped Frames: 1\n"), std::string::npos) << r.out;
        const std::string path = out + "/anim." + f.ext;
        EXPECT_EQ(tool_view(f.ext, path), expected_tool_view(f.ext, kMergedDelays));
        const Animation a = f.read(path);
        EXPECT_EQ(a.delays_ms, kMergedDelays);
        EXPECT_EQ(a.frames.size(), kMergedDelays.size());
        // One row for the file: its first frame, the frames held, the one dropped.
        EXPECT_NE(read_file(dir / (f.ext + ".csv")).find(",1," + out + "/anim." + f.ext),
                  std::string::npos);
        EXPECT_NE(read_file(dir / (f.ext + ".csv")).find(",4,1\n"), std::string::npos)
            << read_file(dir / (f.ext + ".csv"));
    }
    // Frame outputs: the repeat is not written; the names keep the frame
    // numbers and can carry the times and looping.
    platform::make_folder(dir / "frames");
    const RunResult r = run_pixlane({"-i", dir / "anim.gif", "-o", dir / "frames", "-c", "png",
                                     "--drop-duplicate-frames",
                                     "--filename-mask=%filename%-%frame%-%delay%ms-%loop%.%ext%"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names_in(dir / "frames"),
              "anim-1-100ms-0.png anim-2-200ms-0.png anim-4-400ms-0.png anim-5-500ms-0.png ");
}

TEST(AnimatedE2eTest, OtherFormatsAreRefusedBeforeAnythingRuns) {
    TempDir dir;
    write_file(dir / "anim.gif", sample_gif());
    write_file(dir / "p.ini", "[CLI]\n--ANIMATED=1\n");
    platform::make_folder(dir / "out");
    for (const std::string ext : {"bmp", "jpg", "tiff", "ico"}) {
        for (const std::string& how : {std::string("--animated"), "--profile=" + dir / "p.ini"}) {
            const RunResult r =
                run_pixlane({"-i", dir / "anim.gif", "-o", dir / "out", "-c", ext, how});
            EXPECT_NE(r.out.find("Error: --animated needs gif, webp or png\n"), std::string::npos)
                << ext << " " << how << ": " << r.out;
        }
    }
    EXPECT_EQ(names_in(dir / "out"), "");
}

TEST(AnimatedE2eTest, DryRunWorkersAndStillInputs) {
    TempDir dir;
    platform::make_folder(dir / "in");
    write_file(dir / "in/a.gif", sample_gif());
    write_file(dir / "in/b.gif", sample_gif());
    GifSpec still;
    still.width = 6;
    still.height = 4;
    still.global_palette = test_palette(4);
    still.frames = {solid_frame(0, 0, 6, 4, 1)};
    write_file(dir / "in/still.gif", encode_gif(still));
    platform::make_folder(dir / "out");
    const RunResult dry =
        run_pixlane({"-i", dir / "in", "-o", dir / "out", "-c", "webp", "--animated", "--dry-run"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    for (const std::string name : {"a.webp", "b.webp", "still.webp"}) {
        EXPECT_NE(dry.out.find(dir / ("out/" + name) + "\n"), std::string::npos) << dry.out;
    }
    EXPECT_NE(dry.out.find("would give 3 outputs"), std::string::npos) << dry.out;
    EXPECT_EQ(names_in(dir / "out"), "");

    const RunResult r = run_pixlane({"-i", dir / "in", "-o", dir / "out", "-c", "webp",
                                     "--animated", "--jobs=2", "--report=" + dir / "r.json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(names_in(dir / "out"), "a.webp b.webp still.webp ");
    EXPECT_EQ(read_webp_animation(dir / "out/a.webp").frames.size(), kMergedDelays.size());
    EXPECT_EQ(read_webp_animation(dir / "out/b.webp").frames.size(), kMergedDelays.size());
    // A single frame makes an ordinary still picture.
    EXPECT_EQ(run("/usr/bin/webpmux", {"-info", dir / "out/still.webp"}).out.find("animation"),
              std::string::npos);
    const std::string report = read_file(dir / "r.json");
    EXPECT_NE(report.find("\"output\": \"" + dir / "out/a.webp\"", 0), std::string::npos);
    EXPECT_NE(report.find("\"frames\": 5, \"dropped\": 0"), std::string::npos) << report;
}

// Noise of 256 colours over a large frame: long code streams (the GIF
// encoder's table fills and starts again many times) still give every
// pixel back.
TEST(AnimatedE2eTest, NoisyFramesComeBackExactly) {
    TempDir dir;
    GifSpec s;
    s.width = 200;
    s.height = 150;
    s.global_palette = test_palette(256);
    std::uint32_t seed = 7;
    for (int k = 0; k < 3; ++k) {
        GifFrame f = solid_frame(k * 10, k * 5, 200 - k * 20, 150 - k * 10, 0);
        for (auto& index : f.indices) {
            seed = seed * 1664525U + 1013904223U;
            index = static_cast<std::uint8_t>(seed >> 24);
        }
        f.disposal = 1;
        s.frames.push_back(std::move(f));
    }
    write_file(dir / "noise.gif", encode_gif(s));
    platform::make_folder(dir / "frames");
    ASSERT_EQ(run_pixlane({"-i", dir / "noise.gif", "-o", dir / "frames", "-c", "png"}).status, 0);
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.ext);
        const std::string out = dir / f.ext;
        platform::make_folder(out);
        ASSERT_EQ(run_pixlane(with({"-i", dir / "noise.gif", "-o", out, "-c", f.ext, "--animated"},
                                   f.lossless))
                      .status,
                  0);
        const Animation a = f.read(out + "/noise." + f.ext);
        ASSERT_EQ(a.frames.size(), s.frames.size());
        for (std::size_t k = 0; k < a.frames.size(); ++k) {
            const Bitmap own = load_32(dir / "frames/noise[" + std::to_string(k + 1) + "].png");
            EXPECT_EQ(picture_difference(a.frames[k].get(), own.get()), "") << k + 1;
        }
    }
}

// Mean difference of the colour channels of two 32-bit pictures of one size
// (255 when they cannot be compared).
double mean_difference(FIBITMAP* a, FIBITMAP* b) {
    if (!a || !b || FreeImage_GetWidth(a) != FreeImage_GetWidth(b) ||
        FreeImage_GetHeight(a) != FreeImage_GetHeight(b)) {
        return 255;
    }
    double sum = 0;
    const unsigned w = FreeImage_GetWidth(a), h = FreeImage_GetHeight(a);
    for (unsigned y = 0; y < h; ++y) {
        const BYTE* p = FreeImage_GetScanLine(a, static_cast<int>(y));
        const BYTE* q = FreeImage_GetScanLine(b, static_cast<int>(y));
        for (unsigned i = 0; i < w * 4; ++i) {
            sum += (i % 4 == 3) ? 0 : std::abs(int(p[i]) - int(q[i]));
        }
    }
    return sum / (w * h * 3.0);
}

// Frames of more than 256 colours (a smooth resize of a 256-colour picture)
// go through the quantiser: close to the frame outputs, not equal.
TEST(AnimatedE2eTest, GifFramesOfManyColoursAreQuantised) {
    TempDir dir;
    GifSpec s;
    s.width = 16;
    s.height = 16;
    s.global_palette = test_palette(256);
    s.loop = true;
    GifFrame all = solid_frame(0, 0, 16, 16, 0);
    for (std::size_t i = 0; i < all.indices.size(); ++i) {
        all.indices[i] = static_cast<std::uint8_t>(i);
    }
    s.frames = {all, solid_frame(4, 4, 8, 8, 7)};
    write_file(dir / "many.gif", encode_gif(s));
    const std::vector<std::string> resize = {"--width=64", "--height=64",
                                             "--resize-algorithm=bilinear"};
    platform::make_folder(dir / "frames");
    platform::make_folder(dir / "gif");
    ASSERT_EQ(run_pixlane(with({"-i", dir / "many.gif", "-o", dir / "frames", "-c", "png"}, resize))
                  .status,
              0);
    ASSERT_EQ(
        run_pixlane(
            with({"-i", dir / "many.gif", "-o", dir / "gif", "-c", "gif", "--animated"}, resize))
            .status,
        0);
    const Animation a = read_gif_animation(dir / "gif/many.gif");
    ASSERT_EQ(a.frames.size(), s.frames.size());
    for (std::size_t k = 0; k < a.frames.size(); ++k) {
        const Bitmap own = load_32(dir / "frames/many[" + std::to_string(k + 1) + "].png");
        EXPECT_NE(picture_difference(a.frames[k].get(), own.get()), "") << k;
        EXPECT_LT(mean_difference(a.frames[k].get(), own.get()), 10.0) << k;
    }
}

// A long animation: its frames side by side would need far more than the
// program may take.
TEST(AnimatedE2eTest, MemoryStaysBoundedByAFewFrames) {
    TempDir dir;
    constexpr int kSide = 320;
    constexpr int kFrames = 300; // 117 MiB of 32-bit frames
    GifSpec s;
    s.width = kSide;
    s.height = kSide;
    s.global_palette = test_palette(16);
    s.frames.push_back(solid_frame(0, 0, kSide, kSide, 1));
    for (int k = 1; k < kFrames; ++k) {
        GifFrame f = solid_frame((k * 7) % (kSide - 16), (k * 3) % (kSide - 16), 16, 16,
                                 static_cast<std::uint8_t>(2 + k % 14));
        f.disposal = 1;
        s.frames.push_back(std::move(f));
    }
    write_file(dir / "long.gif", encode_gif(s));
    platform::make_folder(dir / "out");
    const std::int64_t all_frames_kib = std::int64_t{kSide} * kSide * 4 * kFrames / 1024;
    // Every run first: the peak of this process's children is taken over
    // all of them, and reading the frames back makes this process large.
    for (const Format& f : kFormats) {
        const RunResult r = run_pixlane(
            {"-i", dir / "long.gif", "-o", dir / "out", "-c", f.ext, "--animated", "--jobs=1"});
        ASSERT_EQ(r.status, 0) << f.ext << ": " << r.err;
    }
    struct rusage children {};
    ::getrusage(RUSAGE_CHILDREN, &children);
    if (!kSanitized) { // the sanitizer's shadow memory and quarantine are no measure
        EXPECT_LT(children.ru_maxrss, all_frames_kib / 2) << "peak KiB of a process";
    }
    for (const Format& f : kFormats) {
        EXPECT_EQ(f.read(dir / ("out/long." + f.ext)).frames.size(),
                  static_cast<std::size_t>(kFrames))
            << f.ext;
    }
}

} // namespace
} // namespace pixlane::test
