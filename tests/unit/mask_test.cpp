#include <gtest/gtest.h>

#include "naming/mask.h"
#include "platform/platform.h"
#include "support/frame_records.h"
#include "support/test_support.h"
#include "util/strings.h"

namespace pixlane {
namespace {

// 2024-02-29 13:05:09 on the local wall clock.
std::int32_t fixed_clock() { return 1709211909; }

test::FrameRecords records_for(const std::string& input, const std::string& ext) {
    test::FrameRecords r;
    r.task.input_path = input;
    r.plan.output_extension = ext;
    r.plan.output_folder = "/out/";
    r.task.sequence_number = 1;
    r.task.random_value = 42;
    r.frame.output_depth = 24;
    r.frame.width = 640;
    r.frame.height = 480;
    return r;
}

TEST(MaskTest, ExpandsTokensOfTheMask) {
    struct Case {
        const char* mask;
        const char* input;
        const char* ext;
        const char* expected;
    };
    const Case cases[] = {
        {"", "/in/Photo.GIF", "jpg", "Photo.jpg"},
        {"%filename%.%ext%", "/in/Photo.GIF", "jpg", "Photo.jpg"},
        {"IMG_%N%", "/in/a.gif", "png", "img_00001"},
        {"%filename[t]%.%ext[u]%", "/in/my PHOTO.gif", "png", "My photo.PNG"},
        {"%filename%", "/in/archive.tar.gif", "png", "archive.tar"},
        {"%filename%", "/in/README", "png", "README"},
        {"%FILENAME[U]%-%filename[l]%.%Ext[T]%", "/in/MiXed.gif", "tiff", "MIXED-mixed.Tiff"},
        {"%yyyy%%mm%%dd%_%hh%%ii%%ss%", "/in/a.gif", "png", "20240229_130509"},
        {"%bpp%-%width%x%height%-%rnd%", "/in/a.gif", "png", "24-640x480-00042"},
        {"100%_%unknown%_%n", "/in/a.gif", "png", "100%_%unknown%_%n"},
        // Token values are inserted as they are, never expanded again.
        {"%filename%.%ext%", "/in/a%n%.gif", "png", "a%n%.png"},
        {"%filename%", "/in/%EXT%.gif", "png", "%EXT%"},
    };
    for (const auto& c : cases) {
        Settings s;
        s.filename_mask = c.mask;
        EXPECT_EQ(expand_mask(s, records_for(c.input, c.ext).tokens(fixed_clock)), c.expected)
            << c.mask;
    }
}

TEST(MaskTest, NumbersKeepAtLeastFiveDigitsAndAreNeverCut) {
    EXPECT_EQ(five_digits(1), "00001");
    EXPECT_EQ(five_digits(99999), "99999");
    EXPECT_EQ(five_digits(100000), "100000");
    EXPECT_EQ(five_digits(1234567), "1234567");
    Settings s;
    s.filename_mask = "f%n%";
    auto r = records_for("/in/a.gif", "png");
    r.task.sequence_number = 123456;
    EXPECT_EQ(expand_mask(s, r.tokens()), "f123456");
}

// Each row of the token table holds together: the help texts list its
// meaning, the expander finds its text in any case (no other row's text
// hides it) and fills its value, and a run learns from it alone whether
// names depend on the files before or number the frames themselves.
TEST(MaskTest, EveryTokenRowHoldsTogether) {
    auto r = records_for("/in/Pic.gif", "png");
    r.frame.frame_number = 3;
    r.frame.frame_total = 12;
    const TokenSource tokens = r.tokens(fixed_clock);
    ASSERT_FALSE(mask_tokens().empty());
    for (const MaskToken& t : mask_tokens()) {
        const std::string text(t.text);
        EXPECT_FALSE(t.meaning.empty()) << text;
        ASSERT_NE(t.value, nullptr) << text;
        const std::string value = t.value(tokens);
        EXPECT_EQ(expand_text(text, tokens), value) << text;
        EXPECT_EQ(expand_text("<" + to_upper(text) + ">", tokens), "<" + value + ">") << text;
        EXPECT_EQ(uses_file_counts(text), t.counts_files) << text;
        EXPECT_EQ(uses_file_counts("a" + to_upper(text) + "b"), t.counts_files) << text;
        Settings s;
        s.filename_mask = "x" + to_upper(text) + ".%ext%";
        EXPECT_EQ(mask_numbers_frames(s), t.numbers_frames) << text;
    }
    // The rows a side-by-side run and the frame suffix depend on.
    EXPECT_TRUE(uses_file_counts("IMG_%N%"));
    EXPECT_TRUE(uses_file_counts("%rnd%.%ext%"));
    EXPECT_FALSE(uses_file_counts("%filename%_%n.%ext%"));
    Settings s;
    s.filename_mask = "%filename%-%Frame%.%ext%";
    EXPECT_TRUE(mask_numbers_frames(s));
    s.filename_mask = "%filename%-%frames%.%ext%";
    EXPECT_FALSE(mask_numbers_frames(s));
}

TEST(MaskTest, WatermarkTextKeepsLiteralCase) {
    const auto r = records_for("/in/Pic.gif", "png");
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"Size %WIDTH%", "Size 640"},
        {"100% Pure", "100% Pure"},
        {"%Filename% By Me %n%", "Pic By Me 00001"},
        {"50% off, 20% more", "50% off, 20% more"},
        {"Line%eol%Two", "Line%eol%Two"}, // line breaks belong to the watermark
    };
    for (const auto& c : cases) {
        EXPECT_EQ(expand_text(c.text, r.tokens(fixed_clock)), c.expected) << c.text;
    }
}

TEST(MaskTest, OutputAndTemporaryPaths) {
    Settings s;
    auto r = records_for("/in/sub/x.gif", "png");
    r.task.relative_subfolder = "sub/";
    s.keep_subfolders = 1;
    EXPECT_EQ(output_path(s, r.tokens()), "/out/sub/x.png");
    s.keep_subfolders = 0;
    EXPECT_EQ(output_path(s, r.tokens()), "/out/x.png");

    s.keep_subfolders = 1;
    const std::string tmp = temporary_path(s, r.plan, r.task, fixed_clock);
    ASSERT_EQ(tmp.rfind("/out/sub/pixlane", 0), 0u) << tmp;
    ASSERT_EQ(tmp.substr(tmp.size() - 4), ".png");
    const std::string name = tmp.substr(std::string("/out/sub/").size());
    const std::string letters = name.substr(7, name.find('.') - 7);
    EXPECT_EQ(letters.substr(0, 10), "bhajcbbjaj"); // 1709211909 as letters
    EXPECT_EQ(letters.size(), 15u);
    for (char c : letters) {
        EXPECT_TRUE(c >= 'a' && c <= 'z') << tmp;
    }
    // The name carries this run's mark.
    EXPECT_EQ(temporary_owner(name), run_owner()) << name;
    EXPECT_NE(random_name("p", ".x"), random_name("p", ".x")); // five random letters
}

TEST(MaskTest, TimestampsOnRealFiles) {
    test::TempDir dir;
    const std::string in = dir / "in.gif";
    const std::string out = dir / "out.png";
    test::write_file(in, "x");
    test::write_file(out, "y");
    ASSERT_TRUE(platform::set_modification_time(in, 1'500'000'000));
    const auto written = platform::modification_time(out);

    Settings s;
    s.file_timestamp = 0;
    EXPECT_TRUE(apply_timestamp(s, in, out));
    EXPECT_EQ(platform::modification_time(out), written);

    s.file_timestamp = 1;
    EXPECT_TRUE(apply_timestamp(s, in, out));
    EXPECT_EQ(platform::modification_time(out), 1'500'000'000);

    s.file_timestamp = 2;
    s.custom_timestamp = 1'234'567'890;
    EXPECT_TRUE(apply_timestamp(s, in, out));
    EXPECT_EQ(platform::modification_time(out), 1'234'567'890);
    EXPECT_FALSE(apply_timestamp(s, in, dir / "missing.png"));
}

} // namespace
} // namespace pixlane

namespace pixlane {
namespace {

TEST(MaskTest, WhetherAMaskGivesNamesAnExtension) {
    const struct {
        const char* mask;
        bool gives;
    } cases[] = {
        {"%filename%.%ext%", true}, {"%FILENAME%.%EXT[U]%", true},
        {"%filename%.png", true},   {"shot-%n%.png", true},
        {"a.b-%frame%.png", true},  {"%filename%-%frame%", false},
        {"%filename%_%n%", false},  {"photo", false},
        {"x.%n%", false},           {"x.%filename%-%frame%", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mask_gives_extension(c.mask), c.gives) << c.mask;
    }
}

} // namespace
} // namespace pixlane
