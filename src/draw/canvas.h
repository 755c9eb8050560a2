// The 2D drawing layer: transparent 32-bit canvases drawn with Cairo, and
// their hand-over to FreeImage.
//
// A canvas stores Cairo's ARGB32 pixels (premultiplied alpha). Colours given
// to and read from it are straight (not premultiplied) RGBA. The hand-over
// to FreeImage un-premultiplies each pixel the way Cairo's own PNG writer
// does, so the direct copy and the PNG round trip give the same pixels.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pipeline/bitmap.h"

namespace pixlane::draw {

using Surface = std::unique_ptr<cairo_surface_t, CDeleter<cairo_surface_destroy>>;
using Context = std::unique_ptr<cairo_t, CDeleter<cairo_destroy>>;

// A straight (not premultiplied) colour; alpha 255 is opaque.
struct Rgba {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 0;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

// A transparent-by-default 32-bit canvas. An empty canvas (operator bool
// false) is what a failed creation or load gives; drawing on it does nothing.
class Canvas {
  public:
    Canvas() = default;

    // A fully transparent canvas; empty when either side is below 1 or Cairo
    // cannot allocate it.
    static Canvas create(int width, int height);

    // Reads an image file (PNG, BMP, JPEG and the other types FreeImage
    // reads) into a canvas of the image's size, with the file's transparency;
    // empty when it cannot be read.
    static Canvas load(const std::string& path);

    // A canvas holding a copy of a FreeImage bitmap of any depth; empty when
    // the bitmap is missing or cannot be converted.
    static Canvas from_bitmap(FIBITMAP* bitmap);

    explicit operator bool() const { return m_surface != nullptr; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    cairo_surface_t* surface() const { return m_surface.get(); }

    // Sets every pixel to `colour` (no blending).
    void fill(Rgba colour);

    // Fills the rectangle with `colour` over what is there, antialiased.
    void fill_rect(double x, double y, double width, double height, Rgba colour);

    // Fills the closed polygon described by `path` with `colour` over what is
    // there, antialiased. The path text holds commands separated by blanks:
    // "M x y" / "L x y" move / line to an absolute point, "m dx dy" / "l dx dy"
    // the same by a relative offset, "Z" (or "z") closes the figure; numbers
    // are decimal, optionally signed. False (and nothing drawn) when the text
    // does not parse.
    bool fill_path(std::string_view path, Rgba colour);

    // Draws `src` with its top-left corner at (x, y) over this canvas, its
    // alpha multiplied by `alpha` / 255.
    void draw(const Canvas& src, int x, int y, std::uint8_t alpha = 255);

    // Replaces this canvas's pixels under `src` placed at (x, y) by those of
    // `src` with their alpha multiplied by `alpha` / 255: colour and alpha are
    // written, not blended with what was there.
    void write(const Canvas& src, int x, int y, std::uint8_t alpha = 255);

    // Turns every pixel grey: red, green and blue become
    // (77 × R + 150 × G + 29 × B) >> 8 of the straight colour; alpha stays.
    void grey_filter();

    // The straight colour of one pixel; transparent black outside the canvas.
    Rgba pixel(int x, int y) const;

    // A 32-bit FreeImage bitmap with the canvas's straight colours and alpha,
    // copied directly; missing when the canvas is empty or FreeImage cannot
    // allocate it.
    Bitmap to_bitmap() const;

    // The same bitmap through a PNG encoded in memory and read back with
    // FreeImage.
    Bitmap to_bitmap_via_png() const;

    // A Cairo context drawing on this canvas; null when the canvas is empty.
    Context context() const;

  private:
    Surface m_surface;
    int m_width = 0;
    int m_height = 0;
};

} // namespace pixlane::draw
