// The physical floor of a GIF batch: decoding and encoding alone, in one
// process, with nothing but the libraries' own calls. giflib reads each
// file whole, the frames are composed on an RGBA canvas with the GIF
// disposal rules, and every frame is written with libpng (RGBA rows, the
// zlib level, libpng's defaults otherwise) or libjpeg (RGB, the quality,
// libjpeg's defaults otherwise) through stdio, without fsync. No checks, no
// names beyond "<stem>[k].<ext>", no report: what no converter can go below.
#pragma once

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace pixlane::bench {

inline bool floor_png(const std::vector<std::uint8_t>& rgba, int width, int height,
                      const std::string& path, int level) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool saved = false;
    if (info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height),
                     8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                     PNG_FILTER_TYPE_BASE);
        png_set_compression_level(png, level);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y) {
            png_write_row(png, rgba.data() + static_cast<std::size_t>(y) * width * 4);
        }
        png_write_end(png, info);
        saved = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && saved;
}

inline bool floor_jpeg(const std::vector<std::uint8_t>& rgba, int width, int height,
                       const std::string& path, int quality, bool full_chroma) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return false;
    }
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (full_chroma) { // 4:4:4, as the batch writes by default
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* src = rgba.data() + std::size_t{cinfo.next_scanline} * width * 4;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = src[4 * x];
            row[3 * x + 1] = src[4 * x + 1];
            row[3 * x + 2] = src[4 * x + 2];
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

// Converts every GIF of `folder` into `out`; `level` is the zlib level for
// png, `quality` the JPEG quality for jpg, `full_chroma` 4:4:4 instead of
// libjpeg's 4:2:0. Returns the frames written.
inline int floor_loop(const std::string& folder, const std::string& out, const std::string& ext,
                      int level, int quality, bool full_chroma) {
    int frames = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        int error = 0;
        GifFileType* gif = DGifOpenFileName(entry.path().c_str(), &error);
        if (!gif) {
            continue;
        }
        if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
            DGifCloseFile(gif, &error);
            continue;
        }
        const int w = gif->SWidth;
        const int h = gif->SHeight;
        std::vector<std::uint8_t> canvas(static_cast<std::size_t>(w) * h * 4, 0);
        std::vector<std::uint8_t> saved;
        for (int k = 0; k < gif->ImageCount; ++k) {
            const SavedImage& image = gif->SavedImages[k];
            const GifImageDesc& d = image.ImageDesc;
            GraphicsControlBlock gcb{};
            gcb.TransparentColor = NO_TRANSPARENT_COLOR;
            DGifSavedExtensionToGCB(gif, k, &gcb);
            const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
            const int x0 = std::max(0, d.Left), y0 = std::max(0, d.Top);
            const int x1 = std::min(w, d.Left + d.Width), y1 = std::min(h, d.Top + d.Height);
            if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
                saved = canvas;
            }
            for (int y = y0; y < y1; ++y) {
                const GifByteType* src =
                    image.RasterBits + static_cast<std::size_t>(y - d.Top) * d.Width;
                std::uint8_t* dst = canvas.data() + (static_cast<std::size_t>(y) * w) * 4;
                for (int x = x0; x < x1; ++x) {
                    const int i = src[x - d.Left];
                    if (i == gcb.TransparentColor || !map || i >= map->ColorCount) {
                        continue;
                    }
                    dst[4 * x] = map->Colors[i].Red;
                    dst[4 * x + 1] = map->Colors[i].Green;
                    dst[4 * x + 2] = map->Colors[i].Blue;
                    dst[4 * x + 3] = 255;
                }
            }
            const std::string name =
                out + "/" + entry.path().stem().string() + "[" + std::to_string(k + 1) + "]." + ext;
            if (ext == "png") {
                floor_png(canvas, w, h, name, level);
            } else {
                floor_jpeg(canvas, w, h, name, quality, full_chroma);
            }
            ++frames;
            if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
                for (int y = y0; y < y1; ++y) {
                    std::fill(canvas.begin() + (static_cast<std::ptrdiff_t>(y) * w + x0) * 4,
                              canvas.begin() + (static_cast<std::ptrdiff_t>(y) * w + x1) * 4, 0);
                }
            } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
                canvas.swap(saved);
            }
        }
        DGifCloseFile(gif, &error);
    }
    return frames;
}

} // namespace pixlane::bench
