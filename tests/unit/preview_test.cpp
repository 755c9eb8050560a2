// The preview: the bytes, pixels, name and size it gives are those of the
// file a conversion of that frame writes; and the window's decisions.
#include <gtest/gtest.h>

#include "base/language.h"
#include "pipeline/save.h"
#include "platform/platform.h"
#include "run/convert_file.h"
#include "run/preview.h"
#include "support/preview_support.h"
#include "support/test_support.h"
#include "ui/preview_logic.h"

namespace pixlane::test {
namespace {

constexpr int kFrames = 3;

TEST(PreviewTest, ShowsTheBytesNameAndPixelsTheConversionWrites) {
    struct Case {
        const char* ext;
        void (*set)(Settings&);
    };
    const Case cases[] = {
        {"png", [](Settings& s) { s.png_bpp = 32; }},
        {"png",
         [](Settings& s) {
             s.do_image_resize = 1;
             s.image_width = 37;
             s.image_height = 0;
             s.do_watermark = kWatermarkText;
         }},
        {"jpg", [](Settings& s) { s.jpg_quality = 70; }},
        {"bmp", [](Settings& s) { s.do_image_dither = 1; }},
        {"gif", [](Settings& s) { s.filename_mask = "%filename%-%width%x%height%.%ext%"; }},
        {"tiff", [](Settings& s) { s.do_image_rotation = 1; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ext));
        TempDir in, out;
        write_file(in / "anim.gif", patterned_gif(48, 30, kFrames));
        PreviewRequest r;
        c.set(r.settings);
        r.settings.gif_frame_loading = kFramesAll;
        r.plan.output_folder = out.path();
        ASSERT_TRUE(set_batch_output(r.plan, c.ext, r.settings));
        r.task.input_path = in / "anim.gif";
        auto font =
            r.settings.do_watermark == kWatermarkText ? WatermarkFont::load(r.settings) : nullptr;
        const FileOutcome outcome = convert_file(r.settings, r.plan, r.task, font.get());
        ASSERT_TRUE(outcome.ok());
        ASSERT_EQ(outcome.frame_results.size(), std::size_t{kFrames});
        // The frames kept from one preview to the next, visited forwards and back.
        PreviewFrames frames;
        for (int step = 0; step < kFrames; ++step) {
            const int k = (step + 1) % kFrames;
            r.frame = k;
            std::string bytes;
            const Preview p = make_preview(r, font.get(), &bytes, &frames);
            const std::string written =
                outcome.frame_results[static_cast<std::size_t>(k)].output_path;
            ASSERT_EQ(p.error, "");
            EXPECT_EQ(p.frame, k);
            EXPECT_EQ(p.frame_count, kFrames);
            EXPECT_EQ(p.output_path, written);
            EXPECT_EQ(bytes, read_file(written)) << "frame " << k;
            EXPECT_EQ(p.encoded_size, static_cast<std::int64_t>(read_file(written).size()));
            EXPECT_TRUE(p.result_decoded);
            const RgbaPicture file = rgba_of_file(written);
            EXPECT_EQ(p.width, file.width);
            EXPECT_EQ(p.height, file.height);
            EXPECT_TRUE(p.result.pixels == file.pixels) << "frame " << k;
            EXPECT_EQ(p.original.width, 48);
        }
    }
}

TEST(PreviewTest, StartsOnTheFrameTheSettingPicksAndSurvivesTheWire) {
    TempDir in;
    write_file(in / "anim.gif", patterned_gif(8, 6, kFrames));
    PreviewRequest r;
    r.settings.gif_frame_loading = kFramesLast;
    r.plan.output_folder = in.path();
    ASSERT_TRUE(set_batch_output(r.plan, "png", r.settings));
    r.task.input_path = in / "anim.gif";
    const auto request = wire::read_preview_request(wire::preview_request_message(r));
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->task.input_path, r.task.input_path);
    EXPECT_EQ(request->settings.gif_frame_loading, kFramesLast);
    EXPECT_EQ(request->frame, -1);
    const Preview p = make_preview(*request, nullptr);
    EXPECT_EQ(p.frame, kFrames - 1);
    const auto back = wire::read_preview(wire::preview_message(p));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->result.pixels, p.result.pixels);
    EXPECT_EQ(back->original.pixels, p.original.pixels);
    EXPECT_EQ(back->output_path, p.output_path);
    EXPECT_EQ(back->encoded_size, p.encoded_size);
    // A picture whose pixels do not fill its size is refused.
    auto damaged = wire::preview_message(p);
    damaged[9].pop_back();
    EXPECT_FALSE(wire::read_preview(damaged).has_value());
}

TEST(PreviewLogicTest, PicturesFitTheirHalfOrKeepTheirSize) {
    struct Case {
        int w, h;
        bool actual;
        Rect expected;
    };
    const Rect area{10, 20, 200, 100};
    const Case cases[] = {
        {400, 100, false, {10, 45, 200, 50}},  // wide: the width fills
        {50, 100, false, {85, 20, 50, 100}},   // tall: the height fills
        {20, 10, false, {10, 20, 200, 100}},   // small: scaled up
        {20, 10, true, {100, 65, 20, 10}},     // its own size, centred
        {400, 300, true, {-90, -80, 400, 300}} // larger than the area: centred, cut
    };
    for (const auto& c : cases) {
        EXPECT_EQ(picture_place(c.w, c.h, area, c.actual), c.expected) << c.w << "x" << c.h;
    }
}

TEST(PreviewLogicTest, TheRowAndTheNameAreTheNextRunsChoice) {
    EXPECT_EQ(preview_row(-1, 0), -1);
    EXPECT_EQ(preview_row(-1, 3), 0);
    EXPECT_EQ(preview_row(2, 3), 2);
    Settings s;
    s.filename_mask = "%n%-%filename%.%ext%";
    const NamingCounters counters{11, 5}; // %rnd% 11, %n% 5
    const InputEntry entry{"/in/sub/a.gif", "sub/", 0};
    PreviewChoice choice;
    choice.extension = "jpg";
    const auto r = preview_request(s, counters, entry, 2, choice);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->plan.output_folder, "/in/sub/");
    EXPECT_EQ(r->task.sequence_number, 7);
    EXPECT_EQ(r->task.random_value, 11);
    choice.extension = "nope";
    EXPECT_FALSE(preview_request(s, counters, entry, 2, choice).has_value());
    LanguageTable language;
    language.load_builtin();
    Preview p;
    p.width = 640;
    p.height = 480;
    p.depth = 24;
    p.encoded_size = 1234;
    p.frame = 1;
    p.frame_count = 4;
    const PreviewLines lines = preview_lines(language, p);
    EXPECT_EQ(lines.dimensions, "640 \u00D7 480 \u00D7 24");
    EXPECT_EQ(lines.size, "1234 bytes");
    EXPECT_EQ(lines.frame, "Frame 2 of 4");
}

} // namespace
} // namespace pixlane::test
