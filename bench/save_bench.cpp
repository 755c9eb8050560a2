// Time per frame of the end of a file's conversion (depth conversion and
// save) for every output format, on a 320 x 240 frame as the GIF loader
// delivers it (32-bit). With --limits it instead lists, per format and
// depth, the picture sizes and option values the writers refuse.
//
//   save_bench [repeats]   default 20 frames per format
//   save_bench --limits
#include <FreeImage.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/catalogue.h"
#include "pipeline/save.h"
#include "platform/platform.h"

using namespace pixlane;

namespace {

Bitmap make_frame(int width, int height) {
    Bitmap b = adopt(FreeImage_Allocate(width, height, 32));
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(b.get(), y);
        for (int x = 0; x < width; ++x) {
            row[4 * x + FI_RGBA_BLUE] = static_cast<BYTE>(x + y);
            row[4 * x + FI_RGBA_GREEN] = static_cast<BYTE>(x * 2 - y);
            row[4 * x + FI_RGBA_RED] = static_cast<BYTE>((x ^ y) * 3);
            row[4 * x + FI_RGBA_ALPHA] = 255;
        }
    }
    return b;
}

std::string temporary_folder() {
    const char* base = std::getenv("TMPDIR");
    std::string folder = std::string(base && *base ? base : "/tmp") + "/pixlane-bench-XXXXXX";
    return ::mkdtemp(folder.data()) ? folder + "/" : std::string{};
}

double ms_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Converts and saves one frame; true when it was saved.
bool save_one(const Bitmap& frame, std::string_view ext, int depth, const Settings& s,
              const std::string& path, double* convert_ms = nullptr, double* save_ms = nullptr) {
    BatchPlan plan;
    set_batch_output(plan, ext, s);
    plan.output_depth = depth;
    plan.automatic_depth = depth == 0;
    FrameFacts facts;
    facts.source_depth = bpp_of(frame);
    auto start = std::chrono::steady_clock::now();
    Bitmap b = adopt(FreeImage_Clone(frame.get()));
    if (ext == "ico" && (width_of(b) > 128 || height_of(b) > 128)) { // the icon size limit
        b = adopt(FreeImage_Rescale(b.get(), 128, 128, FILTER_BICUBIC));
    }
    b = fit_icon(std::move(b), plan);
    b = convert_depth(std::move(b), plan, facts);
    if (convert_ms) {
        *convert_ms += ms_since(start);
    }
    start = std::chrono::steady_clock::now();
    const bool saved = save_frame(b, s, plan, path).status == FrameStatus::Converted;
    if (save_ms) {
        *save_ms += ms_since(start);
    }
    return saved;
}

int time_formats(int repeats) {
    const std::string folder = temporary_folder();
    const Bitmap frame = make_frame(320, 240);
    const Settings s;
    std::printf("%-5s %5s %12s %12s %10s\n", "ext", "depth", "convert ms", "save ms", "bytes");
    for (const OutputFormat& f : output_catalogue()) {
        const std::string path = folder + "frame." + std::string(f.extension);
        BatchPlan probe;
        set_batch_output(probe, f.extension, s);
        const int depth = automatic_depth(f.extension, 32);
        double convert_ms = 0;
        double save_ms = 0;
        save_one(frame, f.extension, depth, s, path); // warm-up (DevIL start, plug-in tables)
        bool all_saved = true;
        for (int k = 0; k < repeats; ++k) {
            all_saved =
                save_one(frame, f.extension, depth, s, path, &convert_ms, &save_ms) && all_saved;
        }
        std::printf("%-5s %5d %12.3f %12.3f %10lld%s\n", std::string(f.extension).c_str(), depth,
                    convert_ms / repeats, save_ms / repeats,
                    static_cast<long long>(platform::file_size(path)), all_saved ? "" : "  FAILED");
        platform::remove_file(path);
    }
    return 0;
}

struct OptionSweep {
    const char* ext;
    const char* name;
    int Settings::*field;
    int first, last;
};

int list_limits() {
    const std::string folder = temporary_folder();
    const Settings defaults;
    const int sides[] = {1, 2, 3, 4, 7, 8, 15, 16, 17, 31, 32, 33};
    std::printf("Sizes refused (width x height), every allowed depth, default options:\n");
    for (const OutputFormat& f : output_catalogue()) {
        for (int depth : allowed_depths(f.extension)) {
            std::string refused;
            int count = 0;
            for (int w : sides) {
                for (int h : sides) {
                    const std::string path = folder + "size." + std::string(f.extension);
                    if (!save_one(make_frame(w, h), f.extension, depth, defaults, path)) {
                        if (count++ < 6) {
                            refused += " ";
                            refused += std::to_string(w);
                            refused += "x";
                            refused += std::to_string(h);
                        }
                    }
                    platform::remove_file(path);
                }
            }
            if (count > 0) {
                std::printf("  %-5s %2d: %d of %zu refused:%s%s\n",
                            std::string(f.extension).c_str(), depth, count,
                            std::size(sides) * std::size(sides), refused.c_str(),
                            count > 6 ? " ..." : "");
            }
        }
    }

    const OptionSweep sweeps[] = {
        {"bmp", "BMP Compression", &Settings::bmp_compression, 0, 1},
        {"exr", "EXR Compression", &Settings::exr_compression, 0, 4},
        {"jpg", "JPG Chroma", &Settings::jpg_chroma, 0, 3},
        {"jpg", "JPG Save As", &Settings::jpg_save_as, 0, 3},
        {"png", "PNG Compression", &Settings::png_compression, 0, 3},
        {"tga", "TGA Compression", &Settings::tga_compression, 0, 1},
        {"tiff", "TIFF Compression", &Settings::tiff_compression, 0, 8},
        {"tiff", "TIFF Color Mode", &Settings::tiff_color_mode, 0, 1},
    };
    std::printf("Option values at 64 x 48 that fail (format, option = value: depths):\n");
    const Bitmap frame = make_frame(64, 48);
    for (const OptionSweep& sweep : sweeps) {
        for (int value = sweep.first; value <= sweep.last; ++value) {
            Settings s;
            s.*sweep.field = value;
            std::string refused;
            std::string unreadable;
            for (int depth : allowed_depths(sweep.ext)) {
                const std::string path = folder + "option." + sweep.ext;
                if (!save_one(frame, sweep.ext, depth, s, path)) {
                    refused += " ";
                    refused += std::to_string(depth);
                } else if (Bitmap back = adopt(FreeImage_Load(
                               FreeImage_GetFIFFromFilename(path.c_str()), path.c_str(), 0));
                           !back || bpp_of(back) != depth) {
                    unreadable += " ";
                    unreadable += std::to_string(depth);
                    unreadable +=
                        back ? " (reads as " + std::to_string(bpp_of(back)) + ")" : " (unreadable)";
                }
                platform::remove_file(path);
            }
            if (!refused.empty()) {
                std::printf("  %-5s %s = %d: refused%s\n", sweep.ext, sweep.name, value,
                            refused.c_str());
            }
            if (!unreadable.empty()) {
                std::printf("  %-5s %s = %d: written, FreeImage reads back otherwise:%s\n",
                            sweep.ext, sweep.name, value, unreadable.c_str());
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    FreeImage_SetOutputMessage([](FREE_IMAGE_FORMAT, const char*) {});
    if (argc > 1 && std::strcmp(argv[1], "--limits") == 0) {
        return list_limits();
    }
    return time_formats(argc > 1 ? std::max(1, std::atoi(argv[1])) : 20);
}
