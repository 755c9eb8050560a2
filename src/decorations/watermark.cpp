#include "decorations/watermark.h"

#include <algorithm>
#include <cmath>

#include "decorations/compose.h"
#include "draw/text.h"
#include "naming/mask.h"
#include "util/strings.h"

namespace pixlane {
namespace {

constexpr std::uint8_t kStyleBold = 1;
constexpr std::uint8_t kStyleItalic = 2;
constexpr std::uint8_t kStyleBoldItalic = 3;
constexpr std::uint8_t kEffectUnderline = 1;
constexpr std::uint8_t kEffectStrikethrough = 2;
constexpr std::uint8_t kAlignLeft = 0;
constexpr std::uint8_t kAlignCenter = 1;
constexpr std::uint8_t kAlignRight = 2;
constexpr std::uint8_t kBoundaryFrame = 1;
constexpr std::string_view kLineBreak = "%eol%";
// Least width and line height of a text of several lines.
constexpr double kMinimumBlockSide = 10;

// Where the layer goes: the placement settings of one watermark kind.
struct Placement {
    std::uint8_t boundary;
    std::uint8_t position;
    std::int32_t x_offset;
    std::int32_t y_offset;
    std::int32_t rotation;
};

Placement placement_of(const Settings& s) {
    if (s.do_watermark == kWatermarkText) {
        return {s.text_boundary, s.text_position, s.text_x_offset, s.text_y_offset,
                s.text_rotation};
    }
    return {s.image_boundary, s.image_position, s.image_x_offset, s.image_y_offset,
            s.wm_image_rotation};
}

// The left edge of a line of width `w` in a block of width `bw`.
double line_left(std::uint8_t alignment, double bw, double w, int padding) {
    switch (alignment) {
    case kAlignLeft: return padding;
    case kAlignCenter: return double(std::lround((bw - w) / 2)); // halves away from zero
    case kAlignRight: return bw - w - padding;
    default: return 0;
    }
}

// Rotates, cuts to fit, places and composites the layer; `in` is 24-bit.
Bitmap place_layer(Bitmap in, Bitmap layer, const Settings& s, int width, int height) {
    const Placement p = placement_of(s);
    if (p.rotation >= 1 && p.rotation <= 359) {
        layer.reset(FreeImage_Rotate(layer.get(), p.rotation, nullptr));
        if (!layer) {
            return in;
        }
    }
    // Settings may hold any 32-bit value; 64 bits keep the sums exact.
    std::int64_t w = width_of(layer);
    std::int64_t h = height_of(layer);
    std::int64_t aw = width;
    std::int64_t ah = height;
    std::int64_t sx = 0;
    std::int64_t sy = 0;
    if (s.do_frame != 0 && p.boundary == kBoundaryFrame) {
        aw = std::int64_t(width) - s.solid_left - s.solid_right;
        ah = std::int64_t(height) - s.solid_top - s.solid_bottom;
        sx = s.solid_left;
        sy = s.solid_top;
    }

    // Cut on the right and at the bottom, never scaled.
    const std::int64_t fit_w = w + p.x_offset > aw ? aw - p.x_offset : w;
    const std::int64_t fit_h = h + p.y_offset > ah ? ah - p.y_offset : h;
    if (fit_w <= 0 || fit_h <= 0) {
        return in;
    }
    if (fit_w != w || fit_h != h) {
        w = fit_w;
        h = fit_h;
        layer.reset(FreeImage_Copy(layer.get(), 0, 0, int(w), int(h)));
        if (!layer) {
            return in;
        }
    }

    LayerPosition at = watermark_position(p.position, aw, ah, w, h, p.x_offset, p.y_offset);
    at.x += sx;
    at.y += sy;
    // A layer not wholly inside the image is not drawn at all.
    if (at.x < 0 || at.y < 0 || at.x + w > width || at.y + h > height) {
        return in;
    }
    // The layer is copied into the transparent canvas as it is: FreeImage's
    // paste at alpha 255 would still blend, taking one level off every
    // channel, alpha included.
    const Bitmap canvas(FreeImage_AllocateT(FIT_BITMAP, width, height, bpp_of(layer), 0, 0, 0));
    constexpr int kPasteCopy = 256;
    if (!canvas || !FreeImage_Paste(canvas.get(), layer.get(), int(at.x), int(at.y), kPasteCopy)) {
        return in;
    }
    return composite_over(std::move(in), canvas);
}

} // namespace

WatermarkFont::WatermarkFont(std::unique_ptr<draw::TextFont> font) : m_font(std::move(font)) {}

WatermarkFont::~WatermarkFont() = default;

std::unique_ptr<WatermarkFont> WatermarkFont::load(const Settings& s) {
    draw::FontSpec spec;
    spec.face = s.font;
    spec.points = s.font_size;
    spec.bold = s.font_style == kStyleBold || s.font_style == kStyleBoldItalic;
    spec.italic = s.font_style == kStyleItalic || s.font_style == kStyleBoldItalic;
    spec.underline = s.font_effect == kEffectUnderline;
    spec.strikethrough = s.font_effect == kEffectStrikethrough;
    auto font = draw::TextFont::load(spec);
    if (!font) {
        return nullptr;
    }
    return std::unique_ptr<WatermarkFont>(new WatermarkFont(std::move(font)));
}

std::vector<std::string> watermark_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = ifind(text, kLineBreak, from)) != std::string_view::npos;
         from = at + kLineBreak.size()) {
        lines.emplace_back(text.substr(from, at - from));
    }
    lines.emplace_back(text.substr(from));
    return lines;
}

Bitmap make_text_layer(const Settings& s, std::string_view text, const WatermarkFont& font) {
    const draw::TextFont& f = font.text_font();
    const std::vector<std::string> lines = watermark_lines(text);
    const int n = int(lines.size()) - 1;
    const int padding = s.text_padding;

    // Block size from the raster metrics whatever the mode.
    std::vector<double> widths;
    double bw = 0;
    double lh = 0;
    for (const auto& line : lines) {
        const draw::TextExtent e = f.measure(line, draw::TextMode::Raster);
        widths.push_back(e.width);
        bw = std::max(bw, e.width);
        lh = std::max(lh, e.height);
    }
    double step = 0;
    double bh = lh;
    if (n > 0) {
        bw = std::max(bw, kMinimumBlockSide);
        lh = std::max(lh, kMinimumBlockSide);
        step = lh + s.font_leading;
        bh = lh + step * n;
    }
    bw += 2.0 * padding;
    bh += 2.0 * padding;
    // Within the largest canvas side, so that the sizes convert safely.
    constexpr double kMaxSide = 32767;
    if (!(bw >= 1 && bh >= 1 && bw <= kMaxSide && bh <= kMaxSide)) {
        return nullptr;
    }
    const int block_w = int(bw);
    const int block_h = int(bh);

    const draw::Rgba back = rgba_of(s.back_color, 255);
    const draw::Rgba ink = rgba_of(s.font_color, 255);
    const std::uint8_t back_alpha = alpha_of(s.back_opacity);
    const std::uint8_t text_alpha = alpha_of(s.text_opacity);

    // A single line sits at the padding whatever the alignment.
    auto line_x = [&](double w) {
        return n == 0 ? double(padding) : line_left(s.text_alignment, bw, w, padding);
    };
    auto line_y = [&](std::size_t i) { return padding + step * double(i); };

    draw::Canvas layer = draw::Canvas::create(block_w, block_h);
    if (!layer) {
        return nullptr;
    }
    if (s.text_antialiasing == 0) {
        layer.fill({back.r, back.g, back.b, back_alpha});
        for (std::size_t i = 0; i < lines.size(); ++i) {
            f.draw(layer, lines[i], line_x(widths[i]), line_y(i), {ink.r, ink.g, ink.b, text_alpha},
                   draw::TextMode::Raster);
        }
        return layer.to_bitmap();
    }

    draw::Canvas background = draw::Canvas::create(block_w, block_h);
    draw::Canvas glyphs = draw::Canvas::create(block_w, block_h);
    if (!background || !glyphs) {
        return nullptr;
    }
    background.fill(back);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double w = f.measure(lines[i], draw::TextMode::Vector).width;
        f.draw(glyphs, lines[i], line_x(w), line_y(i), ink, draw::TextMode::Vector);
    }
    layer.draw(background, 0, 0, back_alpha);
    layer.draw(glyphs, 0, 0, text_alpha);
    return layer.to_bitmap();
}

Bitmap make_image_layer(const Settings& s) {
    draw::Canvas image = draw::Canvas::load(s.image);
    if (!image) {
        return nullptr;
    }
    // The image's colour and alpha (times the opacity) are written into a
    // transparent canvas, so nothing shows through where the file itself is
    // transparent or translucent, whatever its depth.
    draw::Canvas layer = draw::Canvas::create(image.width(), image.height());
    if (!layer) {
        return nullptr;
    }
    if (s.image_greyscale != 0) {
        image.grey_filter();
    }
    layer.write(image, 0, 0, alpha_of(s.image_opacity));
    return layer.to_bitmap();
}

LayerPosition watermark_position(int position, std::int64_t aw, std::int64_t ah, std::int64_t w,
                                 std::int64_t h, std::int64_t x_offset, std::int64_t y_offset) {
    if (position < 0 || position > 8) {
        return {0, 0};
    }
    // Positions run TOP, MIDDLE, BOTTOM by rows and LEFT, CENTER, RIGHT by
    // columns; a centred axis ignores its offset.
    auto along = [](int place, std::int64_t area, std::int64_t size, std::int64_t offset) {
        return place == 0 ? offset : place == 1 ? (area - size) / 2 : area - size - offset;
    };
    return {along(position % 3, aw, w, x_offset), along(position / 3, ah, h, y_offset)};
}

Bitmap draw_watermark(Bitmap in, const Settings& s, const TokenSource& tokens, int width,
                      int height, const WatermarkFont* font) {
    if (!in || s.do_watermark == kWatermarkNone) {
        return in;
    }
    in = to_24_bits(std::move(in));
    Bitmap layer;
    if (s.do_watermark == kWatermarkText) {
        if (!font) {
            return in;
        }
        layer = make_text_layer(s, expand_text(s.text, tokens), *font);
    } else if (s.do_watermark == kWatermarkImage) {
        layer = make_image_layer(s);
    }
    if (!layer) {
        return in;
    }
    return place_layer(std::move(in), std::move(layer), s, width, height);
}

} // namespace pixlane
