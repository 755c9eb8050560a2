// The second line of --version: the image libraries as the program runs
// with them (their own version calls), libjpeg as it was built against.
#include <cstdio>
#include <string>

#include <FreeImage.h>
#include <IL/il.h>
#include <cairo.h>
#include <pango/pango.h>
#include <png.h>
#include <zlib.h>
// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "cli/reference.h"

namespace pixlane::cli {

namespace {

// DevIL's version number 178 is "1.7.8": a dot between the digits.
std::string dotted_digits(int number) {
    std::string out;
    for (char c : std::to_string(number)) {
        if (!out.empty()) {
            out += '.';
        }
        out += c;
    }
    return out;
}

std::string jpeg_version() {
#ifdef LIBJPEG_TURBO_VERSION_NUMBER
    const int n = LIBJPEG_TURBO_VERSION_NUMBER; // 2001005 is 2.1.5
    return "libjpeg-turbo " + std::to_string(n / 1000000) + "." + std::to_string(n / 1000 % 1000) +
           "." + std::to_string(n % 1000);
#else
    return "libjpeg " + std::to_string(JPEG_LIB_VERSION);
#endif
}

} // namespace

std::string library_versions() {
    std::string out = "FreeImage " + std::string(FreeImage_GetVersion());
    // The version query needs no ilInit (DevIL starts on the first save that uses it).
    out += ", DevIL " + dotted_digits(ilGetInteger(IL_VERSION_NUM));
    out += ", libpng " + std::string(png_get_libpng_ver(nullptr));
    out += ", " + jpeg_version();
    out += ", zlib " + std::string(zlibVersion());
    out += ", cairo " + std::string(cairo_version_string());
    out += ", Pango " + std::string(pango_version_string());
    return out;
}

} // namespace pixlane::cli
