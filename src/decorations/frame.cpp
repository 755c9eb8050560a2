#include "decorations/frame.h"

#include <cstdint>
#include <string>
#include <utility>

#include "decorations/compose.h"

namespace pixlane {
namespace {

constexpr std::uint8_t kFrameSolid = 1;

// Path text of a closed figure: "M x y", then "l dx dy" for each offset, "Z".
std::string closed_path(std::int64_t x, std::int64_t y,
                        std::initializer_list<std::pair<std::int64_t, std::int64_t>> offsets) {
    std::string p = "M " + std::to_string(x) + " " + std::to_string(y);
    for (const auto& [dx, dy] : offsets) {
        p += " l " + std::to_string(dx) + " " + std::to_string(dy);
    }
    return p + " Z";
}

} // namespace

Bitmap draw_frame(Bitmap in, const Settings& s, int width, int height) {
    if (!in || s.do_frame == 0) {
        return in;
    }
    in = to_24_bits(std::move(in));
    if (s.do_frame != kFrameSolid) {
        return in;
    }
    draw::Canvas frame = draw::Canvas::create(width, height);
    if (!frame) {
        return in;
    }
    // Band widths may hold any 32-bit value; 64 bits keep the sums exact.
    const std::int64_t w = width;
    const std::int64_t h = height;
    const std::int64_t l = s.solid_left;
    const std::int64_t r = s.solid_right;
    const std::int64_t t = s.solid_top;
    const std::int64_t b = s.solid_bottom;
    const draw::Rgba left = rgba_of(s.solid_left_color, 255);
    const draw::Rgba right = rgba_of(s.solid_right_color, 255);
    const draw::Rgba top = rgba_of(s.solid_top_color, 255);
    const draw::Rgba bottom = rgba_of(s.solid_bottom_color, 255);

    // The corners first, so the antialiased diagonal seams of the bands
    // never let the image show through between two colours.
    frame.fill_rect(0, 0, double(l), double(t), top);
    frame.fill_rect(double(w - r), 0, double(r), double(t), right);
    frame.fill_rect(double(w - r), double(h - b), double(r), double(b), bottom);
    frame.fill_rect(0, double(h - b), double(l), double(b), left);

    // Each band is a trapezoid reaching into both corners of its side; the
    // corners are split along their diagonals, a later band painting over an
    // earlier one where wide bands overlap.
    frame.fill_path(closed_path(0, 0, {{w, 0}, {-r, t}, {-(w - l - r), 0}}), top);
    frame.fill_path(closed_path(w, 0, {{0, h}, {-r, -b}, {0, -(h - t - b)}}), right);
    frame.fill_path(closed_path(w, h, {{-w, 0}, {l, -b}, {w - l - r, 0}}), bottom);
    frame.fill_path(closed_path(0, h, {{0, -h}, {l, t}, {0, h - t - b}}), left);

    // The bands are drawn opaque and blended as one layer, so where they
    // overlap the opacity is not applied twice. At full opacity the layer is
    // the frame itself.
    const std::uint8_t opacity = alpha_of(s.solid_opacity);
    if (opacity == 255) {
        return composite_over(std::move(in), frame.to_bitmap());
    }
    draw::Canvas blended = draw::Canvas::create(width, height);
    if (!blended) {
        return in;
    }
    blended.draw(frame, 0, 0, opacity);
    return composite_over(std::move(in), blended.to_bitmap());
}

} // namespace pixlane
