#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/application.h"
#include "cli/arguments.h"
#include "cli/batch.h"
#include "cli/front_end.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace pixlane::cli {
namespace {

const std::vector<std::string> kExpectedHelp = {
    " ",
    "Usage: pixlane -i <filename> [options]",
    " ",
    "  pixlane -i example.gif",
    "  pixlane -i c:\\tmp\\example.gif",
    "  pixlane -i c:\\tmp\\example.gif -o d:\\converted",
    "  pixlane -i c:\\tmp\\filelist.txt",
    "  pixlane -i c:\\tmp\\ -o d:\\converted --jpg-quality=95",
    "  pixlane -i c:\\tmp\\ -o d:\\converted -c bmp --jpg-quality=95",
    " ",
    "Options:",
    " ",
    "  -h, -?, --help            Display this help and exit",
    "  -i FILE, --input=FILE     Set input file/list/folder",
    "  -o PATH, --output=PATH    Set output folder",
    "  -c STR, --conversion=STR  Set output extension, STR = (jpg | bmp | ...)",
    " ",
    "Advanced options:",
    " ",
    "  --width=NUM               Set output image width",
    "  --height=NUM              Set output image height",
    "  --filename-mask=STR       Define output filename format",
    "  --flip-horizontal         Flip output image horizontally",
    "  --flip-vertical           Flip output image vertically",
    "  --brightness=NUM          Set output image brightness, NUM = -100..100",
    "  --contrast=NUM            Set output image contrast, NUM = -100..100",
    "  --gamma=NUM               Set output image gamma, NUM = 0.01..9.99",
    "  --invert                  Invert output image",
    "  --greyscale               Greyscale output image",
    "  --profile=FILE            Set configuration file with required settings",
    "    ...                     Refer documentation for all available options",
    " ",
    "Other options:",
    " ",
    "  -q, --quiet               Don't print status messages to stdout",
    "  -d, --debug               Print debug information to stdout",
    "  -p, --pause               Pause at exit",
    "  -v, --version             Display version information and exit",
};

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

// One in-process run of the front end with captured output.
struct Run {
    std::optional<int> status;
    std::string out;
    int key_waits = 0;
    int titles = 0;
    int batch_calls = 0;
    bool batch_quiet = false;
    BatchOptions options;
};

Run run_front_end(Session& app, std::vector<std::string> args, int batch_status = 0,
                  const WindowCommands& window = {}) {
    Run r;
    app.args = std::move(args);
    app.program_name = "pixlane.exe";
    std::FILE* out = std::tmpfile();
    ConsoleIo io{out, [&](const std::string&) { ++r.titles; }, [&] { ++r.key_waits; }, out};
    const BatchRunner batch = [&](Session&, const BatchOptions& options) {
        ++r.batch_calls;
        r.batch_quiet = options.quiet;
        r.options = options;
        std::fputs("<batch>\n", out);
        return batch_status;
    };
    r.status = run_command_line(app, batch, io, window);
    std::fflush(out);
    std::rewind(out);
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) {
        r.out.append(buffer, n);
    }
    std::fclose(out);
    return r;
}

Run run_front_end(std::vector<std::string> args, int batch_status = 0) {
    Session app;
    return run_front_end(app, std::move(args), batch_status);
}

constexpr const char* kBanner = "Pixlane 2.8\nCopyright (c) 2026 Tarnwell\n"
                                "https://www.tarnwell.example/pixlane\n \n";

TEST(CommandLineWarningTest, BeforeTheBannerAndStrictStops) {
    const auto warned = run_front_end({"-i", "a.gif", "--widht=5"});
    EXPECT_EQ(warned.out, std::string("Warning: unknown option --widht (did you mean --width?)\n") +
                              kBanner + "<batch>\n");
    const auto strict = run_front_end({"-i", "a.gif", "--strict", "--widht=5"});
    EXPECT_EQ(strict.status, 1);
    EXPECT_EQ(strict.out, "Error: unknown option --widht (did you mean --width?)\n");
    EXPECT_EQ(strict.batch_calls, 0);
}

TEST(CommandLineWarningTest, ReportAndDryRunOptions) {
    struct Case {
        std::vector<std::string> args;
        std::string first_line;
        int status;
        bool dry_run;
        std::string report; // as handed to the batch
    };
    const std::string here = platform::current_folder();
    const Case cases[] = {
        {{"--report=\"my", "run.CSV\""}, "Pixlane 2.8", 0, false, here + "my run.CSV"},
        {{"--report=/tmp/r.json", "--dry-run"}, "Pixlane 2.8", 0, true, "/tmp/r.json"},
        {{"--report=r.txt"},
         "Error: Invalid report file r.txt (it must end in .csv or .json)",
         1,
         false,
         ""},
        {{"--report="}, "Error: Incorrect number of parameters", 1, false, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"-i", "a.gif"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = run_front_end(args);
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), c.first_line) << c.args[0];
        EXPECT_EQ(r.status, c.status) << c.args[0];
        EXPECT_EQ(r.options.dry_run, c.dry_run) << c.args[0];
        EXPECT_EQ(r.options.report, c.report) << c.args[0];
    }
}

TEST(TerminalProgressTest, FilesFramesElapsedAndTimeLeft) {
    struct Case {
        std::int32_t index, total;
        std::int64_t frames, elapsed_ms;
        const char* line;
    };
    const Case cases[] = {
        {1, 800, 0, 500, "0/800 files, 0 frames, 00:00:00 elapsed"},
        {13, 800, 340, 7000, "12/800 files, 340 frames, 00:00:07 elapsed, 00:07:39 left"},
        {801, 800, 9000, 65000, "800/800 files, 9000 frames, 00:01:05 elapsed"},
    };
    for (const auto& c : cases) {
        ProgressSnapshot now;
        now.index = c.index;
        now.total = c.total;
        now.frames = c.frames;
        EXPECT_EQ(progress_line(now, c.elapsed_ms), c.line);
    }
}

TEST(ArgumentTest, KeysAndValues) {
    struct Case {
        const char* argument;
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"-i", "-I", "-i"},
        {"  --Input=C:\\Photos  ", "--INPUT", "C:\\Photos"},
        {"-i=a.gif", "-I=A.GIF", "-i=a.gif"},
        {"--width=50=60", "--WIDTH", "50=60"},
        {"--invert", "--INVERT", "--invert"},
        {"--gamma=", "--GAMMA", ""},
        {"a.gif", "", "a.gif"},
        {"--=x", "--", "x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(argument_key(c.argument), c.key) << c.argument;
        EXPECT_EQ(argument_value(c.argument), c.value) << c.argument;
    }
}

TEST(ArgumentTest, QuotedValuesAreJoinedAcrossArguments) {
    struct Case {
        std::vector<std::string> args;
        std::string value; // after joining and removing the quotes
        std::size_t index; // last argument used
    };
    const std::vector<Case> cases = {
        {{"\"c:\\my", "photos\"", "-o"}, "c:\\my photos", 1},
        {{"\"a", "b", "c\"", "d"}, "a b c", 2},
        {{"\"a", "b"}, "a b", 1},              // never closed: every argument used
        {{"\"quoted\"", "next"}, "quoted", 0}, // already closed
        {{"plain", "\"x\""}, "plain", 0},
    };
    for (const auto& c : cases) {
        std::size_t i = 0;
        EXPECT_EQ(strip_quotes(join_quoted(c.args[0], c.args, i)), c.value) << c.args[0];
        EXPECT_EQ(i, c.index) << c.args[0];
    }
}

TEST(ArgumentTest, IntegerReader) {
    struct Case {
        const char* text;
        std::int64_t value;
    };
    const Case cases[] = {
        {"50", 50},    {"50%", 50}, {" \t-50", -50}, {"+7", 7},   {"$5A", 90}, {"$ff", 255},
        {"-$10", -16}, {"%101", 5}, {"%102", 2},     {"abc", 0},  {"", 0},     {"- 3", 0},
        {"12abc", 12}, {"$", 0},    {"3.9", 3},      {"--50", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read_integer(c.text), c.value) << c.text;
    }
}

TEST(ArgumentTest, DecimalReader) {
    struct Case {
        const char* text;
        float value;
    };
    const Case cases[] = {
        {"1.5", 1.5f}, {" 0.01", 0.01f}, {"+2", 2.0f},  {"-0.5", -0.5f}, {"2.5x", 2.5f},
        {".5", 0.5f},  {"1e1", 10.0f},   {"abc", 0.0f}, {"", 0.0f},      {"nan", 0.0f},
        {"inf", 0.0f}, {"1e99", 0.0f},   {"--1", 0.0f},
    };
    for (const auto& c : cases) {
        EXPECT_FLOAT_EQ(read_decimal(c.text), c.value) << c.text;
    }
}

TEST(FrontEndTest, HelpIsPrintedByteForByte) {
    for (const char* first : {"-h", "-?", "--help", "--HELP", "-H"}) {
        const auto r = run_front_end({first, "-i", "a.gif"});
        EXPECT_EQ(r.status, kExitOk) << first;
        EXPECT_EQ(r.out, joined(kExpectedHelp)) << first;
        EXPECT_EQ(r.batch_calls, 0);
        EXPECT_EQ(r.key_waits, 0);
        EXPECT_EQ(r.titles, 1);
    }
}

TEST(FrontEndTest, HelpDescriptionsStartAtTheTwentyNinthCharacter) {
    const auto lines = help_lines("pixlane", "gif");
    ASSERT_EQ(lines.size(), 38u);
    int option_lines = 0;
    for (const auto& line : lines) {
        if (line.starts_with("  -") || line.starts_with("    ...")) {
            ++option_lines;
            ASSERT_GT(line.size(), 28u) << line;
            EXPECT_EQ(line[27], ' ') << line;
            EXPECT_NE(line[28], ' ') << line;
        }
    }
    EXPECT_EQ(option_lines, 20);
}

TEST(FrontEndTest, ProgramNameLosesFolderAndExtension) {
    EXPECT_EQ(program_stem("pixlane"), "pixlane");
    EXPECT_EQ(program_stem("/opt/bin/pixlane.exe"), "pixlane");
    EXPECT_EQ(program_stem("my.tool.bin"), "my.tool");
    EXPECT_EQ(program_stem(".hidden"), ".hidden");
    EXPECT_EQ(help_lines("conv", "gif")[3], "  conv -i example.gif");
}

TEST(FrontEndTest, VersionOnlyAsFirstArgument) {
    for (const char* first : {"-v", "-V", "--version", "--Version=1"}) {
        const auto r = run_front_end({first, "-i", "a.gif"});
        EXPECT_EQ(r.status, kExitOk) << first;
        // The version line, then one line of the image libraries' versions.
        ASSERT_TRUE(r.out.starts_with("2.8\nFreeImage 3.")) << first << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << first;
        for (const char* library : {", DevIL 1.", ", libpng 1.", ", zlib 1.", ", cairo 1."}) {
            EXPECT_NE(r.out.find(library), std::string::npos) << library;
        }
        EXPECT_EQ(r.batch_calls, 0);
    }
    // Later in the list it is ignored like any unknown option.
    const auto later = run_front_end({"-i", "a.gif", "-v", "-h"});
    EXPECT_EQ(later.out, std::string(kBanner) + "<batch>\n");
    EXPECT_EQ(later.batch_calls, 1);
    const auto window = run_front_end({"x", "-v"});
    EXPECT_EQ(window.status, std::nullopt);
    EXPECT_EQ(window.out, "");
}

TEST(FrontEndTest, WindowCommandsGoToTheWindowFirstOnly) {
    struct Case {
        std::vector<std::string> args;
        const char* called; // empty: neither command ran
    };
    const Case cases[] = {
        {{"-u", "-i", "a.gif"}, "uninstall"},
        {{"-T", "/shots", "-i", "a.gif"}, "screenshot /shots"},
        {{"--t=x"}, ""},
        {{"-t"}, "screenshot "},
        {{"-i", "a.gif", "-u"}, ""},
    };
    for (const auto& c : cases) {
        std::string called;
        WindowCommands window;
        window.uninstall = [&](Session&) {
            called = "uninstall";
            return 5;
        };
        window.screenshot = [&](Session&, const std::string& folder) {
            called = "screenshot " + folder;
            return 6;
        };
        Session app;
        const auto r = run_front_end(app, c.args, 0, window);
        EXPECT_EQ(called, c.called) << c.args.front();
        if (*c.called != '\0') {
            EXPECT_EQ(r.status, called == "uninstall" ? 5 : 6);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.batch_calls, 0);
        }
    }
}

TEST(FrontEndTest, ValueErrorsPrintOneLineAndStatusOne) {
    const std::vector<std::vector<std::string>> cases = {
        {"-i", "a.gif", "-o"},
        {"-o", "-i", "a.gif"},
        {"--input"},
        {"--input="},
        {"-i"},
        {"-i", "a.gif", "-c"},
        {"-i", "a.gif", "-c", "-jpg"},
        {"--output=-x", "-i", "a.gif"},
        {"-i", "a.gif", "--width"},
        {"-i", "a.gif", "--width="},
        {"-i", "a.gif", "--brightness=--50"},
        {"-i", "a.gif", "--wm-text=--x"},
        {"-i", "a.gif", "--profile"},
        {"--jpg-quality=", "-i", "a.gif"},
    };
    for (const auto& args : cases) {
        const auto r = run_front_end(args);
        EXPECT_EQ(r.status, kExitError) << args.back();
        EXPECT_EQ(r.out, "Error: Incorrect number of parameters\n") << args.back();
        EXPECT_EQ(r.batch_calls, 0);
        EXPECT_EQ(r.key_waits, 0);
    }
}

TEST(FrontEndTest, PauseAfterAnErrorWaitsWithoutPromptUnlessParsedTooLate) {
    auto r = run_front_end({"-p", "-i", "a.gif", "-o"});
    EXPECT_EQ(r.out, "Error: Incorrect number of parameters\n");
    EXPECT_EQ(r.key_waits, 1);
    r = run_front_end({"-i", "a.gif", "-o", "-p"});
    EXPECT_EQ(r.key_waits, 0);
}

TEST(FrontEndTest, BatchRunGetsBannerQuietFlagAndPause) {
    auto r = run_front_end({"-i", "a.gif"}, 2);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, std::string(kBanner) + "<batch>\n");
    EXPECT_FALSE(r.batch_quiet);
    EXPECT_EQ(r.titles, 1);

    r = run_front_end({"-q", "-i", "a.gif", "-p"});
    EXPECT_EQ(r.status, kExitOk);
    EXPECT_EQ(r.out, "<batch>\nPress any key to exit.\n");
    EXPECT_TRUE(r.batch_quiet);
    EXPECT_EQ(r.key_waits, 1);
}

TEST(FrontEndTest, WithoutInputOptionTheWindowOpens) {
    const std::vector<std::vector<std::string>> cases = {
        {}, {"-i=a.gif"}, {"a.gif"}, {"--unknown=1", "-x"}, {"-o", "out", "-c", "png"},
    };
    for (const auto& args : cases) {
        const auto r = run_front_end(args);
        EXPECT_EQ(r.status, std::nullopt) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.batch_calls, 0);
    }
}

TEST(FrontEndTest, RecordsAreFilledFromAnyCaseOfKeys) {
    Session app;
    const auto r = run_front_end(app, {"--Input=C:\\Photos\\A.gif", "-O", "\"d:\\my", "pictures\"",
                                       "-c", "JPG", "-D", "--Width=640", "-I",
                                       "\"c:\\two words\\b.gif\"", "--wm-text=\"Hello", "World\""});
    EXPECT_EQ(r.status, kExitOk);
    // Both inputs are kept in order; values keep their case; -c is stored
    // unchanged.
    EXPECT_EQ(app.console.input_folder, "C:\\Photos\\A.gif");
    EXPECT_EQ(app.console.more_inputs, std::vector<std::string>{"c:\\two words\\b.gif"});
    EXPECT_EQ(app.console.output_folder, "d:\\my pictures");
    EXPECT_EQ(app.console.output_extension, "JPG");
    EXPECT_TRUE(app.console.console_mode);
    EXPECT_TRUE(app.console.debug);
    EXPECT_EQ(app.settings.image_width, 640);
    EXPECT_EQ(app.settings.do_image_resize, 1);
    EXPECT_EQ(app.settings.text, "Hello World");
}

TEST(FrontEndTest, PreparationResetsRecordsToCommandLineDefaults) {
    Session app;
    app.settings.keep_aspect_ratio = 1;
    app.settings.jpg_quality = 10;
    app.console.output_extension = "png";
    app.console.debug = true;
    app.counters.sequence_number = 9;
    run_front_end(app, {"-v"});
    EXPECT_EQ(app.settings.keep_aspect_ratio, 0);
    EXPECT_EQ(app.settings.jpg_quality, 95);
    EXPECT_EQ(app.console.output_extension, "");
    EXPECT_FALSE(app.console.debug);
    EXPECT_EQ(app.counters.sequence_number, 1);
    EXPECT_EQ(app.language.text("General", "Preparing"), "Preparing...");
}

// The built executable, end to end.
TEST(CommandLineEndToEnd, HelpVersionErrorsAndBanner) {
    auto r = test::run_pixlane({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, joined(kExpectedHelp));

    r = test::run_pixlane({"-V"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), "2.8\n");

    r = test::run_pixlane({"-i", "a.gif", "-o"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error: Incorrect number of parameters\n");

    // Missing, unreadable (a read error, not an abort) or too large.
    test::TempDir dir;
    ASSERT_TRUE(test::write_sparse_file(dir / "huge.ini", "[CLI]\n", std::int64_t{512} << 20));
    for (const std::string& profile : {std::string("/nonexistent/profile.ini"),
                                       std::string("/proc/self/mem"), dir / "huge.ini"}) {
        r = test::run_pixlane({"-i", "a.gif", "--profile=" + profile});
        EXPECT_EQ(r.status, 1) << profile;
        EXPECT_EQ(r.out, "Error: Invalid profile file\n") << profile;
    }

    // The pause follows the batch, whatever its outcome.
    r = test::run_pixlane({"-i", "/nonexistent/a.gif", "-p"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, std::string(kBanner) +
                         "Preparing...\nError: Invalid input file\nPress any key to exit.\n");

    // The uninstall page needs the window: without a display, one line.
    r = test::run_pixlane({"-u"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no display"), std::string::npos) << r.err;
}

} // namespace
} // namespace pixlane::cli
