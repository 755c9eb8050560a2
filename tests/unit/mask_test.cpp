#include <gtest/gtest.h>

#include "naming/mask.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace pixlane {
namespace {

// 2024-02-29 13:05:09 on the local wall clock.
std::int32_t fixed_clock() { return 1709211909; }

JobRecord job_for(const std::string& input, const std::string& ext) {
    JobRecord job;
    job.input_path = input;
    job.output_extension = ext;
    job.output_folder = "/out/";
    job.sequence_number = 1;
    job.random_value = 42;
    job.output_depth = 24;
    job.width = 640;
    job.height = 480;
    return job;
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
        EXPECT_EQ(expand_mask(s, job_for(c.input, c.ext), fixed_clock), c.expected) << c.mask;
    }
}

TEST(MaskTest, NumbersKeepAtLeastFiveDigitsAndAreNeverCut) {
    EXPECT_EQ(five_digits(1), "00001");
    EXPECT_EQ(five_digits(99999), "99999");
    EXPECT_EQ(five_digits(100000), "100000");
    EXPECT_EQ(five_digits(1234567), "1234567");
    Settings s;
    s.filename_mask = "f%n%";
    auto job = job_for("/in/a.gif", "png");
    job.sequence_number = 123456;
    EXPECT_EQ(expand_mask(s, job), "f123456");
}

TEST(MaskTest, WatermarkTextKeepsLiteralCase) {
    const auto job = job_for("/in/Pic.gif", "png");
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
        EXPECT_EQ(expand_text(c.text, job, fixed_clock), c.expected) << c.text;
    }
}

TEST(MaskTest, OutputAndTemporaryPaths) {
    Settings s;
    auto job = job_for("/in/sub/x.gif", "png");
    job.relative_subfolder = "sub/";
    s.keep_subfolders = 1;
    EXPECT_EQ(output_path(s, job), "/out/sub/x.png");
    s.keep_subfolders = 0;
    EXPECT_EQ(output_path(s, job), "/out/x.png");

    s.keep_subfolders = 1;
    const std::string tmp = temporary_path(s, job, fixed_clock);
    ASSERT_EQ(tmp.rfind("/out/sub/pixlane", 0), 0u) << tmp;
    ASSERT_EQ(tmp.substr(tmp.size() - 4), ".png");
    const std::string letters = tmp.substr(16, tmp.size() - 16 - 4);
    EXPECT_EQ(letters.substr(0, 10), "bhajcbbjaj"); // 1709211909 as letters
    EXPECT_EQ(letters.size(), 15u);
    for (char c : letters) {
        EXPECT_TRUE(c >= 'a' && c <= 'z') << tmp;
    }
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
