// Regenerates the sample GIFs of this folder:
//   build/make_examples examples/
// anim.gif: four frames with transparency, partial updates and every
// disposal method; still.gif: one frame; nested/badge.gif: one frame in a
// subfolder.
#include <cstdio>
#include <fstream>
#include <string>

#include "gif_writer/gif_writer.h"

using namespace pixlane::test;

namespace {

bool write(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

GifFrame gradient(int w, int h, int colours) {
    GifFrame f = solid_frame(0, 0, w, h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            f.indices[static_cast<std::size_t>(y * w + x)] =
                static_cast<std::uint8_t>(((x * colours) / w + (y * 3) / h) % colours);
        }
    }
    return f;
}

GifSpec animation() {
    GifSpec s;
    s.width = 48;
    s.height = 32;
    s.global_palette = {0x000000, 0xFFFFFF, 0xE03030, 0x30A040,
                        0x3050E0, 0xF0C020, 0x808080, 0x20C0C0};
    s.background = 0;
    s.loop = true;
    GifFrame first = gradient(48, 32, 8);
    first.disposal = 1;
    GifFrame square = solid_frame(8, 6, 16, 12, 2); // partial update
    square.transparent = 7;
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            if ((x + y) % 4 == 0) {
                square.indices[static_cast<std::size_t>(y * 16 + x)] =
                    7; // holes show the frame below
            }
        }
    }
    square.disposal = 2; // cleared to the background after showing
    GifFrame bar = solid_frame(20, 20, 24, 8, 4);
    bar.disposal = 3; // restored to the previous picture
    bar.local_palette = {0x000000, 0x111111, 0x222222, 0x333333, 0xFF00FF};
    GifFrame dot = solid_frame(40, 2, 6, 6, 5);
    dot.transparent = 0;
    dot.indices[0] = 0;
    s.frames = {first, square, bar, dot};
    return s;
}

GifSpec still(int w, int h, int colours) {
    GifSpec s;
    s.width = w;
    s.height = h;
    s.global_palette = test_palette(colours);
    s.frames = {gradient(w, h, colours)};
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? std::string(argv[1]) + "/" : "examples/";
    bool ok = write(folder + "anim.gif", encode_gif(animation()));
    ok = write(folder + "still.gif", encode_gif(still(64, 48, 16))) && ok;
    ok = write(folder + "nested/badge.gif", encode_gif(still(32, 32, 4))) && ok;
    if (!ok) {
        std::fprintf(stderr, "make_examples: cannot write into %s (does nested/ exist?)\n",
                     folder.c_str());
        return 1;
    }
    return 0;
}
