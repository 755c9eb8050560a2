#include "settings/keywords.h"

#include <array>

#include "util/strings.h"

namespace pixlane {
namespace {

// clang-format off
constexpr Keyword k0[] = {{"AUTO", 0}, {"BGRA", 1}, {"RGBA", 2}};
constexpr Keyword k1[] = {{"AUTO", 0}, {"8", 1}, {"16", 2}, {"24", 3}, {"48HS", 4}, {"48", 5}};
constexpr Keyword k2[] = {{"ALL", 0}, {"FIRST", 1}, {"MIDDLE", 2}, {"LAST", 3}, {"RANDOM", 4}};
constexpr Keyword k3[] = {{"NONE", 0}, {"LINEAR", 1}, {"AL", 2}, {"DRR", 3}, {"GD", 4}};
// One table for every compression setting: each format's words give its own
// values, and a word of another format is accepted with its number.
constexpr Keyword k4[] = {{"NONE", 0}, {"RLE", 1}, {"ZIP", 1}, {"PIZ", 2}, {"PXR24", 3},
                          {"B44", 4}, {"ZLIB1", 1}, {"ZLIB6", 2}, {"ZLIB9", 3},
                          {"CCITTFAX3", 1}, {"CCITTFAX4", 2}, {"PACKBITS", 3}, {"DEFLATE", 4},
                          {"ADOBEDEFLATE", 5}, {"LZW", 6}, {"JPEG", 7}, {"LOGLUV", 8}};
constexpr Keyword k5[] = {{"AUTO", 0}, {"EXACT", 1}};
constexpr Keyword k6[] = {{"RGB", 0}, {"CMYK", 1}, {"LAB", 2}};
constexpr Keyword k7[] = {{"NONE", 0}, {"LOW", 1}, {"MEDIUM", 2}, {"HIGH", 3}};
constexpr Keyword k8[] = {{"STANDARD", 0}, {"SIMPLE", 1}, {"OPTIMIZED", 2}, {"PROGRESSIVE", 3}};
constexpr Keyword k9[] = {{"SIMPLE", 0}, {"ADVANCED", 1}};
constexpr Keyword k10[] = {{"PIXELS", 0}, {"PERCENT", 1}};
constexpr Keyword k11[] = {{"ALLIMAGES", 0}, {"LARGEIMAGES", 1}};
constexpr Keyword k12[] = {{"BOX", 0}, {"BILINEAR", 1}, {"BSPLINE", 2}, {"BICUBIC", 3},
                           {"CATMULLROM", 4}, {"LANCZOS", 5}};
constexpr Keyword k13[] = {{"FS", 0}, {"BAYER4", 1}, {"BAYER8", 2}, {"BAYER16", 3},
                           {"CLUSTER6", 4}, {"CLUSTER8", 5}, {"CLUSTER16", 6}};
constexpr Keyword k14[] = {{"NONE", 0}, {"SOLID", 1}};
constexpr Keyword k15[] = {{"NONE", 0}, {"TEXT", 1}, {"IMAGE", 2}};
constexpr Keyword k16[] = {{"REGULAR", 0}, {"BOLD", 1}, {"ITALIC", 2}, {"BOLDITALIC", 3}};
constexpr Keyword k17[] = {{"NONE", 0}, {"UNDERLINE", 1}, {"STRIKETHROUGHT", 2}};
constexpr Keyword k18[] = {{"LEFT", 0}, {"CENTER", 1}, {"RIGHT", 2}};
constexpr Keyword k19[] = {{"IMAGE", 0}, {"FRAME", 1}};
constexpr Keyword k20[] = {{"TOPLEFT", 0}, {"TOPCENTER", 1}, {"TOPRIGHT", 2},
                           {"MIDDLELEFT", 3}, {"MIDDLECENTER", 4}, {"MIDDLERIGHT", 5},
                           {"BOTTOMLEFT", 6}, {"BOTTOMCENTER", 7}, {"BOTTOMRIGHT", 8}};
constexpr Keyword k21[] = {{"FIXED", 0}};
constexpr Keyword k22[] = {{"CURRENT", 0}, {"ORIGINAL", 1}, {"CUSTOM", 2}};
constexpr Keyword k23[] = {{"YES", 0}, {"SKIP", 1}, {"RENAME", 2}};
constexpr Keyword k24[] = {{"OFF", 0}, {"EXACT", 1}};
// clang-format on

const std::array<std::span<const Keyword>, kKeywordKinds> kTables = {
    k0, k1, k2, k3, k4, k5, k6, k7, k8, k9, k10, k11,
    k12, k13, k14, k15, k16, k17, k18, k19, k20, k21, k22, k23, k24};

} // namespace

std::span<const Keyword> keyword_table(Keywords kind) {
    const int index = static_cast<int>(kind);
    if (index < 0 || index >= kKeywordKinds) {
        return {};
    }
    return kTables[static_cast<std::size_t>(index)];
}

std::int32_t keyword_value(Keywords kind, std::string_view text) {
    const std::string word = to_upper(trim(text));
    for (const auto& k : keyword_table(kind)) {
        if (k.word == word) {
            return k.value;
        }
    }
    return 0;
}

std::string keyword_name(Keywords kind, std::int32_t value) {
    for (const auto& k : keyword_table(kind)) {
        if (k.value == value) {
            return to_lower(k.word);
        }
    }
    return {};
}

} // namespace pixlane
