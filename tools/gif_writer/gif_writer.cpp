#include "gif_writer/gif_writer.h"

#include <map>

namespace pixlane::test {
namespace {

void put16(std::string& out, int v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

// Size field n of a colour table of `count` entries: the table holds 2^(n+1).
int table_size_field(std::size_t count) {
    int n = 0;
    while ((std::size_t{2} << n) < count && n < 7) {
        ++n;
    }
    return n;
}

void put_table(std::string& out, const std::vector<Rgb>& palette) {
    const std::size_t entries = std::size_t{2} << table_size_field(palette.size());
    for (std::size_t i = 0; i < entries; ++i) {
        const Rgb c = i < palette.size() ? palette[i] : 0;
        out.push_back(static_cast<char>((c >> 16) & 0xFF));
        out.push_back(static_cast<char>((c >> 8) & 0xFF));
        out.push_back(static_cast<char>(c & 0xFF));
    }
}

class BitWriter {
  public:
    void put(unsigned code, int bits) {
        m_acc |= static_cast<std::uint64_t>(code) << m_count;
        m_count += bits;
        while (m_count >= 8) {
            m_bytes.push_back(static_cast<char>(m_acc & 0xFF));
            m_acc >>= 8;
            m_count -= 8;
        }
    }
    std::string finish() {
        if (m_count > 0) {
            m_bytes.push_back(static_cast<char>(m_acc & 0xFF));
        }
        return m_bytes;
    }

  private:
    std::uint64_t m_acc = 0;
    int m_count = 0;
    std::string m_bytes;
};

std::vector<std::uint8_t> interlace(const std::vector<std::uint8_t>& rows, int width, int height) {
    std::vector<std::uint8_t> out;
    out.reserve(rows.size());
    static const int start[] = {0, 4, 2, 1};
    static const int step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = start[pass]; y < height; y += step[pass]) {
            out.insert(out.end(), rows.begin() + static_cast<long>(y) * width,
                       rows.begin() + static_cast<long>(y + 1) * width);
        }
    }
    return out;
}

} // namespace

std::string lzw_blocks(const std::vector<std::uint8_t>& indices, int min_code_size) {
    const unsigned clear = 1u << min_code_size;
    const unsigned end = clear + 1;
    BitWriter bits;
    int width = min_code_size + 1;
    unsigned next = end + 1;
    std::map<std::pair<unsigned, std::uint8_t>, unsigned> table;

    bits.put(clear, width);
    bool have = false;
    unsigned prefix = 0;
    for (std::uint8_t v : indices) {
        if (!have) {
            prefix = v;
            have = true;
            continue;
        }
        auto it = table.find({prefix, v});
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        bits.put(prefix, width);
        if (next < 4096) {
            table[{prefix, v}] = next++;
            if (next > (1u << width) && width < 12) {
                ++width;
            }
        } else {
            bits.put(clear, width);
            table.clear();
            width = min_code_size + 1;
            next = end + 1;
        }
        prefix = v;
    }
    if (have) {
        bits.put(prefix, width);
    }
    bits.put(end, width);
    const std::string data = bits.finish();

    std::string out;
    out.push_back(static_cast<char>(min_code_size));
    for (std::size_t pos = 0; pos < data.size(); pos += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - pos);
        out.push_back(static_cast<char>(n));
        out.append(data, pos, n);
    }
    out.push_back('\0');
    return out;
}

std::string encode_gif(const GifSpec& spec) {
    std::string out = spec.gif89 ? "GIF89a" : "GIF87a";
    put16(out, spec.width);
    put16(out, spec.height);
    const bool global = !spec.global_palette.empty();
    const int gsize = global ? table_size_field(spec.global_palette.size()) : 0;
    out.push_back(static_cast<char>((global ? 0x80 : 0) | 0x70 | gsize));
    out.push_back(static_cast<char>(spec.background));
    out.push_back('\0');
    if (global) {
        put_table(out, spec.global_palette);
    }
    if (spec.loop) {
        out += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";
        put16(out, 0);
        out.push_back('\0');
    }
    for (const auto& f : spec.frames) {
        if (f.graphic_control) {
            out += "\x21\xF9\x04";
            out.push_back(
                static_cast<char>(((f.disposal & 7) << 2) | (f.transparent >= 0 ? 1 : 0)));
            put16(out, f.delay);
            out.push_back(static_cast<char>(f.transparent >= 0 ? f.transparent : 0));
            out.push_back('\0');
        }
        out.push_back(',');
        put16(out, f.left);
        put16(out, f.top);
        put16(out, f.width);
        put16(out, f.height);
        const bool local = !f.local_palette.empty();
        const int lsize = local ? table_size_field(f.local_palette.size()) : 0;
        out.push_back(static_cast<char>((local ? 0x80 : 0) | (f.interlaced ? 0x40 : 0) | lsize));
        if (local) {
            put_table(out, f.local_palette);
        }
        int code_size = f.min_code_size;
        if (code_size == 0) {
            code_size = std::max(2, (local ? lsize : gsize) + 1);
        }
        out += lzw_blocks(f.interlaced ? interlace(f.indices, f.width, f.height) : f.indices,
                          code_size);
    }
    if (spec.trailer) {
        out.push_back(';');
    }
    return out;
}

GifFrame solid_frame(int left, int top, int width, int height, std::uint8_t index) {
    GifFrame f;
    f.left = left;
    f.top = top;
    f.width = width;
    f.height = height;
    f.indices.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), index);
    return f;
}

std::vector<Rgb> test_palette(int n) {
    std::vector<Rgb> p;
    for (int i = 0; i < n; ++i) {
        const unsigned r = static_cast<unsigned>((i * 97) % 256);
        const unsigned g = static_cast<unsigned>((i * 57 + 80) % 256);
        const unsigned b = static_cast<unsigned>((i * 31 + 160) % 256);
        p.push_back((r << 16) | (g << 8) | b);
    }
    if (n > 0) {
        p[0] = 0x000000;
    }
    if (n > 1) {
        p[1] = 0xFFFFFF;
    }
    return p;
}

} // namespace pixlane::test
