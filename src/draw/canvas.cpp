#include "draw/canvas.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace pixlane::draw {
namespace {

// c × a / 255 rounded to the nearest integer, as Cairo and pixman compute it.
inline std::uint8_t premultiply(std::uint8_t c, std::uint8_t a) {
    const unsigned t = unsigned(c) * a + 0x80;
    return std::uint8_t(((t >> 8) + t) >> 8);
}

// The inverse used by Cairo's PNG writer.
inline std::uint8_t unpremultiply(std::uint8_t c, std::uint8_t a) {
    return std::uint8_t((unsigned(c) * 255 + a / 2) / a);
}

// A Cairo ARGB32 pixel is a native-endian word A<<24 | R<<16 | G<<8 | B.
inline std::uint32_t pack(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    return std::uint32_t(a) << 24 | std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | b;
}

inline Rgba unpack_straight(std::uint32_t p) {
    const auto a = std::uint8_t(p >> 24);
    if (a == 0) {
        return {};
    }
    const auto r = std::uint8_t(p >> 16);
    const auto g = std::uint8_t(p >> 8);
    const auto b = std::uint8_t(p);
    if (a == 255) {
        return {r, g, b, a};
    }
    return {unpremultiply(r, a), unpremultiply(g, a), unpremultiply(b, a), a};
}

inline std::uint32_t pack_premultiplied(Rgba c) {
    if (c.a == 255) {
        return pack(c.r, c.g, c.b, 255);
    }
    return pack(premultiply(c.r, c.a), premultiply(c.g, c.a), premultiply(c.b, c.a), c.a);
}

inline std::uint32_t* row_of(cairo_surface_t* s, int y) {
    return reinterpret_cast<std::uint32_t*>(cairo_image_surface_get_data(s) +
                                            std::ptrdiff_t(y) * cairo_image_surface_get_stride(s));
}

void set_colour(cairo_t* cr, Rgba c) {
    cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

struct Point {
    double x = 0;
    double y = 0;
};
using Figure = std::vector<Point>;

// Splits the path text into commands and numbers and returns its figures as
// absolute points (each closed when filled); nothing when it does not parse.
std::optional<std::vector<Figure>> parse_path(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == ',')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != ',') {
            ++i;
        }
        if (i > start) {
            tokens.push_back(text.substr(start, i - start));
        }
    }
    auto number = [&](std::size_t k, double& out) {
        if (k >= tokens.size()) {
            return false;
        }
        const char* first = tokens[k].data();
        const char* last = first + tokens[k].size();
        if (first != last && *first == '+') {
            ++first;
        }
        const auto [end, ec] = std::from_chars(first, last, out);
        return ec == std::errc() && end == last;
    };
    std::vector<Figure> figures;
    bool open = false;
    bool closed = false; // the last figure was closed: a line starts a new one
    Point current;
    Point start;
    for (std::size_t k = 0; k < tokens.size();) {
        const std::string_view cmd = tokens[k];
        if (cmd.size() != 1) {
            return std::nullopt;
        }
        double x = 0;
        double y = 0;
        switch (cmd[0]) {
        case 'M':
        case 'm':
        case 'L':
        case 'l':
            if (!number(k + 1, x) || !number(k + 2, y)) {
                return std::nullopt;
            }
            k += 3;
            if (cmd[0] != 'M' && !open) {
                return std::nullopt;
            }
            if (cmd[0] == 'l' || cmd[0] == 'm') {
                x += current.x;
                y += current.y;
            }
            if (cmd[0] == 'M' || cmd[0] == 'm') {
                start = {x, y};
                figures.push_back({start});
                closed = false;
            } else {
                if (closed) {
                    figures.push_back({current});
                    closed = false;
                }
                figures.back().push_back({x, y});
            }
            current = {x, y};
            open = true;
            break;
        case 'Z':
        case 'z':
            if (!open) {
                return std::nullopt;
            }
            current = start;
            closed = true;
            ++k;
            break;
        default: return std::nullopt;
        }
    }
    return figures;
}

// The figure cut to the half-plane where `inside` holds (Sutherland and
// Hodgman); `cross` gives where an edge crosses the boundary. Inside the
// half-plane every point keeps its winding number.
template <class Inside, class Cross> Figure cut(const Figure& f, Inside inside, Cross cross) {
    Figure out;
    for (std::size_t k = 0; k < f.size(); ++k) {
        const Point& a = f[k];
        const Point& b = f[(k + 1) % f.size()];
        if (inside(a)) {
            out.push_back(a);
        }
        if (inside(a) != inside(b)) {
            out.push_back(cross(a, b));
        }
    }
    return out;
}

// The figure cut to the rectangle x0..x1 by y0..y1.
Figure clip(Figure f, double x0, double y0, double x1, double y1) {
    auto at_x = [](double x) {
        return [x](const Point& a, const Point& b) {
            return Point{x, a.y + (b.y - a.y) * ((x - a.x) / (b.x - a.x))};
        };
    };
    auto at_y = [](double y) {
        return [y](const Point& a, const Point& b) {
            return Point{a.x + (b.x - a.x) * ((y - a.y) / (b.y - a.y)), y};
        };
    };
    f = cut(
        f, [&](const Point& p) { return p.x >= x0; }, at_x(x0));
    f = cut(
        f, [&](const Point& p) { return p.x <= x1; }, at_x(x1));
    f = cut(
        f, [&](const Point& p) { return p.y >= y0; }, at_y(y0));
    f = cut(
        f, [&](const Point& p) { return p.y <= y1; }, at_y(y1));
    return f;
}

// Adds the figures of the path text to `cr`, each cut to a margin of one
// pixel around the canvas: Cairo keeps coordinates in 24.8 fixed point and
// would wrap far points (a frame band of millions of pixels) around, while
// the cut figures cover the canvas exactly as the whole ones do.
bool build_path(cairo_t* cr, std::string_view text, int width, int height) {
    const auto figures = parse_path(text);
    if (!figures) {
        return false;
    }
    for (const Figure& whole : *figures) {
        const Figure f = clip(whole, -1.0, -1.0, width + 1.0, height + 1.0);
        if (f.size() < 3) {
            continue; // no area
        }
        cairo_move_to(cr, f[0].x, f[0].y);
        for (std::size_t k = 1; k < f.size(); ++k) {
            cairo_line_to(cr, f[k].x, f[k].y);
        }
        cairo_close_path(cr);
    }
    return true;
}

cairo_status_t append_to_string(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

Canvas Canvas::create(int width, int height) {
    Canvas c;
    if (width < 1 || height < 1) {
        return c;
    }
    Surface s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) {
        return c;
    }
    c.m_surface = std::move(s);
    c.m_width = width;
    c.m_height = height;
    return c;
}

Canvas Canvas::from_bitmap(FIBITMAP* bitmap) {
    if (!bitmap) {
        return {};
    }
    // Also takes 16-bit-per-channel RGB and RGBA bitmaps.
    const Bitmap rgba(FreeImage_ConvertTo32Bits(bitmap));
    if (!rgba) {
        return {};
    }
    const int w = width_of(rgba);
    const int h = height_of(rgba);
    Canvas c = create(w, h);
    if (!c) {
        return c;
    }
    cairo_surface_flush(c.surface());
    for (int y = 0; y < h; ++y) {
        const BYTE* src = FreeImage_GetScanLine(rgba.get(), h - 1 - y);
        std::uint32_t* dst = row_of(c.surface(), y);
        for (int x = 0; x < w; ++x, src += 4) {
            dst[x] = pack_premultiplied(
                {src[FI_RGBA_RED], src[FI_RGBA_GREEN], src[FI_RGBA_BLUE], src[FI_RGBA_ALPHA]});
        }
    }
    cairo_surface_mark_dirty(c.surface());
    return c;
}

Canvas Canvas::load(const std::string& path) {
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path.c_str(), 0);
    if (fif == FIF_UNKNOWN) {
        fif = FreeImage_GetFIFFromFilename(path.c_str());
    }
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) {
        return {};
    }
    const Bitmap image(FreeImage_Load(fif, path.c_str(), 0));
    if (!image) {
        return {};
    }
    return from_bitmap(image.get());
}

Context Canvas::context() const {
    if (!m_surface) {
        return nullptr;
    }
    Context cr(cairo_create(m_surface.get()));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
        return nullptr;
    }
    return cr;
}

void Canvas::fill(Rgba colour) {
    if (const Context cr = context()) {
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
        set_colour(cr.get(), colour);
        cairo_paint(cr.get());
    }
}

void Canvas::fill_rect(double x, double y, double width, double height, Rgba colour) {
    // Cut to a pixel around the canvas, as paths are: Cairo's fixed point
    // would wrap far edges around.
    const double x0 = std::max(std::min(x, x + width), -1.0);
    const double y0 = std::max(std::min(y, y + height), -1.0);
    const double x1 = std::min(std::max(x, x + width), m_width + 1.0);
    const double y1 = std::min(std::max(y, y + height), m_height + 1.0);
    if (!(x0 < x1 && y0 < y1)) {
        return;
    }
    if (const Context cr = context()) {
        cairo_rectangle(cr.get(), x0, y0, x1 - x0, y1 - y0);
        set_colour(cr.get(), colour);
        cairo_fill(cr.get());
    }
}

bool Canvas::fill_path(std::string_view path, Rgba colour) {
    const Context cr = context();
    if (!cr) {
        return false;
    }
    if (!build_path(cr.get(), path, m_width, m_height)) {
        return false;
    }
    set_colour(cr.get(), colour);
    cairo_fill(cr.get());
    return true;
}

void Canvas::draw(const Canvas& src, int x, int y, std::uint8_t alpha) {
    const Context cr = context();
    if (!cr || !src || alpha == 0) {
        return;
    }
    cairo_set_source_surface(cr.get(), src.surface(), x, y);
    if (alpha == 255) {
        cairo_paint(cr.get());
    } else {
        cairo_paint_with_alpha(cr.get(), alpha / 255.0);
    }
}

void Canvas::write(const Canvas& src, int x, int y, std::uint8_t alpha) {
    const Context cr = context();
    if (!cr || !src) {
        return;
    }
    cairo_rectangle(cr.get(), x, y, src.width(), src.height());
    cairo_clip(cr.get());
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr.get());
    cairo_set_operator(cr.get(), CAIRO_OPERATOR_OVER);
    cairo_set_source_surface(cr.get(), src.surface(), x, y);
    if (alpha == 255) {
        cairo_paint(cr.get());
    } else if (alpha > 0) {
        cairo_paint_with_alpha(cr.get(), alpha / 255.0);
    }
}

void Canvas::grey_filter() {
    if (!m_surface) {
        return;
    }
    cairo_surface_flush(surface());
    for (int y = 0; y < m_height; ++y) {
        std::uint32_t* row = row_of(surface(), y);
        for (int x = 0; x < m_width; ++x) {
            Rgba c = unpack_straight(row[x]);
            const auto grey = std::uint8_t((77u * c.r + 150u * c.g + 29u * c.b) >> 8);
            c.r = c.g = c.b = grey;
            row[x] = pack_premultiplied(c);
        }
    }
    cairo_surface_mark_dirty(surface());
}

Rgba Canvas::pixel(int x, int y) const {
    if (!m_surface || x < 0 || y < 0 || x >= m_width || y >= m_height) {
        return {};
    }
    cairo_surface_flush(surface());
    return unpack_straight(row_of(surface(), y)[x]);
}

Bitmap Canvas::to_bitmap() const {
    if (!m_surface) {
        return nullptr;
    }
    Bitmap b(FreeImage_Allocate(m_width, m_height, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                FI_RGBA_BLUE_MASK));
    if (!b) {
        return nullptr;
    }
    cairo_surface_flush(surface());
    for (int y = 0; y < m_height; ++y) {
        const std::uint32_t* src = row_of(surface(), y);
        BYTE* dst = FreeImage_GetScanLine(b.get(), m_height - 1 - y);
        for (int x = 0; x < m_width; ++x, dst += 4) {
            const Rgba c = unpack_straight(src[x]);
            dst[FI_RGBA_RED] = c.r;
            dst[FI_RGBA_GREEN] = c.g;
            dst[FI_RGBA_BLUE] = c.b;
            dst[FI_RGBA_ALPHA] = c.a;
        }
    }
    FreeImage_SetTransparent(b.get(), TRUE);
    return b;
}

Bitmap Canvas::to_bitmap_via_png() const {
    if (!m_surface) {
        return nullptr;
    }
    std::string png;
    if (cairo_surface_write_to_png_stream(surface(), append_to_string, &png) !=
        CAIRO_STATUS_SUCCESS) {
        return nullptr;
    }
    const MemoryStream stream(
        FreeImage_OpenMemory(reinterpret_cast<BYTE*>(png.data()), DWORD(png.size())));
    if (!stream) {
        return nullptr;
    }
    Bitmap b(FreeImage_LoadFromMemory(FIF_PNG, stream.get(), 0));
    // An opaque canvas is written as an RGB file; the layer is 32-bit all the same.
    if (b && bpp_of(b) != 32) {
        b.reset(FreeImage_ConvertTo32Bits(b.get()));
    }
    return b;
}

} // namespace pixlane::draw
