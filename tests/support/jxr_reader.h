// Reads JPEG XR files back with jxrlib, for the tests of the writer (the
// FreeImage build on this system cannot read them). Free of jxrlib and
// FreeImage types for the same reason as pipeline/jxr_writer.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pixlane::test {

struct JxrFile {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bits = 0; // bits per pixel of the stored format
    bool has_alpha = false;
    std::uint32_t stride = 0;         // bytes per row in `pixels`
    std::vector<std::uint8_t> pixels; // rows top first, in the stored format
};

// The decoded file; empty when jxrlib cannot read it.
std::optional<JxrFile> read_jxr(const std::string& path);

} // namespace pixlane::test
