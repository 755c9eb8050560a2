// Loading time of a screen-recording-like animation: a full first frame on
// a 640x420 screen followed by many tiny partial updates. Every frame should
// cost about the same, so the total grows linearly with the frame count.
//
//   build/bench/gif_load_bench [frames...]          composed by the loader
//   build/bench/gif_load_bench --playback [frames]  FreeImage's own playback, for comparison
#include <FreeImage.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "gif_writer/gif_writer.h"
#include "pipeline/gif_load.h"

using namespace pixlane;
using namespace pixlane::test;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 420;

std::string recording(int frames) {
    GifSpec s;
    s.width = kWidth;
    s.height = kHeight;
    s.global_palette = test_palette(256);
    s.loop = true;
    GifFrame first = solid_frame(0, 0, kWidth, kHeight, 0);
    for (std::size_t i = 0; i < first.indices.size(); ++i) {
        first.indices[i] = static_cast<std::uint8_t>((i / 37 + i / kWidth) % 256);
    }
    first.disposal = 1;
    s.frames.push_back(first);
    for (int k = 1; k < frames; ++k) {
        // A cursor-sized change somewhere on the screen, as a recorder writes it.
        const int w = 8 + k % 17;
        const int h = 6 + k % 11;
        GifFrame f = solid_frame((k * 37) % (kWidth - w), (k * 53) % (kHeight - h), w, h, 0);
        for (std::size_t i = 0; i < f.indices.size(); ++i) {
            f.indices[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(k)) % 256);
        }
        f.disposal = 1;
        f.transparent = (k % 3 == 0) ? 255 : -1;
        s.frames.push_back(f);
    }
    return encode_gif(s);
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double compose_all(const std::string& bytes, int frames) {
    const auto start = std::chrono::steady_clock::now();
    GifAnimation gif;
    if (!gif.open_bytes(bytes) || gif.frame_count() != frames) {
        std::fprintf(stderr, "open failed\n");
        std::exit(1);
    }
    for (int i = 0; i < frames; ++i) {
        if (!gif.frame(i)) {
            std::fprintf(stderr, "frame %d failed\n", i);
            std::exit(1);
        }
    }
    return seconds_since(start);
}

double playback_all(const std::string& bytes, int frames) {
    const std::string path = "/tmp/pixlane_bench_playback.gif";
    std::ofstream(path, std::ios::binary) << bytes;
    const auto start = std::chrono::steady_clock::now();
    FIMULTIBITMAP* multi =
        FreeImage_OpenMultiBitmap(FIF_GIF, path.c_str(), FALSE, TRUE, TRUE, GIF_PLAYBACK);
    for (int i = 0; multi && i < frames; ++i) {
        FIBITMAP* page = FreeImage_LockPage(multi, i);
        if (page) {
            FreeImage_UnlockPage(multi, page, FALSE);
        }
    }
    if (multi) {
        FreeImage_CloseMultiBitmap(multi, 0);
    }
    std::remove(path.c_str());
    return seconds_since(start);
}

} // namespace

int main(int argc, char** argv) {
    bool playback = false;
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--playback") == 0) {
            playback = true;
        } else {
            counts.push_back(std::atoi(argv[i]));
        }
    }
    if (counts.empty()) {
        counts = {200, 400, 783, 1566};
    }
    for (int frames : counts) {
        const std::string bytes = recording(frames);
        const double t = playback ? playback_all(bytes, frames) : compose_all(bytes, frames);
        std::printf("%s %5d frames, %8zu bytes: %.3f s (%.2f ms a frame)\n",
                    playback ? "playback" : "composed", frames, bytes.size(), t,
                    1000.0 * t / frames);
    }
    return 0;
}
