#include "ui/images_ui.h"

#include <wx/image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/product.h"

namespace pixlane {

wxBitmap to_bitmap(const RgbaImage* image, int size) {
    if (image == nullptr || image->empty()) {
        const int side = size > 0 ? size : 16;
        wxImage blank(side, side);
        blank.InitAlpha();
        std::memset(blank.GetAlpha(), 0, static_cast<std::size_t>(side) * side);
        return wxBitmap(blank);
    }
    const std::size_t pixels = static_cast<std::size_t>(image->width) * image->height;
    // wxImage takes ownership of malloc'ed buffers.
    auto* rgb = static_cast<unsigned char*>(std::malloc(pixels * 3));
    auto* alpha = static_cast<unsigned char*>(std::malloc(pixels));
    for (std::size_t i = 0; i < pixels; ++i) {
        rgb[i * 3] = image->rgba[i * 4];
        rgb[i * 3 + 1] = image->rgba[i * 4 + 1];
        rgb[i * 3 + 2] = image->rgba[i * 4 + 2];
        alpha[i] = image->rgba[i * 4 + 3];
    }
    wxImage picture(image->width, image->height, rgb, alpha);
    if (size > 0 && (image->width != size || image->height != size)) {
        picture.Rescale(size, size, wxIMAGE_QUALITY_HIGH);
    }
    return wxBitmap(picture);
}

void report_theme_refusals(const std::vector<ThemeRefusal>& refused) {
    for (const ThemeRefusal& refusal : refused) {
        std::fprintf(stderr, "%s: theme %s skipped: %s\n", title_text().c_str(),
                     refusal.package.c_str(), refusal.reason.c_str());
    }
}

} // namespace pixlane
