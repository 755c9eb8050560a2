#include "pipeline/png_writer.h"

#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <string>

#include "pipeline/colour_table.h"

namespace pixlane {
namespace {

// --- libpng ------------------------------------------------------------------

// libpng reports an error by a long jump back to encode(); nothing is
// printed (the save step gives the reason).
[[noreturn]] void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

void write_data(png_structp png, png_bytep data, std::size_t size) {
    auto* file = static_cast<platform::OutputFile*>(png_get_io_ptr(png));
    if (!file->write(data, size)) {
        png_error(png, "write failed");
    }
}
void append_data(png_structp png, png_bytep data, std::size_t size) {
    static_cast<std::string*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), size);
}
void flush_data(png_structp) {} // the caller finishes the file

// The write structures, destroyed together.
struct PngWriteStruct {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngWriteStruct() {
        png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
        if (png) {
            info = png_create_info_struct(png);
        }
    }
    ~PngWriteStruct() { png_destroy_write_struct(&png, &info); }
    PngWriteStruct(const PngWriteStruct&) = delete;
    PngWriteStruct& operator=(const PngWriteStruct&) = delete;
};

int colour_type_of(const PngPicture& p) {
    switch (p.pixels) {
    case PngPixels::Grey: return PNG_COLOR_TYPE_GRAY;
    case PngPixels::Palette: return PNG_COLOR_TYPE_PALETTE;
    case PngPixels::Bgra32: return PNG_COLOR_TYPE_RGB_ALPHA;
    case PngPixels::Bgr24:
    case PngPixels::Bgrx32:
    case PngPixels::Rgb48: break;
    }
    return PNG_COLOR_TYPE_RGB;
}

int bit_depth_of(const PngPicture& p) {
    switch (p.pixels) {
    case PngPixels::Grey:
    case PngPixels::Palette: return p.bits;
    case PngPixels::Rgb48: return 16;
    case PngPixels::Bgr24:
    case PngPixels::Bgrx32:
    case PngPixels::Bgra32: break;
    }
    return 8;
}

bool valid_bits(int bits) { return bits == 1 || bits == 2 || bits == 4 || bits == 8; }

// Every libpng call of one write. No object with a destructor lives in this
// frame, so libpng's long jump out of it skips nothing.
// The row filters are those of `filter_level`, whatever options.level is.
bool encode(png_structp png, png_infop info, void* sink, png_rw_ptr write, const PngPicture& p,
            const PngOptions& options, int filter_level, const png_color* palette,
            int palette_entries) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_write_fn(png, sink, write, flush_data);
    const int depth = bit_depth_of(p);
    png_set_IHDR(png, info, p.width, p.height, depth, colour_type_of(p),
                 options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (options.level >= 0) {
        png_set_compression_level(png, options.level);
    }
    const bool wide = p.pixels != PngPixels::Grey && p.pixels != PngPixels::Palette;
    if (filter_level == 0) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    } else if (wide) {
        png_set_compression_strategy(png, Z_FILTERED);
        png_set_filter(png, PNG_FILTER_TYPE_BASE,
                       PNG_FILTER_NONE | PNG_FILTER_SUB | PNG_FILTER_PAETH);
    } else {
        png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    }
    if (p.dots_per_metre_x > 0 && p.dots_per_metre_y > 0) {
        png_set_pHYs(png, info, p.dots_per_metre_x, p.dots_per_metre_y, PNG_RESOLUTION_METER);
    }
    if (palette_entries > 0) {
        png_set_PLTE(png, info, palette, palette_entries);
        if (!p.alpha.empty()) {
            png_set_tRNS(png, info, p.alpha.data(), static_cast<int>(p.alpha.size()), nullptr);
        }
    }
    png_write_info(png, info);

    // Transformations from the caller's rows to the file's.
    if (p.pixels == PngPixels::Bgr24 || p.pixels == PngPixels::Bgrx32 ||
        p.pixels == PngPixels::Bgra32) {
        png_set_bgr(png);
    }
    if (p.pixels == PngPixels::Bgrx32) {
        png_set_filler(png, 0, PNG_FILLER_AFTER); // on writing: the fourth byte is dropped
    }
    if (p.pixels == PngPixels::Rgb48) {
        png_set_swap(png);
    }
    if (p.invert_grey) {
        png_set_invert_mono(png);
    }
    if (p.pixels == PngPixels::Palette && p.index_a_byte && p.bits < 8) {
        png_set_packing(png);
    }
    const int passes = options.interlaced ? png_set_interlace_handling(png) : 1;
    for (int pass = 0; pass < passes; ++pass) {
        for (std::uint32_t y = 0; y < p.height; ++y) {
            png_write_row(png, p.top_row + static_cast<std::ptrdiff_t>(y) * p.stride);
        }
    }
    png_write_end(png, info);
    return true;
}

// --- the exact palette ---------------------------------------------------------

// The 32-bit value of the pixel at `p` (alpha 255 without an alpha byte).
template <PngPixels Layout> std::uint32_t colour_at(const std::uint8_t* p) {
    if constexpr (Layout == PngPixels::Bgr24) {
        return p[0] | (p[1] << 8) | (p[2] << 16) | 0xFF000000U;
    } else {
        std::uint32_t v = 0;
        std::memcpy(&v, p, 4);
        if constexpr (std::endian::native == std::endian::big) {
            v = __builtin_bswap32(v);
        }
        return Layout == PngPixels::Bgrx32 ? v | 0xFF000000U : v;
    }
}

// Numbers every pixel; false at the 257th colour.
template <PngPixels Layout>
bool number_pixels(const PngPicture& p, ColourTable& table, std::uint8_t* out) {
    constexpr std::size_t step = Layout == PngPixels::Bgr24 ? 3 : 4;
    for (std::uint32_t y = 0; y < p.height; ++y) {
        const std::uint8_t* at = p.top_row + static_cast<std::ptrdiff_t>(y) * p.stride;
        for (std::uint32_t x = 0; x < p.width; ++x, at += step) {
            const int entry = table.entry_of(colour_at<Layout>(at));
            if (entry < 0) {
                return false;
            }
            *out++ = static_cast<std::uint8_t>(entry);
        }
    }
    return true;
}

} // namespace

namespace {

bool libpng_encode(void* sink, png_rw_ptr write, const PngPicture& p, const PngOptions& options,
                   int filter_level) {
    if (!p.top_row || p.width == 0 || p.height == 0) {
        return false;
    }
    const bool indexed = p.pixels == PngPixels::Grey || p.pixels == PngPixels::Palette;
    if (indexed && !valid_bits(p.bits)) {
        return false;
    }
    std::array<png_color, 256> palette{};
    int entries = 0;
    if (p.pixels == PngPixels::Palette) {
        if (p.palette.empty() || p.palette.size() > (std::size_t{1} << p.bits) ||
            p.alpha.size() > p.palette.size()) {
            return false;
        }
        for (const PngColour& c : p.palette) {
            palette[static_cast<std::size_t>(entries++)] = {c.red, c.green, c.blue};
        }
    }
    PngWriteStruct w;
    if (!w.png || !w.info) {
        return false;
    }
    return encode(w.png, w.info, sink, write, p, options, filter_level, palette.data(), entries);
}

// --- libdeflate ----------------------------------------------------------------

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const noexcept { libdeflate_free_compressor(c); }
};

// A compressor of `level`, kept for the next picture of the thread.
libdeflate_compressor* compressor(int level) {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> kept;
    thread_local int kept_level = -1;
    if (!kept || kept_level != level) {
        kept.reset(libdeflate_alloc_compressor(level));
        kept_level = kept ? level : -1;
    }
    return kept.get();
}

std::uint32_t be32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           b[3];
}

void put_be32(std::string& out, std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    out.append(bytes, 4);
}

void put_chunk(std::string& out, const char* type, const std::uint8_t* data, std::size_t size) {
    put_be32(out, static_cast<std::uint32_t>(size));
    const std::size_t start = out.size();
    out.append(type, 4);
    out.append(reinterpret_cast<const char*>(data), size);
    put_be32(out, libdeflate_crc32(0, out.data() + start, size + 4));
}

// The image data of a zlib stream made of stored blocks only (what zlib
// writes at level 0), appended to `raw`; false for any other stream.
bool unstore(const std::string& zlib, std::vector<std::uint8_t>& raw) {
    std::size_t pos = 2; // CMF, FLG
    for (;;) {
        // Each stored block starts on a byte: 3 header bits, then padding.
        if (pos + 5 > zlib.size()) {
            return false;
        }
        const auto header = static_cast<unsigned char>(zlib[pos]);
        if ((header & 6) != 0) {
            return false; // compressed: not a level-0 stream
        }
        const auto* b = reinterpret_cast<const unsigned char*>(zlib.data() + pos + 1);
        const unsigned len = b[0] | (b[1] << 8);
        const unsigned nlen = b[2] | (b[3] << 8);
        pos += 5;
        if ((len ^ nlen) != 0xFFFF || pos + len > zlib.size()) {
            return false;
        }
        raw.insert(raw.end(), zlib.begin() + static_cast<std::ptrdiff_t>(pos),
                   zlib.begin() + static_cast<std::ptrdiff_t>(pos + len));
        pos += len;
        if (header & 1) {
            return true;
        }
    }
}

// libpng writes the file at level 0 (every chunk, transformation and row
// filter as at `level`); its stored image data is then compressed once
// with libdeflate at `level` into one IDAT. False when the picture is
// refused.
bool deflate_encode(std::string& out, const PngPicture& p, const PngOptions& options, int level) {
    std::string stored;
    PngOptions at_zero = options;
    at_zero.level = 0;
    if (!libpng_encode(&stored, append_data, p, at_zero, level)) {
        return false;
    }
    // Signature, the chunks before the image data, the image data, IEND.
    constexpr std::size_t kSignature = 8;
    std::size_t pos = kSignature;
    std::size_t data_start = 0;
    std::string zlib;
    bool expected = true; // the chunks libpng writes, in their order
    while (expected && pos + 12 <= stored.size()) {
        const std::uint32_t len = be32(stored.data() + pos);
        if (len > stored.size() - pos - 12) {
            expected = false;
            break;
        }
        if (stored.compare(pos + 4, 4, "IDAT") == 0) {
            if (!data_start) {
                data_start = pos;
            }
            zlib.append(stored, pos + 8, len);
        } else if (stored.compare(pos + 4, 4, "IEND") == 0) {
            break;
        } else if (data_start) {
            expected = false; // a chunk after the image data
        }
        pos += 12 + std::size_t{len};
    }
    std::vector<std::uint8_t> raw;
    raw.reserve(zlib.size());
    libdeflate_compressor* c = compressor(level);
    if (!expected || !data_start || !c || !unstore(zlib, raw)) {
        out.clear(); // not what zlib writes at level 0: libpng compresses after all
        return libpng_encode(&out, append_data, p, options, level);
    }
    std::vector<std::uint8_t> packed(libdeflate_zlib_compress_bound(c, raw.size()));
    const std::size_t size =
        libdeflate_zlib_compress(c, raw.data(), raw.size(), packed.data(), packed.size());
    if (size == 0) {
        return false;
    }
    out.assign(stored, 0, data_start);
    constexpr std::size_t kLargestChunk = std::size_t{1} << 30;
    for (std::size_t at = 0; at < size; at += kLargestChunk) {
        put_chunk(out, "IDAT", packed.data() + at, std::min(kLargestChunk, size - at));
    }
    put_chunk(out, "IEND", nullptr, 0);
    return true;
}

// libpng's default level is zlib's, 6.
int level_of(const PngOptions& options) { return options.level < 0 ? 6 : options.level; }

// zlib compresses at levels 0 and 1 (libdeflate's level 1 was slower on
// animation frames), libdeflate above.
bool by_libdeflate(int level) { return level >= 2; }

} // namespace

bool write_png(platform::OutputFile& file, const PngPicture& p, const PngOptions& options) {
    // The file keeps the first failed write, whether libpng looked or not.
    const int level = level_of(options);
    if (!by_libdeflate(level)) {
        return libpng_encode(&file, write_data, p, options, level) && file.ok();
    }
    std::string out;
    return deflate_encode(out, p, options, level) && file.write(out.data(), out.size()) &&
           file.ok();
}

bool encode_png(std::string& out, const PngPicture& p, const PngOptions& options) {
    out.clear();
    const int level = level_of(options);
    if (!by_libdeflate(level)) {
        return libpng_encode(&out, append_data, p, options, level);
    }
    return deflate_encode(out, p, options, level);
}

PngPicture PngIndexed::picture(std::uint32_t dots_per_metre_x,
                               std::uint32_t dots_per_metre_y) const {
    PngPicture p;
    p.pixels = PngPixels::Palette;
    p.width = width;
    p.height = height;
    p.bits = bits;
    p.index_a_byte = true;
    p.top_row = indices.data();
    p.stride = static_cast<std::ptrdiff_t>(width);
    p.palette = palette;
    p.alpha = alpha;
    p.dots_per_metre_x = dots_per_metre_x;
    p.dots_per_metre_y = dots_per_metre_y;
    return p;
}

std::optional<PngIndexed> index_colours(const PngPicture& p) {
    if (!p.top_row || p.width == 0 || p.height == 0) {
        return std::nullopt;
    }
    PngIndexed out;
    out.width = p.width;
    out.height = p.height;
    out.indices.resize(std::size_t{p.width} * p.height);
    ColourTable table;
    bool fits = false;
    switch (p.pixels) {
    case PngPixels::Bgr24:
        fits = number_pixels<PngPixels::Bgr24>(p, table, out.indices.data());
        break;
    case PngPixels::Bgrx32:
        fits = number_pixels<PngPixels::Bgrx32>(p, table, out.indices.data());
        break;
    case PngPixels::Bgra32:
        fits = number_pixels<PngPixels::Bgra32>(p, table, out.indices.data());
        break;
    case PngPixels::Grey:
    case PngPixels::Palette:
    case PngPixels::Rgb48: break;
    }
    if (!fits) {
        return std::nullopt;
    }
    const int n = table.count();
    out.bits = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
    out.palette.resize(static_cast<std::size_t>(n));
    int translucent = 0; // entries up to the last one below alpha 255
    for (int k = 0; k < n; ++k) {
        const std::uint32_t c = table.colour(k);
        out.palette[static_cast<std::size_t>(k)] = {static_cast<std::uint8_t>(c >> 16),
                                                    static_cast<std::uint8_t>(c >> 8),
                                                    static_cast<std::uint8_t>(c)};
        if ((c >> 24) != 0xFF) {
            translucent = k + 1;
        }
    }
    out.alpha.resize(static_cast<std::size_t>(translucent));
    for (int k = 0; k < translucent; ++k) {
        out.alpha[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(table.colour(k) >> 24);
    }
    return out;
}

} // namespace pixlane
