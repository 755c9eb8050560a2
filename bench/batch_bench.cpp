// Times the console batch against bare loops that make the library's own
// playback calls and save each frame, on a deterministic corpus:
//   build/bench/batch_bench [work-folder [reference-pixlane [repeats]]]
// 60 animated GIFs 320x240 with 12 frames (mixed disposal, transparency,
// partial frames) and 60 single-frame 1024x768 photo-like GIFs. Reports
// processor seconds (user + system), frames per second, peak memory and the
// bytes written. The bare loops save each page with FreeImage's writer (the
// same flag words) and, for png, with a plain libpng loop (RGBA rows, the
// same zlib level, libpng's defaults otherwise). Every program runs in a
// child process, one at a time, so all figures are measured the same way;
// the batch runs supervised (its default) and in process
// (PIXLANE_IN_PROCESS=1) to show what the supervision costs. A reference
// executable (an earlier build, say) runs the same cases in the same run.
// With repeats above 1 each figure is the best of that many runs.
// The floor (bench/floor.h) is decoding and encoding alone: giflib, the
// frames composed, libpng or libjpeg; "x floor" is the batch's processor
// time over the floor's, the distance to what no converter can go below.
#include <FreeImage.h>
#include <fcntl.h>
#include <gif_lib.h>
#include <png.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "bare_png.h"
#include "corpus.h"
#include "floor.h"
#include "pipeline/save.h"
#include "settings/settings.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct Usage {
    double cpu_seconds = 0;
    double wall_seconds = 0;
    long peak_kib = 0;
    int status = 0;
};

// Runs a program and returns the processor time and peak memory of that
// child alone.
Usage run_child(std::vector<std::string> args, bool in_process = false) {
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    // The environment, with the in-process switch set or cleared.
    std::vector<std::string> env_s;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "PIXLANE_IN_PROCESS=", 19) != 0) {
            env_s.emplace_back(*e);
        }
    }
    if (in_process) {
        env_s.emplace_back("PIXLANE_IN_PROCESS=1");
    }
    std::vector<char*> envp;
    for (auto& e : env_s) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    pid_t pid = 0;
    Usage u;
    const auto started = std::chrono::steady_clock::now();
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        u.status = -1;
        return u;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    u.wall_seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    u.cpu_seconds = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                    static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    u.peak_kib = ru.ru_maxrss;
    u.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return u;
}

// The bare loops: for every GIF, open it with playback and save each page,
// with FreeImage's writer or (`libpng`) the plain libpng one.
int bare_loop(const std::string& folder, const std::string& out, const std::string& ext, int flags,
              bool libpng) {
    const FREE_IMAGE_FORMAT fif = ext == "png" ? FIF_PNG : FIF_JPEG;
    const int level = (flags & 0x0F) != 0 ? flags & 0x0F : (flags & PNG_Z_NO_COMPRESSION) ? 0 : 6;
    int frames = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(FIF_GIF, entry.path().c_str(), FALSE, TRUE,
                                                         TRUE, GIF_PLAYBACK);
        if (!multi) {
            continue;
        }
        const int pages = FreeImage_GetPageCount(multi);
        for (int p = 0; p < pages; ++p) {
            FIBITMAP* page = FreeImage_LockPage(multi, p);
            FIBITMAP* clone = FreeImage_Clone(page);
            FreeImage_UnlockPage(multi, page, FALSE);
            FIBITMAP* saved = clone;
            if (fif == FIF_JPEG) {
                saved = FreeImage_ConvertTo24Bits(clone);
            }
            const std::string name =
                out + "/" + entry.path().stem().string() + "[" + std::to_string(p + 1) + "]." + ext;
            if (libpng) {
                bare_png_save(saved, name, level);
            } else {
                FreeImage_Save(fif, saved, name.c_str(), flags);
            }
            if (saved != clone) {
                FreeImage_Unload(saved);
            }
            FreeImage_Unload(clone);
            ++frames;
        }
        FreeImage_CloseMultiBitmap(multi, 0);
    }
    return frames;
}

// Bytes of the files in a folder.
double folder_mib(const std::string& folder) {
    std::uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            bytes += entry.file_size();
        }
    }
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

// Several workers: wall and processor time of --jobs=2 against --jobs=1
// (best of 3 by wall time) of `exe` with `extra` options, on every corpus,
// the per-file overhead and the one-long-animation corpora included.
void workers_table(const std::string& work, const std::string& exe,
                   const std::vector<std::string>& extra) {
    const pixlane::bench::Corpus corpus = pixlane::bench::make_corpus(work);
    const pixlane::bench::WorkerCorpus more = pixlane::bench::make_worker_corpus(work);
    struct Case {
        const char* name;
        std::string folder;
        const char* ext;
        std::vector<std::string> options;
    };
    const std::vector<Case> cases = {
        {"2000 tiny GIFs -> png", more.tiny, "png", {}},
        {"one 783-frame GIF -> png (none)", more.long_animation, "png", {}},
        {"one 783-frame GIF -> png (zlib 6)",
         more.long_animation,
         "png",
         {"--png-compression=zlib6"}},
        {"animations -> png (no compression)", corpus.animations, "png", {}},
        {"animations -> png (zlib 6)", corpus.animations, "png", {"--png-compression=zlib6"}},
        {"animations -> jpg q95", corpus.animations, "jpg", {}},
        {"photos -> png (no compression)", corpus.photos, "png", {}},
        {"photos -> jpg q95", corpus.photos, "jpg", {}},
    };
    const std::string out = work + "/out";
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("load average before: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    std::printf("%-36s %9s %9s %10s %10s %7s %7s\n", "case", "1 wall s", "2 wall s", "1 cpu s",
                "2 cpu s", "wall", "cpu");
    for (const auto& c : cases) {
        Usage best[2];
        for (int jobs : {1, 2}) {
            for (int k = 0; k < 3; ++k) {
                fs::remove_all(out);
                fs::create_directories(out);
                std::vector<std::string> args = {exe,      "-q",  "-i",
                                                 c.folder, "-o",  out,
                                                 "-c",     c.ext, "--jobs=" + std::to_string(jobs)};
                args.insert(args.end(), c.options.begin(), c.options.end());
                args.insert(args.end(), extra.begin(), extra.end());
                const Usage u = run_child(args);
                if (k == 0 || u.wall_seconds < best[jobs - 1].wall_seconds) {
                    best[jobs - 1] = u;
                }
            }
        }
        std::printf("%-36s %9.2f %9.2f %10.2f %10.2f %7.2f %7.2f%s\n", c.name, best[0].wall_seconds,
                    best[1].wall_seconds, best[0].cpu_seconds, best[1].cpu_seconds,
                    best[1].wall_seconds / best[0].wall_seconds,
                    best[1].cpu_seconds / best[0].cpu_seconds,
                    best[0].status == 0 && best[1].status == 0 ? "" : "  (a run failed)");
    }
    getloadavg(load, 3);
    std::printf("load average after: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
}

// The other converters against the batch: each case's GIFs, every frame
// composed as displayed, each frame its own file of the same format, zlib
// level, JPEG quality (4:4:4, as the batch's default) and resize.
struct Gif {
    std::string path; // absolute
    std::string stem;
    int frames = 0;
};

// The GIFs of a folder in name order, their frames counted by giflib.
std::vector<Gif> gifs_in(const std::string& folder) {
    std::vector<Gif> gifs;
    for (const auto& entry : fs::directory_iterator(folder)) {
        Gif g{fs::absolute(entry.path()).string(), entry.path().stem().string(), 0};
        int error = 0;
        if (GifFileType* gif = DGifOpenFileName(g.path.c_str(), &error)) {
            if (DGifSlurp(gif) == GIF_OK) {
                g.frames = gif->ImageCount;
            }
            DGifCloseFile(gif, &error);
        }
        gifs.push_back(g);
    }
    std::sort(gifs.begin(), gifs.end(), [](const Gif& a, const Gif& b) { return a.path < b.path; });
    return gifs;
}

struct PeerCase {
    const char* name;
    std::string folder;
    const char* ext = "png";          // or jpg
    int zlib = 0;                     // png: 0 (stored) or 6
    bool half = false;                // resized to 50 %
    bool alpha = false;               // png: frames with transparency, written RGBA (RGB otherwise)
    std::vector<std::string> options; // the batch's
};

// Whether any GIF has frames to compose.
bool animated(const std::vector<Gif>& gifs) {
    return std::any_of(gifs.begin(), gifs.end(), [](const Gif& g) { return g.frames > 1; });
}

using Command = std::vector<std::string>;
using Commands = std::vector<Command>;

void append(Command& args, std::initializer_list<std::string> more) {
    args.insert(args.end(), more);
}

// One output name: <stem>-<k>.<ext>, or <stem>.<ext> for a single frame.
std::string frame_name(const std::string& out, const Gif& g, int k, const char* ext) {
    return out + "/" + g.stem + (g.frames > 1 ? "-" + std::to_string(k) : "") + "." + ext;
}

struct Peer {
    const char* name;
    const char* exe;
    const char* cannot; // why the empty command list of a case it cannot do
    Commands (*commands)(const PeerCase&, const std::vector<Gif>&, const std::string& out);
};

const Peer kPeers[] = {
    // ImageMagick 6: one mogrify for the whole folder, as a batch is done
    // with it; -coalesce composes the frames, each written as <stem>-<k>.
    // png:color-type keeps it from writing palettes; png:compression-filter=1
    // gives unfiltered rows in this version; -quality 65 is level 6 with
    // adaptive filters.
    {"ImageMagick 6", "/usr/bin/mogrify-im6.q16", "",
     [](const PeerCase& c, const std::vector<Gif>& gifs, const std::string& out) {
         Command args = {"/usr/bin/mogrify-im6.q16", "-path", out, "-format", c.ext};
         if (animated(gifs)) {
             append(args, {"-coalesce"});
         }
         if (std::strcmp(c.ext, "png") == 0) {
             append(args, {"-define", c.alpha ? "png:color-type=6" : "png:color-type=2"});
             if (c.zlib == 0) {
                 append(args, {"-define", "png:compression-level=0", "-define",
                               "png:compression-filter=1"});
             } else {
                 append(args, {"-quality", std::to_string(c.zlib * 10 + 5)});
             }
         } else {
             append(args, {"-quality", "95", "-sampling-factor", "1x1"});
         }
         if (c.half) {
             append(args, {"-filter", "Mitchell", "-resize", "50%"});
         }
         for (const auto& g : gifs) {
             args.push_back(g.path);
         }
         return Commands{args};
     }},
    // GraphicsMagick: gm mogrify cannot compose frames, so one mogrify for a
    // folder of single frames (it writes <output>/<input path>) and one
    // gm convert per animation. Its least PNG compression is -quality 1
    // (level 0 is Huffman-only there, no stored blocks); -quality 65 is
    // level 6 with adaptive filters; -type keeps it from writing palettes.
    {"GraphicsMagick", "/usr/bin/gm", "",
     [](const PeerCase& c, const std::vector<Gif>& gifs, const std::string& out) {
         Command options;
         if (std::strcmp(c.ext, "png") == 0) {
             append(options, {"-quality", std::to_string(c.zlib == 0 ? 1 : c.zlib * 10 + 5),
                              "-type", c.alpha ? "TrueColorMatte" : "TrueColor"});
         } else {
             append(options, {"-quality", "95", "-sampling-factor", "1x1"});
         }
         if (c.half) {
             append(options, {"-filter", "Mitchell", "-resize", "50%"});
         }
         Commands commands;
         if (!animated(gifs)) {
             Command args = {
                 "/usr/bin/gm", "mogrify", "-create-directories", "-output-directory", out,
                 "-format",     c.ext};
             args.insert(args.end(), options.begin(), options.end());
             for (const auto& g : gifs) {
                 args.push_back(g.path);
             }
             return Commands{args};
         }
         for (const auto& g : gifs) {
             Command args = {"/usr/bin/gm", "convert", g.path, "-coalesce", "+adjoin"};
             args.insert(args.end(), options.begin(), options.end());
             args.push_back(out + "/" + g.stem + "-%d." + c.ext);
             commands.push_back(args);
         }
         return commands;
     }},
    // libvips: the command line takes one page a call ([n=-1] loads all
    // pages as one tall image), so one vips process per frame.
    {"libvips", "/usr/bin/vips", "",
     [](const PeerCase& c, const std::vector<Gif>& gifs, const std::string& out) {
         const std::string save =
             std::strcmp(c.ext, "png") == 0
                 ? "[compression=" + std::to_string(c.zlib) + (c.zlib ? ",filter=all]" : "]")
                 : "[Q=95,subsample_mode=off]";
         Commands commands;
         for (const auto& g : gifs) {
             for (int k = 0; k < g.frames; ++k) {
                 const std::string in =
                     g.path + (g.frames > 1 ? "[page=" + std::to_string(k) + "]" : "");
                 const std::string to = frame_name(out, g, k, c.ext) + save;
                 commands.push_back(c.half ? Command{"/usr/bin/vips", "resize", in, to, "0.5",
                                                     "--kernel", "mitchell"}
                                           : Command{"/usr/bin/vips", "copy", in, to});
             }
         }
         return commands;
     }},
    // ffmpeg: one process per GIF, every decoded frame kept
    // (-fps_mode passthrough), written as <stem>-<k>.png.
    {"ffmpeg", "/usr/bin/ffmpeg", "its JPEG encoder has no IJG quality scale",
     [](const PeerCase& c, const std::vector<Gif>& gifs, const std::string& out) {
         Commands commands;
         if (std::strcmp(c.ext, "png") != 0 || c.half) {
             return commands;
         }
         for (const auto& g : gifs) {
             commands.push_back({"/usr/bin/ffmpeg", "-nostdin", "-loglevel", "error", "-i", g.path,
                                 "-fps_mode", "passthrough", "-compression_level",
                                 std::to_string(c.zlib), "-pred", c.zlib ? "mixed" : "none",
                                 "-pix_fmt", c.alpha ? "rgba" : "rgb24",
                                 out + "/" + g.stem + "-%d.png"});
         }
         return commands;
     }},
};

std::size_t files_under(const std::string& folder) {
    std::size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        n += entry.is_regular_file() ? 1 : 0;
    }
    return n;
}

// Runs `commands` one after the other into a fresh `out`: the best of 3 by
// wall time (one run when it takes over kLongRun seconds: its noise is small
// next to its length), summed over the commands, and the files it wrote.
constexpr double kLongRun = 20;

Usage best_of_3(const Commands& commands, const std::string& out, std::size_t* outputs) {
    Usage best;
    for (int k = 0; k < 3; ++k) {
        fs::remove_all(out);
        fs::create_directories(out);
        Usage total;
        for (const auto& args : commands) {
            const Usage u = run_child(args);
            total.cpu_seconds += u.cpu_seconds;
            total.wall_seconds += u.wall_seconds;
            total.peak_kib = std::max(total.peak_kib, u.peak_kib);
            total.status = total.status != 0 ? total.status : u.status;
        }
        if (k == 0 || total.wall_seconds < best.wall_seconds) {
            best = total;
            *outputs = files_under(out);
        }
        if (total.wall_seconds > kLongRun) {
            break;
        }
    }
    return best;
}

// The batch (--jobs=1 and 2) against the other converters on the cases of
// the several-workers table and a resize; cpu / batch is the converter's
// processor time over the batch's with --jobs=1 (above 1: the batch needs
// less).
void peers_table(const std::string& work, const std::string& exe) {
    const pixlane::bench::Corpus corpus = pixlane::bench::make_corpus(work);
    const pixlane::bench::WorkerCorpus more = pixlane::bench::make_worker_corpus(work);
    const std::string zlib6 = "--png-compression=zlib6", none = "--png-compression=none";
    const std::string q95 = "--jpg-quality=95";
    const std::vector<PeerCase> cases = {
        {.name = "2000 tiny GIFs -> png", .folder = more.tiny, .ext = "png", .options = {none}},
        {.name = "one 783-frame GIF -> png (none)",
         .folder = more.long_animation,
         .ext = "png",
         .options = {none}},
        {.name = "one 783-frame GIF -> png (zlib 6)",
         .folder = more.long_animation,
         .ext = "png",
         .zlib = 6,
         .options = {zlib6}},
        {.name = "animations -> png (no compression)",
         .folder = corpus.animations,
         .ext = "png",
         .alpha = true,
         .options = {none}},
        {.name = "animations -> png (zlib 6)",
         .folder = corpus.animations,
         .ext = "png",
         .zlib = 6,
         .alpha = true,
         .options = {zlib6}},
        {.name = "animations -> jpg q95",
         .folder = corpus.animations,
         .ext = "jpg",
         .options = {q95}},
        {.name = "photos -> png (no compression)",
         .folder = corpus.photos,
         .ext = "png",
         .options = {none}},
        {.name = "photos -> jpg q95", .folder = corpus.photos, .ext = "jpg", .options = {q95}},
        {.name = "photos -> jpg q95, resized to 50 %",
         .folder = corpus.photos,
         .ext = "jpg",
         .half = true,
         .options = {q95, "--width=50", "--width-unit=percent", "--keep-aspect-ratio",
                     "--resize-algorithm=bicubic"}},
    };
    std::vector<const Peer*> peers;
    for (const auto& p : kPeers) {
        if (access(p.exe, X_OK) == 0) {
            peers.push_back(&p);
        } else {
            std::printf("%s: %s not installed, skipped (scripts/bench_deps.sh)\n", p.name, p.exe);
        }
    }
    const std::string out = work + "/out";
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("load average before: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    std::printf("%-36s %-18s %9s %9s %12s\n", "case", "program", "cpu s", "wall s", "cpu / batch");
    for (const auto& c : cases) {
        const std::vector<Gif> gifs = gifs_in(c.folder);
        std::size_t expected = 0;
        for (const auto& g : gifs) {
            expected += static_cast<std::size_t>(g.frames);
        }
        auto report = [&](const std::string& program, const Usage& u, std::size_t outputs,
                          double batch_cpu) {
            char ratio[16] = "";
            if (batch_cpu > 0) {
                std::snprintf(ratio, sizeof ratio, "%.2f", u.cpu_seconds / batch_cpu);
            }
            std::printf("%-36s %-18s %9.2f %9.2f %12s%s\n", c.name, program.c_str(), u.cpu_seconds,
                        u.wall_seconds, ratio, u.status == 0 ? "" : "  (a run failed)");
            if (outputs != expected) {
                std::printf("  warning: %s wrote %zu files, %zu frames expected\n", program.c_str(),
                            outputs, expected);
            }
        };
        double batch_cpu = 0;
        for (int jobs : {1, 2}) {
            Command args = {exe,      "-q",  "-i",
                            c.folder, "-o",  out,
                            "-c",     c.ext, "--jobs=" + std::to_string(jobs)};
            args.insert(args.end(), c.options.begin(), c.options.end());
            std::size_t outputs = 0;
            const Usage u = best_of_3({args}, out, &outputs);
            report("pixlane --jobs=" + std::to_string(jobs), u, outputs, 0);
            batch_cpu = jobs == 1 ? u.cpu_seconds : batch_cpu;
        }
        for (const Peer* p : peers) {
            const Commands commands = p->commands(c, gifs, out);
            if (commands.empty()) {
                std::printf("%-36s %-18s not run: %s\n", c.name, p->name, p->cannot);
                continue;
            }
            std::size_t outputs = 0;
            const Usage u = best_of_3(commands, out, &outputs);
            report(p->name, u, outputs, batch_cpu);
        }
    }
    getloadavg(load, 3);
    std::printf("load average after: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
}

} // namespace

int main(int argc, char** argv) {
    // build/bench/batch_bench --peers WORK [PIXLANE]: the batch against the
    // other converters.
    if (argc >= 3 && std::strcmp(argv[1], "--peers") == 0) {
        peers_table(argv[2], argc > 3 ? argv[3] : PIXLANE_EXE);
        return 0;
    }
    // build/bench/batch_bench --workers WORK [PIXLANE [OPTION…]]: the
    // several-workers table alone.
    if (argc >= 3 && std::strcmp(argv[1], "--workers") == 0) {
        workers_table(argv[2], argc > 3 ? argv[3] : PIXLANE_EXE,
                      std::vector<std::string>(argv + std::min(argc, 4), argv + argc));
        return 0;
    }
    if (argc == 6 &&
        (std::strcmp(argv[1], "--bare") == 0 || std::strcmp(argv[1], "--libpng") == 0)) {
        const int frames = bare_loop(argv[2], argv[3], argv[4], std::atoi(argv[5]),
                                     std::strcmp(argv[1], "--libpng") == 0);
        return frames > 0 ? 0 : 1;
    }
    if (argc == 6 && std::strcmp(argv[1], "--floor") == 0) {
        const int flags = std::atoi(argv[5]);
        const int level = (flags & 0x0F) != 0              ? flags & 0x0F
                          : (flags & PNG_Z_NO_COMPRESSION) ? 0
                                                           : 6;
        const int quality = (flags & 0x7F) != 0 ? flags & 0x7F : 75;
        const bool full_chroma = (flags & JPEG_SUBSAMPLING_444) != 0;
        const int frames =
            pixlane::bench::floor_loop(argv[2], argv[3], argv[4], level, quality, full_chroma);
        return frames > 0 ? 0 : 1;
    }
    const std::string work = argc > 1 ? argv[1] : "/tmp/pixlane-bench";
    const std::string reference = argc > 2 ? argv[2] : "";
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    const pixlane::bench::Corpus corpus = pixlane::bench::make_corpus(work);
    const std::string& anims = corpus.animations;
    const std::string& photos = corpus.photos;
    // The bare loop saves with the flag words the batch computes from the
    // same settings, so both encode the same files.
    pixlane::Settings defaults;
    pixlane::reset_to_defaults(defaults, pixlane::DefaultsForm::CommandLine, 0, 0, 0);
    pixlane::Settings zlib6 = defaults;
    zlib6.png_compression = 2;
    const int png_plain = pixlane::save_flags("png", defaults);
    const int png_zlib6 = pixlane::save_flags("png", zlib6);
    const int jpg_flags = pixlane::save_flags("jpg", defaults);
    struct Case {
        const char* name;
        const std::string* folder;
        int frames;
        const char* ext;
        int bare_flags;
        std::vector<std::string> options;
    };
    const std::string zlib6_option = "--png-compression=zlib6";
    const std::string palette_option = "--png-palette=exact";
    const std::vector<Case> cases = {
        {"animations -> png (no compression)", &anims, 720, "png", png_plain, {}},
        {"animations -> png (zlib 6)", &anims, 720, "png", png_zlib6, {zlib6_option}},
        {"animations -> png (none, palette)", &anims, 720, "png", png_plain, {palette_option}},
        {"animations -> png (zlib 6, palette)",
         &anims,
         720,
         "png",
         png_zlib6,
         {zlib6_option, palette_option}},
        {"animations -> jpg q95", &anims, 720, "jpg", jpg_flags, {}},
        {"photos -> png (no compression)", &photos, 60, "png", png_plain, {}},
        {"photos -> png (zlib 6)", &photos, 60, "png", png_zlib6, {zlib6_option}},
        {"photos -> png (none, palette)", &photos, 60, "png", png_plain, {palette_option}},
        {"photos -> png (zlib 6, palette)",
         &photos,
         60,
         "png",
         png_zlib6,
         {zlib6_option, palette_option}},
        {"photos -> jpg q95", &photos, 60, "jpg", jpg_flags, {}},
    };
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string out = work + "/out";
    // Runs one program with a fresh output folder, `repeats` times; the
    // run of least processor time and the bytes it wrote.
    auto measure = [&](const std::vector<std::string>& args, bool in_process, double* mib) {
        Usage best;
        for (int k = 0; k < repeats; ++k) {
            fs::remove_all(out);
            fs::create_directories(out);
            const Usage u = run_child(args, in_process);
            if (k == 0 || u.cpu_seconds < best.cpu_seconds) {
                best = u;
            }
        }
        if (mib) {
            *mib = folder_mib(out);
        }
        return best;
    };
    // bare: FreeImage's writer; libpng: the plain libpng loop (png only);
    // ratio: bare / batch, libpng: libpng loop / batch (above 1: the batch
    // needs less processor time); in-proc: supervised batch / in-process
    // batch; out: MiB written; ref: reference / batch.
    std::printf("%-37s %8s %8s %8s %8s %8s %8s %7s %6s %6s %7s %8s %7s %6s %8s %7s\n", "case",
                "bare s", "libpng s", "batch s", "batch/s", "bare MiB", "batch MB", "out MiB",
                "ratio", "libpng", "in-proc", "ref s", "ref out", "ref", "floor s", "x floor");
    for (const auto& c : cases) {
        const std::string flags = std::to_string(c.bare_flags);
        const Usage bare = measure({self, "--bare", *c.folder, out, c.ext, flags}, false, nullptr);
        const bool png = std::strcmp(c.ext, "png") == 0;
        const Usage libpng =
            png ? measure({self, "--libpng", *c.folder, out, c.ext, flags}, false, nullptr)
                : Usage{};
        std::vector<std::string> args = {PIXLANE_EXE, "-q", "-i",  *c.folder, "-o",
                                         out,         "-c", c.ext, "--jobs=1"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        double batch_out = 0;
        const Usage batch = measure(args, false, &batch_out);
        const Usage local = measure(args, true, nullptr);
        const Usage floor =
            measure({self, "--floor", *c.folder, out, c.ext, flags}, false, nullptr);
        Usage ref;
        double ref_out = 0;
        if (!reference.empty()) {
            args[0] = reference;
            ref = measure(args, false, &ref_out);
        }
        std::printf("%-37s %8.2f %8.2f %8.2f %8.1f %8.1f %8.1f %7.1f %6.2f %6.2f %7.3f %8.2f %7.1f "
                    "%6.2f %8.2f %7.2f%s\n",
                    c.name, bare.cpu_seconds, libpng.cpu_seconds, batch.cpu_seconds,
                    c.frames / batch.cpu_seconds, bare.peak_kib / 1024.0, batch.peak_kib / 1024.0,
                    batch_out, bare.cpu_seconds / batch.cpu_seconds,
                    png ? libpng.cpu_seconds / batch.cpu_seconds : 0.0,
                    batch.cpu_seconds / local.cpu_seconds, ref.cpu_seconds, ref_out,
                    ref.cpu_seconds / batch.cpu_seconds, floor.cpu_seconds,
                    batch.cpu_seconds / floor.cpu_seconds,
                    batch.status == 0 && local.status == 0 && ref.status == 0 && floor.status == 0
                        ? ""
                        : "  (a run failed)");
    }
    // Several workers: wall time and processor time of --jobs=2 against
    // --jobs=1 (best of 3 each), outputs identical by construction.
    std::printf("\n%-36s %9s %9s %10s %10s %7s %7s\n", "case", "1 wall s", "2 wall s", "1 cpu s",
                "2 cpu s", "wall", "cpu");
    for (const auto& c : cases) {
        if (!c.options.empty()) {
            continue;
        }
        Usage best[2];
        for (int jobs : {1, 2}) {
            for (int k = 0; k < 3; ++k) {
                fs::remove_all(out);
                fs::create_directories(out);
                const Usage u = run_child({PIXLANE_EXE, "-q", "-i", *c.folder, "-o", out, "-c",
                                           c.ext, "--jobs=" + std::to_string(jobs)});
                if (k == 0 || u.wall_seconds < best[jobs - 1].wall_seconds) {
                    best[jobs - 1] = u;
                }
            }
        }
        std::printf("%-36s %9.2f %9.2f %10.2f %10.2f %7.2f %7.2f\n", c.name, best[0].wall_seconds,
                    best[1].wall_seconds, best[0].cpu_seconds, best[1].cpu_seconds,
                    best[1].wall_seconds / best[0].wall_seconds,
                    best[1].cpu_seconds / best[0].cpu_seconds);
    }
    // Start-up: the processor time of "pixlane -v", best of 20.
    double best = 1e9;
    for (int i = 0; i < 20; ++i) {
        best = std::min(best, run_child({PIXLANE_EXE, "-v"}).cpu_seconds);
    }
    std::printf("start-up (pixlane -v): %.1f ms of processor time (best of 20)\n", best * 1000);
    return 0;
}
