// Text in the drawing layer: fonts found through fontconfig and laid out and
// drawn with Pango on Cairo canvases.
//
// Each loaded font owns a private Pango font map, so a font loaded on one
// thread may be used on another (one thread at a time) without touching the
// thread-local default map of a user interface.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "draw/canvas.h"

namespace pixlane::draw {

// How text is drawn and measured. Raster: no antialiasing, hinted integer
// metrics, colour and alpha written directly over what is there. Vector:
// antialiased outlines with unhinted metrics, blended over what is there.
enum class TextMode { Raster, Vector };

// What a font is loaded from.
struct FontSpec {
    std::string face; // family name, e.g. "Arial"
    int points = 0;   // size in points at 96 dots per inch
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
};

// The extent of a laid-out string: its logical width and height in pixels.
// Raster metrics are whole pixels; vector widths may have fractions.
struct TextExtent {
    double width = 0;
    double height = 0;
};

// The installed family that `face` resolves to: fontconfig's match when it
// has that family name (ignoring case) or is one of its metric-compatible
// aliases ("Arial" gives "Liberation Sans"). Empty when the name would only
// fall back to the default font, or is empty.
std::optional<std::string> resolve_font_face(std::string_view face);

class TextFont {
  public:
    // The font, or null when the face cannot be resolved, the size is not
    // from 1 to 32767 points or Pango cannot create it.
    static std::unique_ptr<TextFont> load(const FontSpec& spec);

    ~TextFont();
    TextFont(const TextFont&) = delete;
    TextFont& operator=(const TextFont&) = delete;

    // The installed family drawn for the requested face.
    const std::string& family() const { return m_family; }

    // The logical extent of `text` (UTF-8, one line expected) in `mode`.
    TextExtent measure(std::string_view text, TextMode mode) const;

    // Draws `text` with the top-left corner of its logical box at (x, y).
    // Raster mode writes `colour` (with its alpha) over the glyph pixels,
    // leaving the pixels between glyphs as they were; vector mode blends the
    // antialiased glyphs in `colour` over the canvas.
    void draw(Canvas& canvas, std::string_view text, double x, double y, Rgba colour,
              TextMode mode) const;

  private:
    struct Impl;
    explicit TextFont(std::unique_ptr<Impl> impl, std::string family);

    std::unique_ptr<Impl> m_impl;
    std::string m_family;
};

} // namespace pixlane::draw
