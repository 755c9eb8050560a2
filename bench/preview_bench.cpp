// The preview round trip of a 640×480 frame: the request to the supervised
// worker process, the steps, the encoder in memory, the decode back and the
// pixels home, as the Preview window waits for it. Also the same preview in
// this process, to show what the process boundary costs.
//
//   preview_bench [rounds]
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "gif_writer/gif_writer.h"
#include "pipeline/save.h"
#include "run/preview.h"

namespace {

using namespace pixlane;
using Steady = std::chrono::steady_clock;

std::string animation(int width, int height, int frames) {
    test::GifSpec s;
    s.width = width;
    s.height = height;
    s.global_palette = test::test_palette(256);
    for (int k = 0; k < frames; ++k) {
        test::GifFrame f = test::solid_frame(0, 0, width, height, 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                f.indices[static_cast<std::size_t>(y * width + x)] =
                    static_cast<std::uint8_t>((x / 3 + y / 2 + k * 17 + (x * y) % 7) % 256);
            }
        }
        s.frames.push_back(std::move(f));
    }
    return test::encode_gif(s);
}

struct Times {
    std::vector<double> ms;
    void print(const char* what) {
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double v : ms) {
            sum += v;
        }
        std::printf("%-36s median %7.1f ms  mean %7.1f ms  max %7.1f ms  (%zu rounds)\n", what,
                    ms[ms.size() / 2], sum / static_cast<double>(ms.size()), ms.back(), ms.size());
    }
};

double since(Steady::time_point start) {
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    constexpr int kFrames = 4;
    const auto folder = std::filesystem::temp_directory_path() / "pixlane_preview_bench";
    std::filesystem::create_directories(folder);
    const std::string input = (folder / "frame640.gif").string();
    std::ofstream(input, std::ios::binary) << animation(640, 480, kFrames);

    struct Format {
        const char* ext;
        const char* label;
    };
    for (const Format& format : {Format{"png", "png (32-bit)"}, Format{"jpg", "jpg (quality 95)"},
                                 Format{"bmp", "bmp (24-bit)"}}) {
        PreviewRequest request;
        request.settings.gif_frame_loading = 0;
        request.settings.png_bpp = 32;
        request.plan.output_folder = folder.string() + "/";
        set_batch_output(request.plan, format.ext, request.settings);
        request.task.input_path = input;

        Times local;
        for (int k = 0; k < rounds; ++k) {
            request.frame = k % kFrames;
            const auto start = Steady::now();
            const Preview p = make_preview(request, nullptr);
            local.ms.push_back(since(start));
            if (!p.error.empty()) {
                std::fprintf(stderr, "preview failed: %s\n", p.error.c_str());
                return 1;
            }
        }

        std::mutex lock;
        std::condition_variable changed;
        std::uint64_t answered = 0;
        std::string error;
        PreviewService service(WorkerLimits{}, PIXLANE_EXE, [&](std::uint64_t id, Preview p) {
            std::lock_guard guard(lock);
            answered = id;
            error = p.error;
            changed.notify_all();
        });
        auto round_trip = [&](int frame) {
            request.frame = frame;
            const auto start = Steady::now();
            const std::uint64_t id = service.request(request);
            std::unique_lock guard(lock);
            changed.wait(guard, [&] { return answered == id; });
            return since(start);
        };
        const double first = round_trip(0); // the worker process starts
        Times worker;
        for (int k = 0; k < rounds; ++k) {
            worker.ms.push_back(round_trip(k % kFrames));
        }
        if (!error.empty()) {
            std::fprintf(stderr, "preview failed: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s, 640x480 frame\n", format.label);
        std::printf("  first request (worker starts)       %7.1f ms\n", first);
        worker.print("  round trip through the worker");
        local.print("  the same in this process");
    }
    std::filesystem::remove_all(folder);
    return 0;
}
