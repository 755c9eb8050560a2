// The input and output extension lists: what the converter reads and the
// 23 output formats, in their fixed order.
#pragma once

#include <array>
#include <string_view>

namespace pixlane {

inline constexpr std::array<std::string_view, 1> kInputExtensions = {"gif"};
inline constexpr std::array<std::string_view, 23> kOutputExtensions = {
    "bmp", "dds", "exr", "gif", "hdr", "ico", "j2k", "jng",  "jp2",  "jpg",  "jxr", "pbm",
    "pcx", "pfm", "pgm", "png", "ppm", "psd", "tga", "tiff", "wbmp", "webp", "xpm"};

} // namespace pixlane
