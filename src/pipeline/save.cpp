#include "pipeline/save.h"

#include <IL/il.h>
#include <IL/ilu.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "util/strings.h"
#include "formats/catalogue.h"
#include "naming/mask.h"
#include "pipeline/jxr_writer.h"
#include "pipeline/opacity.h"
#include "pipeline/png_writer.h"
#include "platform/platform.h"
#include "settings/keys.h"

namespace pixlane {
namespace {

// What a writer did.
enum class SaveResult {
    Saved,
    Failed, // this frame failed; the file goes on with the next one
    Abort,  // the file must stop at once (no memory for the writer's buffer)
};

// Output formats whose 8-bit form is grey rather than a palette.
bool grey_at_8(std::string_view ext) {
    return ext == "j2k" || ext == "jp2" || ext == "jpg" || ext == "jxr" || ext == "pgm";
}

bool five_five_five(std::string_view ext) { return ext == "ico" || ext == "tga"; }

// Value of `PNG Palette` that writes pictures of few colours with a palette.
constexpr int kPngPaletteExact = 1;

FREE_IMAGE_TYPE type_for(int depth) {
    return depth == 96 ? FIT_RGBF : depth == 48 ? FIT_RGB16 : FIT_BITMAP;
}

// True when the bitmap already has the form convert_depth would give it.
bool in_target_form(FIBITMAP* dib, int target, std::string_view ext) {
    if (static_cast<int>(FreeImage_GetBPP(dib)) != target ||
        FreeImage_GetImageType(dib) != type_for(target)) {
        return false;
    }
    if (target == 16) {
        const bool is_565 = FreeImage_GetGreenMask(dib) == FI16_565_GREEN_MASK;
        return is_565 != five_five_five(ext);
    }
    if (target == 8 && grey_at_8(ext)) {
        return FreeImage_GetColorType(dib) == FIC_MINISBLACK;
    }
    return true;
}

// The bitmap converted to 24 bits when it is deeper than 32 bits.
Bitmap at_most_32(Bitmap in) {
    if (!in || bpp_of(in) <= 32) {
        return in;
    }
    return adopt(FreeImage_ConvertTo24Bits(in.get()));
}

Bitmap to_8_bits(Bitmap in, std::string_view ext) {
    if (grey_at_8(ext)) {
        in = at_most_32(std::move(in));
        if (!in) {
            return in;
        }
        // FreeImage_ConvertTo8Bits keeps the colours of a palette image
        // (1, 4 or 8 bits); greyscale maps them to grey levels.
        return adopt(bpp_of(in) <= 8 ? FreeImage_ConvertToGreyscale(in.get())
                                     : FreeImage_ConvertTo8Bits(in.get()));
    }
    if (bpp_of(in) != 24) {
        in = adopt(FreeImage_ConvertTo24Bits(in.get()));
        if (!in) {
            return in;
        }
    }
    return adopt(FreeImage_ColorQuantizeEx(in.get(), FIQ_WUQUANT, 256, 0, nullptr));
}

// --- temporary files ---------------------------------------------------------

// A name of ASCII letters in the folder of `output_path` that no file has.
std::string unused_temporary_path(const std::string& output_path, std::string_view ext) {
    const std::string folder = platform::folder_of(output_path);
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = folder + random_name("pixlane", "") + "." + std::string(ext);
        if (!platform::exists(path)) {
            return path;
        }
    }
    return {};
}

// --- FreeImage through our own file ------------------------------------------

platform::OutputFile& file_of(fi_handle handle) {
    return *static_cast<platform::OutputFile*>(handle);
}

unsigned DLL_CALLCONV fi_read(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    const std::size_t got = file_of(handle).read(buffer, std::size_t{size} * count);
    return size == 0 ? 0 : static_cast<unsigned>(got / size);
}

unsigned DLL_CALLCONV fi_write(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return file_of(handle).write(buffer, std::size_t{size} * count) ? count : 0;
}

int DLL_CALLCONV fi_seek(fi_handle handle, long offset, int origin) {
    return file_of(handle).seek(offset, origin) ? 0 : -1;
}

long DLL_CALLCONV fi_tell(fi_handle handle) { return static_cast<long>(file_of(handle).tell()); }

// FreeImage's writer with every byte going through `file` (FreeImage_Save
// would fopen the file itself and never look at a failed write).
bool save_freeimage(FREE_IMAGE_FORMAT fif, FIBITMAP* dib, int flags, platform::OutputFile& file) {
    FreeImageIO io{fi_read, fi_write, fi_seek, fi_tell};
    return FreeImage_SaveToHandle(fif, dib, &io, &file, flags) == TRUE && file.ok();
}

// --- DevIL -------------------------------------------------------------------

std::once_flag g_devil_started;
std::mutex g_devil_lock; // DevIL keeps one global current image

void start_devil() {
    std::call_once(g_devil_started, [] {
        ilInit();
        iluInit();
    });
}

struct DevilImage {
    ILuint id = 0;
    DevilImage() { ilGenImages(1, &id); }
    ~DevilImage() { ilDeleteImages(1, &id); }
    DevilImage(const DevilImage&) = delete;
    DevilImage& operator=(const DevilImage&) = delete;
};

// DevIL's write functions on the OutputFile of the save under way: DevIL
// "opens" whatever name it is given as that file and "closes" it without a
// word; the caller finishes it. Set and used under g_devil_lock only.
// (ilSave, not ilSaveF: DevIL 1.7.8's ilSaveF has no pcx writer.)
platform::OutputFile* g_devil_file = nullptr;
platform::OutputFile& devil_file(ILHANDLE handle) {
    return *static_cast<platform::OutputFile*>(handle);
}
ILHANDLE ILAPIENTRY devil_open(ILconst_string) { return g_devil_file; }
void ILAPIENTRY devil_close(ILHANDLE) {}
ILint ILAPIENTRY devil_putc(ILubyte c, ILHANDLE handle) {
    return devil_file(handle).write(&c, 1) ? c : IL_EOF;
}
ILint ILAPIENTRY devil_seek(ILHANDLE handle, ILint offset, ILint origin) {
    const int whence = origin == IL_SEEK_CUR   ? SEEK_CUR
                       : origin == IL_SEEK_END ? SEEK_END
                                               : SEEK_SET;
    return devil_file(handle).seek(offset, whence) ? 0 : -1;
}
ILint ILAPIENTRY devil_tell(ILHANDLE handle) {
    const std::int64_t at = devil_file(handle).tell();
    return at <= std::numeric_limits<ILint>::max() ? static_cast<ILint>(at) : -1;
}
ILint ILAPIENTRY devil_write(const void* data, ILuint size, ILuint count, ILHANDLE handle) {
    return devil_file(handle).write(data, std::size_t{size} * count) ? static_cast<ILint>(count)
                                                                     : 0;
}

// psd, dds and pcx: DevIL from BGR (24-bit) or BGRA (32-bit) rows, bottom
// row first, which is DevIL's own origin. The rows go straight from the
// bitmap into DevIL's image: no buffer in between. DevIL writes through
// our write functions into `file`.
SaveResult save_devil(FIBITMAP* dib, ILenum type, bool mipmaps, platform::OutputFile& file) {
    const unsigned bpp = FreeImage_GetBPP(dib);
    if (FreeImage_GetImageType(dib) != FIT_BITMAP || (bpp != 24 && bpp != 32)) {
        return SaveResult::Failed;
    }
    const ILubyte channels = bpp == 32 ? 4 : 3;
    const ILenum format = bpp == 32 ? IL_BGRA : IL_BGR;
    const unsigned width = FreeImage_GetWidth(dib);
    const unsigned height = FreeImage_GetHeight(dib);
    // DevIL sizes its image in 32-bit arithmetic: a larger one would wrap to
    // a small buffer that the rows below would overrun.
    if (std::uint64_t{width} * height * channels > std::numeric_limits<ILuint>::max()) {
        return SaveResult::Failed;
    }

    start_devil();
    std::lock_guard<std::mutex> lock(g_devil_lock);
    while (ilGetError() != IL_NO_ERROR) { // forget what earlier calls left
    }
    ilEnable(IL_FILE_OVERWRITE); // else DevIL looks for a file of the name ilSave is given
    DevilImage image;
    ilBindImage(image.id);
    if (!ilTexImage(width, height, static_cast<ILuint>(ilGetInteger(IL_IMAGE_DEPTH)), channels,
                    format, IL_UNSIGNED_BYTE, nullptr)) {
        return ilGetError() == IL_OUT_OF_MEMORY ? SaveResult::Abort : SaveResult::Failed;
    }
    ILubyte* data = ilGetData();
    if (!data) {
        return SaveResult::Abort;
    }
    const std::size_t line = std::size_t{width} * channels;
    for (unsigned y = 0; y < height; ++y) {
        std::memcpy(data + y * line, FreeImage_GetScanLine(dib, static_cast<int>(y)), line);
    }
    if (mipmaps && !iluBuildMipmaps()) {
        return SaveResult::Failed;
    }
    g_devil_file = &file;
    ilSetWrite(devil_open, devil_close, devil_putc, devil_seek, devil_tell, devil_write);
    const bool saved = ilSave(type, "pixlane") == IL_TRUE; // the name only reaches devil_open
    ilResetWrite();
    g_devil_file = nullptr;
    ilBindImage(0);
    return saved && file.ok() ? SaveResult::Saved : SaveResult::Failed;
}

// --- the exact colour table writer -------------------------------------------

void put16(std::uint8_t* at, std::uint16_t v) {
    at[0] = static_cast<std::uint8_t>(v);
    at[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) {
        at[k] = static_cast<std::uint8_t>(v >> (8 * k));
    }
}
std::uint32_t get32(const std::uint8_t* at) {
    return at[0] | (at[1] << 8) | (at[2] << 16) | (std::uint32_t{at[3]} << 24);
}

// An 8-bit BMP whose palette holds only the entries up to the highest index
// any pixel uses. FreeImage encodes the pixels (RLE8 with `flags`); its file
// and info headers and its full palette are replaced.
bool save_exact_bmp(FIBITMAP* dib, int flags, platform::OutputFile& file) {
    constexpr std::size_t kFileHeader = 14;
    constexpr std::size_t kInfoHeader = 40;
    if (FreeImage_GetBPP(dib) != 8 || FreeImage_GetImageType(dib) != FIT_BITMAP) {
        return false;
    }
    MemoryStream stream(FreeImage_OpenMemory(nullptr, 0));
    if (!stream || !FreeImage_SaveToMemory(FIF_BMP, dib, stream.get(), flags)) {
        return false;
    }
    BYTE* encoded = nullptr;
    DWORD length = 0;
    if (!FreeImage_AcquireMemory(stream.get(), &encoded, &length) ||
        length < kFileHeader + kInfoHeader) {
        return false;
    }
    // Where FreeImage put its pixels (after its 256-entry palette).
    const std::uint32_t pixels_at = get32(encoded + 10);
    if (pixels_at < kFileHeader + kInfoHeader || pixels_at > length) {
        return false;
    }
    const std::uint32_t pixel_bytes = length - pixels_at;

    const unsigned width = FreeImage_GetWidth(dib);
    const unsigned height = FreeImage_GetHeight(dib);
    unsigned highest = 0;
    for (unsigned y = 0; y < height; ++y) {
        const BYTE* row = FreeImage_GetScanLine(dib, static_cast<int>(y));
        highest = std::max<unsigned>(highest, *std::max_element(row, row + width));
    }
    const std::uint32_t colours = highest + 1;

    // The headers and the cut palette; the pixels follow straight from the
    // stream.
    const std::uint32_t offset = kFileHeader + kInfoHeader + 4 * colours;
    const std::uint32_t file_size = offset + pixel_bytes;
    std::vector<std::uint8_t> head(offset, 0);
    put16(head.data(), 0x4D42); // "BM"
    put32(head.data() + 2, file_size);
    put32(head.data() + 10, offset);

    BITMAPINFOHEADER info = *FreeImage_GetInfoHeader(dib);
    info.biCompression = (flags & BMP_SAVE_RLE) ? 1 /* BI_RLE8 */ : 0 /* BI_RGB */;
    info.biSizeImage = pixel_bytes;
    info.biClrUsed = colours;
    info.biClrImportant = colours;
    std::uint8_t* header = head.data() + kFileHeader;
    put32(header, kInfoHeader);
    put32(header + 4, static_cast<std::uint32_t>(info.biWidth));
    put32(header + 8, static_cast<std::uint32_t>(info.biHeight));
    put16(header + 12, info.biPlanes);
    put16(header + 14, info.biBitCount);
    put32(header + 16, info.biCompression);
    put32(header + 20, info.biSizeImage);
    put32(header + 24, static_cast<std::uint32_t>(info.biXPelsPerMeter));
    put32(header + 28, static_cast<std::uint32_t>(info.biYPelsPerMeter));
    put32(header + 32, info.biClrUsed);
    put32(header + 36, info.biClrImportant);

    const RGBQUAD* palette = FreeImage_GetPalette(dib);
    std::uint8_t* entry = head.data() + kFileHeader + kInfoHeader;
    for (std::uint32_t k = 0; k < colours; ++k, entry += 4) {
        entry[0] = palette[k].rgbBlue;
        entry[1] = palette[k].rgbGreen;
        entry[2] = palette[k].rgbRed;
    }
    return file.write(head.data(), head.size()) && file.write(encoded + pixels_at, pixel_bytes);
}

// --- pfm -----------------------------------------------------------------------

// Portable Floatmap: "PF", size, a negative scale for little-endian samples,
// then rows from the bottom of the picture to its top.
bool save_pfm(FIBITMAP* dib, platform::OutputFile& file) {
    if (FreeImage_GetImageType(dib) != FIT_RGBF) {
        return false;
    }
    const unsigned width = FreeImage_GetWidth(dib);
    const unsigned height = FreeImage_GetHeight(dib);
    const char* scale = std::endian::native == std::endian::little ? "-1.000000" : "1.000000";
    const std::string header =
        "PF\n" + std::to_string(width) + " " + std::to_string(height) + "\n" + scale + "\n";
    bool written = file.write(header.data(), header.size());
    // Scan line 0 of a FreeImage bitmap is the bottom row.
    for (unsigned y = 0; written && y < height; ++y) {
        written =
            file.write(FreeImage_GetScanLine(dib, static_cast<int>(y)), sizeof(FIRGBF) * width);
    }
    return written;
}

// --- jxr -----------------------------------------------------------------------

double luminance(const RGBQUAD& c) { return 0.299 * c.rgbRed + 0.587 * c.rgbGreen + 0.114 * c.rgbBlue; }

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

// --- png -----------------------------------------------------------------------

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
            return write_png(file, indexed->picture(picture->dots_per_metre_x,
                                                    picture->dots_per_metre_y),
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

// --- routing ---------------------------------------------------------------------

// True when the bitmap's depth and pixel type are ones the format allows:
// no writer is handed anything else (FreeImage's WebP writer, for one,
// crashes on a depth other than 24 and 32).
bool fits_format(FIBITMAP* dib, std::string_view ext) {
    const int bpp = static_cast<int>(FreeImage_GetBPP(dib));
    return depth_allowed(ext, bpp) && FreeImage_GetImageType(dib) == type_for(bpp) &&
           FreeImage_GetWidth(dib) > 0 && FreeImage_GetHeight(dib) > 0;
}

SaveResult write_to(SaveRoute route, FIBITMAP* dib, const OutputFormat& format,
                    const BatchPlan& plan, const Settings& s, platform::OutputFile& file) {
    auto result = [](bool ok) { return ok ? SaveResult::Saved : SaveResult::Failed; };
    switch (route) {
    case SaveRoute::DevIL:
        return save_devil(dib, static_cast<ILenum>(format.save_type), format.extension == "dds",
                          file);
    case SaveRoute::ExactBmp:
        return result(save_exact_bmp(dib, plan.save_flags, file));
    case SaveRoute::JpegXr:
        return result(save_jxr(dib, file));
    case SaveRoute::Pfm:
        return result(save_pfm(dib, file));
    case SaveRoute::Png:
        return result(save_png(dib, plan, s, file));
    case SaveRoute::FreeImage:
        break;
    }
    return result(save_freeimage(static_cast<FREE_IMAGE_FORMAT>(format.save_type), dib,
                                 plan.save_flags, file));
}

} // namespace

PictureSize fitted_icon_size(const BatchPlan& plan, int width, int height) {
    if (plan.output_extension != "ico" || (width == height && width >= kSmallestIcon)) {
        return {width, height};
    }
    const int side = std::max({width, height, kSmallestIcon});
    return {side, side};
}

Bitmap fit_icon(Bitmap in, const BatchPlan& plan) {
    if (!in) {
        return in;
    }
    const int width = width_of(in);
    const int height = height_of(in);
    const PictureSize fitted = fitted_icon_size(plan, width, height);
    if (fitted.width == width && fitted.height == height) {
        return in;
    }
    const int side = fitted.width;
    if (bpp_of(in) != 32 || FreeImage_GetImageType(in.get()) != FIT_BITMAP) {
        in = adopt(FreeImage_ConvertTo32Bits(at_most_32(std::move(in)).get()));
        if (!in) {
            return in;
        }
    }
    // A new bitmap is all zeros: black, fully transparent.
    Bitmap canvas = adopt(FreeImage_Allocate(side, side, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                             FI_RGBA_BLUE_MASK));
    if (!canvas ||
        !FreeImage_Paste(canvas.get(), in.get(), (side - width) / 2, (side - height) / 2, 256)) {
        return Bitmap{};
    }
    return canvas;
}

int target_depth(const BatchPlan& plan, int source_depth) {
    return plan.automatic_depth || plan.output_depth == 0
               ? automatic_depth(plan.output_extension, source_depth)
               : plan.output_depth;
}

Bitmap lay_over(Bitmap in, Rgb colour) {
    if (!in || bpp_of(in) != 32 || FreeImage_GetImageType(in.get()) != FIT_BITMAP) {
        return in;
    }
    RGBQUAD under{};
    under.rgbRed = colour.r;
    under.rgbGreen = colour.g;
    under.rgbBlue = colour.b;
    return adopt(FreeImage_Composite(in.get(), FALSE, &under, nullptr));
}

Bitmap convert_depth(Bitmap in, const BatchPlan& plan, FrameFacts& frame) {
    if (!in) {
        return in;
    }
    const std::string& ext = plan.output_extension;
    const int target =
        target_depth(plan, frame.source_depth > 0 ? frame.source_depth : bpp_of(in));
    frame.output_depth = target;
    if (in_target_form(in.get(), target, ext)) {
        return in;
    }
    switch (target) {
    case 96: return adopt(FreeImage_ConvertToRGBF(in.get()));
    case 48: return adopt(FreeImage_ConvertToRGB16(in.get()));
    case 32: {
        // Alpha comes only from a palette's transparency table or an alpha
        // channel; every other source gives alpha 255 (whatever the
        // metadata copied along says).
        const FREE_IMAGE_TYPE type = FreeImage_GetImageType(in.get());
        const bool has_alpha = (bpp_of(in) <= 8 && FreeImage_IsTransparent(in.get())) ||
                               type == FIT_RGBA16 || type == FIT_RGBAF;
        Bitmap out = adopt(FreeImage_ConvertTo32Bits(in.get()));
        set_opacity(out.get(), has_alpha ? Opacity::Unknown : Opacity::Opaque);
        return out;
    }
    case 24: return adopt(FreeImage_ConvertTo24Bits(in.get()));
    case 16:
        in = at_most_32(std::move(in));
        if (!in) {
            return in;
        }
        return adopt(five_five_five(ext) ? FreeImage_ConvertTo16Bits555(in.get())
                                         : FreeImage_ConvertTo16Bits565(in.get()));
    case 8: return to_8_bits(std::move(in), ext);
    case 4: return adopt(FreeImage_ConvertTo4Bits(in.get()));
    case 1: return adopt(FreeImage_Dither(in.get(), FID_FS));
    default: return Bitmap{};
    }
}

SaveRoute save_route(std::string_view ext, int depth, const Settings& s) {
    if (ext == "psd" || ext == "dds" || ext == "pcx") {
        return SaveRoute::DevIL;
    }
    if (ext == "bmp" && depth == 8 && s.bmp_color_table == 1) {
        return SaveRoute::ExactBmp;
    }
    if (ext == "jxr") {
        return SaveRoute::JpegXr;
    }
    if (ext == "pfm") {
        return SaveRoute::Pfm;
    }
    if (ext == "png") {
        return SaveRoute::Png;
    }
    return SaveRoute::FreeImage;
}

namespace {
std::function<void(const std::string&)> g_temporary_observer;
} // namespace

void set_temporary_file_observer(std::function<void(const std::string& path)> observer) {
    g_temporary_observer = std::move(observer);
}

void announce_temporary_file(const std::string& path) {
    if (g_temporary_observer) {
        g_temporary_observer(path);
    }
}

SaveReport save_frame(const Bitmap& bitmap, const Settings& s, const BatchPlan& plan,
                      const std::string& output_path) {
    SaveReport report;
    report.output_path = output_path;
    auto failed = [&](std::string why, bool out_of_space = false) {
        report.status = FrameStatus::Failed;
        report.failure = Failure{std::move(why), out_of_space};
        return report;
    };
    const OutputFormat* format = output_entry(plan.output_extension);
    if (!bitmap || !format || output_path.empty()) {
        return failed("nothing to save");
    }
    if (!fits_format(bitmap.get(), format->extension)) {
        return failed("the picture's depth is not one of the format's");
    }
    const std::string temporary = unused_temporary_path(output_path, format->extension);
    if (temporary.empty()) {
        return failed("no free temporary name in " + platform::folder_of(output_path));
    }
    report.temporary_path = temporary;
    announce_temporary_file(temporary);
    platform::OutputFile file;
    const auto device_full = [](int error) { return error == ENOSPC || error == EDQUOT; };
    if (!file.create(temporary)) {
        const int error = file.error();
        return failed("cannot create " + temporary + ": " + std::strerror(error),
                      device_full(error));
    }
    // The output path is touched only by the rename of a complete file:
    // every write checked, flushed, synced and closed first.
    const SaveRoute route = save_route(format->extension, bpp_of(bitmap), s);
    const SaveResult result = write_to(route, bitmap.get(), *format, plan, s, file);
    const bool written = result == SaveResult::Saved && file.finish();
    report.abort = result == SaveResult::Abort;
    if (file.error() != 0) {
        const int error = file.error();
        file = platform::OutputFile{}; // closed before it is removed
        platform::remove_file(temporary);
        return failed("cannot write " + temporary + ": " + std::strerror(error),
                      device_full(error));
    }
    if (!written) {
        file = platform::OutputFile{};
        platform::remove_file(temporary);
        return failed("the " + std::string(format->extension) + " writer failed");
    }
    if (plan.defer_outputs) {
        report.status = FrameStatus::Pending;
        return report;
    }
    file = platform::OutputFile{};
    switch (place_output(temporary, report.output_path, s.overwrite)) {
    case Placement::Written: report.status = FrameStatus::Converted; break;
    case Placement::Skipped: report.status = FrameStatus::Skipped; break;
    case Placement::Failed: {
        const int error = errno;
        platform::remove_file(temporary);
        return failed("cannot rename " + temporary + " to " + report.output_path + ": " +
                      std::strerror(error));
    }
    }
    return report;
}

std::string numbered_name(const std::string& path, int n) {
    const std::size_t name = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name) {
        dot = path.size();
    }
    return path.substr(0, dot) + " (" + std::to_string(n) + ")" + path.substr(dot);
}

Placement place_output(const std::string& temporary, std::string& output_path, int overwrite) {
    if (overwrite != kOverwriteReplace && platform::exists(output_path)) {
        if (overwrite == kOverwriteSkip) {
            platform::remove_file(temporary);
            return Placement::Skipped;
        }
        for (int n = 2;; ++n) {
            std::string candidate = numbered_name(output_path, n);
            if (!platform::exists(candidate)) {
                output_path = std::move(candidate);
                break;
            }
        }
    }
    return platform::rename_file(temporary, output_path) ? Placement::Written : Placement::Failed;
}

int save_flags(std::string_view ext, const Settings& s) {
    if (ext == "bmp") {
        return s.bmp_compression == 1 ? BMP_SAVE_RLE : BMP_DEFAULT;
    }
    if (ext == "exr") {
        constexpr int kExr[] = {EXR_NONE, EXR_ZIP, EXR_PIZ, EXR_PXR24, EXR_B44};
        return s.exr_compression >= 0 && s.exr_compression < 5 ? kExr[s.exr_compression] : 0;
    }
    if (ext == "jpg") {
        constexpr int kChroma[] = {JPEG_SUBSAMPLING_444, JPEG_SUBSAMPLING_422, JPEG_SUBSAMPLING_420,
                                   JPEG_SUBSAMPLING_411};
        constexpr int kSaveAs[] = {0, JPEG_BASELINE, JPEG_OPTIMIZE, JPEG_PROGRESSIVE};
        int flags = s.jpg_quality;
        if (s.jpg_chroma >= 0 && s.jpg_chroma < 4) {
            flags |= kChroma[s.jpg_chroma];
        }
        if (s.jpg_save_as >= 0 && s.jpg_save_as < 4) {
            flags |= kSaveAs[s.jpg_save_as];
        }
        return flags;
    }
    if (ext == "jxr") {
        return JXR_LOSSLESS;
    }
    if (ext == "png") {
        constexpr int kPng[] = {PNG_Z_NO_COMPRESSION, PNG_Z_BEST_SPEED, PNG_Z_DEFAULT_COMPRESSION,
                                PNG_Z_BEST_COMPRESSION};
        int flags = s.png_compression >= 0 && s.png_compression < 4 ? kPng[s.png_compression] : 0;
        return s.png_interlaced ? flags | PNG_INTERLACED : flags;
    }
    if (ext == "tga") {
        return s.tga_compression == 1 ? TARGA_SAVE_RLE : 0;
    }
    if (ext == "tiff") {
        constexpr int kTiff[] = {TIFF_NONE,    TIFF_CCITTFAX3,     TIFF_CCITTFAX4,
                                 TIFF_PACKBITS, TIFF_DEFLATE,      TIFF_ADOBE_DEFLATE,
                                 TIFF_LZW,     TIFF_JPEG,          TIFF_LOGLUV};
        int flags = s.tiff_compression >= 0 && s.tiff_compression < 9 ? kTiff[s.tiff_compression] : 0;
        return s.tiff_color_mode == 1 ? flags | TIFF_CMYK : flags;
    }
    if (ext == "webp") {
        return s.webp_quality == 100 ? WEBP_LOSSLESS : s.webp_quality;
    }
    return 0;
}

int depth_setting(std::string_view ext, const Settings& s) {
    const SettingKey* row = find_setting("Output", to_upper(ext) + " BPP");
    return row && row->format == ext ? get_int(s, row->field) : 0;
}

bool set_batch_output(BatchPlan& plan, std::string_view ext, const Settings& s) {
    const OutputFormat* format = output_entry(ext);
    if (!format) {
        return false;
    }
    plan.output_extension = std::string(format->extension);
    plan.save_type = format->save_type;
    plan.output_depth = depth_setting(ext, s);
    plan.automatic_depth = plan.output_depth == 0;
    plan.save_flags = save_flags(ext, s);
    return true;
}

} // namespace pixlane
