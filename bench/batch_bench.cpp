// Times the console batch against a bare loop that makes the library's own
// playback calls and saves each frame, on a deterministic corpus:
//   build/bench/batch_bench [work-folder]
// 60 animated GIFs 320x240 with 12 frames (mixed disposal, transparency,
// partial frames) and 60 single-frame 1024x768 photo-like GIFs. Reports
// processor seconds (user + system), frames per second and peak memory.
// Both sides run in child processes, one at a time, so their figures are
// measured the same way; the batch runs supervised (its default) and in
// process (PIXLANE_IN_PROCESS=1) to show what the supervision costs.
#include <FreeImage.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pipeline/save.h"
#include "settings/settings.h"
#include "support/gif_writer.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace pixlane::test;

namespace {

std::uint32_t g_seed = 12345;
std::uint32_t next_random() {
    g_seed = g_seed * 1664525u + 1013904223u;
    return g_seed >> 8;
}

GifSpec animation(int n) {
    GifSpec s;
    s.width = 320;
    s.height = 240;
    s.global_palette = test_palette(64);
    s.loop = true;
    GifFrame base = solid_frame(0, 0, 320, 240, 0);
    for (int y = 0; y < 240; ++y) {
        for (int x = 0; x < 320; ++x) {
            base.indices[static_cast<std::size_t>(y * 320 + x)] =
                static_cast<std::uint8_t>(((x / 8 + y / 6 + n) % 60) + 2);
        }
    }
    base.disposal = 1;
    s.frames.push_back(base);
    for (int k = 1; k < 12; ++k) {
        const int w = 40 + static_cast<int>(next_random() % 200);
        const int h = 30 + static_cast<int>(next_random() % 150);
        const int left = static_cast<int>(next_random() % static_cast<unsigned>(320 - w));
        const int top = static_cast<int>(next_random() % static_cast<unsigned>(240 - h));
        GifFrame f = solid_frame(left, top, w, h, 0);
        for (std::size_t i = 0; i < f.indices.size(); ++i) {
            f.indices[i] = static_cast<std::uint8_t>((i / 7 + static_cast<std::size_t>(k)) % 63 + 1);
        }
        f.disposal = 1 + k % 3;
        if (k % 2) {
            f.transparent = 1;
            for (std::size_t i = 0; i < f.indices.size(); i += 5) {
                f.indices[i] = 1;
            }
        }
        s.frames.push_back(f);
    }
    return s;
}

GifSpec photo(int n) {
    GifSpec s;
    s.width = 1024;
    s.height = 768;
    for (int i = 0; i < 256; ++i) {
        const unsigned r = static_cast<unsigned>(i);
        const unsigned g = static_cast<unsigned>((i * 3 + n * 7) % 256);
        const unsigned b = static_cast<unsigned>(255 - i);
        s.global_palette.push_back((r << 16) | (g << 8) | b);
    }
    GifFrame f = solid_frame(0, 0, 1024, 768, 0);
    for (int y = 0; y < 768; ++y) {
        for (int x = 0; x < 1024; ++x) {
            const double v = 128 + 60 * std::sin((x + n * 13) / 90.0) + 50 * std::cos(y / 70.0) +
                             static_cast<double>(next_random() % 17);
            f.indices[static_cast<std::size_t>(y * 1024 + x)] =
                static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
        }
    }
    s.frames = {f};
    return s;
}

void write(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

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
    u.wall_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    u.cpu_seconds = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                    static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    u.peak_kib = ru.ru_maxrss;
    u.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return u;
}

// The bare loop: for every GIF, open it with playback and save each page.
int bare_loop(const std::string& folder, const std::string& out, const std::string& ext,
              int flags) {
    const FREE_IMAGE_FORMAT fif = ext == "png" ? FIF_PNG : FIF_JPEG;
    int frames = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        FIMULTIBITMAP* multi = FreeImage_OpenMultiBitmap(FIF_GIF, entry.path().c_str(), FALSE,
                                                         TRUE, TRUE, GIF_PLAYBACK);
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
            const std::string name = out + "/" + entry.path().stem().string() + "[" +
                                     std::to_string(p + 1) + "]." + ext;
            FreeImage_Save(fif, saved, name.c_str(), flags);
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

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--bare") == 0) {
        const int frames = bare_loop(argv[2], argv[3], argv[4], std::atoi(argv[5]));
        return frames > 0 ? 0 : 1;
    }
    const std::string work = argc > 1 ? argv[1] : "/tmp/pixlane-bench";
    const std::string anims = work + "/animations", photos = work + "/photos";
    fs::create_directories(anims);
    fs::create_directories(photos);
    if (fs::is_empty(anims)) {
        for (int n = 0; n < 60; ++n) {
            write(anims + "/anim" + std::to_string(n) + ".gif", encode_gif(animation(n)));
        }
        for (int n = 0; n < 60; ++n) {
            write(photos + "/photo" + std::to_string(n) + ".gif", encode_gif(photo(n)));
        }
    }
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
    const std::vector<Case> cases = {
        {"animations -> png (no compression)", &anims, 720, "png", png_plain, {}},
        {"animations -> png (zlib 6)", &anims, 720, "png", png_zlib6, {"--png-compression=zlib6"}},
        {"animations -> jpg q95", &anims, 720, "jpg", jpg_flags, {}},
        {"photos -> png (no compression)", &photos, 60, "png", png_plain, {}},
        {"photos -> png (zlib 6)", &photos, 60, "png", png_zlib6, {"--png-compression=zlib6"}},
        {"photos -> jpg q95", &photos, 60, "jpg", jpg_flags, {}},
    };
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string out = work + "/out";
    std::printf("%-36s %10s %9s %8s %11s %9s %9s %6s %11s %8s\n", "case", "bare cpu s", "bare f/s",
                "bare MiB", "batch cpu s", "batch f/s", "batch MiB", "ratio", "in-proc cpu",
                "in-proc");
    for (const auto& c : cases) {
        fs::remove_all(out);
        fs::create_directories(out);
        const Usage bare = run_child({self, "--bare", *c.folder, out, c.ext, std::to_string(c.bare_flags)});
        fs::remove_all(out);
        fs::create_directories(out);
        std::vector<std::string> args = {PIXLANE_EXE, "-q", "-i", *c.folder, "-o", out, "-c", c.ext,
                                         "--jobs=1"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Usage batch = run_child(args);
        fs::remove_all(out);
        fs::create_directories(out);
        const Usage local = run_child(args, true);
        // ratio: bare loop / supervised batch (above 1: the batch is faster);
        // in-proc: the supervised batch's processor time / the in-process one's.
        std::printf("%-36s %10.2f %9.1f %8.1f %11.2f %9.1f %9.1f %6.2f %11.2f %8.3f%s\n", c.name,
                    bare.cpu_seconds, c.frames / bare.cpu_seconds, bare.peak_kib / 1024.0,
                    batch.cpu_seconds, c.frames / batch.cpu_seconds, batch.peak_kib / 1024.0,
                    bare.cpu_seconds / batch.cpu_seconds, local.cpu_seconds,
                    batch.cpu_seconds / local.cpu_seconds,
                    batch.status == 0 && local.status == 0 ? "" : "  (a run failed)");
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
                const Usage u = run_child({PIXLANE_EXE, "-q", "-i", *c.folder, "-o", out, "-c", c.ext,
                                           "--jobs=" + std::to_string(jobs)});
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
