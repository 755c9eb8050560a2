// Times animated outputs against the usual tools, and compares the bytes:
//   build/bench/animated_bench [work-folder [repeats]]
// Two sets of GIFs: the benchmark corpus's 60 animations (320x240, 12
// frames, mixed disposal, transparency, partial frames) and 8 "screen
// recordings" (480x360, 120 frames, a window with a moving cursor and text
// typed line by line: many frames, small changes). Each set becomes one
// animated file per input with
//   webp  pixlane --animated (lossless, and lossy at 75) | gif2webp (-lossy -q 75) |
//         ImageMagick convert (webp:lossless, -quality 75)
//   gif   pixlane --animated | gifsicle -O2 | ImageMagick convert -layers optimize
//   png   pixlane --animated (APNG, zlib 6)
// Every program runs in a child process, one at a time (pixlane with
// --jobs=1, once per set; the others once per file); figures are processor
// seconds (user + system, the whole process tree) and the bytes of all
// outputs. With repeats above 1 each time is the best of that many runs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "corpus.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Processor seconds of a child and the children it waited for; -1 when it
// failed.
double run_child(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const bool spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!spawned) {
        return -1;
    }
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// A screen recording: a grey desktop, a window, text typed into it one
// character a frame, a cursor that moves.
pixlane::test::GifSpec recording(int n) {
    using pixlane::test::GifFrame;
    constexpr int kW = 480, kH = 360, kFrames = 120;
    pixlane::test::GifSpec s;
    s.width = kW;
    s.height = kH;
    s.global_palette = pixlane::test::test_palette(32);
    s.loop = true;
    GifFrame base = pixlane::test::solid_frame(0, 0, kW, kH, 3);
    for (int y = 40; y < 320; ++y) {
        for (int x = 40 + n * 4; x < 440; ++x) {
            base.indices[static_cast<std::size_t>(y * kW + x)] = y < 60 ? 9 : 31;
        }
    }
    base.delay = 4;
    s.frames.push_back(base);
    for (int k = 1; k < kFrames; ++k) {
        // One character: a 6x10 glyph of pseudo-random strokes.
        const int line = k / 40, column = k % 40;
        GifFrame f = pixlane::test::solid_frame(60 + column * 9, 70 + line * 16, 6, 10, 31);
        for (std::size_t i = 0; i < f.indices.size(); ++i) {
            f.indices[i] = ((i * 7 + static_cast<std::size_t>(k * 13)) % 5 == 0) ? 0 : 31;
        }
        f.disposal = 1;
        f.delay = 4 + k % 3;
        s.frames.push_back(f);
    }
    return s;
}

std::vector<std::string> gifs_in(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().extension() == ".gif") {
            out.push_back(e.path().string());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::uintmax_t bytes_in(const std::string& folder) {
    std::uintmax_t total = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        total += e.file_size();
    }
    return total;
}

struct Case {
    std::string name;
    std::string ext;
    // The whole set into `out`: processor seconds, -1 on failure.
    std::function<double(const std::vector<std::string>& inputs, const std::string& folder,
                         const std::string& out)>
        run;
};

// A tool once per file: `args` with IN and OUT replaced.
Case per_file(std::string name, std::string ext, std::vector<std::string> args) {
    return {std::move(name), ext,
            [args, ext](const std::vector<std::string>& inputs, const std::string&,
                        const std::string& out) {
                double total = 0;
                for (const auto& in : inputs) {
                    std::vector<std::string> a = args;
                    for (auto& s : a) {
                        if (s == "IN") {
                            s = in;
                        } else if (s == "OUT") {
                            s = out + "/" + fs::path(in).stem().string() + "." + ext;
                        } else if (s == "WEBP:OUT") {
                            s = "webp:" + out + "/" + fs::path(in).stem().string() + "." + ext;
                        }
                    }
                    const double t = run_child(a);
                    if (t < 0) {
                        return -1.0;
                    }
                    total += t;
                }
                return total;
            }};
}

Case pixlane_case(std::string name, std::string ext, std::vector<std::string> extra) {
    return {std::move(name), ext,
            [ext, extra](const std::vector<std::string>&, const std::string& folder,
                         const std::string& out) {
                std::vector<std::string> a = {PIXLANE_EXE, "-i", folder,       "-o",       out,
                                              "-c",        ext,  "--animated", "--jobs=1", "-q"};
                a.insert(a.end(), extra.begin(), extra.end());
                return run_child(a);
            }};
}

} // namespace

int main(int argc, char** argv) {
    const std::string work = argc > 1 ? argv[1] : "/tmp/pixlane-bench";
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    const auto corpus = pixlane::bench::make_corpus(work);
    const std::string recordings = work + "/recordings";
    fs::create_directories(recordings);
    if (fs::is_empty(recordings)) {
        for (int n = 0; n < 8; ++n) {
            std::ofstream(recordings + "/rec" + std::to_string(n) + ".gif",
                          std::ios::binary | std::ios::trunc)
                << pixlane::test::encode_gif(recording(n));
        }
    }
    const std::vector<Case> cases = {
        pixlane_case("pixlane webp lossless", "webp", {"--webp-quality=100"}),
        per_file("gif2webp lossless", "webp", {"/usr/bin/gif2webp", "-quiet", "IN", "-o", "OUT"}),
        per_file("ImageMagick webp lossless", "webp",
                 {"/usr/bin/convert", "IN", "-define", "webp:lossless=true", "WEBP:OUT"}),
        pixlane_case("pixlane webp q75", "webp", {"--webp-quality=75"}),
        per_file("gif2webp -lossy q75", "webp",
                 {"/usr/bin/gif2webp", "-quiet", "-lossy", "-q", "75", "IN", "-o", "OUT"}),
        per_file("ImageMagick webp q75", "webp",
                 {"/usr/bin/convert", "IN", "-quality", "75", "WEBP:OUT"}),
        pixlane_case("pixlane gif", "gif", {}),
        per_file("gifsicle -O2", "gif", {"/usr/bin/gifsicle", "-O2", "IN", "-o", "OUT"}),
        per_file("ImageMagick gif -layers optimize", "gif",
                 {"/usr/bin/convert", "IN", "-layers", "optimize", "OUT"}),
        pixlane_case("pixlane png (APNG, zlib 6)", "png", {"--png-compression=zlib6"}),
    };
    std::printf("| set | program | cpu s | KiB | bytes vs input |\n|---|---|---|---|---|\n");
    for (const auto& [set, folder] :
         {std::pair<std::string, std::string>{"animations", corpus.animations},
          std::pair<std::string, std::string>{"recordings", recordings}}) {
        const auto inputs = gifs_in(folder);
        const double input_bytes = static_cast<double>(bytes_in(folder));
        for (const Case& c : cases) {
            const std::string out = work + "/out-animated";
            double best = -1;
            for (int r = 0; r < repeats; ++r) {
                fs::remove_all(out);
                fs::create_directories(out);
                const double t = c.run(inputs, folder, out);
                if (t >= 0 && (best < 0 || t < best)) {
                    best = t;
                }
            }
            const double bytes = static_cast<double>(bytes_in(out));
            if (best < 0) {
                std::printf("| %s | %s | failed | | |\n", set.c_str(), c.name.c_str());
            } else {
                std::printf("| %s | %s | %.2f | %.0f | %.2f |\n", set.c_str(), c.name.c_str(), best,
                            bytes / 1024.0, bytes / input_bytes);
            }
            std::fflush(stdout);
        }
    }
    return 0;
}
