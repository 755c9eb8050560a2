#include "pipeline/writers.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "pipeline/opacity.h"
#include "pipeline/png_writer.h"

namespace pixlane {

// The zlib level and interlacing of a PNG save flag word, read as
// FreeImage's writer reads it: a level of 1 to 9 in the low bits, else none
// with PNG_Z_NO_COMPRESSION, else libpng's default.
PngOptions png_options(int flags) {
    PngOptions options;
    const int level = flags & 0x0F;
    if (level >= 1 && level <= 9) {
        options.level = level;
    } else if ((flags & PNG_Z_NO_COMPRESSION) == PNG_Z_NO_COMPRESSION) {
        options.level = 0;
    }
    options.interlaced = (flags & PNG_INTERLACED) == PNG_INTERLACED;
    return options;
}

namespace {

// The bitmap as the PNG writer takes it, in the colour type FreeImage's
// writer gives it: grey for grey-ramp palettes without transparency
// (inverted when 0 is white), a palette with its transparency table
// otherwise, RGB for 24 bits, RGBA for 32 bits (save_png makes opaque ones
// RGB), RGB 16 for 48 bits.
std::optional<PngPicture> png_picture(FIBITMAP* dib) {
    PngPicture p;
    p.width = FreeImage_GetWidth(dib);
    p.height = FreeImage_GetHeight(dib);
    // FreeImage keeps the bottom row first.
    p.top_row = FreeImage_GetScanLine(dib, static_cast<int>(p.height) - 1);
    p.stride = -static_cast<std::ptrdiff_t>(FreeImage_GetPitch(dib));
    p.dots_per_metre_x = FreeImage_GetDotsPerMeterX(dib);
    p.dots_per_metre_y = FreeImage_GetDotsPerMeterY(dib);
    const unsigned bpp = FreeImage_GetBPP(dib);
    if (FreeImage_GetImageType(dib) == FIT_RGB16 && bpp == 48) {
        p.pixels = PngPixels::Rgb48;
        return p;
    }
    if (FreeImage_GetImageType(dib) != FIT_BITMAP) {
        return std::nullopt;
    }
    switch (bpp) {
    case 24: p.pixels = PngPixels::Bgr24; return p;
    case 32: p.pixels = PngPixels::Bgra32; return p;
    case 1:
    case 4:
    case 8: break;
    default: return std::nullopt;
    }
    p.bits = static_cast<int>(bpp);
    const bool transparent =
        FreeImage_IsTransparent(dib) && FreeImage_GetTransparencyCount(dib) > 0;
    const FREE_IMAGE_COLOR_TYPE type = FreeImage_GetColorType(dib); // reads the palette only
    if (!transparent && (type == FIC_MINISBLACK || type == FIC_MINISWHITE)) {
        p.pixels = PngPixels::Grey;
        p.invert_grey = type == FIC_MINISWHITE;
        return p;
    }
    p.pixels = PngPixels::Palette;
    if (transparent) {
        const std::size_t entries = std::size_t{1} << bpp;
        p.alpha = {FreeImage_GetTransparencyTable(dib),
                   std::min<std::size_t>(FreeImage_GetTransparencyCount(dib), entries)};
    }
    return p;
}

// PNG through our own libpng writer. With the exact palette asked for and
// the depth automatic, a 24- or 32-bit picture of at most 256 colours is
// written as a palette image; one with more colours is written as always.
bool save_png(FIBITMAP* dib, const BatchPlan& plan, const Settings& s, platform::OutputFile& file) {
    std::optional<PngPicture> picture = png_picture(dib);
    if (!picture) {
        return false;
    }
    const PngOptions options = png_options(plan.save_flags);
    const bool rgb = picture->pixels == PngPixels::Bgr24 || picture->pixels == PngPixels::Bgra32;
    if (rgb && s.png_palette == kPngPaletteExact && plan.automatic_depth) {
        if (const std::optional<PngIndexed> indexed = index_colours(*picture)) {
            return write_png(file,
                             indexed->picture(picture->dots_per_metre_x, picture->dots_per_metre_y),
                             options);
        }
    }
    if (picture->pixels == PngPixels::Bgra32 && is_opaque(dib)) {
        picture->pixels = PngPixels::Bgrx32; // RGB, as FreeImage writes an opaque picture
    }
    if (picture->pixels != PngPixels::Palette) {
        return write_png(file, *picture, options);
    }
    // FreeImage's palette: every entry the depth can number.
    const RGBQUAD* own = FreeImage_GetPalette(dib);
    std::vector<PngColour> palette(std::size_t{1} << picture->bits);
    for (std::size_t k = 0; k < palette.size(); ++k) {
        palette[k] = {own[k].rgbRed, own[k].rgbGreen, own[k].rgbBlue};
    }
    picture->palette = palette;
    return write_png(file, *picture, options);
}

} // namespace

WriteResult write_png_frame(const WriteRequest& r, platform::OutputFile& file) {
    return save_png(r.dib, r.plan, r.settings, file) ? WriteResult::Written : WriteResult::Failed;
}

Writer writer_for(SaveRoute route) {
    switch (route) {
    case SaveRoute::DevIL: return write_devil;
    case SaveRoute::ExactBmp: return write_exact_bmp;
    case SaveRoute::JpegXr: return write_jpeg_xr;
    case SaveRoute::Pfm: return write_pfm;
    case SaveRoute::Png: return write_png_frame;
    case SaveRoute::FreeImage: break;
    }
    return write_freeimage;
}

} // namespace pixlane
