#include "pipeline/opacity.h"

#include <cstring>

namespace pixlane {
namespace {

constexpr const char* kKey = "Pixlane Opacity";
constexpr const char* kOpaque = "opaque";
constexpr const char* kTranslucent = "translucent";

} // namespace

void set_opacity(FIBITMAP* dib, Opacity opacity) {
    if (!dib) {
        return;
    }
    if (opacity == Opacity::Unknown) {
        FreeImage_SetMetadata(FIMD_CUSTOM, dib, kKey, nullptr); // removes the tag
        return;
    }
    FreeImage_SetMetadataKeyValue(FIMD_CUSTOM, dib, kKey,
                                  opacity == Opacity::Opaque ? kOpaque : kTranslucent);
}

Opacity known_opacity(FIBITMAP* dib) {
    FITAG* tag = nullptr;
    if (!dib || !FreeImage_GetMetadata(FIMD_CUSTOM, dib, kKey, &tag) || !tag ||
        FreeImage_GetTagType(tag) != FIDT_ASCII) {
        return Opacity::Unknown;
    }
    const auto* value = static_cast<const char*>(FreeImage_GetTagValue(tag));
    if (value && std::strcmp(value, kOpaque) == 0) {
        return Opacity::Opaque;
    }
    return value && std::strcmp(value, kTranslucent) == 0 ? Opacity::Translucent : Opacity::Unknown;
}

bool is_opaque(FIBITMAP* dib) {
    if (!dib || FreeImage_GetBPP(dib) != 32 || FreeImage_GetImageType(dib) != FIT_BITMAP) {
        return false;
    }
    if (const Opacity known = known_opacity(dib); known != Opacity::Unknown) {
        return known == Opacity::Opaque;
    }
    const unsigned width = FreeImage_GetWidth(dib);
    const unsigned height = FreeImage_GetHeight(dib);
    for (unsigned y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const RGBQUAD*>(FreeImage_GetScanLine(dib, static_cast<int>(y)));
        for (unsigned x = 0; x < width; ++x) {
            if (row[x].rgbReserved != 0xFF) {
                return false;
            }
        }
    }
    return true;
}

} // namespace pixlane
