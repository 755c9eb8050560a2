// The console batch end to end: the built executable on GIFs the tests make.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <FreeImage.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "formats/extensions.h"
#include "gif_writer/gif_writer.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

const std::string kBanner =
    "Pixlane 2.8\nCopyright (c) 2026 Tarnwell\nhttps://www.tarnwell.example/pixlane\n \n";

std::string gif_bytes(int w, int h, int frames = 1) {
    GifSpec s;
    s.width = w;
    s.height = h;
    s.global_palette = test_palette(16);
    for (int k = 0; k < frames; ++k) {
        GifFrame f = solid_frame(0, 0, w, h, static_cast<std::uint8_t>(k % 16));
        f.disposal = 1;
        s.frames.push_back(f);
    }
    return encode_gif(s);
}

void make_gif(const std::string& path, int w = 8, int h = 6, int frames = 1) {
    write_file(path, gif_bytes(w, h, frames));
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

struct ImageInfo {
    int w = 0, h = 0, bpp = 0;
};

// Width, height and depth of an image file; 0s when it does not load.
ImageInfo image_info(const std::string& path) {
    ImageInfo info;
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path.c_str(), 0);
    if (FIBITMAP* b = fif == FIF_UNKNOWN ? nullptr : FreeImage_Load(fif, path.c_str(), 0)) {
        info = {static_cast<int>(FreeImage_GetWidth(b)), static_cast<int>(FreeImage_GetHeight(b)),
                static_cast<int>(FreeImage_GetBPP(b))};
        FreeImage_Unload(b);
    }
    return info;
}

TEST(BatchE2eTest, ChecksStopAtTheFirstFaultWithItsErrorLine) {
    TempDir dir;
    make_gif(dir / "a.gif");
    write_file(dir / "empty.gif", "");
    platform::make_folder(dir / "photos.2020");
    platform::make_folder(dir / "out");
    platform::make_folder(dir / "old.csv");
    write_file(dir / "wm.png", "");
    const std::string in = dir / "a.gif";
    ::symlink(in.c_str(), (dir / "a-link.csv").c_str());
    std::string formats;
    for (const auto extension : kOutputExtensions) {
        formats += (formats.empty() ? "" : ", ") + std::string(extension);
    }
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"-i", dir / "missing.gif"}, "Invalid input file"},
        {{"-i", dir / "empty.gif"}, "Invalid input file"},
        {{"-i", dir / "photos.2020"}, "Invalid input file"},
        {{"-i", "../x"}, "Incorrect input folder"},
        {{"-i", dir / "nowhere/"}, "Invalid input folder"},
        {{"-i", in, "-o", "../out"}, "Incorrect output folder"},
        {{"-i", in, "-o", dir / "no-out"}, "Invalid output folder"},
        {{"-i", in, "-c", "JPG"}, "Invalid conversion type JPG; expected one of " + formats},
        {{"-i", in, "-c", "jpeg"}, "Invalid conversion type jpeg; expected one of " + formats},
        {{"-i", in, "-c", "png", "--png-bpp=16"}, "Invalid png-bpp value"},
        {{"-i", in, "-c", "xpm", "--xpm-bpp=8"}, "Invalid xpm-bpp value"},
        {{"-i", in, "-c", "jpg", "--jpg-quality=0"}, "Invalid jpg-quality value"},
        {{"-i", in, "-c", "jpg", "--jpg-quality=101"}, "Invalid jpg-quality value"},
        {{"-i", in, "-c", "webp", "--webp-quality=0"}, "Invalid webp-quality value"},
        {{"-i", in, "--width=10"}, "Invalid height value"},
        {{"-i", in, "--height=10"}, "Invalid width value"},
        {{"-i", in, "--brightness=101"}, "Invalid brightness value"},
        {{"-i", in, "--contrast=-101"}, "Invalid contrast value"},
        {{"-i", in, "--gamma=10"}, "Invalid gamma value"},
        {{"-i", in, "--gamma=0"}, "Invalid gamma value"},
        {{"-i", in, "--wm-image=" + dir / "wm.png"}, "Invalid watermark image"},
        {{"-i", in, "--wm-text=x", "--wm-font=NoSuchFaceAnywhere"}, "Invalid watermark font"},
        // A report that could not be written is known before the run.
        {{"-i", in, "--report=" + dir / "nowhere/run.csv"},
         "cannot write the report " + dir / "nowhere/run.csv: no such folder"},
        {{"-i", in, "--report=" + dir / "old.csv"},
         "cannot write the report " + dir / "old.csv: it is a folder"},
        {{"-i", in, "--report=" + dir / "a-link.csv"},
         "cannot write the report " + dir / "a-link.csv: it is the input " + in},
        // The first fault wins: the output folder is checked before the format.
        {{"-i", in, "-o", dir / "no-out", "-c", "JPG"}, "Invalid output folder"},
    };
    const std::string names = names_in(dir.path());
    for (const auto& c : cases) {
        auto args = c.args;
        args.push_back("-q");
        const auto r = run_pixlane(args, dir.path());
        EXPECT_EQ(r.out, "Error: " + c.error + "\n") << args[1];
        EXPECT_EQ(r.status, 1) << args[1];
    }
    EXPECT_EQ(names_in(dir.path()), names) << "a refused run writes nothing";
    // Boundaries that pass.
    for (const auto* extra :
         {"--jpg-quality=1", "--jpg-quality=100", "--gamma=0.01", "--gamma=9.99"}) {
        const auto r = run_pixlane({"-q", "-i", in, "-o", dir / "out", "-c", "jpg", extra});
        EXPECT_EQ(r.out, "") << extra;
        EXPECT_EQ(r.status, 0) << extra;
    }
}

// A report folder nobody may write in is found before the batch, not after it.
TEST(BatchE2eTest, AReportInAReadOnlyFolderIsRefusedBeforeTheRun) {
    TempDir dir, mount;
    make_gif(dir / "a.gif");
    const std::string report = mount / "run.csv";
    const auto failures = in_read_only_tmpfs(mount.path(), [&] {
        const auto r = run_pixlane({"-q", "-i", dir / "a.gif", "-c", "png", "--report=" + report});
        std::string failed;
        if (r.out != "Error: cannot write the report " + report + ": Read-only file system\n" ||
            r.status != 1) {
            failed = std::to_string(r.status) + ": " + r.out;
        }
        return failed;
    });
    if (!failures) {
        GTEST_SKIP() << "no read-only tmpfs can be mounted here (needs root or user namespaces)";
    }
    EXPECT_EQ(*failures, "");
    EXPECT_EQ(names_in(dir.path()), "a.gif ");
}

// A link or a pipe planted at the report's old temporary name "run.csv.tmp":
// the report is written all the same, the link's target is left alone and
// the run ends.
TEST(BatchE2eTest, TheReportIsNeverWrittenThroughAPlantedName) {
    for (const bool pipe : {false, true}) {
        TempDir dir;
        make_gif(dir / "a.gif");
        write_file(dir / "victim.txt", "victim");
        const std::string planted = dir / "run.csv.tmp";
        RunResult r;
        const auto run = [&] {
            r = run_pixlane(
                {"-q", "-i", dir / "a.gif", "-c", "png", "--report=" + dir / "run.csv"});
        };
        if (pipe) {
            EXPECT_TRUE(returns_promptly_on_fifo(planted, run, 60));
        } else {
            ::symlink((dir / "victim.txt").c_str(), planted.c_str());
            run();
        }
        EXPECT_EQ(r.status, 0) << pipe << r.out;
        EXPECT_EQ(read_file(dir / "victim.txt"), "victim") << pipe;
        EXPECT_EQ(read_file(dir / "run.csv")
                      .rfind("input,frame,output,status,reason,ms,frames,dropped\n", 0),
                  0u)
            << pipe;
        EXPECT_EQ(names_in(dir.path()), "a.gif a.png run.csv run.csv.tmp victim.txt ") << pipe;
    }
}

TEST(BatchE2eTest, FolderInputConvertsEveryFrameWithTheSummary) {
    TempDir dir;
    platform::make_folders(dir / "in/sub");
    platform::make_folder(dir / "out");
    make_gif(dir / "in/anim.gif", 8, 6, 3);
    make_gif(dir / "in/sub/still.gif", 5, 4);
    write_file(dir / "in/notes.txt", "not an image");
    const auto r = run_pixlane({"-i", dir / "in", "-o", dir / "out", "-c", "png"});
    EXPECT_EQ(r.out, kBanner + "Preparing...\nImporting...\nImport complete, new files added: 2\n"
                               "Converting...\nConversion complete\nFiles converted: 2 of 2\n");
    EXPECT_EQ(r.status, 0);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_EQ(image_info(dir / ("out/anim[" + std::to_string(k) + "].png")).w, 8) << k;
    }
    EXPECT_EQ(image_info(dir / "out/sub/still.png").w, 5);

    // Without subfolders every output lands in the output folder itself.
    TempDir flat;
    const auto r2 =
        run_pixlane({"-q", "-i", dir / "in/", "-o", flat.path(), "-c", "bmp", "--no-subfolders"});
    EXPECT_EQ(r2.status, 0);
    EXPECT_EQ(image_info(flat / "still.bmp").w, 5);
    EXPECT_FALSE(platform::exists(flat / "sub"));
}

TEST(BatchE2eTest, AFolderTheImportCannotEnterIsNamedAndTheBatchIsIncomplete) {
    TempDir dir;
    platform::make_folders(dir / "in");
    platform::make_folder(dir / "out");
    make_gif(dir / "in/top.gif", 5, 4);
    // A chain of folders whose path outgrows what the system takes, built
    // one level at a time from inside the previous one.
    const std::string level(200, 'd');
    int fd = ::open((dir / "in").c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int depth = 0; depth < 25; ++depth) {
        ASSERT_EQ(::mkdirat(fd, level.c_str(), 0755), 0);
        const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    ::close(fd);
    const auto r = run_pixlane({"-q", "-i", dir / "in", "-o", dir / "out", "-c", "png"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(": cannot be entered: "), std::string::npos) << r.err;
    EXPECT_TRUE(platform::exists(dir / "out/top.png"));
}

TEST(BatchE2eTest, SeveralInputsAndAListOnStandardInputAreAllConverted) {
    TempDir dir;
    platform::make_folders(dir / "in/sub");
    platform::make_folder(dir / "out");
    make_gif(dir / "in/a.gif", 5, 4);
    make_gif(dir / "in/b.gif", 6, 4);
    make_gif(dir / "in/sub/c.gif", 7, 4);
    auto r = run_pixlane({"-i", dir / "in/a.gif", dir / "in/b.gif", "-i", dir / "in/sub", "-o",
                          dir / "out", "-c", "png"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("new files added: 3"), std::string::npos) << r.out;
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        EXPECT_TRUE(platform::exists(dir / (std::string("out/") + name))) << name;
    }
    // One path a line on standard input.
    r = test::run("/bin/sh",
                  {"-c", "printf '%s\\n%s\\n' \"$1\" \"$2\" | \"$0\" -q -i - -o \"$3\" -c bmp",
                   test::pixlane_exe(), dir / "in/a.gif", dir / "in/sub/c.gif", dir / "out"},
                  {{"XDG_RUNTIME_DIR", dir.path()}, {"XDG_CONFIG_HOME", dir / "config"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(platform::exists(dir / "out/a.bmp"));
    EXPECT_TRUE(platform::exists(dir / "out/c.bmp"));
}

TEST(BatchE2eTest, ListFileInput) {
    TempDir dir;
    platform::make_folders(dir / "tree/deep");
    make_gif(dir / "one.gif");
    make_gif(dir / "tree/two.gif");
    make_gif(dir / "tree/deep/three.gif");
    platform::make_folder(dir / "out");
    write_file(dir / "LIST.TXT", "\xEF\xBB\xBF" + dir / "one.gif" + "\r\n\r\n" + dir / "gone.gif" +
                                     "\r\n" + dir / "tree" + "\r\n");
    const auto r = run_pixlane({"-i", dir / "LIST.TXT", "-o", dir / "out", "-c", "png", "-q"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
    // Entries from a list have no base folder, so no subfolders are made.
    for (auto name : {"one.png", "two.png", "three.png"}) {
        EXPECT_TRUE(platform::exists(dir / ("out/" + std::string(name)))) << name;
    }
}

TEST(BatchE2eTest, RelativePathsResolveAgainstTheWorkingDirectory) {
    TempDir dir;
    make_gif(dir / "pic.gif");
    platform::make_folder(dir / "out");
    auto r = run_pixlane({"-q", "-i", "pic.gif", "-c", "png"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(platform::exists(dir / "pic.png"));
    r = run_pixlane({"-q", "-i", "./pic.gif", "-o", "out", "-c", "tga"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(platform::exists(dir / "out/pic.tga"));
    r = run_pixlane({"-q", "-i", ".", "-o", "./out", "-c", "ppm", "--no-subfolders"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(platform::exists(dir / "out/pic.ppm"));
}

TEST(BatchE2eTest, NothingImportedOrConvertedStopsWithStatusTwo) {
    TempDir dir;
    write_file(dir / "a.tif", std::string("II*\0", 4));
    make_gif(dir / "b.gif");
    write_file(dir / "bad.gif", "GIF89a not really");
    const std::string stopped = "Conversion stopped\n";
    auto r = run_pixlane({"-q", "-i", dir / "a.tif"});
    EXPECT_EQ(r.out,
              stopped + "No input file(s) found. Please, add valid file(s) and try again!\n");
    EXPECT_EQ(r.status, 2);
    r = run_pixlane({"-q", "-i", dir / "bad.gif", "-c", "png"});
    EXPECT_EQ(r.out, stopped);
    EXPECT_EQ(r.status, 2);
    // One of two converted: the summary is printed and the status tells.
    r = run_pixlane({"-i", dir.path(), "-c", "png", "-d"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("[ERROR] Unable to convert the file!"), std::string::npos);
    EXPECT_NE(r.out.find("[OK] Saving As: " + dir / "b.png"), std::string::npos);
    EXPECT_NE(r.out.find("Files converted: 1 of 2"), std::string::npos);
}

// Two inputs that map to one name (a.gif and sub/a.gif without subfolders)
// and an output that exists already, under each overwrite policy, with one
// worker and with two.
// Every sync policy writes the same files, bytes included, and leaves no
// temporary file; only a policy other than the default is listed.
TEST(BatchE2eTest, EverySyncPolicyWritesTheSameFiles) {
    TempDir in;
    make_gif(in / "a.gif");
    make_gif(in / "b.gif", 9, 6);
    std::string first_names, first_bytes;
    for (const char* policy : {"file", "batch", "none"}) {
        for (const char* jobs : {"--jobs=1", "--jobs=2"}) {
            TempDir out;
            const auto r = run_pixlane({"-d", "-i", in.path(), "-o", out.path(), "-c", "png",
                                        std::string("--sync=") + policy, jobs});
            EXPECT_EQ(r.status, 0) << policy << jobs << r.err;
            const std::string names = names_in(out.path());
            const std::string bytes = read_file(out / "a.png") + read_file(out / "b.png");
            if (first_names.empty()) {
                first_names = names;
                first_bytes = bytes;
            }
            EXPECT_EQ(names, "a.png b.png ") << policy << jobs;
            EXPECT_EQ(bytes, first_bytes) << policy << jobs;
            EXPECT_EQ(r.out.find("Sync: ") != std::string::npos, std::string(policy) != "batch")
                << policy << jobs;
        }
    }
}

TEST(BatchE2eTest, OverwritePoliciesNeverLoseAnOutputSilently) {
    struct Case {
        const char* policy;
        const char* names;
        bool old_kept;
        const char* summary; // the last line
        int skipped_rows;    // in the report
    };
    const Case cases[] = {
        {"yes", "a.png b.png ", false, "Files converted: 3 of 3", 0},
        {"skip", "a.png b.png ", true, "Files skipped: 2", 2},
        {"rename", "a (2).png a.png b (2).png b.png ", true, "Files converted: 3 of 3", 0},
        // Outputs made after their inputs are up to date.
        {"newer", "a.png b.png ", true, "Files skipped: 2", 2},
    };
    TempDir in;
    platform::make_folder(in / "sub");
    make_gif(in / "a.gif");
    make_gif(in / "sub/a.gif", 9, 6);
    make_gif(in / "b.gif");
    for (const auto& c : cases) {
        for (const char* jobs : {"--jobs=1", "--jobs=2"}) {
            TempDir out, reports;
            write_file(out / "b.png", "earlier");
            const auto r = run_pixlane({"-i", in.path(), "-o", out.path(), "-c", "png",
                                        "--no-subfolders", std::string("--overwrite=") + c.policy,
                                        jobs, "--report=" + reports / "run.json"});
            std::string names;
            for (const auto& e : platform::list_folder(out.path())) {
                names += e.name + " ";
            }
            EXPECT_EQ(r.status, 0) << c.policy << jobs;
            EXPECT_EQ(names, c.names) << c.policy << jobs;
            EXPECT_EQ(read_file(out / "b.png") == "earlier", c.old_kept) << c.policy << jobs;
            EXPECT_EQ(lines_of(r.out).back(), c.summary) << c.policy << jobs;
            // Only "yes" lets the second a.gif replace the first, and says so.
            EXPECT_EQ(r.err.find("a.gif both write " + out / "a.png") != std::string::npos,
                      std::string(c.policy) == "yes")
                << c.policy << jobs << r.err;
            const std::string report = read_file(reports / "run.json");
            int skipped_rows = 0;
            for (auto at = report.find("\"skipped\""); at != std::string::npos;
                 at = report.find("\"skipped\"", at + 1)) {
                ++skipped_rows;
            }
            EXPECT_EQ(skipped_rows, c.skipped_rows) << c.policy << jobs << report;
        }
    }
    // An output older than its input is made again.
    TempDir out;
    write_file(out / "b.png", "earlier");
    ASSERT_TRUE(platform::set_modification_time(out / "b.png", 86400));
    const auto r =
        run_pixlane({"-q", "-i", in / "b.gif", "-o", out.path(), "-c", "png", "--overwrite=newer"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(read_file(out / "b.png"), "earlier");
}

// With --report=- standard output holds the CSV report alone; the console's
// lines go to standard error.
TEST(BatchE2eTest, AReportOnStandardOutputIsAloneThere) {
    TempDir in, out;
    make_gif(in / "a.gif");
    const auto r = run_pixlane({"-i", in / "a.gif", "-o", out.path(), "-c", "png", "--report=-"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(lines_of(r.out).front().starts_with("input,frame,output,status,reason,ms"));
    EXPECT_EQ(lines_of(r.out).size(), 2u) << r.out;
    EXPECT_NE(r.err.find("Files converted: 1 of 1"), std::string::npos) << r.err;
}

// On a terminal the console sets its title and rewrites a progress line;
// TERM=dumb or NO_COLOR asks for plain text.
TEST(BatchE2eTest, PlainTextWhenTheTerminalAsksForIt) {
    TempDir in, out;
    make_gif(in / "a.gif");
    const std::string command =
        pixlane_exe() + " -i " + in.path() + " -o " + out.path() + " -c png --overwrite=rename";
    struct Case {
        std::map<std::string, std::string> env;
        bool escapes;
    };
    const Case cases[] = {
        {{{"TERM", "xterm"}, {"NO_COLOR", ""}}, true},
        {{{"TERM", "dumb"}}, false},
        {{{"TERM", "xterm"}, {"NO_COLOR", "1"}}, false},
    };
    for (const auto& c : cases) {
        auto env = c.env;
        env.emplace("XDG_RUNTIME_DIR", out.path());
        // script(1) gives the program a terminal of its own.
        const auto r = run("/usr/bin/script", {"-qec", command, "/dev/null"}, env);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(r.out.find('\033') != std::string::npos, c.escapes) << r.out;
        EXPECT_NE(r.out.find("Files converted: 1 of 1"), std::string::npos) << r.out;
    }
}

// The names a run would write, with what stands in their way; nothing on
// disk changes, no folder is made.
TEST(BatchE2eTest, ADryRunNamesEveryOutputAndWritesNothing) {
    TempDir in, out;
    platform::make_folder(in / "sub");
    make_gif(in / "anim.gif", 8, 6, 3);
    write_file(in / "bad.gif", "GIF89a broken");
    make_gif(in / "still.gif");
    make_gif(in / "sub/still.gif");
    write_file(out / "anim[2].png", "earlier");
    struct Case {
        std::vector<std::string> options;
        std::string listing; // standard output
    };
    const std::string o = out.path();
    const Case cases[] = {
        {{},
         kBanner + "Preparing...\nImporting...\nImport complete, new files added: 4\n" + o +
             "anim[1].png\n" + o + "anim[2].png (exists)\n" + o + "anim[3].png\n" + o +
             "still.png\n" + o +
             "sub/still.png\nDry run: 3 of 4 files would give 5 outputs "
             "(1 exist, 0 clash); nothing was written\n"},
        {{"-q", "--no-subfolders", "--overwrite=rename"},
         o + "anim[1].png\n" + o + "anim[2].png (exists; written as " + o + "anim[2] (2).png)\n" +
             o + "anim[3].png\n" + o + "still.png\n" + o + "still.png (clash with " +
             in / "still.gif; written as " + o + "still (2).png)\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"-i", in.path(), "-o",       out.path(),
                                         "-c", "png",     "--dry-run"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto r = run_pixlane(args);
        EXPECT_EQ(r.out, c.listing);
        EXPECT_EQ(r.status, 2) << "bad.gif would fail";
        EXPECT_NE(r.err.find(in / "bad.gif: "), std::string::npos) << r.err;
        EXPECT_EQ(names_in(out.path()), "anim[2].png ");
        EXPECT_EQ(read_file(out / "anim[2].png"), "earlier");
    }
}

// The dry run meets what the real run meets: a file it approves converts, a
// file it fails fails, and the status is the same.
TEST(BatchE2eTest, ADryRunFailsWhatTheRealRunWouldFail) {
    TempDir in;
    make_gif(in / "a.gif");
    make_gif(in / "b.gif", 8, 6, 2);
    struct Case {
        std::string mask;
        int status;
    };
    const Case cases[] = {
        {"%filename%.%ext%", 0},
        {"%filename%/x.%ext%", 2},                       // a folder the run never makes
        {std::string(300, 'n') + "%filename%.%ext%", 2}, // over the file system's name length
    };
    for (const auto& c : cases) {
        TempDir out;
        const std::vector<std::string> args = {"-i", in.path(), "-o", out.path(),
                                               "-c", "png",     "-q", "--filename-mask=" + c.mask};
        auto planned = args;
        planned.insert(planned.end(), {"--dry-run", "--report=" + out.path() + "plan.csv"});
        const auto dry = run_pixlane(planned);
        const std::string plan = read_file(out / "plan.csv");
        ASSERT_TRUE(platform::remove_file(out / "plan.csv"));
        const auto real = run_pixlane(args);
        EXPECT_EQ(dry.status, c.status) << c.mask << dry.err;
        EXPECT_EQ(real.status, c.status) << c.mask << real.err;
        for (const char* input : {"a.gif", "b.gif"}) {
            const bool failed = real.err.find(in / input + ": ") != std::string::npos;
            EXPECT_EQ(dry.err.find(in / input + ": ") != std::string::npos, failed)
                << c.mask << "\n"
                << dry.err << real.err;
            EXPECT_EQ(plan.find(in / input + ",") != std::string::npos, true) << plan;
        }
        EXPECT_EQ(plan.find(",planned,") != std::string::npos, c.status == 0) << plan;
        EXPECT_EQ(plan.find(",failed,") != std::string::npos, c.status != 0) << plan;
    }
}

// The commands the README's console section and the manual page show, as a
// user would paste them into a shell (`pixlane` on the PATH), in a folder
// holding the inputs they name. Each runs as shown: status 0 (1 for the one
// that shows what --strict refuses), and every file a conversion writes has
// an extension.
TEST(BatchE2eTest, TheDocumentedExamplesRunAsShown) {
    std::vector<std::string> commands;
    const std::string readme = read_file(std::string(PIXLANE_SOURCE_DIR) + "/README.md");
    const auto section = readme.find("## Console additions");
    ASSERT_NE(section, std::string::npos);
    const std::string console = readme.substr(section, readme.find("\n## ", section + 1) - section);
    for (std::size_t at = console.find('`'); at != std::string::npos;
         at = console.find('`', at + 1)) {
        const auto end = console.find('`', at + 1);
        const std::string span = console.substr(at + 1, end - at - 1);
        at = end;
        // Spans with "…" stand for any input; the others are whole commands.
        if ((span.starts_with("pixlane ") || span.find("| pixlane ") != std::string::npos) &&
            span.find("\u2026") == std::string::npos) {
            commands.push_back(span);
        }
    }
    const std::string man = run_pixlane({"--pixlane-man-page"}).out;
    for (auto at = man.find(".EX\n"); at != std::string::npos && man.compare(at, 4, ".EE\n") != 0;
         at = man.find('\n', at) + 1) {
        std::string line = man.substr(at, man.find('\n', at) - at);
        for (auto dash = line.find("\\-"); dash != std::string::npos; dash = line.find("\\-")) {
            line.erase(dash, 1);
        }
        if (line.starts_with("pixlane ")) {
            commands.push_back(line);
        }
    }
    ASSERT_FALSE(commands.empty());
    for (const auto& command : commands) {
        TempDir here;
        for (const char* folder : {"in", "gifs", "photos"}) {
            platform::make_folder(here / folder);
            make_gif(here / folder + "/a.gif");
            make_gif(here / folder + "/b.gif", 8, 6, 2);
        }
        make_gif(here / "anim.gif", 8, 6, 3);
        // Output folders are made beforehand, as the section says.
        platform::make_folder(here / "out");
        platform::make_folder(here / "converted");
        // A pager has no terminal here; it would only copy.
        std::string shown = command;
        if (const auto pager = shown.find("| less"); pager != std::string::npos) {
            shown.replace(pager, 6, "| cat");
        }
        const auto r = run_shell(shown, here.path());
        const bool shows_a_refusal = command.find("--strict") != std::string::npos;
        EXPECT_EQ(r.status, shows_a_refusal ? 1 : 0) << command << "\n" << r.out << r.err;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(here.path())) {
            const std::string name = entry.path().filename();
            if (entry.is_regular_file() && name != "a.gif" && name != "b.gif" &&
                name != "anim.gif") {
                EXPECT_NE(name.find('.'), std::string::npos) << command << ": " << name;
            }
        }
    }
}

// Shares run side by side by GNU parallel into one folder give the files
// one run gives, names numbered by %n% included; a share's list holds every
// file once.
TEST(BatchE2eTest, ShardsRunByParallelGiveWhatOneRunGives) {
    TempDir in, whole, shared;
    for (int i = 0; i < 8; ++i) {
        make_gif(in / ("g" + std::to_string(i) + ".gif"), 8 + i, 6, 1 + i % 3);
    }
    const std::vector<std::string> common = {
        "-i", in.path(), "-c", "png", "-q", "--filename-mask=%n%-%filename%.%ext%"};
    auto whole_args = common;
    whole_args.insert(whole_args.end(), {"-o", whole.path()});
    ASSERT_EQ(run_pixlane(whole_args).status, 0);
    std::string command =
        "parallel --will-cite --halt now,fail=1 pixlane --shard={}/3 -o " + shared.path();
    for (const auto& a : common) {
        command += " '" + a + "'";
    }
    command += " ::: 1 2 3";
    const auto r = run_shell(command);
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string names = names_in(whole.path());
    ASSERT_EQ(names_in(shared.path()), names);
    std::istringstream each(names);
    for (std::string name; each >> name;) {
        EXPECT_EQ(read_file(shared / name), read_file(whole / name)) << name;
    }
    // Out of range or malformed shares are refused.
    for (const char* share : {"0/3", "4/3", "1/0", "3", "a/b", "1/3x"}) {
        const auto refused = run_pixlane({"-i", in.path(), std::string("--shard=") + share});
        EXPECT_EQ(refused.status, 1) << share;
        EXPECT_EQ(refused.out,
                  std::string("Error: Invalid shard ") + share + " (expected K/N, 1 <= K <= N)\n");
    }
}

// A file name can hold any byte but "/" and NUL: printed, its control bytes
// are escapes, so a name neither acts on the terminal (here: sets its
// title) nor splits the dry run's one-name-a-line listing.
TEST(BatchE2eTest, NamesWithControlBytesArePrintedEscaped) {
    TempDir in, out;
    const std::string name = "a\x1b]0;owned\x07\nb";
    const std::string shown = "a\\x1b]0;owned\\a\\nb";
    make_gif(in / (name + ".gif"));
    write_file(in / "bad\x1b[2J.gif", "GIF89a broken");
    struct Case {
        std::vector<std::string> options;
        std::vector<std::string> lines; // of standard output
        bool all;                       // the lines are all of it
    };
    const Case cases[] = {
        {{"--dry-run", "-q"}, {out / (shown + ".png")}, true},
        {{"-d"},
         {"Processing: " + in / (shown + ".gif"), "[OK] Saving As: " + out / (shown + ".png")},
         false},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"-i", in.path(), "-o", out.path(), "-c", "png"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto r = run_pixlane(args);
        EXPECT_EQ(r.status, 2) << "bad.gif fails";
        const auto lines = lines_of(r.out);
        if (c.all) {
            EXPECT_EQ(lines, c.lines);
        }
        for (const auto& line : c.lines) {
            EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line << r.out;
        }
        EXPECT_NE(r.err.find("pixlane: " + in / "bad\\x1b[2J.gif: "), std::string::npos) << r.err;
        EXPECT_EQ((r.out + r.err).find_first_of("\x1b\x07"), std::string::npos);
    }
}

TEST(BatchE2eTest, SequenceNumbersSkipFailedFiles) {
    TempDir dir;
    platform::make_folder(dir / "in");
    make_gif(dir / "in/a.gif");
    write_file(dir / "in/b.gif", "GIF89a broken");
    make_gif(dir / "in/c.gif");
    make_gif(dir / "in/d.gif");
    const auto r = run_pixlane({"-q", "-i", dir / "in", "-o", dir.path(), "-c", "png",
                                "--filename-mask=%filename%-%n%.%ext%"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(platform::exists(dir / "a-00001.png"));
    EXPECT_TRUE(platform::exists(dir / "c-00002.png"));
    EXPECT_TRUE(platform::exists(dir / "d-00003.png"));
}

TEST(BatchE2eTest, DebugListingOfARichConfiguration) {
    TempDir dir;
    make_gif(dir / "a.gif", 40, 30);
    const auto r = run_pixlane({"-i",
                                dir / "a.gif",
                                "-o",
                                dir.path(),
                                "-c",
                                "tiff",
                                "-d",
                                "--tiff-bpp=24",
                                "--tiff-compression=lzw",
                                "--tiff-color-mode=cmyk",
                                "--gif-frame-loading=last",
                                "--rotation=90",
                                "--rotation-type=advanced",
                                "--rotation-back-color=FF8000",
                                "--width=50",
                                "--width-unit=percent",
                                "--height=20",
                                "--keep-aspect-ratio",
                                "--resize-algorithm=lanczos",
                                "--flip-vertical",
                                "--gamma=1.5",
                                "--greyscale",
                                "--threshold=300",
                                "--dither=bayer8",
                                "--fr-solid-left=2",
                                "--fr-solid-top-color=00FF00",
                                "--fr-solid-opacity=128",
                                "--filename-mask=%filename%_x.%ext%",
                                "--file-timestamp=custom",
                                "--file-timestamp-custom=1000000000",
                                "--no-subfolders"});
    const std::vector<std::string> expected = {"Pixlane 2.8",
                                               "Copyright (c) 2026 Tarnwell",
                                               "https://www.tarnwell.example/pixlane",
                                               " ",
                                               "Preparing...",
                                               "Input: " + dir / "a.gif",
                                               "Output: " + dir.path(),
                                               "Conversion: tiff",
                                               "GIF Frame Loading: last",
                                               "TIFF BPP: 24",
                                               "TIFF Compression: lzw",
                                               "TIFF Color Mode: cmyk",
                                               "Image Rotation Type: advanced",
                                               "Image Rotation: 90",
                                               "Image Rotation Back Color: FF8000",
                                               "Width: 50 percent",
                                               "Height: 20 pixels",
                                               "Keep Aspect Ratio: 1",
                                               "Image Resize Type: allimages",
                                               "Image Resize Algorithm: lanczos",
                                               "Flip Horizontal: 0",
                                               "Flip Vertical: 1",
                                               "Brightness: 0",
                                               "Contrast: 0",
                                               "Gamma: 1.50",
                                               "Invert: 0",
                                               "Greyscale: 1",
                                               "Image Threshold: 300",
                                               "Image Dithering Algorithm: bayer8",
                                               "Frame: solid",
                                               "Frame left: 2",
                                               "Frame right: 0",
                                               "Frame top: 0",
                                               "Frame bottom: 0",
                                               "Frame left color: 000000",
                                               "Frame right color: 000000",
                                               "Frame top color: 00FF00",
                                               "Frame bottom color: 000000",
                                               "Frame opacity: 128",
                                               "Watermark: none",
                                               "Filename Mask: %filename%_x.%ext%",
                                               "File Timestamp: custom",
                                               "Custom Timestamp: 1000000000",
                                               "Keep Subfolders: 0",
                                               "Importing...",
                                               "Import complete, new files added: 1",
                                               "Converting...",
                                               "Processing: " + dir / "a.gif",
                                               "File Format: GIF89A",
                                               "[OK] Saving As: " + dir / "a_x.tiff",
                                               "Conversion complete",
                                               "Files converted: 1 of 1"};
    EXPECT_EQ(lines_of(r.out), expected);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(platform::modification_time(dir / "a_x.tiff"), 1000000000);
}

TEST(BatchE2eTest, EveryCompressionValueOneListsAsRle) {
    TempDir dir;
    make_gif(dir / "a.gif");
    const auto r = run_pixlane({"-i", dir / "a.gif", "-c", "png", "-d", "--png-compression=zlib1"});
    EXPECT_NE(r.out.find("\nPNG Compression: rle\n"), std::string::npos) << r.out;
}

TEST(BatchE2eTest, ASettingAddedLaterIsListedOnlyWhenChanged) {
    TempDir dir;
    make_gif(dir / "a.gif");
    const auto plain = run_pixlane({"-i", dir / "a.gif", "-c", "png", "-d", "--dry-run"});
    EXPECT_NE(plain.out.find("\nPNG Interlaced: 0\n"), std::string::npos) << plain.out;
    EXPECT_EQ(plain.out.find("PNG Palette"), std::string::npos) << plain.out;
    const auto changed =
        run_pixlane({"-i", dir / "a.gif", "-c", "png", "-d", "--dry-run", "--png-palette=exact"});
    EXPECT_NE(changed.out.find("\nPNG Palette: exact\n"), std::string::npos) << changed.out;
}

TEST(BatchE2eTest, QuietSuccessPrintsNothing) {
    TempDir dir;
    make_gif(dir / "a.gif");
    const auto r = run_pixlane({"-q", "-i", dir / "a.gif", "-c", "png"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(BatchE2eTest, ResizeKeepsTheAspectRatioOnlyWhenAsked) {
    TempDir dir;
    make_gif(dir / "wide.gif", 400, 300);
    auto r =
        run_pixlane({"-q", "-i", dir / "wide.gif", "-c", "png", "--width=200", "--height=200"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(image_info(dir / "wide.png").w, 200);
    EXPECT_EQ(image_info(dir / "wide.png").h, 200);
    r = run_pixlane({"-q", "-i", dir / "wide.gif", "-c", "png", "--width=200", "--height=200",
                     "--keep-aspect-ratio"});
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(image_info(dir / "wide.png").w, 200);
    EXPECT_EQ(image_info(dir / "wide.png").h, 150);
}

TEST(BatchE2eTest, FrameAndWatermarkOptionsDrawIntoTheOutput) {
    TempDir dir;
    {
        GifSpec s;
        s.width = 120;
        s.height = 80;
        s.global_palette = {0x000000, 0xFFFFFF};
        s.frames = {solid_frame(0, 0, 120, 80, 1)}; // white
        write_file(dir / "white.gif", encode_gif(s));
    }
    const auto r = run_pixlane(
        {"-q", "-i", dir / "white.gif", "-c", "bmp", "-d", "--fr-solid-left=6",
         "--fr-solid-left-color=FF0000", "--wm-text=Hi %WIDTH%", "--wm-font=Liberation Sans",
         "--wm-font-size=20", "--wm-font-color=0000FF", "--wm-text-position=middlecenter",
         "--wm-text-x-offset=0", "--wm-text-y-offset=0"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\nWatermark: text\nWatermark text: Hi %WIDTH%\nWatermark font: "
                         "Liberation Sans\n"),
              std::string::npos)
        << r.out;
    FIBITMAP* b = FreeImage_Load(FIF_BMP, (dir / "white.bmp").c_str(), 0);
    ASSERT_NE(b, nullptr);
    auto pixel = [&](int x, int y) {
        RGBQUAD q{};
        FreeImage_GetPixelColor(b, static_cast<unsigned>(x), static_cast<unsigned>(80 - 1 - y), &q);
        return (q.rgbRed << 16) | (q.rgbGreen << 8) | q.rgbBlue;
    };
    EXPECT_EQ(pixel(2, 40), 0xFF0000);   // the left band
    EXPECT_EQ(pixel(115, 40), 0xFFFFFF); // no band on the right
    int blue = 0;
    for (int y = 20; y < 60; ++y) {
        for (int x = 20; x < 100; ++x) {
            blue += pixel(x, y) == 0x0000FF;
        }
    }
    EXPECT_GT(blue, 20); // the text, drawn without antialiasing in its colour
    FreeImage_Unload(b);
}

TEST(BatchE2eTest, TheSamplesConvert) {
    TempDir out;
    const auto r = run_pixlane({"-q", "-i", std::string(PIXLANE_SOURCE_DIR) + "/examples/", "-o",
                                out.path(), "-c", "png"});
    EXPECT_EQ(r.status, 0) << r.out;
    for (auto name : {"anim[1].png", "anim[4].png", "still.png", "nested/badge.png"}) {
        EXPECT_TRUE(platform::exists(out / name)) << name;
    }
}

} // namespace
} // namespace pixlane::test
