#include "support/animation_reader.h"

#include <webp/demux.h>
#include <zlib.h>

#include <cstring>
#include <string_view>

#include "pipeline/gif_load.h"
#include "support/test_support.h"

namespace pixlane::test {
namespace {

std::uint32_t be32(std::string_view s, std::size_t at) {
    const auto b = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + i]));
    };
    return (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
}

std::uint32_t be16(std::string_view s, std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) << 8) |
           static_cast<unsigned char>(s[at + 1]);
}

Bitmap decode_png(const std::string& bytes) {
    FIMEMORY* memory = FreeImage_OpenMemory(
        reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())), static_cast<DWORD>(bytes.size()));
    Bitmap b = adopt(FreeImage_LoadFromMemory(FIF_PNG, memory, 0));
    FreeImage_CloseMemory(memory);
    if (b && FreeImage_GetBPP(b.get()) != 32) {
        b = adopt(FreeImage_ConvertTo32Bits(b.get()));
    }
    return b;
}

// A chunk as a PNG file holds it, with its CRC.
std::string png_chunk(std::string_view type, std::string_view data) {
    std::string out(4, '\0');
    const auto n = static_cast<std::uint32_t>(data.size());
    out[0] = static_cast<char>(n >> 24);
    out[1] = static_cast<char>(n >> 16);
    out[2] = static_cast<char>(n >> 8);
    out[3] = static_cast<char>(n);
    out.append(type);
    out.append(data);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(out.data() + 4),
                            static_cast<uInt>(4 + data.size()));
    for (int shift : {24, 16, 8, 0}) {
        out.push_back(static_cast<char>((crc >> shift) & 0xFF));
    }
    return out;
}

} // namespace

Animation read_gif_animation(const std::string& path) {
    Animation a;
    GifAnimation gif;
    if (!gif.open(path)) {
        return a;
    }
    for (int k = 0; k < gif.frame_count(); ++k) {
        a.frames.push_back(gif.frame(k));
        a.delays_ms.push_back(gif.layout().frames[static_cast<std::size_t>(k)].delay_cs * 10);
    }
    const int loop = gif.layout().loop_count;
    a.plays = loop < 0 ? 1 : loop == 0 ? 0 : loop + 1;
    a.read = true;
    return a;
}

Animation read_webp_animation(const std::string& path) {
    Animation a;
    const std::string bytes = read_file(path);
    WebPData data{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        return a;
    }
    options.color_mode = MODE_BGRA;
    WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
    if (!decoder) {
        return a;
    }
    WebPAnimInfo info;
    WebPAnimDecoderGetInfo(decoder, &info);
    a.plays = static_cast<int>(info.loop_count);
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder)) {
        uint8_t* pixels = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder, &pixels, &timestamp)) {
            WebPAnimDecoderDelete(decoder);
            return a;
        }
        const int w = static_cast<int>(info.canvas_width);
        const int h = static_cast<int>(info.canvas_height);
        Bitmap b = adopt(FreeImage_Allocate(w, h, 32));
        for (int y = 0; y < h; ++y) {
            std::memcpy(FreeImage_GetScanLine(b.get(), h - 1 - y),
                        pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(w) * 4,
                        static_cast<std::size_t>(w) * 4);
        }
        a.frames.push_back(std::move(b));
        // The decoder gives each frame's end time.
        a.delays_ms.push_back(timestamp - previous);
        previous = timestamp;
    }
    WebPAnimDecoderDelete(decoder);
    a.read = true;
    return a;
}

Animation read_apng(const std::string& path) {
    Animation a;
    const std::string bytes = read_file(path);
    const std::string_view s(bytes);
    if (s.substr(0, 8) != std::string_view("\x89PNG\r\n\x1a\n", 8)) {
        return a;
    }
    std::string header; // signature and IHDR
    std::string frame_data;
    bool in_frame = false;
    std::uint32_t frames_said = 0;
    Bitmap canvas;
    std::uint32_t fx = 0, fy = 0, fw = 0, fh = 0; // the frame's area
    // Each frame replaces its area of the canvas (blend "source", dispose
    // "none": what this program writes).
    auto close_frame = [&] {
        if (!in_frame) {
            return;
        }
        std::string own = header;
        for (int i = 0; i < 4; ++i) { // IHDR width and height: the frame's
            own[16 + i] = static_cast<char>((fw >> (24 - 8 * i)) & 0xFF);
            own[20 + i] = static_cast<char>((fh >> (24 - 8 * i)) & 0xFF);
        }
        own = own.substr(0, 8) + png_chunk("IHDR", std::string_view(own).substr(16, 13));
        Bitmap part = decode_png(own + png_chunk("IDAT", frame_data) + png_chunk("IEND", {}));
        frame_data.clear();
        if (!canvas) {
            canvas = adopt(FreeImage_Allocate(static_cast<int>(be32(header, 16)),
                                              static_cast<int>(be32(header, 20)), 32));
        }
        if (!part || !FreeImage_Paste(canvas.get(), part.get(), static_cast<int>(fx),
                                      static_cast<int>(fy), 256)) {
            a.frames.emplace_back();
            return;
        }
        a.frames.push_back(adopt(FreeImage_Clone(canvas.get())));
    };
    for (std::size_t at = 8; at + 12 <= s.size();) {
        const std::uint32_t length = be32(s, at);
        if (length > s.size() - at - 12) {
            return a;
        }
        const std::string_view type = s.substr(at + 4, 4);
        const std::string_view data = s.substr(at + 8, length);
        if (type == "IHDR") {
            header = std::string(s.substr(0, 8)) + std::string(s.substr(at, 12 + length));
        } else if (type == "acTL") {
            frames_said = be32(data, 0);
            a.plays = static_cast<int>(be32(data, 4));
        } else if (type == "fcTL") {
            close_frame();
            in_frame = true;
            fw = be32(data, 4);
            fh = be32(data, 8);
            fx = be32(data, 12);
            fy = be32(data, 16);
            const std::uint32_t numerator = be16(data, 20);
            const std::uint32_t denominator = be16(data, 22) == 0 ? 100 : be16(data, 22);
            a.delays_ms.push_back(static_cast<int>(numerator * 1000 / denominator));
        } else if (type == "IDAT" && in_frame) {
            frame_data.append(data);
        } else if (type == "fdAT") {
            frame_data.append(data.substr(4)); // after the sequence number
        } else if (type == "IEND") {
            close_frame();
            a.read = frames_said == a.frames.size();
            return a;
        }
        at += 12 + length;
    }
    return a;
}

std::string picture_difference(FIBITMAP* a, FIBITMAP* b) {
    if (!a || !b) {
        return "a picture is missing";
    }
    const unsigned w = FreeImage_GetWidth(a);
    const unsigned h = FreeImage_GetHeight(a);
    if (w != FreeImage_GetWidth(b) || h != FreeImage_GetHeight(b) || FreeImage_GetBPP(a) != 32 ||
        FreeImage_GetBPP(b) != 32) {
        return "sizes or depths differ";
    }
    for (unsigned y = 0; y < h; ++y) {
        const BYTE* p = FreeImage_GetScanLine(a, static_cast<int>(y));
        const BYTE* q = FreeImage_GetScanLine(b, static_cast<int>(y));
        for (unsigned x = 0; x < w; ++x, p += 4, q += 4) {
            const bool clear = p[FI_RGBA_ALPHA] == 0 && q[FI_RGBA_ALPHA] == 0;
            if (!clear && std::memcmp(p, q, 4) != 0) {
                return "pixel " + std::to_string(x) + "," + std::to_string(h - 1 - y) + " differs";
            }
        }
    }
    return {};
}

} // namespace pixlane::test
