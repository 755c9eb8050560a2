// The benchmarks' deterministic corpus: 60 animated GIFs 320x240 with 12
// frames (mixed disposal, transparency, partial frames) and 60 single-frame
// 1024x768 photo-like GIFs, written once into <work>/animations and
// <work>/photos.
#pragma once

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "gif_writer/gif_writer.h"

namespace pixlane::bench {

// Processor time of this process so far, in seconds.
inline double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

using test::encode_gif;
using test::GifFrame;
using test::GifSpec;
using test::solid_frame;
using test::test_palette;

inline std::uint32_t g_seed = 12345;
inline std::uint32_t next_random() {
    g_seed = g_seed * 1664525u + 1013904223u;
    return g_seed >> 8;
}

inline GifSpec animation(int n) {
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
            f.indices[i] =
                static_cast<std::uint8_t>((i / 7 + static_cast<std::size_t>(k)) % 63 + 1);
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

inline GifSpec photo(int n) {
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

struct Corpus {
    std::string animations; // 720 frames
    std::string photos;     // 60 frames
};

// The corpus under `work`, written when its folders are empty.
inline Corpus make_corpus(const std::string& work) {
    namespace fs = std::filesystem;
    const Corpus c{work + "/animations", work + "/photos"};
    fs::create_directories(c.animations);
    fs::create_directories(c.photos);
    if (fs::is_empty(c.animations)) {
        auto write = [](const std::string& path, const std::string& data) {
            std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
        };
        for (int n = 0; n < 60; ++n) {
            write(c.animations + "/anim" + std::to_string(n) + ".gif", encode_gif(animation(n)));
        }
        for (int n = 0; n < 60; ++n) {
            write(c.photos + "/photo" + std::to_string(n) + ".gif", encode_gif(photo(n)));
        }
    }
    return c;
}

// A tiny GIF: 16x16, one frame, a few colours.
inline GifSpec tiny(int n) {
    GifSpec s;
    s.width = 16;
    s.height = 16;
    s.global_palette = test_palette(16);
    GifFrame f = solid_frame(0, 0, 16, 16, 0);
    for (std::size_t i = 0; i < f.indices.size(); ++i) {
        f.indices[i] = static_cast<std::uint8_t>((i / 3 + static_cast<std::size_t>(n)) % 16);
    }
    s.frames = {f};
    return s;
}

// A long screen recording: 480x360, 783 frames, a window into which text is
// typed one character a frame, a line scrolled now and then.
inline GifSpec long_recording() {
    constexpr int kW = 480, kH = 360, kFrames = 783;
    GifSpec s;
    s.width = kW;
    s.height = kH;
    s.global_palette = test_palette(32);
    s.loop = true;
    GifFrame base = solid_frame(0, 0, kW, kH, 3);
    for (int y = 40; y < 320; ++y) {
        for (int x = 40; x < 440; ++x) {
            base.indices[static_cast<std::size_t>(y * kW + x)] = y < 60 ? 9 : 31;
        }
    }
    base.delay = 4;
    s.frames.push_back(base);
    for (int k = 1; k < kFrames; ++k) {
        const int line = (k / 40) % 15, column = k % 40;
        GifFrame f = solid_frame(60 + column * 9, 70 + line * 16, 6, 10, 31);
        for (std::size_t i = 0; i < f.indices.size(); ++i) {
            f.indices[i] = ((i * 7 + static_cast<std::size_t>(k * 13)) % 5 == 0) ? 0 : 31;
        }
        if (column == 0) {
            // A new line: the text area is cleared.
            f = solid_frame(40, 60, 400, 260, 31);
        }
        f.disposal = 1;
        f.delay = 4 + k % 3;
        s.frames.push_back(f);
    }
    return s;
}

// The per-file overhead corpus (2,000 tiny GIFs in <work>/tiny) and the
// one-long-animation corpus (<work>/long), written when empty.
struct WorkerCorpus {
    std::string tiny;
    std::string long_animation;
};

inline WorkerCorpus make_worker_corpus(const std::string& work) {
    namespace fs = std::filesystem;
    const WorkerCorpus c{work + "/tiny", work + "/long"};
    auto write = [](const std::string& path, const std::string& data) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
    };
    fs::create_directories(c.tiny);
    fs::create_directories(c.long_animation);
    if (fs::is_empty(c.tiny)) {
        for (int n = 0; n < 2000; ++n) {
            write(c.tiny + "/tiny" + std::to_string(n) + ".gif", encode_gif(tiny(n)));
        }
    }
    if (fs::is_empty(c.long_animation)) {
        write(c.long_animation + "/recording.gif", encode_gif(long_recording()));
    }
    return c;
}

} // namespace pixlane::bench
