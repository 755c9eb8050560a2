// What the tests of the preview share: an animation whose frames differ in
// every pixel, and a written file as the pixels the preview shows.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <string>

#include "gif_writer/gif_writer.h"
#include "pipeline/bitmap.h"
#include "run/preview.h"

namespace pixlane::test {

// A width × height animation of `frames` frames over a 256-colour palette,
// each frame a different diagonal pattern.
inline std::string patterned_gif(int width, int height, int frames) {
    GifSpec s;
    s.width = width;
    s.height = height;
    s.global_palette = test_palette(256);
    for (int k = 0; k < frames; ++k) {
        GifFrame f = solid_frame(0, 0, width, height, 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                f.indices[static_cast<std::size_t>(y * width + x)] =
                    static_cast<std::uint8_t>((x * 3 + y * 5 + k * 40) % 256);
            }
        }
        s.frames.push_back(std::move(f));
    }
    return encode_gif(s);
}

// The file at `path` as FreeImage reads it, in the preview's pixel form.
inline RgbaPicture rgba_of_file(const std::string& path) {
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path.c_str(), 0);
    Bitmap b = adopt(FreeImage_Load(fif, path.c_str(), 0));
    return rgba_of(b.get());
}

} // namespace pixlane::test
