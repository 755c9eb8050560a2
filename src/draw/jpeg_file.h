// JPEG files from 8-bit RGB pixels, written with libjpeg.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pixlane {

// Encodes `width` x `height` RGB pixels (rows top to bottom, 3 bytes a
// pixel, no padding) at `quality` 0..100 (baseline, 4:2:0). Empty when the
// size is not positive, the buffer is too short, or the encoder fails.
std::optional<std::vector<std::uint8_t>> encode_jpeg(const std::uint8_t* rgb, std::size_t size,
                                                     int width, int height, int quality);

// Encodes as above and replaces the file at `path` whole (a failure leaves
// what was there). False on any failure.
bool write_jpeg_file(const std::string& path, const std::uint8_t* rgb, std::size_t size, int width,
                     int height, int quality);

} // namespace pixlane
