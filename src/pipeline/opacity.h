// What is known of a 32-bit bitmap's alpha without looking at its pixels.
//
// The frame composer knows whether the frame it hands over is opaque (it
// counts the transparent pixels of its canvas as it draws), so the PNG
// writer can write an opaque 32-bit frame as RGB without reading its alpha.
// The knowledge is a custom metadata tag of the bitmap itself: it goes where
// the bitmap goes (FreeImage copies it with the bitmap's other metadata) and
// ends with it. A step that may change alpha states what it knows afterwards
// (rotation, resize and the conversion to 32 bits do); every other step of
// the job keeps alpha as it is or leaves fewer than 32 bits.
#pragma once

#include <FreeImage.h>

#include <cstdint>

namespace pixlane {

enum class Opacity : std::uint8_t {
    Unknown,     // nothing known: look at the pixels
    Opaque,      // every pixel has alpha 255
    Translucent, // some pixel has alpha below 255
};

void set_opacity(FIBITMAP* dib, Opacity opacity);
Opacity known_opacity(FIBITMAP* dib);

// True when every pixel of a 32-bit bitmap has alpha 255: what is known, or
// else found by reading alpha up to the first pixel below 255.
bool is_opaque(FIBITMAP* dib);

} // namespace pixlane
