// The pictures compiled into the program from the PNG files of gfx/: the
// 16-pixel icons and button images of the default theme and the About
// banner, each under its file name ("new_16.png", "button_convert.png",
// "about_banner.png").
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace pixlane {

struct EmbeddedFile {
    std::string_view name;
    const unsigned char* data;
    std::size_t size;
};

// Every embedded file, in name order. Generated at build time.
std::span<const EmbeddedFile> embedded_images();

// The bytes of the embedded file `name`; empty when there is none.
std::string_view embedded_image(std::string_view name);

} // namespace pixlane
