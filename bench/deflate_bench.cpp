// zlib against libdeflate on the compression PNG encoding spends its time
// in: the frames of the benchmark corpus composed in memory, their rows as
// the PNG writer lays them out (RGB for opaque frames, RGBA otherwise), each
// row filtered with none, sub or Paeth (the smallest sum of absolute
// values, libpng's heuristic), then the whole image data compressed as one
// zlib stream at the same level by zlib (the filtered strategy, as the
// writer sets it) and by libdeflate. Processor ms per frame (best of the
// passes) and MiB of all streams:
//   build/bench/deflate_bench [work-folder [repeats]]
#include <libdeflate.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "corpus.h"
#include "pipeline/gif_load.h"
#include "pipeline/opacity.h"

using namespace pixlane;
using bench::cpu_seconds;
namespace fs = std::filesystem;

namespace {

int paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The filtered image data of a composed 32-bit frame.
std::vector<std::uint8_t> filtered(FIBITMAP* frame) {
    const int w = static_cast<int>(FreeImage_GetWidth(frame));
    const int h = static_cast<int>(FreeImage_GetHeight(frame));
    const int channels = known_opacity(frame) == Opacity::Opaque ? 3 : 4;
    const std::size_t row_bytes = static_cast<std::size_t>(w) * channels;
    std::vector<std::uint8_t> prior(row_bytes, 0), row(row_bytes), out;
    std::vector<std::uint8_t> trial[3];
    for (auto& t : trial) {
        t.resize(row_bytes);
    }
    for (int y = 0; y < h; ++y) {
        const BYTE* src = FreeImage_GetScanLine(frame, h - 1 - y);
        for (int x = 0; x < w; ++x) {
            row[x * channels] = src[4 * x + 2];
            row[x * channels + 1] = src[4 * x + 1];
            row[x * channels + 2] = src[4 * x];
            if (channels == 4) {
                row[x * channels + 3] = src[4 * x + 3];
            }
        }
        long best_sum = -1;
        int best = 0;
        const int filters[3] = {0, 1, 4};
        for (int f = 0; f < 3; ++f) {
            long sum = 0;
            for (std::size_t i = 0; i < row_bytes; ++i) {
                const int a = i >= static_cast<std::size_t>(channels) ? row[i - channels] : 0;
                const int b = prior[i];
                const int c = i >= static_cast<std::size_t>(channels) ? prior[i - channels] : 0;
                const int pred = filters[f] == 0 ? 0 : filters[f] == 1 ? a : paeth(a, b, c);
                const auto v = static_cast<std::uint8_t>(row[i] - pred);
                trial[f][i] = v;
                sum += v < 128 ? v : 256 - v;
            }
            if (best_sum < 0 || sum < best_sum) {
                best_sum = sum;
                best = f;
            }
        }
        out.push_back(static_cast<std::uint8_t>(filters[best]));
        out.insert(out.end(), trial[best].begin(), trial[best].end());
        prior = row;
    }
    return out;
}

std::size_t zlib_stream(const std::vector<std::uint8_t>& in, int level, std::vector<Bytef>& out) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, 15, 8, Z_FILTERED);
    out.resize(deflateBound(&z, in.size()));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    const std::size_t n = z.total_out;
    deflateEnd(&z);
    return n;
}

} // namespace

int main(int argc, char** argv) {
    const std::string work = argc > 1 ? argv[1] : "/tmp/pixlane-bench";
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const bench::Corpus corpus = bench::make_corpus(work);
    std::printf("%-12s %5s %10s %10s %10s %10s %7s %7s\n", "corpus", "level", "zlib ms",
                "deflate ms", "zlib MiB", "defl MiB", "speed", "size");
    for (const std::string* folder : {&corpus.animations, &corpus.photos}) {
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(*folder)) {
            files.push_back(entry.path().string());
        }
        std::sort(files.begin(), files.end());
        std::vector<std::vector<std::uint8_t>> data;
        for (const std::string& file : files) {
            GifAnimation gif;
            if (!gif.open(file)) {
                continue;
            }
            for (int i = 0; i < gif.frame_count(); ++i) {
                if (Bitmap b = gif.frame(i)) {
                    data.push_back(filtered(b.get()));
                }
            }
        }
        const char* name = folder == &corpus.animations ? "animations" : "photos";
        for (int level : {1, 6, 9}) {
            double best_zlib = 1e30, best_deflate = 1e30;
            double zlib_bytes = 0, deflate_bytes = 0;
            std::vector<Bytef> out;
            libdeflate_compressor* c = libdeflate_alloc_compressor(level);
            for (int pass = 0; pass < repeats; ++pass) {
                zlib_bytes = deflate_bytes = 0;
                double start = cpu_seconds();
                for (const auto& d : data) {
                    zlib_bytes += static_cast<double>(zlib_stream(d, level, out));
                }
                best_zlib = std::min(best_zlib, cpu_seconds() - start);
                start = cpu_seconds();
                for (const auto& d : data) {
                    out.resize(libdeflate_zlib_compress_bound(c, d.size()));
                    deflate_bytes += static_cast<double>(
                        libdeflate_zlib_compress(c, d.data(), d.size(), out.data(), out.size()));
                }
                best_deflate = std::min(best_deflate, cpu_seconds() - start);
            }
            libdeflate_free_compressor(c);
            const double frames = static_cast<double>(data.size());
            std::printf("%-12s %5d %10.2f %10.2f %10.2f %10.2f %7.2f %7.3f\n", name, level,
                        best_zlib * 1000 / frames, best_deflate * 1000 / frames,
                        zlib_bytes / 1048576.0, deflate_bytes / 1048576.0, best_zlib / best_deflate,
                        deflate_bytes / zlib_bytes);
        }
    }
    return 0;
}
