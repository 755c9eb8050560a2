#include "pipeline/writers.h"

#include "pipeline/jxr_writer.h"

namespace pixlane {
namespace {

// --- jxr -----------------------------------------------------------------------

double luminance(const RGBQUAD& c) {
    return 0.299 * c.rgbRed + 0.587 * c.rgbGreen + 0.114 * c.rgbBlue;
}

bool save_jxr(FIBITMAP* dib, platform::OutputFile& file) {
    JxrPicture picture;
    switch (FreeImage_GetBPP(dib)) {
    case 1: {
        picture.pixels = JxrPixels::BlackWhite;
        const RGBQUAD* palette = FreeImage_GetPalette(dib);
        picture.zero_is_white = luminance(palette[0]) > luminance(palette[1]);
        break;
    }
    case 8:
        if (FreeImage_GetColorType(dib) != FIC_MINISBLACK) {
            return false;
        }
        picture.pixels = JxrPixels::Gray8;
        break;
    case 16:
        picture.pixels = FreeImage_GetGreenMask(dib) == FI16_565_GREEN_MASK ? JxrPixels::Rgb565
                                                                            : JxrPixels::Rgb555;
        break;
    case 24: picture.pixels = JxrPixels::Bgr24; break;
    case 32: picture.pixels = JxrPixels::Bgra32; break;
    case 48: picture.pixels = JxrPixels::Rgb48; break;
    case 96: picture.pixels = JxrPixels::RgbFloat96; break;
    default: return false;
    }
    picture.width = FreeImage_GetWidth(dib);
    picture.height = FreeImage_GetHeight(dib);
    if (const unsigned dpm = FreeImage_GetDotsPerMeterX(dib); dpm > 0) {
        picture.dpi = static_cast<float>(dpm) * 0.0254F;
    }
    // jxrlib takes rows top first with a positive stride; FreeImage keeps
    // them bottom first. Turn the bitmap over for the write and back after
    // (in place, no copy).
    if (!FreeImage_FlipVertical(dib)) {
        return false; // never write a picture upside down
    }
    picture.top_row = FreeImage_GetBits(dib);
    picture.stride = FreeImage_GetPitch(dib);
    const bool written = write_jxr(file, picture);
    FreeImage_FlipVertical(dib);
    return written;
}

} // namespace

WriteResult write_jpeg_xr(const WriteRequest& r, platform::OutputFile& file) {
    return save_jxr(r.dib, file) ? WriteResult::Written : WriteResult::Failed;
}

} // namespace pixlane
