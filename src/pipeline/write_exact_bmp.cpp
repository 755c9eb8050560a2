#include "pipeline/writers.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace pixlane {
namespace {

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

} // namespace

WriteResult write_exact_bmp(const WriteRequest& r, platform::OutputFile& file) {
    return save_exact_bmp(r.dib, r.plan.save_flags, file) ? WriteResult::Written
                                                          : WriteResult::Failed;
}

} // namespace pixlane
