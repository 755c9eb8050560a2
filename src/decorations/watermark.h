// The text or image watermark stamped into each image.
//
// The watermark is rendered into a 32-bit layer with alpha, optionally
// rotated, cut to fit (never scaled), placed at one of nine positions inside
// the image or inside the solid frame, and composited over the image:
//
//   +------------------------------+   BOTTOMRIGHT, offsets X, Y:
//   |                              |   x = AW - w - X, y = AH - h - Y
//   |                   +------+   |
//   |                   | text |   Y
//   |                   +------+   |
//   +-------------------------X----+
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "naming/mask.h"
#include "pipeline/bitmap.h"
#include "settings/settings.h"

namespace pixlane {

namespace draw {
class TextFont;
}

// The font of the text watermark, loaded once per batch by the front end and
// released after it.
class WatermarkFont {
  public:
    // The font named by Font, Font Size, Font Style (bold, italic) and Font
    // Effect (underline, strikethrough); null when that face cannot be loaded,
    // that is when the installed fonts hold neither the family nor a
    // metric-compatible alias of it, or the size is below 1 point.
    static std::unique_ptr<WatermarkFont> load(const Settings& s);

    ~WatermarkFont();
    WatermarkFont(const WatermarkFont&) = delete;
    WatermarkFont& operator=(const WatermarkFont&) = delete;

    const draw::TextFont& text_font() const { return *m_font; }

  private:
    explicit WatermarkFont(std::unique_ptr<draw::TextFont> font);
    std::unique_ptr<draw::TextFont> m_font;
};

// Stamps the watermark chosen by Do Watermark; `width` and `height` are the
// image's size after resize and the icon limit. The text's tokens are filled
// from `tokens`. Whenever Do Watermark is not NONE the result is 24-bit, with
// or without a watermark.
Bitmap draw_watermark(Bitmap in, const Settings& s, const TokenSource& tokens, int width,
                      int height, const WatermarkFont* font);

// The lines of a watermark text: split at every "%eol%" in any letter case.
std::vector<std::string> watermark_lines(std::string_view text);

// The text layer of `text` (tokens already filled): a 32-bit bitmap with
// alpha holding the text block with its background and padding. Missing when
// the block would be empty.
Bitmap make_text_layer(const Settings& s, std::string_view text, const WatermarkFont& font);

// The image layer: the file named by Image with Image Opacity and, when
// Image Greyscale is on, turned grey. Missing when the file cannot be read.
Bitmap make_image_layer(const Settings& s);

struct LayerPosition {
    std::int64_t x = 0;
    std::int64_t y = 0;
    friend bool operator==(const LayerPosition&, const LayerPosition&) = default;
};

// The top-left corner of a w × h layer at `position` (TOPLEFT 0 ...
// BOTTOMRIGHT 8, other values the origin) inside an area of aw × ah, offsets
// measured from the edges the layer is aligned to.
LayerPosition watermark_position(int position, std::int64_t aw, std::int64_t ah, std::int64_t w,
                                 std::int64_t h, std::int64_t x_offset, std::int64_t y_offset);

} // namespace pixlane
