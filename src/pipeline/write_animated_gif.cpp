// Animated GIF. The encoder keeps what the screen shows before the frame it
// waits to write, that frame, and the next one:
//
//   shown      the screen as a viewer has it before the waiting frame
//   waiting    written when the next frame arrives (or at the end), because
//              its disposal depends on the next frame: when the next frame is
//              transparent where the waiting one is not, the waiting frame is
//              disposed to the background over a rectangle that covers those
//              pixels, or they would stay on the screen
//
// Each frame is written as the rectangle where it differs from `shown`
// (grown by that disposal rectangle); inside it, pixels that did not change
// take the transparent entry, so they cost next to nothing once compressed.
// The palette is the frame's own: its exact colours when they are at most
// 255 (256 when no entry is needed for transparency), otherwise 255 colours
// from FreeImage's Wu quantiser. Alpha below 128 is transparent, anything
// else opaque.

#include <FreeImage.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "pipeline/animation.h"
#include "pipeline/bitmap.h"
#include "pipeline/colour_table.h"

namespace pixlane {
namespace {

constexpr std::uint32_t kClear = 0; // a transparent pixel, whatever its colour

void put16(std::string& out, int v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

// GIF's variable-width LZW, with a hashed string table; codes go into
// sub-blocks of at most 255 bytes after the minimum code size byte.
class LzwWriter {
  public:
    std::string encode(const std::uint8_t* indices, std::size_t count, int min_code_size) {
        m_out.clear();
        m_out.push_back(static_cast<char>(min_code_size));
        m_block.clear();
        m_acc = 0;
        m_bits = 0;
        const unsigned clear = 1U << min_code_size;
        const unsigned end = clear + 1;
        int width = min_code_size + 1;
        unsigned next = end + 1;
        reset();
        put(clear, width);
        if (count > 0) {
            unsigned prefix = indices[0];
            for (std::size_t i = 1; i < count; ++i) {
                const std::uint8_t v = indices[i];
                const std::uint32_t key = (prefix << 8) | v;
                std::uint32_t slot = hash(key);
                bool found = false;
                while (m_keys[slot] != 0) {
                    if (m_keys[slot] == key + 1) {
                        found = true;
                        break;
                    }
                    slot = (slot + 1) & (kSlots - 1);
                }
                if (found) {
                    prefix = m_codes[slot];
                    continue;
                }
                put(prefix, width);
                if (next < 4096) {
                    m_keys[slot] = key + 1;
                    m_codes[slot] = static_cast<std::uint16_t>(next++);
                    if (next > (1U << width) && width < 12) {
                        ++width;
                    }
                } else {
                    put(clear, width);
                    reset();
                    width = min_code_size + 1;
                    next = end + 1;
                }
                prefix = v;
            }
            put(prefix, width);
        }
        put(end, width);
        if (m_bits > 0) {
            byte(static_cast<char>(m_acc & 0xFF));
        }
        flush_block();
        m_out.push_back(0);
        return std::move(m_out);
    }

  private:
    static constexpr std::uint32_t kBits = 13;
    static constexpr std::uint32_t kSlots = 1U << kBits;

    static std::uint32_t hash(std::uint32_t key) { return (key * 0x9E3779B1U) >> (32 - kBits); }
    void reset() { m_keys.fill(0); }
    void put(unsigned code, int width) {
        m_acc |= static_cast<std::uint64_t>(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            byte(static_cast<char>(m_acc & 0xFF));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    void byte(char b) {
        m_block.push_back(b);
        if (m_block.size() == 255) {
            flush_block();
        }
    }
    void flush_block() {
        if (!m_block.empty()) {
            m_out.push_back(static_cast<char>(m_block.size()));
            m_out += m_block;
            m_block.clear();
        }
    }

    std::array<std::uint32_t, kSlots> m_keys{}; // key + 1; 0 for an empty slot
    std::array<std::uint16_t, kSlots> m_codes{};
    std::string m_out;
    std::string m_block;
    std::uint64_t m_acc = 0;
    int m_bits = 0;
};

struct Rect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0; // x1, y1 exclusive
    bool empty() const { return x1 <= x0 || y1 <= y0; }
    void add(int x, int y) {
        if (empty()) {
            *this = {x, y, x + 1, y + 1};
            return;
        }
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x + 1);
        y1 = std::max(y1, y + 1);
    }
    void add(const Rect& r) {
        if (r.empty()) {
            return;
        }
        if (empty()) {
            *this = r;
            return;
        }
        x0 = std::min(x0, r.x0);
        y0 = std::min(y0, r.y0);
        x1 = std::max(x1, r.x1);
        y1 = std::max(y1, r.y1);
    }
};

class GifEncoder final : public AnimationEncoder {
  public:
    GifEncoder(platform::OutputFile& file, const AnimationInfo& info)
        : m_file(file), m_info(info),
          m_pixels(static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.height)) {}

    bool add(const AnimationFrame& frame, int delay_ms) override {
        if (frame.width != m_info.width || frame.height != m_info.height || m_pixels == 0) {
            return false;
        }
        if (m_shown.empty()) {
            m_shown.assign(m_pixels, kClear);
            if (!write_header()) {
                return false;
            }
        }
        read_frame(frame, m_next);
        if (m_waiting_known && !write_waiting(&m_next)) {
            return false;
        }
        m_waiting.swap(m_next);
        m_waiting_delay = delay_ms;
        m_waiting_known = true;
        return true;
    }

    bool finish() override {
        if (!m_waiting_known || !write_waiting(nullptr)) {
            return false;
        }
        const char trailer = 0x3B;
        return m_file.write(&trailer, 1);
    }

  private:
    // The frame as 32-bit values (blue in the low byte), alpha 0 or 255,
    // every transparent pixel kClear.
    void read_frame(const AnimationFrame& frame, std::vector<std::uint32_t>& out) const {
        out.resize(m_pixels);
        std::uint32_t* to = out.data();
        for (int y = 0; y < frame.height; ++y) {
            const std::uint8_t* p = frame.top_row + static_cast<std::ptrdiff_t>(y) * frame.stride;
            for (int x = 0; x < frame.width; ++x, p += 4) {
                *to++ = p[3] < 128 ? kClear : (p[0] | (p[1] << 8) | (p[2] << 16) | 0xFF000000U);
            }
        }
    }

    bool write_header() {
        std::string out = "GIF89a";
        put16(out, m_info.width);
        put16(out, m_info.height);
        out.push_back(static_cast<char>(0x70)); // no global table, 8 bits of colour resolution
        out.push_back(0);                       // background entry
        out.push_back(0);                       // aspect ratio not given
        if (m_info.plays != 1) {
            out += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
            put16(out, m_info.plays == 0 ? 0 : std::min(m_info.plays - 1, 0xFFFF));
            out.push_back(0);
        }
        return m_file.write(out.data(), out.size());
    }

    bool write_waiting(const std::vector<std::uint32_t>* next) {
        const int w = m_info.width;
        const int h = m_info.height;
        const std::uint32_t* waiting = m_waiting.data();
        Rect changed;
        Rect disposed;
        for (int y = 0; y < h; ++y) {
            const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(w);
            for (int x = 0; x < w; ++x) {
                const std::size_t i = row + static_cast<std::size_t>(x);
                if (waiting[i] != m_shown[i]) {
                    changed.add(x, y);
                }
                if (next && (*next)[i] == kClear && waiting[i] != kClear) {
                    disposed.add(x, y);
                }
            }
        }
        const bool dispose = !disposed.empty();
        Rect r = changed;
        r.add(disposed);
        if (r.empty()) {
            r = {0, 0, 1, 1}; // nothing changed: one unchanged pixel
        }
        const int rw = r.x1 - r.x0;
        const int rh = r.y1 - r.y0;
        m_indices.resize(static_cast<std::size_t>(rw) * static_cast<std::size_t>(rh));

        // Exact palette first: every colour drawn, one entry each, and the
        // transparent entry for the pixels that stay as shown. When that
        // makes 257, those pixels are drawn again in their own colours,
        // which need no entry of their own unless they are transparent.
        std::vector<std::uint32_t> colours; // the table, alpha byte set
        int transparent = -1;
        bool exact = false;
        for (const bool keep_unchanged : {true, false}) {
            ColourTable palette;
            bool fits = true;
            bool keeps = false; // a pixel takes the transparent entry
            const auto kept = [&](std::size_t i) {
                return waiting[i] == kClear || (keep_unchanged && waiting[i] == m_shown[i]);
            };
            for (int y = r.y0; y < r.y1 && fits; ++y) {
                for (int x = r.x0; x < r.x1; ++x) {
                    const std::size_t i =
                        static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                        static_cast<std::size_t>(x);
                    if (kept(i)) {
                        keeps = true;
                    } else if (palette.entry_of(waiting[i]) < 0) {
                        fits = false;
                        break;
                    }
                }
            }
            if (!fits || (keeps && palette.count() == 256)) {
                continue; // no entry left for the transparent one
            }
            for (int k = 0; k < palette.count(); ++k) {
                colours.push_back(palette.colour(k));
            }
            transparent = keeps ? palette.count() : -1;
            if (keeps) {
                colours.push_back(0);
            }
            std::size_t at = 0;
            for (int y = r.y0; y < r.y1; ++y) {
                for (int x = r.x0; x < r.x1; ++x, ++at) {
                    const std::size_t i =
                        static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                        static_cast<std::size_t>(x);
                    m_indices[at] = static_cast<std::uint8_t>(
                        kept(i) ? transparent : palette.entry_of(waiting[i]));
                }
            }
            exact = true;
            break;
        }
        if (!exact && !quantise(r, colours, transparent)) {
            return false;
        }

        int bits = 1;
        while ((std::size_t{1} << bits) < colours.size()) {
            ++bits;
        }
        std::string out;
        out += "\x21\xF9\x04";
        out.push_back(static_cast<char>(((dispose ? 2 : 1) << 2) | (transparent >= 0 ? 1 : 0)));
        put16(out, std::min((std::max(m_waiting_delay, 0) + 5) / 10, 0xFFFF));
        out.push_back(static_cast<char>(transparent >= 0 ? transparent : 0));
        out.push_back(0);
        out.push_back(0x2C);
        put16(out, r.x0);
        put16(out, r.y0);
        put16(out, rw);
        put16(out, rh);
        out.push_back(static_cast<char>(0x80 | (bits - 1)));
        for (std::size_t k = 0; k < (std::size_t{1} << bits); ++k) {
            const std::uint32_t c = k < colours.size() ? colours[k] : 0;
            out.push_back(static_cast<char>((c >> 16) & 0xFF));
            out.push_back(static_cast<char>((c >> 8) & 0xFF));
            out.push_back(static_cast<char>(c & 0xFF));
        }
        out += m_lzw.encode(m_indices.data(), m_indices.size(), std::max(bits, 2));
        if (!m_file.write(out.data(), out.size())) {
            return false;
        }

        // What the screen shows now, then after the disposal.
        std::size_t at = 0;
        for (int y = r.y0; y < r.y1; ++y) {
            for (int x = r.x0; x < r.x1; ++x, ++at) {
                const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(w) +
                                      static_cast<std::size_t>(x);
                if (m_indices[at] != transparent) {
                    m_shown[i] = colours[m_indices[at]];
                }
                if (dispose) {
                    m_shown[i] = kClear;
                }
            }
        }
        return true;
    }

    // More than 256 colours: 255 from the Wu quantiser over the rectangle,
    // the last entry transparent for the pixels that stay as shown.
    bool quantise(const Rect& r, std::vector<std::uint32_t>& colours, int& transparent) {
        const int w = m_info.width;
        const int rw = r.x1 - r.x0;
        const int rh = r.y1 - r.y0;
        Bitmap rgb = adopt(FreeImage_Allocate(rw, rh, 24));
        if (!rgb) {
            return false;
        }
        for (int y = 0; y < rh; ++y) {
            BYTE* p = FreeImage_GetScanLine(rgb.get(), rh - 1 - y);
            const std::uint32_t* from =
                m_waiting.data() +
                static_cast<std::size_t>(r.y0 + y) * static_cast<std::size_t>(w) +
                static_cast<std::size_t>(r.x0);
            for (int x = 0; x < rw; ++x, p += 3) {
                p[FI_RGBA_BLUE] = static_cast<BYTE>(from[x]);
                p[FI_RGBA_GREEN] = static_cast<BYTE>(from[x] >> 8);
                p[FI_RGBA_RED] = static_cast<BYTE>(from[x] >> 16);
            }
        }
        Bitmap indexed = adopt(FreeImage_ColorQuantizeEx(rgb.get(), FIQ_WUQUANT, 255, 0, nullptr));
        rgb.reset();
        if (!indexed || FreeImage_GetBPP(indexed.get()) != 8) {
            return false;
        }
        const RGBQUAD* pal = FreeImage_GetPalette(indexed.get());
        colours.clear();
        for (int k = 0; k < 255; ++k) {
            colours.push_back(pal[k].rgbBlue | (pal[k].rgbGreen << 8) | (pal[k].rgbRed << 16) |
                              0xFF000000U);
        }
        colours.push_back(0);
        transparent = 255;
        std::size_t at = 0;
        for (int y = 0; y < rh; ++y) {
            const BYTE* p = FreeImage_GetScanLine(indexed.get(), rh - 1 - y);
            for (int x = 0; x < rw; ++x, ++at) {
                const std::size_t i =
                    static_cast<std::size_t>(r.y0 + y) * static_cast<std::size_t>(w) +
                    static_cast<std::size_t>(r.x0 + x);
                const bool keep = m_waiting[i] == m_shown[i] || m_waiting[i] == kClear;
                m_indices[at] = keep ? static_cast<std::uint8_t>(255) : std::min<BYTE>(p[x], 254);
            }
        }
        return true;
    }

    platform::OutputFile& m_file;
    AnimationInfo m_info;
    std::size_t m_pixels = 0;
    std::vector<std::uint32_t> m_shown;
    std::vector<std::uint32_t> m_waiting;
    std::vector<std::uint32_t> m_next;
    int m_waiting_delay = 0;
    bool m_waiting_known = false;
    std::vector<std::uint8_t> m_indices;
    LzwWriter m_lzw;
};

} // namespace

std::unique_ptr<AnimationEncoder> gif_animation(platform::OutputFile& file,
                                                const AnimationInfo& info) {
    return std::make_unique<GifEncoder>(file, info);
}

} // namespace pixlane
