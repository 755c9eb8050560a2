#include "support/zip_builder.h"

#include <zlib.h>

#include <stdexcept>

namespace pixlane::test {
namespace {

constexpr std::uint32_t kFull32 = 0xFFFFFFFFu;

void put16(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void put64(std::string& out, std::uint64_t v) {
    put32(out, static_cast<std::uint32_t>(v));
    put32(out, static_cast<std::uint32_t>(v >> 32));
}
void put32_big(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((v >> shift) & 0xFF);
    }
}

std::uint32_t crc_of(const std::string& bytes, std::uint32_t crc = 0) {
    return static_cast<std::uint32_t>(::crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()),
                                              static_cast<uInt>(bytes.size())));
}

// Deflates what `next` hands out (an empty piece ends it) with zlib's
// `window_bits` (negative: a raw stream).
template <class Next> std::string deflate_pieces(int window_bits, Next&& next) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, window_bits, 9, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out;
    char buffer[1 << 16];
    for (bool last = false; !last;) {
        const std::string piece = next();
        last = piece.empty();
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
        z.avail_in = static_cast<uInt>(piece.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            out.append(buffer, sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return out;
}

std::string png_chunk(const std::string& type, const std::string& data) {
    std::string out;
    put32_big(out, static_cast<std::uint32_t>(data.size()));
    out += type;
    out += data;
    put32_big(out, crc_of(type + data));
    return out;
}

std::string png_file(std::uint32_t width, std::uint32_t height, const std::string& idat) {
    std::string ihdr;
    put32_big(ihdr, width);
    put32_big(ihdr, height);
    ihdr += std::string("\x08\x06\x00\x00\x00", 5); // 8 bits, RGBA, no interlace
    return std::string("\x89PNG\r\n\x1a\n", 8) + png_chunk("IHDR", ihdr) + png_chunk("IDAT", idat) +
           png_chunk("IEND", "");
}

} // namespace

ZipEntry stored_entry(const std::string& name, const std::string& bytes) {
    return {name, bytes, false, crc_of(bytes), bytes.size(), bytes.size(), false};
}

ZipEntry deflated_entry(const std::string& name, const std::string& bytes) {
    bool given = false;
    std::string data = deflate_pieces(-MAX_WBITS, [&] {
        const bool first = !given;
        given = true;
        return first ? bytes : std::string();
    });
    const std::size_t compressed = data.size();
    return {name, std::move(data), true, crc_of(bytes), bytes.size(), compressed, false};
}

ZipEntry zero_bomb_entry(const std::string& name, std::uint64_t bytes) {
    const std::string piece(std::size_t{1} << 20, '\0');
    std::uint64_t left = bytes;
    std::uint32_t crc = 0;
    std::string data = deflate_pieces(-MAX_WBITS, [&] {
        const std::size_t n = left < piece.size() ? static_cast<std::size_t>(left) : piece.size();
        left -= n;
        std::string out = piece.substr(0, n);
        crc = crc_of(out, crc);
        return out;
    });
    const std::size_t compressed = data.size();
    return {name, std::move(data), true, crc, bytes, compressed, false};
}

std::string zip_archive(const std::vector<ZipEntry>& entries) {
    std::string out;
    std::string central;
    for (const ZipEntry& e : entries) {
        const auto offset = static_cast<std::uint32_t>(out.size());
        std::string extra;
        if (e.zip64) {
            put16(extra, 1);
            put16(extra, 16);
            put64(extra, e.size);
            put64(extra, e.compressed);
        }
        const std::uint32_t version = e.zip64 ? 45 : 20;
        const std::uint32_t method = e.deflated ? 8 : 0;
        const auto size32 = e.zip64 ? kFull32 : static_cast<std::uint32_t>(e.size);
        const auto compressed32 = e.zip64 ? kFull32 : static_cast<std::uint32_t>(e.compressed);
        // The fields both headers share, from the method to the name length.
        std::string common;
        put16(common, method);
        put16(common, 0);    // time
        put16(common, 0x21); // date: 1980-01-01
        put32(common, e.crc);
        put32(common, compressed32);
        put32(common, size32);
        put16(common, static_cast<std::uint32_t>(e.name.size()));
        put16(common, static_cast<std::uint32_t>(extra.size()));

        put32(out, 0x04034b50);
        put16(out, version);
        put16(out, 0); // flags
        out += common + e.name + extra + e.data;

        put32(central, 0x02014b50);
        put16(central, 0x031e); // made by: Unix
        put16(central, version);
        put16(central, 0);
        central += common;
        put16(central, 0);              // comment length
        put16(central, 0);              // disk
        put16(central, 0);              // internal attributes
        put32(central, 0100644u << 16); // a plain file
        put32(central, offset);
        central += e.name + extra;
    }
    std::string end;
    put32(end, 0x06054b50);
    put16(end, 0);
    put16(end, 0);
    put16(end, static_cast<std::uint32_t>(entries.size()));
    put16(end, static_cast<std::uint32_t>(entries.size()));
    put32(end, static_cast<std::uint32_t>(central.size()));
    put32(end, static_cast<std::uint32_t>(out.size()));
    put16(end, 0);
    return out + central + end;
}

std::string solid_png(std::uint32_t width, std::uint32_t height) {
    std::string row(1, '\0'); // filter byte: none
    for (std::uint32_t x = 0; x < width; ++x) {
        row += std::string("\x20\x60\xA0\xFF", 4);
    }
    std::uint32_t rows = 0;
    const std::string idat =
        deflate_pieces(MAX_WBITS, [&] { return rows++ < height ? row : std::string(); });
    return png_file(width, height, idat);
}

std::string header_only_png(std::uint32_t width, std::uint32_t height) {
    bool given = false;
    const std::string idat = deflate_pieces(MAX_WBITS, [&] {
        const bool first = !given;
        given = true;
        return first ? std::string(64, '\0') : std::string();
    });
    return png_file(width, height, idat);
}

} // namespace pixlane::test
