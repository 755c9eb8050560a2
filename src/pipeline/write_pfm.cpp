#include "pipeline/writers.h"

#include <cstdint>
#include <vector>

namespace pixlane {
namespace {

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

} // namespace

WriteResult write_pfm(const WriteRequest& r, platform::OutputFile& file) {
    return save_pfm(r.dib, file) ? WriteResult::Written : WriteResult::Failed;
}

} // namespace pixlane
