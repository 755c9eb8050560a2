// The JPEG XR encoder, written against jxrlib directly: FreeImage's own
// JPEG XR plug-in is unusable with the Debian libraries (its GUIDs are laid
// out differently from the library's, so every save fails).
//
// This header is free of jxrlib and FreeImage types on purpose: jxrlib's
// headers must never follow FreeImage.h in a translation unit (FreeImage.h
// defines _WINDOWS_, which makes jxrlib's GUID 24 bytes instead of the
// library's 16), and they define min/max and SAL macros.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace pixlane {

// Pixel layouts the encoder takes, by the bits per pixel of the picture.
enum class JxrPixels : std::uint8_t {
    BlackWhite, // 1: packed bits, most significant first
    Gray8,      // 8: grey levels
    Rgb555,     // 16: 5-5-5 in a little-endian word
    Rgb565,     // 16: 5-6-5 in a little-endian word
    Bgr24,      // 24: blue, green, red bytes
    Bgra32,     // 32: blue, green, red, alpha bytes
    Rgb48,      // 48: red, green, blue 16-bit words
    RgbFloat96, // 96: red, green, blue 32-bit floats
};

struct JxrPicture {
    JxrPixels pixels = JxrPixels::Bgr24;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t* top_row = nullptr; // rows from top to bottom, `stride` bytes apart
    std::uint32_t stride = 0;
    bool zero_is_white = false; // BlackWhite only: bit value 0 means white
    float dpi = 96.0F;
};

// Encodes the picture losslessly (quantiser 1 for colour and alpha) into
// `file`, through a jxrlib stream of our own over it. Float pictures keep
// jxrlib's float precision (13 mantissa bits). False when jxrlib refuses
// the picture or a write fails; the caller finishes or discards the file.
bool write_jxr(platform::OutputFile& file, const JxrPicture& picture);

} // namespace pixlane
