#include "pipeline/gif_load.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "pipeline/gif_lzw.h"
#include "pipeline/opacity.h"
#include "platform/platform.h"

namespace pixlane {
namespace {

constexpr unsigned char kImageBlock = 0x2C;
constexpr unsigned char kExtensionBlock = 0x21;
constexpr unsigned char kTrailer = 0x3B;
constexpr unsigned char kGraphicControl = 0xF9;
constexpr unsigned char kApplication = 0xFF;

// ---------------------------------------------------------------------------
// Structure check

// A bounds-checked cursor over the file's bytes.
class Cursor {
  public:
    explicit Cursor(const std::string& data) : m_data(data) {}

    std::size_t pos() const { return m_pos; }
    bool at_end() const { return m_pos >= m_data.size(); }
    bool has(std::size_t n) const { return m_data.size() - std::min(m_pos, m_data.size()) >= n; }
    bool skip(std::size_t n) {
        if (!has(n)) {
            return false;
        }
        m_pos += n;
        return true;
    }
    // The byte at pos() + offset; the caller checked has().
    unsigned peek(std::size_t offset = 0) const {
        return static_cast<unsigned char>(m_data[m_pos + offset]);
    }
    unsigned u16(std::size_t offset) const { return peek(offset) | (peek(offset + 1) << 8); }

    // Skips data sub-blocks up to and including the block terminator.
    bool skip_sub_blocks() {
        for (;;) {
            if (!has(1)) {
                return false;
            }
            const unsigned len = peek();
            ++m_pos;
            if (len == 0) {
                return true;
            }
            if (!skip(len)) {
                return false;
            }
        }
    }

  private:
    const std::string& m_data;
    std::size_t m_pos = 0;
};

bool within_limits(std::int64_t width, std::int64_t height) {
    return width >= 1 && height >= 1 && width <= kGifMaxSide && height <= kGifMaxSide &&
           width * height <= kGifMaxPixels;
}

// Entries of a colour table whose packed size field is `field`.
int table_entries(unsigned field) { return 2 << (field & 7); }

// A colour index is a byte, so 8 is the largest minimum code size; 1 is
// refused too, as the earlier decoder garbled it (its code mask went wrong at
// the first width change).
bool code_size_ok(unsigned code_size) { return code_size >= 2 && code_size <= 8; }

// The part of a frame that lies on the screen: columns x0..x1-1, rows y0..y1-1.
struct Rect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

Rect clip_to_screen(const GifFrameLayout& f, int width, int height) {
    Rect r;
    r.x0 = std::clamp(f.left, 0, width);
    r.y0 = std::clamp(f.top, 0, height);
    r.x1 = std::clamp(f.left + f.width, 0, width);
    r.y1 = std::clamp(f.top + f.height, 0, height);
    return r;
}

// A frame without a graphic control extension stays on the screen.
int effective_disposal(const GifFrameLayout& f) {
    return f.has_control ? f.disposal : kDisposalNone;
}

} // namespace

std::variant<GifLayout, Failure> validate_and_complete_gif(std::string& data) {
    const auto refused = [](std::string why) -> std::variant<GifLayout, Failure> {
        return Failure{std::move(why)};
    };
    const auto size_of = [](int w, int h) {
        return std::to_string(w) + "\u00D7" + std::to_string(h);
    };
    Cursor c(data);
    if (data.compare(0, 6, "GIF87a") != 0 && data.compare(0, 6, "GIF89a") != 0) {
        return refused("not a GIF file");
    }
    if (!c.has(13)) {
        return refused("truncated GIF file");
    }
    GifLayout layout;
    layout.width = static_cast<int>(c.u16(6));
    layout.height = static_cast<int>(c.u16(8));
    if (!within_limits(layout.width, layout.height)) {
        return refused("a screen of " + size_of(layout.width, layout.height) +
                       " is empty or larger than the loader takes");
    }
    const std::int64_t screen = std::int64_t{layout.width} * layout.height;
    const unsigned packed = c.peek(10);
    const unsigned background_index = c.peek(11);
    c.skip(13);
    int global_entries = 0;
    std::size_t global_table = 0;
    if (packed & 0x80) {
        global_entries = table_entries(packed);
        const std::size_t table = c.pos();
        global_table = table;
        if (!c.skip(3 * static_cast<std::size_t>(global_entries))) {
            return refused("truncated GIF file");
        }
        if (static_cast<int>(background_index) < global_entries) {
            const auto at = [&](std::size_t i) { return static_cast<BYTE>(data[table + i]); };
            layout.background.rgbRed = at(3 * background_index);
            layout.background.rgbGreen = at(3 * background_index + 1);
            layout.background.rgbBlue = at(3 * background_index + 2);
        }
    }
    layout.background.rgbReserved = 0;

    std::int64_t frame_pixels = 0;
    std::size_t control = 0; // offset of the last graphic control block's size byte, 0 for none
    for (;;) {
        if (c.at_end()) {
            // Ended after complete blocks: finish the stream as its writer should have.
            data.push_back(static_cast<char>(kTrailer));
            layout.trailer_added = true;
            break;
        }
        const unsigned block = c.peek();
        c.skip(1);
        if (block == kTrailer) {
            break;
        }
        if (block == kExtensionBlock) {
            if (!c.has(1)) {
                return refused("truncated GIF file");
            }
            const unsigned label = c.peek();
            c.skip(1);
            if (label == kGraphicControl) {
                control = c.pos();
            }
            // The looping extension: "NETSCAPE2.0" (or "ANIMEXTS1.0"), then a
            // sub-block 1, count low, count high.
            if (label == kApplication && c.has(16) && c.peek() == 11 && c.peek(12) == 3 &&
                c.peek(13) == 1 &&
                (data.compare(c.pos() + 1, 11, "NETSCAPE2.0") == 0 ||
                 data.compare(c.pos() + 1, 11, "ANIMEXTS1.0") == 0)) {
                layout.loop_count = static_cast<int>(c.u16(14));
            }
            if (!c.skip_sub_blocks()) {
                return refused("truncated GIF file");
            }
            continue;
        }
        if (block != kImageBlock) {
            return refused("an unknown block at byte " + std::to_string(c.pos() - 1));
        }
        if (!c.has(9)) {
            return refused("truncated GIF file");
        }
        GifFrameLayout f;
        f.left = static_cast<int>(c.u16(0));
        f.top = static_cast<int>(c.u16(2));
        f.width = static_cast<int>(c.u16(4));
        f.height = static_cast<int>(c.u16(6));
        const unsigned frame_packed = c.peek(8);
        c.skip(9);
        if (!within_limits(f.width, f.height)) {
            return refused("a frame of " + size_of(f.width, f.height) +
                           " is empty or larger than the loader takes");
        }
        if (control) {
            // The packed byte and the transparent index are read at their
            // places after the size byte, whatever the size says (the
            // following blocks' bytes for a short extension).
            const auto at = [&](std::size_t i) {
                return i < data.size() ? static_cast<unsigned char>(data[i]) : 0u;
            };
            f.has_control = true;
            f.disposal = static_cast<int>((at(control + 1) >> 2) & 7);
            if (at(control) >= 4) {
                f.delay_cs = static_cast<int>(at(control + 2) | (at(control + 3) << 8));
            }
            if (at(control + 1) & 1) {
                f.transparent = static_cast<int>(at(control + 4));
            }
            control = 0;
        }
        f.interlaced = (frame_packed & 0x40) != 0;
        f.palette_offset = global_table;
        f.palette_entries = global_entries;
        if (frame_packed & 0x80) {
            f.palette_offset = c.pos();
            f.palette_entries = table_entries(frame_packed);
            if (!c.skip(3 * static_cast<std::size_t>(f.palette_entries))) {
                return refused("truncated GIF file");
            }
        }
        if (!c.has(1)) {
            return refused("truncated GIF file");
        }
        if (!code_size_ok(c.peek())) {
            return refused("an LZW code size of " + std::to_string(c.peek()) +
                           " (2 to 8 are valid)");
        }
        f.data_offset = c.pos();
        c.skip(1);
        if (!c.skip_sub_blocks()) {
            return refused("truncated GIF file");
        }
        layout.frames.push_back(f);
        frame_pixels += std::int64_t{f.width} * f.height;
        const auto frames = static_cast<std::int64_t>(layout.frames.size());
        if (frames > kGifMaxFrames || frames * screen > kGifMaxTotalPixels ||
            frame_pixels > kGifMaxTotalPixels) {
            return refused("more frames or frame pixels than the loader takes");
        }
    }
    if (layout.frames.empty()) {
        return refused("no frames");
    }
    return layout;
}

struct GifAnimation::Impl {
    std::string data;
    GifLayout layout;
    GifLzwDecoder decoder;
    // The screen as the 32-bit bitmap frames are handed out in, rows kept
    // bottom-up as FreeImage keeps them.
    Bitmap canvas;
    std::vector<RGBQUAD> saved;   // the area under a frame disposed to "previous"
    std::int64_t saved_clear = 0; // its pixels of alpha 0
    int next = 0;                 // the frame the canvas waits for
    // Pixels of the canvas with alpha 0 (its only other alpha is 255): kept
    // as the canvas is drawn, so a frame is known opaque when it is 0. A new
    // canvas is all zeros.
    std::int64_t clear_pixels = 0;

    void restart() {
        canvas.reset();
        next = 0;
    }

    // Screen row `y`, counted from the top.
    RGBQUAD* row(int y) const {
        return reinterpret_cast<RGBQUAD*>(
            FreeImage_GetScanLine(canvas.get(), layout.height - 1 - y));
    }

    // Pixels of alpha 0 in `r`.
    std::int64_t clear_in(const Rect& r) const {
        std::int64_t n = 0;
        for (int y = r.y0; y < r.y1; ++y) {
            const RGBQUAD* p = row(y);
            for (int x = r.x0; x < r.x1; ++x) {
                n += p[x].rgbReserved == 0;
            }
        }
        return n;
    }

    // Fills `r` with the background colour (alpha 0). `r` must hold alpha 0
    // already (a new canvas), or the count is kept by clear().
    void fill(const Rect& r) {
        for (int y = r.y0; y < r.y1; ++y) {
            RGBQUAD* p = row(y);
            std::fill(p + r.x0, p + r.x1, layout.background);
        }
    }

    void clear(const Rect& r) {
        clear_pixels += std::int64_t{r.x1 - r.x0} * (r.y1 - r.y0) - clear_in(r);
        fill(r);
    }

    // Makes the canvas in the background colour everywhere but `covered`,
    // which the first frame drawn is about to write in full.
    void make_canvas(const Rect& covered) {
        canvas = adopt(FreeImage_Allocate(layout.width, layout.height, 32));
        if (!canvas) {
            throw std::bad_alloc(); // as any other allocation of the job
        }
        clear_pixels = std::int64_t{layout.width} * layout.height;
        fill({0, 0, layout.width, covered.y0});
        fill({0, covered.y1, layout.width, layout.height});
        fill({0, covered.y0, covered.x0, covered.y1});
        fill({covered.x1, covered.y0, layout.width, covered.y1});
    }

    // The colours of frame `f`'s indices, opaque: its colour table, black
    // past the table's end, or a grey ramp when the file has no table.
    void colours_of(const GifFrameLayout& f, RGBQUAD (&colours)[256]) const {
        for (int i = 0; i < 256; ++i) {
            const auto v = static_cast<BYTE>(f.palette_entries > 0 ? 0 : i);
            colours[i] = RGBQUAD{v, v, v, 255};
        }
        for (int i = 0; i < f.palette_entries; ++i) {
            const std::size_t at = f.palette_offset + 3 * static_cast<std::size_t>(i);
            colours[i].rgbRed = static_cast<BYTE>(data[at]);
            colours[i].rgbGreen = static_cast<BYTE>(data[at + 1]);
            colours[i].rgbBlue = static_cast<BYTE>(data[at + 2]);
        }
    }

    // Draws the indices `page` (f.width x f.height, top row first) of frame
    // `f` onto `area`. With `cover` every pixel of the area is written, the
    // transparent ones in the background colour (the canvas is new and that
    // area not yet cleared); otherwise transparent pixels leave the canvas as
    // it is.
    void draw(const BYTE* page, const GifFrameLayout& f, const Rect& area, bool cover) {
        RGBQUAD colours[256];
        colours_of(f, colours);
        const int transparent = f.transparent;
        if (cover && transparent >= 0) {
            colours[transparent] = layout.background;
        }
        const bool every_pixel = cover || transparent < 0;
        const int n = area.x1 - area.x0;
        // With `cover`, the transparent pixels written; otherwise the pixels
        // of alpha 0 drawn over (they become opaque).
        std::int64_t counted = 0;
        for (int y = area.y0; y < area.y1; ++y) {
            // The area starts at or right of the frame.
            const BYTE* src =
                page + static_cast<std::size_t>(y - f.top) * f.width + (area.x0 - f.left);
            RGBQUAD* dst = row(y) + area.x0;
            if (cover) {
                for (int i = 0; i < n; ++i) {
                    dst[i] = colours[src[i]];
                }
                if (transparent >= 0) {
                    counted += std::count(src, src + n, static_cast<BYTE>(transparent));
                }
            } else if (every_pixel) {
                for (int i = 0; i < n; ++i) {
                    counted += dst[i].rgbReserved == 0;
                    dst[i] = colours[src[i]];
                }
            } else {
                for (int i = 0; i < n; ++i) {
                    if (src[i] != transparent) {
                        counted += dst[i].rgbReserved == 0;
                        dst[i] = colours[src[i]];
                    }
                }
            }
        }
        // A covered area held alpha 0 throughout; only its transparent
        // pixels keep it.
        clear_pixels += cover ? counted - std::int64_t{n} * (area.y1 - area.y0) : -counted;
    }

    void copy_area(const Rect& area, bool to_saved) {
        const std::size_t w = static_cast<std::size_t>(area.x1 - area.x0);
        if (to_saved) {
            saved.resize(w * static_cast<std::size_t>(area.y1 - area.y0));
            saved_clear = clear_in(area);
        } else {
            clear_pixels += saved_clear - clear_in(area);
        }
        for (int y = area.y0; y < area.y1; ++y) {
            RGBQUAD* on_screen = row(y) + area.x0;
            RGBQUAD* keep = &saved[static_cast<std::size_t>(y - area.y0) * w];
            if (to_saved) {
                std::copy(on_screen, on_screen + w, keep);
            } else {
                std::copy(keep, keep + w, on_screen);
            }
        }
    }

    // Shows frame `next` (returning the picture when `emit`), then disposes
    // of it. With `hand_over` the picture is the canvas itself and the
    // animation starts again from the first frame.
    Bitmap advance(bool emit, bool hand_over) {
        const GifFrameLayout& f = layout.frames[static_cast<std::size_t>(next)];
        const Rect area = clip_to_screen(f, layout.width, layout.height);
        const int disposal = effective_disposal(f);
        // On a new canvas the first frame writes its whole area itself,
        // unless that area has to be kept for "previous" first.
        const bool cover = !canvas && !area.empty() && disposal != kDisposalPrevious;
        if (!canvas) {
            make_canvas(cover ? area : Rect{});
        }
        if (disposal == kDisposalPrevious && !area.empty()) {
            copy_area(area, true);
        }
        if (!area.empty()) {
            const std::string_view image = std::string_view(data).substr(f.data_offset + 1);
            const int min_code_size = static_cast<unsigned char>(data[f.data_offset]);
            draw(decoder.decode(image, min_code_size, f.width, f.height, f.interlaced), f, area,
                 cover);
        }
        Bitmap out;
        if (emit) {
            const Opacity opacity = clear_pixels == 0 ? Opacity::Opaque : Opacity::Translucent;
            if (hand_over) {
                out = std::move(canvas);
                restart();
                set_opacity(out.get(), opacity);
                return out;
            }
            out = adopt(FreeImage_Clone(canvas.get()));
            if (!out) {
                throw std::bad_alloc();
            }
            set_opacity(out.get(), opacity);
        }
        if (!area.empty()) {
            if (disposal == kDisposalBackground) {
                clear(area);
            } else if (disposal == kDisposalPrevious) {
                copy_area(area, false);
            }
        }
        ++next;
        return out;
    }

    // Frame `index`, composed on from where the canvas is.
    Bitmap compose(int index, bool hand_over) {
        if (index < next) {
            restart();
        }
        for (;;) {
            const bool wanted = next == index;
            Bitmap out = advance(wanted, hand_over && wanted);
            if (wanted) {
                return out;
            }
        }
    }
};

GifAnimation::GifAnimation() = default;
GifAnimation::~GifAnimation() = default;

GifAnimation::Opened GifAnimation::open(const std::string& path) {
    m_impl.reset();
    // Only a regular file, opened without blocking: a pipe swapped in for
    // the input fails at once instead of waiting for a writer.
    auto bytes = platform::read_plain_file(path, kGifMaxFileBytes);
    if (!bytes) {
        return {Failure{platform::is_folder(path) || !platform::exists(path)
                            ? "cannot be read"
                            : "cannot be read (not a regular file, unreadable, or over 1 GiB)"}};
    }
    return open_bytes(std::move(*bytes));
}

GifAnimation::Opened GifAnimation::open_bytes(std::string bytes) {
    m_impl.reset();
    auto impl = std::make_unique<Impl>();
    impl->data = std::move(bytes);
    auto checked = validate_and_complete_gif(impl->data);
    if (auto* failure = std::get_if<Failure>(&checked)) {
        return {std::move(*failure)};
    }
    impl->layout = std::move(std::get<GifLayout>(checked));
    m_impl = std::move(impl);
    return {};
}

int GifAnimation::frame_count() const {
    return m_impl ? static_cast<int>(m_impl->layout.frames.size()) : 0;
}

const GifLayout& GifAnimation::layout() const {
    static const GifLayout empty;
    return m_impl ? m_impl->layout : empty;
}

Bitmap GifAnimation::frame(int index) {
    if (!m_impl || index < 0 || index >= frame_count()) {
        return {};
    }
    return m_impl->compose(index, false);
}

Bitmap GifAnimation::take_frame(int index) {
    if (!m_impl || index < 0 || index >= frame_count()) {
        return {};
    }
    return m_impl->compose(index, true);
}

} // namespace pixlane
