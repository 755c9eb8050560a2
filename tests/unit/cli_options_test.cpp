#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <variant>
#include <vector>

#include "cli/front_end.h"
#include "cli/options.h"
#include "cli/profile.h"
#include "settings/keys.h"
#include "settings/settings.h"
#include "support/test_support.h"

namespace pixlane::cli {
namespace {

Settings command_line_defaults() {
    Settings s;
    reset_to_defaults(s, DefaultsForm::CommandLine, 0, 0, 0);
    return s;
}

struct Parsed {
    Settings settings = command_line_defaults();
    ConsoleRequest request;
    ParseResult result;
};

Parsed parse(const std::vector<std::string>& args) {
    Parsed p;
    p.result = parse_arguments(args, p.settings, p.request);
    return p;
}

TEST(OptionTableTest, ValuesByClass) {
    struct Case {
        const char* argument;
        const char* key; // config.ini key of the field ([Transform] for Image Rotation)
        const char* group;
        std::int32_t value;
    };
    const Case cases[] = {
        {"--RESIZE-ALGORITHM=lanczos", "Image Resize Algorithm", "Transform", 5},
        {"--resize-algorithm=LANCZOS", "Image Resize Algorithm", "Transform", 5},
        {"--Resize-Algorithm=  Lanczos  ", "Image Resize Algorithm", "Transform", 5},
        {"--RESIZE-ALGORITHM=lanczos3", "Image Resize Algorithm", "Transform", 0},
        {"--BRIGHTNESS=-50", "Image Brightness", "Adjustment", -50},
        {"--WIDTH=50%", "Image Width", "Transform", 50},
        {"--JPG-QUALITY=$5A", "JPG Quality", "Output", 90},
        {"--JPG-QUALITY=%101", "JPG Quality", "Output", 5},
        {"--JPG-QUALITY=abc", "JPG Quality", "Output", 0},
        {"--PNG-COMPRESSION=LZW", "PNG Compression", "Output", 6},
        {"--BMP-COMPRESSION=rle", "BMP Compression", "Output", 1},
        {"--TIFF-COMPRESSION=zip", "TIFF Compression", "Output", 1},
        {"--WM-FONT-EFFECT=strikethrought", "Font Effect", "Watermark", 2},
        {"--WM-TEXT-POSITION=middlecenter", "Text Position", "Watermark", 4},
        {"--FILE-TIMESTAMP=custom", "File Timestamp", "Advanced", 2},
        {"--FILE-TIMESTAMP-CUSTOM=86400", "Custom Timestamp", "Advanced", 86400},
        {"--ROTATION=90", "Image Rotation", "Transform", 90},
        {"--WM-IMAGE-ROTATION=45", "Image Rotation", "Watermark", 45},
        {"--INVERT=0", "Image Invert", "Adjustment", 1},
        {"--NO-SUBFOLDERS", "Keep Subfolders", "Advanced", 0},
        {"--KEEP-ASPECT-RATIO", "Keep Aspect Ratio", "Transform", 1},
        {"--FR-SOLID-OPACITY=128", "Solid Opacity", "Frame", 128},
        {"--WIDTH=4294967297", "Image Width", "Transform", 1}, // kept in 32 bits
    };
    for (const auto& c : cases) {
        const auto p = parse({c.argument});
        ASSERT_TRUE(p.result.error.empty()) << c.argument;
        const SettingKey* row = find_setting(c.group, c.key);
        ASSERT_NE(row, nullptr) << c.key;
        EXPECT_EQ(get_int(p.settings, row->field), c.value) << c.argument;
    }
}

TEST(OptionTableTest, AlsoSetsAndTheirOrder) {
    auto p = parse({"--invert"});
    EXPECT_EQ(p.settings.do_image_color_correction, 1);
    EXPECT_EQ(p.settings.image_invert, 1);
    EXPECT_EQ(p.settings.image_brightness, 0);
    EXPECT_EQ(p.settings.image_contrast, 0);
    EXPECT_FLOAT_EQ(p.settings.image_gamma, 1.0f);

    struct Case {
        std::vector<std::string> args;
        int do_watermark;
    };
    const std::vector<Case> cases = {
        {{"--wm-text=Hi", "--wm-image=a.png"}, 2},
        {{"--wm-image=a.png", "--wm-text=Hi"}, 1},
        {{"--wm-font=Arial"}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse(c.args).settings.do_watermark, c.do_watermark) << c.args[0];
    }

    p = parse({"--gamma=2.5", "--dither=bayer8", "--threshold=128", "--fr-solid-top=3",
               "--rotation=180", "--height=10"});
    EXPECT_FLOAT_EQ(p.settings.image_gamma, 2.5f);
    EXPECT_EQ(p.settings.do_image_color_correction, 1);
    EXPECT_EQ(p.settings.image_dither_algorithm, 2);
    EXPECT_EQ(p.settings.do_image_dither, 1);
    EXPECT_EQ(p.settings.do_image_threshold, 1);
    EXPECT_EQ(p.settings.do_frame, 1);
    EXPECT_EQ(p.settings.do_image_rotation, 1);
    EXPECT_EQ(p.settings.do_image_resize, 1);
    EXPECT_EQ(p.settings.do_image_flip_horizontal, 0);
}

TEST(OptionTableTest, IntegerValuesKeepTheFieldsWidth) {
    // A row of the table's shape aimed at an 8-bit field.
    SettingKey row{.group = "Test",
                   .key = "Narrow",
                   .type = FieldType::Int,
                   .field = &Settings::text_antialiasing,
                   .option = "--NARROW",
                   .option_class = OptionClass::Integer};
    struct Case {
        const char* value;
        int stored;
    };
    const Case cases[] = {{"300", 44}, {"-1", 255}, {"$1FF", 255}, {"256", 0}};
    for (const auto& c : cases) {
        Settings s;
        apply_option_value(row, c.value, s);
        EXPECT_EQ(s.text_antialiasing, c.stored) << c.value;
    }
}

TEST(OptionTableTest, TextValuesLoseQuotesAndJoinArguments) {
    auto p = parse({"--filename-mask=\"%filename%", "copy\"", "--wm-font=\"Times\""});
    EXPECT_EQ(p.settings.filename_mask, "%filename% copy");
    EXPECT_EQ(p.settings.font, "Times");
    // A negative number is a value; a second dash makes it an option.
    EXPECT_TRUE(parse({"--contrast=-5"}).result.error.empty());
    EXPECT_EQ(parse({"--contrast=--5"}).result.error, "Incorrect number of parameters");
    // The parse stops at the error: later arguments are not examined.
    p = parse({"--width=5", "--height=", "--jpg-quality=7", "-q"});
    EXPECT_EQ(p.settings.image_width, 5);
    EXPECT_EQ(p.settings.jpg_quality, 95);
    EXPECT_FALSE(p.result.quiet);
}

TEST(OptionTableTest, WarningsForWhatTheRunWouldMisread) {
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {
        {{"-i", "a.gif", "--widht=5", "-q", "--strict"},
         {"unknown option --widht (did you mean --width?)"}},
        {{"--Verbose"}, {"unknown option --verbose"}},
        {{"--threshold=999", "--threshold=255", "--threshold=-1"},
         {"--threshold: 999 is outside 0 to 255", "--threshold: -1 is outside 0 to 255"}},
        {{"--png-compression=zlib9", "--png-compression=99"},
         {"--png-compression: unknown value 99; expected none, rle, zip, piz, pxr24, b44, zlib1, "
          "zlib6, zlib9, ccittfax3, ccittfax4, packbits, deflate, adobedeflate, lzw, jpeg, "
          "logluv"}},
        // Range-checked options fail in the run instead; one-shot commands
        // out of first place, stray words and flags pass quietly.
        {{"--jpg-quality=500", "-v", "--help", "stray", "--flip-horizontal"}, {}},
    };
    for (const auto& c : cases) {
        const auto p = parse(c.args);
        EXPECT_EQ(p.result.warnings, c.warnings) << c.args.front();
    }
    EXPECT_TRUE(parse({"-q", "--strict"}).result.strict);
}

TEST(OptionTableTest, EveryOptionOfTheSettingsTableIsReachable) {
    for (const auto& row : setting_keys()) {
        if (row.option.empty()) {
            continue;
        }
        ASSERT_EQ(find_option(row.option), &row) << row.option;
        const std::string arg = std::string(row.option) + "=1";
        EXPECT_TRUE(parse({arg}).result.error.empty()) << arg;
    }
}

class ProfileTest : public ::testing::Test {
  protected:
    std::string profile(const std::string& name, const std::string& text) {
        const std::string path = m_dir / name;
        test::write_file(path, text);
        return path;
    }
    test::TempDir m_dir;
};

TEST_F(ProfileTest, KeysOfTheCliGroup) {
    const auto path = profile("p.ini", "[Output]\n--JPG-QUALITY = 10\n"
                                       "[CLI]\n"
                                       "--jpg-quality = 80\n"
                                       "--FR-SOLID-OPACITY = 7\n"
                                       "--WM-SOLID-OPACITY = 128\n"
                                       "--WM-TEXT = \"Hello World\"\n"
                                       "--FILENAME-MASK = \"%filename%_x\"\n"
                                       "--INVERT = 0\n"
                                       "--RESIZE-ALGORITHM = bilinear\n"
                                       "--GAMMA = 2.25\n"
                                       "--WIDTH = \n"
                                       "--WM-FONT = \n"
                                       "--INPUT = c:\\x\n"
                                       "--PROFILE = other.ini\n"
                                       "--UNKNOWN = 5\n");
    Settings s = command_line_defaults();
    s.image_width = 33;
    ASSERT_TRUE(load_profile(path, s));
    EXPECT_EQ(s.jpg_quality, 80);
    EXPECT_EQ(s.solid_opacity, 128);
    EXPECT_EQ(s.text, "\"Hello World\"");
    EXPECT_EQ(s.do_watermark, 1);
    EXPECT_EQ(s.filename_mask, "%filename%_x");
    EXPECT_EQ(s.image_invert, 1);
    EXPECT_EQ(s.do_image_color_correction, 1);
    EXPECT_EQ(s.image_resize_algorithm, 1);
    EXPECT_FLOAT_EQ(s.image_gamma, 2.25f);
    EXPECT_EQ(s.image_width, 0);
    EXPECT_EQ(s.do_image_resize, 1);
    EXPECT_EQ(s.font, "");
}

TEST_F(ProfileTest, FrameOpacityUnderItsOptionNameIsIgnored) {
    Settings s = command_line_defaults();
    ASSERT_TRUE(load_profile(profile("p.ini", "[CLI]\n--FR-SOLID-OPACITY=7\n"), s));
    EXPECT_EQ(s.solid_opacity, 255);
}

TEST_F(ProfileTest, FilesThatChangeNothing) {
    const Settings defaults = command_line_defaults();
    const std::vector<std::string> texts = {"", "[Other]\n--WIDTH=5\n", "[CLI]\n", "no groups\n"};
    for (const auto& text : texts) {
        Settings s = defaults;
        ASSERT_TRUE(load_profile(profile("p.ini", text), s)) << text;
        EXPECT_EQ(s.image_width, 0) << text;
        EXPECT_EQ(s.do_image_resize, 0) << text;
    }
}

TEST_F(ProfileTest, MistakesAreNamedByFileAndLine) {
    struct Case {
        std::string text;
        std::vector<std::string> warnings; // after "PATH"
    };
    const Case cases[] = {
        {"[CLI]\n--WIDTH=5\n; a comment\n", {}},
        {"[CLI]\r\n--WIDHT=5\r\n--width 10\r\n[Other]\r\njunk\r\n",
         {":2: unknown option --widht (did you mean --width?)", ":3: not a setting: --width 10"}},
        {"--WIDTH=5\n[Other]\nKey=1\n", {": no [CLI] group; nothing was read from it"}},
    };
    for (const auto& c : cases) {
        const std::string path = profile("p.ini", c.text);
        Settings s = command_line_defaults();
        std::vector<std::string> warnings;
        ASSERT_TRUE(load_profile(path, s, &warnings));
        std::vector<std::string> expected;
        for (const auto& w : c.warnings) {
            expected.push_back(path + w);
        }
        EXPECT_EQ(warnings, expected) << c.text;
    }
}

// Read back into the defaults, a saved profile gives every setting an
// option reaches the value the command line gave it.
TEST_F(ProfileTest, ASavedProfileRepeatsTheCommandLine) {
    const std::vector<std::vector<std::string>> command_lines = {
        {},
        {"--width=50", "--keep-aspect-ratio", "--gamma=1.3", "--dither=fs"},
        {"--wm-text=\"Made by", "me\"", "--filename-mask=%filename%-s.%ext%", "--rotation=90"},
        {"--png-interlaced", "--no-subfolders", "--jobs=3", "--fr-solid-opacity=7"},
        {"--file-timestamp=custom", "--file-timestamp-custom=86400", "--overwrite=rename"},
    };
    const Settings defaults = command_line_defaults();
    for (const auto& args : command_lines) {
        Settings given = defaults;
        ConsoleRequest request;
        const ParseResult parsed = parse_arguments(args, given, request);
        ASSERT_TRUE(parsed.error.empty()) << parsed.error;
        std::vector<std::string> not_kept;
        const std::string path =
            profile("saved.ini", profile_text(given, defaults, "run", not_kept));
        EXPECT_TRUE(not_kept.empty());
        Settings read = defaults;
        std::vector<std::string> warnings;
        ASSERT_TRUE(load_profile(path, read, &warnings));
        EXPECT_TRUE(warnings.empty()) << warnings.front();
        for (const auto& row : setting_keys()) {
            if (row.option.empty()) {
                continue;
            }
            std::visit([&](auto m) { EXPECT_EQ(read.*m, given.*m) << row.option; }, row.field);
        }
    }
    // A text a profile line cannot hold is named, not written wrong.
    Settings padded = defaults;
    padded.text = " padded ";
    std::vector<std::string> not_kept;
    EXPECT_EQ(profile_text(padded, defaults, "run", not_kept).find("padded"), std::string::npos);
    EXPECT_EQ(not_kept, std::vector<std::string>{"--wm-text"});
}

TEST_F(ProfileTest, UnreadableProfilesFail) {
    Settings s;
    EXPECT_FALSE(load_profile("", s));
    EXPECT_FALSE(load_profile(m_dir / "missing.ini", s));
    EXPECT_FALSE(load_profile(m_dir.path(), s));
    // Nothing but a plain file is read: a device never ends, a pipe without a
    // writer never opens.
    ASSERT_EQ(::mkfifo((m_dir / "pipe.ini").c_str(), 0600), 0);
    for (const std::string& path :
         {std::string("/dev/zero"), std::string("/dev/null"), m_dir / "pipe.ini"}) {
        EXPECT_FALSE(load_profile(path, s)) << path;
    }
}

TEST_F(ProfileTest, OrderWithCommandLineOptions) {
    const auto first = profile("a.ini", "[CLI]\n--JPG-QUALITY=80\n--WIDTH=100\n");
    const auto second = profile("b.ini", "[CLI]\n--JPG-QUALITY=70\n");
    struct Case {
        std::vector<std::string> args;
        int quality;
        int width;
    };
    const std::vector<Case> cases = {
        {{"--jpg-quality=50", "--profile=" + first}, 80, 100},
        {{"--profile=" + first, "--jpg-quality=50"}, 50, 100},
        {{"--profile=" + first, "--profile=" + second}, 70, 100},
        {{"--profile=" + second, "--profile=" + first}, 80, 100},
        {{"--profile=\"" + first + "\"", "--width=3"}, 80, 3},
    };
    for (const auto& c : cases) {
        const auto p = parse(c.args);
        ASSERT_TRUE(p.result.error.empty()) << c.args[0];
        EXPECT_EQ(p.settings.jpg_quality, c.quality) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(p.settings.image_width, c.width) << c.args[0] << " " << c.args[1];
    }
}

TEST_F(ProfileTest, MissingProfileStopsTheParse) {
    const auto p = parse({"--profile=" + (m_dir / "missing.ini"), "--width=5", "-q"});
    EXPECT_EQ(p.result.error, "Invalid profile file");
    EXPECT_EQ(p.settings.image_width, 0);
    EXPECT_FALSE(p.result.quiet);

    const auto r = test::run_pixlane({"-i", "a.gif", "--profile=" + (m_dir / "missing.ini")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error: Invalid profile file\n");
}

} // namespace
} // namespace pixlane::cli

namespace pixlane::cli {
namespace {

TEST(InputArgumentsTest, EveryInputIsTakenInTheOrderGiven) {
    test::TempDir dir;
    for (const char* name : {"a.gif", "b.gif", "c.gif"}) {
        test::write_file(dir / name, "GIF89a");
    }
    const std::string a = dir / "a.gif", b = dir / "b.gif", c = dir / "c.gif";
    const struct {
        const char* name;
        std::vector<std::string> args;
        std::string first;
        std::vector<std::string> more;
        std::string error;
    } cases[] = {
        {"one input as ever", {"-i", a, "-c", "png"}, a, {}, ""},
        {"a glob the shell expanded", {"-i", a, b, c, "-o", "out"}, a, {b, c}, ""},
        {"repeated -i", {"--input=" + a, "-i", b}, a, {b}, ""},
        {"bare before -i", {b, "-i", a}, b, {a}, ""},
        {"standard input", {"-i", "-", b}, "-", {b}, ""},
        {"a bare name that is nothing", {"-i", a, dir / "none.gif"}, "", {}, dir / "none.gif"},
    };
    for (const auto& c : cases) {
        const Parsed p = parse(c.args);
        if (!c.error.empty()) {
            EXPECT_EQ(p.result.error, c.error + " is neither an option nor a file") << c.name;
            continue;
        }
        EXPECT_EQ(p.result.error, "") << c.name;
        EXPECT_TRUE(p.request.console_mode) << c.name;
        EXPECT_EQ(p.request.input_folder, c.first) << c.name;
        EXPECT_EQ(p.request.more_inputs, c.more) << c.name;
    }
    // Without an input option, bare paths are left to the window.
    const Parsed window = parse({a, b});
    EXPECT_FALSE(window.request.console_mode);
    EXPECT_EQ(window.result.error, "");
}

} // namespace
} // namespace pixlane::cli
