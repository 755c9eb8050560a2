// APNG: each frame is encoded as an RGBA PNG by our writer and taken apart.
// The first frame is whole, and its chunks make the file (its IDAT is the
// default image), with acTL before it; every later frame is the rectangle
// where it differs from the frame before, which replaces that part of the
// canvas (blend "source": alpha included, nothing mixed), written as an
// fcTL and its IDAT data as fdAT chunks. The frame count in acTL is known only at the
// end (repeated frames may be left out): it is written then, over the
// placeholder.

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/animation.h"

namespace pixlane {
namespace {

void put32(std::string& out, std::uint32_t v) {
    out.push_back(static_cast<char>(v >> 24));
    out.push_back(static_cast<char>(v >> 16));
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v));
}

void put16(std::string& out, std::uint32_t v) {
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v));
}

std::uint32_t read32(std::string_view bytes, std::size_t at) {
    const auto b = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i]));
    };
    return (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
}

// A whole chunk: length, type, data, CRC of type and data.
std::string chunk(std::string_view type, std::string_view data) {
    std::string out;
    put32(out, static_cast<std::uint32_t>(data.size()));
    out.append(type);
    out.append(data);
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(out.data() + 4),
                static_cast<uInt>(4 + data.size()));
    put32(out, static_cast<std::uint32_t>(crc));
    return out;
}

constexpr std::string_view kSignature{"\x89PNG\r\n\x1a\n", 8};
constexpr std::size_t kActlData = 8 + 25 + 8; // signature, IHDR, acTL's length and type

class ApngEncoder final : public AnimationEncoder {
  public:
    ApngEncoder(platform::OutputFile& file, const AnimationInfo& info, const PngOptions& options)
        : m_file(file), m_info(info), m_options(options) {}

    bool add(const AnimationFrame& frame, int delay_ms) override {
        if (frame.width != m_info.width || frame.height != m_info.height) {
            return false;
        }
        const bool first = m_frames == 0;
        const Area area = first ? Area{0, 0, frame.width, frame.height} : changed_area(frame);
        keep(frame);
        PngPicture p;
        p.pixels = PngPixels::Bgra32;
        p.width = static_cast<std::uint32_t>(area.width);
        p.height = static_cast<std::uint32_t>(area.height);
        p.top_row = frame.top_row + static_cast<std::ptrdiff_t>(area.y) * frame.stride +
                    static_cast<std::ptrdiff_t>(area.x) * 4;
        p.stride = frame.stride;
        if (!encode_png(m_png, p, m_options) || m_png.compare(0, 8, kSignature) != 0) {
            return false;
        }
        std::string out;
        bool control_written = false;
        for (std::size_t at = 8; at + 12 <= m_png.size();) {
            const std::uint32_t length = read32(m_png, at);
            if (length > m_png.size() - at - 12) {
                return false;
            }
            const std::string_view type = std::string_view(m_png).substr(at + 4, 4);
            const std::string_view whole = std::string_view(m_png).substr(at, 12 + length);
            const std::string_view data = whole.substr(8, length);
            at += 12 + length;
            if (type == "IEND") {
                break;
            }
            if (type == "IDAT") {
                if (!control_written) {
                    out += frame_control(area, delay_ms);
                    control_written = true;
                }
                if (first) {
                    out.append(whole);
                } else {
                    std::string numbered;
                    put32(numbered, m_sequence++);
                    numbered.append(data);
                    out += chunk("fdAT", numbered);
                }
                continue;
            }
            if (!first) {
                continue; // the first frame's header chunks serve every frame
            }
            if (type == "IHDR") {
                out = std::string(kSignature);
                out.append(whole);
                std::string control;
                put32(control, 0); // frames: written by finish()
                put32(control, static_cast<std::uint32_t>(m_info.plays));
                out += chunk("acTL", control);
                continue;
            }
            out.append(whole);
        }
        if (!control_written) {
            return false;
        }
        ++m_frames;
        return m_file.write(out.data(), out.size());
    }

    bool finish() override {
        if (m_frames == 0) {
            return false;
        }
        const std::string end = chunk("IEND", {});
        if (!m_file.write(end.data(), end.size())) {
            return false;
        }
        std::string control;
        put32(control, m_frames);
        put32(control, static_cast<std::uint32_t>(m_info.plays));
        const std::string actl = chunk("acTL", control);
        return m_file.seek(static_cast<std::int64_t>(kActlData - 8), SEEK_SET) &&
               m_file.write(actl.data(), actl.size()) && m_file.seek(0, SEEK_END);
    }

  private:
    struct Area {
        int x = 0, y = 0, width = 0, height = 0;
    };

    const std::uint8_t* row(const AnimationFrame& f, int y) const {
        return f.top_row + static_cast<std::ptrdiff_t>(y) * f.stride;
    }

    // The smallest rectangle holding every pixel that differs from the
    // frame before (one pixel when none does).
    Area changed_area(const AnimationFrame& f) const {
        const std::size_t bytes = static_cast<std::size_t>(f.width) * 4;
        int x0 = f.width, x1 = -1, y0 = f.height, y1 = -1;
        for (int y = 0; y < f.height; ++y) {
            const std::uint8_t* now = row(f, y);
            const std::uint8_t* before = m_previous.data() + static_cast<std::size_t>(y) * bytes;
            if (std::memcmp(now, before, bytes) == 0) {
                continue;
            }
            y0 = std::min(y0, y);
            y1 = y;
            for (int x = 0; x < f.width; ++x) {
                if (std::memcmp(now + 4 * x, before + 4 * x, 4) != 0) {
                    x0 = std::min(x0, x);
                    x1 = std::max(x1, x);
                }
            }
        }
        if (y1 < 0) {
            return {0, 0, 1, 1};
        }
        return {x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    }

    void keep(const AnimationFrame& f) {
        const std::size_t bytes = static_cast<std::size_t>(f.width) * 4;
        m_previous.resize(bytes * static_cast<std::size_t>(f.height));
        for (int y = 0; y < f.height; ++y) {
            std::memcpy(m_previous.data() + static_cast<std::size_t>(y) * bytes, row(f, y), bytes);
        }
    }

    // fcTL: `area` of the canvas, replaced by this frame, shown for delay_ms.
    std::string frame_control(const Area& area, int delay_ms) {
        std::uint32_t numerator = static_cast<std::uint32_t>(delay_ms < 0 ? 0 : delay_ms);
        std::uint32_t denominator = 1000;
        while (numerator > 0xFFFF) {
            numerator = (numerator + 5) / 10;
            denominator /= 10;
            if (denominator == 1) {
                numerator = std::min<std::uint32_t>(numerator, 0xFFFF);
            }
        }
        std::string data;
        put32(data, m_sequence++);
        put32(data, static_cast<std::uint32_t>(area.width));
        put32(data, static_cast<std::uint32_t>(area.height));
        put32(data, static_cast<std::uint32_t>(area.x));
        put32(data, static_cast<std::uint32_t>(area.y));
        put16(data, numerator);
        put16(data, denominator);
        data.push_back(0); // dispose: none
        data.push_back(0); // blend: source (the frame replaces its area)
        return chunk("fcTL", data);
    }

    platform::OutputFile& m_file;
    AnimationInfo m_info;
    PngOptions m_options;
    std::string m_png;                    // the frame being taken apart
    std::vector<std::uint8_t> m_previous; // the frame before, rows top first
    std::uint32_t m_frames = 0;
    std::uint32_t m_sequence = 0; // of fcTL and fdAT chunks
};

} // namespace

std::unique_ptr<AnimationEncoder>
png_animation(platform::OutputFile& file, const AnimationInfo& info, const PngOptions& options) {
    return std::make_unique<ApngEncoder>(file, info, options);
}

int plays_of_loop_count(int loop_count) {
    if (loop_count < 0) {
        return 1;
    }
    return loop_count == 0 ? 0 : std::min(loop_count + 1, 0xFFFF);
}

} // namespace pixlane
