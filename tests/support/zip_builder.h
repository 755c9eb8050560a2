// Zip archives and PNG files built byte by byte, so a test can make any
// package a careless or hostile tool could: sizes that lie, zip64 sizes,
// deflate streams that inflate far beyond what they declare, pictures whose
// header claims any size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pixlane::test {

struct ZipEntry {
    std::string name;
    std::string data; // as stored: raw, or a raw deflate stream
    bool deflated = false;
    std::uint32_t crc = 0;        // of the uncompressed bytes
    std::uint64_t size = 0;       // uncompressed size the headers declare
    std::uint64_t compressed = 0; // compressed size the headers declare
    bool zip64 = false;           // sizes in a zip64 extra field
};

// An entry stored as it is, its sizes and CRC true.
ZipEntry stored_entry(const std::string& name, const std::string& bytes);
// An entry deflated with zlib, its sizes and CRC true.
ZipEntry deflated_entry(const std::string& name, const std::string& bytes);
// An entry that inflates to `bytes` zero bytes (never held in memory), its
// sizes and CRC true; a test changes `size` to make it lie.
ZipEntry zero_bomb_entry(const std::string& name, std::uint64_t bytes);

// The archive: local headers and data, central directory, end record.
std::string zip_archive(const std::vector<ZipEntry>& entries);

// A valid 8-bit RGBA PNG of one colour (rows deflated as they are made).
std::string solid_png(std::uint32_t width, std::uint32_t height);
// A PNG whose header declares width × height over a few bytes of data.
std::string header_only_png(std::uint32_t width, std::uint32_t height);

} // namespace pixlane::test
