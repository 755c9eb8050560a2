// The bare library loop the benchmarks measure our PNG route against.
#pragma once

#include <FreeImage.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>

// A 32-bit page as an RGBA PNG through libpng and stdio, nothing else set
// but the zlib level.
inline bool bare_png_save(FIBITMAP* page, const std::string& path, int level) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool saved = false;
    if (info && !setjmp(png_jmpbuf(png))) {
        const unsigned width = FreeImage_GetWidth(page);
        const unsigned height = FreeImage_GetHeight(page);
        png_init_io(png, file);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
        png_set_compression_level(png, level);
        png_write_info(png, info);
        png_set_bgr(png);
        for (unsigned y = 0; y < height; ++y) {
            png_write_row(png, FreeImage_GetScanLine(page, static_cast<int>(height - 1 - y)));
        }
        png_write_end(png, info);
        saved = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && saved;
}
