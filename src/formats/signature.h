// Naming a file's type from its first bytes, independently of its extension
// and of the format catalogue. About eighty signatures of images, archives,
// media, documents and executables are known; the console batch prints the
// name in its debug listing.
#pragma once

#include <string>
#include <string_view>

namespace pixlane {

// Returned when no signature matches, or the file is missing, unreadable,
// empty or not a regular file (a folder, a pipe, a device).
inline constexpr std::string_view kUnrecognizedSignature = "[ERROR] UNRECOGNIZED";

// How many leading bytes of a file are examined.
inline constexpr std::size_t kSignatureBytes = 20;

// The type name of the file at `path` ("PNG", "GIF89A", "TIFF (LE)", ...) or
// kUnrecognizedSignature. The file is only read, and closed before returning.
std::string identify(const std::string& path);

// The type name of a file that begins with `head` (only its first
// kSignatureBytes count). Every signature of the group of the first byte is
// tested in order and the last one that matches wins, so a CR2 file, which
// also carries the little-endian TIFF mark, is named "CR2". Bytes beyond the
// end of `head` never match.
std::string identify_bytes(std::string_view head);

} // namespace pixlane
