#include "pipeline/gif_lzw.h"

#include <algorithm>
#include <cstring>

namespace pixlane {
namespace {

constexpr unsigned kMaxCodes = 4096;
// Bytes past the last index that a copy may write, and past the last code
// byte that the bit reader may load, so neither needs a check per byte.
constexpr std::size_t kSlack = 16;
constexpr std::size_t kCodeSlack = 8;

// Copies `len` indices from `src` to `dst` 16 at a time; `src + len` lies
// at or before `dst`, so what a copy reads is never what it wrote, and up to
// 15 indices past `dst + len` are overwritten (later output or padding).
inline void copy_ahead(const std::uint8_t* src, std::uint8_t* dst, std::size_t len) {
    for (std::size_t i = 0; i < len; i += 16) {
        std::uint8_t chunk[16];
        std::memcpy(chunk, src + i, 16);
        std::memcpy(dst + i, chunk, 16);
    }
}

} // namespace

const std::uint8_t* GifLzwDecoder::decode(std::string_view data, int min_code_size, int width,
                                          int height, bool interlaced) {
    // The code stream is the sub-blocks' bytes joined: measured, then copied.
    const auto each_block = [&](auto&& use) {
        for (std::size_t p = 0; p < data.size();) {
            const std::size_t len = static_cast<unsigned char>(data[p++]);
            if (len == 0) {
                break;
            }
            const std::size_t take = std::min(len, data.size() - p);
            use(data.data() + p, take);
            p += take;
        }
    };
    std::size_t code_bytes = 0;
    each_block([&](const char*, std::size_t n) { code_bytes += n; });
    m_codes.resize(code_bytes + kCodeSlack);
    std::uint8_t* to = m_codes.data();
    each_block([&](const char* from, std::size_t n) {
        std::memcpy(to, from, n);
        to += n;
    });
    std::memset(to, 0, kCodeSlack);

    // The rows in the order the data gives them.
    std::size_t rows = static_cast<std::size_t>(height);
    if (interlaced) {
        static constexpr int kStart[4] = {0, 4, 2, 1};
        static constexpr int kStep[4] = {8, 8, 4, 2};
        m_rows.clear();
        int y = 0;
        int pass = 0;
        for (;;) {
            m_rows.push_back(y);
            y += kStep[pass];
            if (y >= height && ++pass < 4) {
                y = kStart[pass];
            }
            if (y >= height) {
                break;
            }
        }
        rows = m_rows.size();
    }
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    const std::size_t limit = rows * static_cast<std::size_t>(width);
    if (m_output.size() < pixels + kSlack) {
        m_output.resize(pixels + kSlack);
    }
    std::uint8_t* const out = m_output.data();

    const unsigned clear = 1u << min_code_size;
    const unsigned end = clear + 1;
    const unsigned first_size = static_cast<unsigned>(min_code_size) + 1;
    unsigned next = end + 1;
    unsigned size = first_size;
    unsigned mask = (1u << size) - 1;
    bool have_old = false; // a string was output since the start or the last clear code
    std::uint32_t old_offset = 0;
    std::uint32_t old_length = 0;
    // The only entry a code may name before this image made it.
    m_offset[end + 1] = 0;
    m_length[end + 1] = 0;

    const std::uint8_t* const in = m_codes.data();
    const std::uint64_t total_bits = std::uint64_t{code_bytes} * 8;
    std::uint64_t bits_used = 0;
    std::uint64_t bits = 0; // loaded, not yet used: the low `loaded` bits
    unsigned loaded = 0;
    std::size_t in_pos = 0;
    std::size_t o = 0;
    while (o < limit && bits_used + size <= total_bits) {
        if (loaded < size) {
            // in_pos * 8 < total_bits here, so the 8 bytes lie within the padding.
            std::uint64_t word;
            std::memcpy(&word, in + in_pos, 8);
            bits |= word << loaded;
            const unsigned bytes = (63 - loaded) >> 3;
            in_pos += bytes;
            loaded += bytes * 8;
        }
        const unsigned code = static_cast<unsigned>(bits) & mask;
        bits >>= size;
        loaded -= size;
        bits_used += size;
        if (code > next || code == end) {
            break;
        }
        if (code == clear) {
            next = end + 1;
            size = first_size;
            mask = (1u << size) - 1;
            have_old = false;
            continue;
        }
        // The new entry: the previous string and the first index of this one,
        // which is written right after it.
        const bool add = have_old && next < kMaxCodes;
        if (add) {
            m_offset[next] = old_offset;
            m_length[next] = old_length + 1;
        }
        const auto start = static_cast<std::uint32_t>(o);
        std::uint32_t length = 1;
        if (code < clear) {
            out[o] = static_cast<std::uint8_t>(code);
        } else {
            const std::uint32_t src = m_offset[code];
            length = m_length[code];
            const std::size_t room = limit - o;
            if (src + length > o) {
                // The entry just made: the previous string, then its first
                // index (0 when it was empty).
                const std::size_t n = std::min<std::size_t>(old_length, room);
                std::memmove(out + o, out + src, n);
                if (room > old_length) {
                    out[o + old_length] = old_length > 0 ? out[src] : 0;
                }
            } else if (length <= room) {
                copy_ahead(out + src, out + o, length);
            } else {
                std::memcpy(out + o, out + src, room);
            }
            if (length > room) {
                o = limit; // every pixel has its index
                break;
            }
        }
        if (add && ++next < kMaxCodes && (next & mask) == 0) {
            ++size;
            mask |= next;
        }
        have_old = true;
        old_offset = start;
        old_length = length;
        o += length;
    }
    std::memset(out + o, 0, pixels - o);
    if (!interlaced) {
        return out;
    }
    m_pixels.assign(pixels, 0);
    for (std::size_t k = 0; k < rows; ++k) {
        std::memcpy(m_pixels.data() + static_cast<std::size_t>(m_rows[k]) * width, out + k * width,
                    static_cast<std::size_t>(width));
    }
    return m_pixels.data();
}

} // namespace pixlane
