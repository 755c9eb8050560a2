// The conversion of one file: which frames it takes, the names it writes
// them under, the icon size limit and what it reports.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "gif_writer/gif_writer.h"
#include "pipeline/save.h"
#include "platform/platform.h"
#include "run/convert_file.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

TEST(ConvertFileTest, SelectsFramesByMode) {
    struct Case {
        int mode, count, pick, first, last;
    };
    const Case cases[] = {
        {kFramesAll, 1, 1, 0, 0},
        {kFramesAll, 2, 1, 0, 1},
        {kFramesAll, 4, 1, 0, 3},
        {kFramesAll, 5, 1, 0, 4},
        {kFramesFirst, 1, 1, 0, 0},
        {kFramesFirst, 2, 1, 0, 0},
        {kFramesFirst, 4, 1, 0, 0},
        {kFramesFirst, 5, 1, 0, 0},
        {kFramesMiddle, 1, 1, 0, 0},
        {kFramesMiddle, 2, 1, 0, 0},
        {kFramesMiddle, 4, 1, 1, 1},
        {kFramesMiddle, 5, 1, 2, 2},
        {kFramesLast, 1, 1, 0, 0},
        {kFramesLast, 2, 1, 1, 1},
        {kFramesLast, 4, 1, 3, 3},
        {kFramesLast, 5, 1, 4, 4},
        {kFramesRandom, 1, 1, 0, 0},
        {kFramesRandom, 2, 2, 1, 1},
        {kFramesRandom, 4, 3, 2, 2},
        {kFramesRandom, 5, 5, 4, 4},
        {kFramesRandom, 5, 1, 0, 0},
        {7, 1, 1, 0, 0},
        {7, 5, 1, 0, 4},
        {-1, 4, 1, 0, 3},
    };
    for (const auto& c : cases) {
        const FrameRange r = select_frames(c.mode, c.count, c.pick);
        EXPECT_EQ(r.first, c.first) << "mode " << c.mode << " n " << c.count;
        EXPECT_EQ(r.last, c.last) << "mode " << c.mode << " n " << c.count;
    }
}

TEST(ConvertFileTest, InsertsFrameNumberBeforeExtension) {
    struct Case {
        const char* path;
        const char* ext;
        int number;
        const char* expected;
    };
    const Case cases[] = {
        {"/out/anim.png", "png", 1, "/out/anim[1].png"},
        {"/out/a.b.tiff", "tiff", 12, "/out/a.b[12].tiff"},
        {"/out/ANIM.PNG", "png", 3, "/out/ANIM[3].PNG"},
        {"/out/anim", "png", 2, "/out/anim[2]"}, // a mask without the extension
        {"/out/xpng", "png", 2, "/out/xpng[2]"}, // ends in the letters, not ".png"
    };
    for (const auto& c : cases) {
        EXPECT_EQ(with_frame_number(c.path, c.ext, c.number), c.expected) << c.path;
    }
}

TEST(ConvertFileTest, LimitsIconsTo128) {
    struct Case {
        int w, h;
        const char* ext;
        int out_w, out_h;
    };
    const Case cases[] = {{300, 200, "ico", 128, 128}, {100, 100, "ico", 100, 100},
                          {128, 129, "ico", 128, 128}, {129, 20, "ico", 128, 128},
                          {128, 128, "ico", 128, 128}, {300, 200, "png", 300, 200}};
    for (const auto& c : cases) {
        BatchPlan plan;
        plan.output_extension = c.ext;
        Bitmap b = limit_icon_size(adopt(FreeImage_Allocate(c.w, c.h, 32)), plan);
        EXPECT_EQ(width_of(b), c.out_w) << c.w << "x" << c.h << " " << c.ext;
        EXPECT_EQ(height_of(b), c.out_h) << c.w << "x" << c.h << " " << c.ext;
    }
    BatchPlan plan;
    plan.output_extension = "ico";
    EXPECT_FALSE(limit_icon_size(Bitmap(), plan));
}

// ---------------------------------------------------------------------------
// Whole files

constexpr Rgb kColours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};

// A width x height animation whose frame k fills the screen with kColours[k].
std::string coloured_frames(int frames, int width = 6, int height = 4) {
    GifSpec s;
    s.width = width;
    s.height = height;
    s.global_palette = {kColours[0], kColours[1], kColours[2], kColours[3]};
    for (int k = 0; k < frames; ++k) {
        s.frames.push_back(solid_frame(0, 0, width, height, static_cast<std::uint8_t>(k)));
    }
    return encode_gif(s);
}

struct Batch {
    TempDir in;
    TempDir out;
    Settings settings;
    BatchPlan plan;
    FileTask task;

    explicit Batch(const std::string& gif, const std::string& name = "anim.gif") {
        write_file(in / name, gif);
        task.input_path = in / name;
        plan.output_folder = out.path();
        set_batch_output(plan, "png", settings);
    }

    FileOutcome convert() const { return convert_file(settings, plan, task); }

    std::vector<std::string> written() const {
        std::vector<std::string> names;
        for (const auto& e : platform::list_folder(out.path())) {
            names.push_back(e.name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Colour of the top-left pixel of an output file, 0xRRGGBB, or -1.
    long colour(const std::string& name) const {
        FIBITMAP* b = FreeImage_Load(FIF_PNG, (out / name).c_str(), 0);
        if (!b) {
            return -1;
        }
        RGBQUAD q;
        FreeImage_GetPixelColor(b, 0, FreeImage_GetHeight(b) - 1, &q);
        FreeImage_Unload(b);
        return (long{q.rgbRed} << 16) | (long{q.rgbGreen} << 8) | q.rgbBlue;
    }
};

TEST(ConvertFileTest, WritesSelectedFramesUnderTheirNames) {
    using Names = std::vector<std::string>;
    struct Case {
        int mode;
        Names names;
        std::vector<Rgb> colours;
    };
    const Case cases[] = {
        {kFramesAll,
         {"anim[1].png", "anim[2].png", "anim[3].png"},
         {kColours[0], kColours[1], kColours[2]}},
        {kFramesFirst, {"anim.png"}, {kColours[0]}},
        {kFramesMiddle, {"anim.png"}, {kColours[1]}},
        {kFramesLast, {"anim.png"}, {kColours[2]}},
    };
    for (const auto& c : cases) {
        Batch batch(coloured_frames(3));
        batch.settings.gif_frame_loading = c.mode;
        const FileOutcome outcome = batch.convert();
        EXPECT_TRUE(outcome.ok()) << "mode " << c.mode;
        EXPECT_EQ(batch.written(), c.names) << "mode " << c.mode;
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(batch.colour(c.names[i]), static_cast<long>(c.colours[i])) << c.names[i];
        }
        // One converted frame result for each name, in frame order.
        ASSERT_EQ(outcome.frame_results.size(), c.names.size()) << "mode " << c.mode;
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_EQ(outcome.frame_results[i].status, FrameStatus::Converted) << c.names[i];
            EXPECT_EQ(outcome.frame_results[i].output_path, batch.out / c.names[i]);
        }
        EXPECT_EQ(outcome.written_outputs().size(), c.names.size());
        EXPECT_EQ(outcome.last_output(), batch.out / c.names.back());
    }
}

TEST(ConvertFileTest, RandomModeWritesOneFrame) {
    Batch batch(coloured_frames(3));
    batch.settings.gif_frame_loading = kFramesRandom;
    EXPECT_TRUE(batch.convert().ok());
    EXPECT_EQ(batch.written(), std::vector<std::string>{"anim.png"});
    const long c = batch.colour("anim.png");
    EXPECT_TRUE(c == kColours[0] || c == kColours[1] || c == kColours[2]) << c;
}

TEST(ConvertFileTest, FrameTokensNameEachFrameInSortingOrder) {
    Batch all(coloured_frames(12));
    all.settings.filename_mask = "%filename%-%FRAME%-of-%frames%.%ext%";
    EXPECT_TRUE(all.convert().ok());
    const auto names = all.written();
    ASSERT_EQ(names.size(), 12u);
    EXPECT_EQ(names.front(), "anim-01-of-12.png"); // no "[k]": the mask numbers the frames
    EXPECT_EQ(names.back(), "anim-12-of-12.png");
    Batch middle(coloured_frames(3));
    middle.settings.filename_mask = all.settings.filename_mask;
    middle.settings.gif_frame_loading = kFramesMiddle;
    EXPECT_TRUE(middle.convert().ok());
    EXPECT_EQ(middle.written(), std::vector<std::string>{"anim-2-of-3.png"});
}

TEST(ConvertFileTest, TransparentAreasShowTheBackgroundOnlyWhereAlphaIsLost) {
    GifSpec g;
    g.width = 6;
    g.height = 4;
    g.global_palette = {kColours[0], kColours[1]};
    g.frames.push_back(solid_frame(0, 0, 6, 4, 0));
    g.frames[0].transparent = 0; // all transparent; its pixels hold red
    struct Case {
        int depth;
        const char* background;
        long seen;
    };
    const Case cases[] = {
        {24, "FFFFFF", 0xFFFFFF}, {24, "000080", 0x000080}, {0, "000080", 0xFF0000}};
    for (const auto& c : cases) {
        Batch batch(encode_gif(g));
        batch.settings.png_bpp = c.depth;
        batch.settings.transparency_background = c.background;
        set_batch_output(batch.plan, "png", batch.settings);
        EXPECT_TRUE(batch.convert().ok()) << c.background;
        EXPECT_EQ(batch.colour("anim.png"), c.seen) << c.depth << " " << c.background;
    }
}

TEST(ConvertFileTest, SingleFrameHasNoSuffix) {
    Batch batch(coloured_frames(1));
    EXPECT_TRUE(batch.convert().ok());
    EXPECT_EQ(batch.written(), std::vector<std::string>{"anim.png"});
}

TEST(ConvertFileTest, SizeTokensGiveTheSizeAfterTheIconLimit) {
    struct Case {
        int w, h;
        const char* ext;
        const char* name;
    };
    const Case cases[] = {{300, 200, "ico", "anim_128x128.ico"},
                          {100, 100, "ico", "anim_100x100.ico"},
                          {128, 129, "ico", "anim_128x128.ico"},
                          {300, 200, "png", "anim_300x200.png"},
                          // Icons the writer would refuse are centred on a square canvas.
                          {100, 50, "ico", "anim_100x100.ico"},
                          {10, 12, "ico", "anim_16x16.ico"}};
    for (const auto& c : cases) {
        Batch batch(coloured_frames(1, c.w, c.h));
        batch.settings.filename_mask = "%filename%_%width%x%height%.%ext%";
        set_batch_output(batch.plan, c.ext, batch.settings);
        EXPECT_TRUE(batch.convert().ok()) << c.name;
        EXPECT_EQ(batch.written(), std::vector<std::string>{c.name});
    }
}

TEST(ConvertFileTest, UnreadableInputsFailAndWriteNothing) {
    const std::string gif = coloured_frames(2);
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string wide_screen = gif;
    wide_screen[6] = wide_screen[7] = wide_screen[8] = wide_screen[9] = '\xFF';
    const Case cases[] = {{"empty", ""},
                          {"not a GIF", "BM" + std::string(60, '\0')},
                          {"truncated", gif.substr(0, gif.size() - 5)},
                          {"65535x65535 screen", wide_screen}};
    for (const auto& c : cases) {
        Batch batch(c.bytes);
        const FileOutcome outcome = batch.convert();
        ASSERT_FALSE(outcome.ok()) << c.what;
        EXPECT_FALSE(outcome.failure->reason.empty()) << c.what;
        EXPECT_TRUE(batch.written().empty()) << c.what;
    }
    Batch missing(gif);
    missing.task.input_path = missing.in / "absent.gif";
    const FileOutcome outcome = missing.convert();
    ASSERT_FALSE(outcome.ok());
    EXPECT_FALSE(outcome.failure->reason.empty());
    EXPECT_TRUE(missing.written().empty());
}

TEST(ConvertFileTest, FramesOutsideTheScreenAreClipped) {
    GifSpec s;
    s.width = 5;
    s.height = 5;
    s.global_palette = {0x000000, 0xFF0000};
    s.frames = {solid_frame(0, 0, 5, 5, 0), solid_frame(3, 3, 40, 40, 1),
                solid_frame(60000, 60000, 9, 9, 1)};
    Batch batch(encode_gif(s));
    EXPECT_TRUE(batch.convert().ok());
    EXPECT_EQ(batch.written(),
              (std::vector<std::string>{"anim[1].png", "anim[2].png", "anim[3].png"}));
}

// Frames as a source hands them over, whatever file they came from; a null
// bitmap stands for a frame that cannot be decoded.
class GivenFrames final : public FrameSource {
  public:
    explicit GivenFrames(std::vector<Bitmap> frames) : m_frames(std::move(frames)) {}
    int frame_count() const override { return static_cast<int>(m_frames.size()); }
    Bitmap frame(int index) override {
        const Bitmap& b = m_frames[static_cast<std::size_t>(index)];
        return b ? adopt(FreeImage_Clone(b.get())) : Bitmap();
    }

  private:
    std::vector<Bitmap> m_frames;
};

// With automatic depth each frame is named and written at the depth chosen
// for it as it was loaded; a frame that cannot be decoded gets no name and
// costs the file nothing.
TEST(ConvertFileTest, EachFrameGetsTheDepthChosenForItAsLoaded) {
    Batch batch(coloured_frames(1));
    batch.settings.filename_mask = "%filename%-%frame%-%bpp%.%ext%";
    std::vector<Bitmap> frames;
    frames.push_back(adopt(FreeImage_Allocate(6, 4, 8)));
    frames.push_back(Bitmap());
    frames.push_back(adopt(FreeImage_Allocate(6, 4, 32)));
    GivenFrames source(std::move(frames));
    const FileOutcome outcome = convert_file(batch.settings, batch.plan, batch.task, source);
    EXPECT_TRUE(outcome.ok());
    EXPECT_EQ(batch.written(), (std::vector<std::string>{"anim-1-8.png", "anim-3-32.png"}));
    ASSERT_EQ(outcome.frame_results.size(), 3u);
    EXPECT_EQ(outcome.frame_results[1].status, FrameStatus::Failed);
    EXPECT_EQ(outcome.frame_results[1].output_path, "");
}

// A file counts as converted only when every frame that was saved worked.
TEST(ConvertFileTest, OneFailedFrameFailsTheFile) {
    Batch batch(coloured_frames(3));
    ASSERT_TRUE(platform::make_folder(batch.out / "anim[2].png")); // frame 2 cannot be written
    const FileOutcome outcome = batch.convert();
    ASSERT_FALSE(outcome.ok());
    ASSERT_EQ(outcome.frame_results.size(), 3u);
    EXPECT_EQ(outcome.frame_results[1].status, FrameStatus::Failed);
    EXPECT_EQ(outcome.failure->reason, outcome.frame_results[1].reason);
    const auto names = batch.written();
    EXPECT_TRUE(std::find(names.begin(), names.end(), "anim[3].png") != names.end());
}

// ---------------------------------------------------------------------------
// Frames on several cores

// A 32 x 24 animation whose frame k fills the screen with kColours[colours[k]].
std::string patterned_frames(const std::vector<int>& colours) {
    GifSpec s;
    s.width = 32;
    s.height = 24;
    s.global_palette = {kColours[0], kColours[1], kColours[2], kColours[3]};
    for (int c : colours) {
        s.frames.push_back(solid_frame(0, 0, 32, 24, static_cast<std::uint8_t>(c)));
    }
    return encode_gif(s);
}

// Lanes that come and go as they are asked: 1, 2, 3, 1, 2, ...
CoreCount changing_cores() {
    auto asked = std::make_shared<int>(0);
    return [asked] { return 1 + (*asked)++ % 3; };
}

// What a conversion reports and leaves, with the output folder as "OUT/".
std::string account(const Batch& batch, const FileOutcome& o) {
    const std::string out = batch.out.path();
    auto relative = [&](const std::string& path) { return replaced(path, out, "OUT/"); };
    std::string text = o.failure ? "failed: " + relative(o.failure->reason) + "\n" : "ok\n";
    text += "dropped " + std::to_string(o.dropped_frames) + "\n";
    for (const auto& f : o.frame_results) {
        text += std::to_string(f.frame) + " " + std::to_string(static_cast<int>(f.status)) + " " +
                relative(f.output_path) + " " + relative(f.reason) + "\n";
    }
    auto bytes = [](const std::string& path) {
        return std::to_string(std::hash<std::string>{}(read_file(path)));
    };
    for (const auto& p : o.pending_outputs) {
        text += "pending " + relative(p.output_path) + " " + bytes(p.temporary_path) + "\n";
    }
    for (const auto& name : batch.written()) {
        // Temporary names are random; their bytes are the pending ones'.
        if (name.rfind("pixlane", 0) != 0) {
            text += name + " " + bytes(batch.out / name) + "\n";
        }
    }
    // Temporary names ("pixlane<letters>.<pid>-<start>.png") are random.
    for (auto at = text.find("pixlane"); at != std::string::npos;
         at = text.find("pixlane", at + 1)) {
        const auto dot = text.find_first_not_of("abcdefghijklmnopqrstuvwxyz", at + 7);
        if (dot != std::string::npos && text[dot] == '.') {
            const auto end = text.find_first_not_of("0123456789-", dot + 1);
            text.replace(at, (end == std::string::npos ? text.size() : end) - at, "TEMP");
        }
    }
    return text;
}

TEST(ConvertFileTest, FramesOnSeveralCoresGiveWhatOneGives) {
    const std::string gif =
        patterned_frames({0, 0, 1, 2, 2, 2, 3, 0, 1, 1, 3, 3, 2, 0, 0, 1, 2, 3, 3, 3, 1, 0});
    struct Case {
        const char* name;
        std::function<void(Batch&)> set;
    };
    const Case cases[] = {
        {"every frame", [](Batch&) {}},
        {"repeats dropped", [](Batch& b) { b.settings.drop_duplicate_frames = true; }},
        {"repeats dropped, resized and framed, named by frame",
         [](Batch& b) {
             b.settings.drop_duplicate_frames = true;
             b.settings.filename_mask = "%filename%-%frame%-%width%.%ext%";
             b.settings.do_image_resize = 1;
             b.settings.image_width = 20;
             b.settings.image_height = 10;
             b.settings.do_frame = 1;
             b.settings.solid_left = 2;
         }},
        {"a frame in the way",
         [](Batch& b) { ASSERT_TRUE(platform::make_folder(b.out / "anim[5].png")); }},
        {"left for the run to place", [](Batch& b) { b.plan.defer_outputs = true; }},
        {"a dry run", [](Batch& b) { b.plan.dry_run = true; }},
        {"8-bit bmp", [](Batch& b) { set_batch_output(b.plan, "bmp", b.settings); }},
    };
    for (const auto& c : cases) {
        std::string accounts[2];
        for (int spread : {0, 1}) {
            Batch batch(gif);
            c.set(batch);
            const FileOutcome o = convert_file(batch.settings, batch.plan, batch.task, nullptr,
                                               spread ? changing_cores() : CoreCount{});
            accounts[spread] = account(batch, o);
            for (const auto& p : o.pending_outputs) {
                platform::remove_file(p.temporary_path);
            }
        }
        EXPECT_EQ(accounts[1], accounts[0]) << c.name;
    }
}

// On a full disk the file stops at one frame: the frames before it written,
// nothing after it, no temporary file left.
TEST(ConvertFileTest, AFullDiskStopsSpreadFramesAtOneFrame) {
    std::vector<int> colours;
    for (int k = 0; k < 24; ++k) {
        colours.push_back(k % 4);
    }
    Batch batch(patterned_frames(colours));
    std::int64_t one_frame = 0;
    {
        Batch sizing(patterned_frames({0}));
        ASSERT_TRUE(sizing.convert().ok());
        one_frame = static_cast<std::int64_t>(read_file(sizing.out / "anim.png").size());
    }
    const WriteLimit full(one_frame * 6 + one_frame / 2);
    const FileOutcome o =
        convert_file(batch.settings, batch.plan, batch.task, nullptr, [] { return 3; });
    ASSERT_TRUE(o.out_of_space()) << (o.failure ? o.failure->reason : "ok") << " "
                                  << o.frame_results.size();
    ASSERT_FALSE(o.frame_results.empty());
    const std::size_t stop = o.frame_results.size() - 1;
    EXPECT_EQ(o.frame_results[stop].status, FrameStatus::Failed);
    std::vector<std::string> expected;
    for (std::size_t k = 0; k < stop; ++k) {
        EXPECT_EQ(o.frame_results[k].status, FrameStatus::Converted) << k;
        expected.push_back("anim[" + std::to_string(k + 1) + "].png");
    }
    std::vector<std::string> names = batch.written();
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

} // namespace
} // namespace pixlane::test
