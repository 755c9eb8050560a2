#include "settings/keywords.h"

#include <array>

#include "util/strings.h"

namespace pixlane {
namespace {

// clang-format off
constexpr Keyword kDdsLoadAsWords[] = {{"AUTO", 0}, {"BGRA", 1}, {"RGBA", 2}};
constexpr Keyword kRawLoadAsWords[] = {{"AUTO", 0}, {"8", 1}, {"16", 2}, {"24", 3}, {"48HS", 4}, {"48", 5}};
constexpr Keyword kFrameLoadingWords[] = {{"ALL", 0}, {"FIRST", 1}, {"MIDDLE", 2}, {"LAST", 3}, {"RANDOM", 4}};
constexpr Keyword kToneMappingWords[] = {{"NONE", 0}, {"LINEAR", 1}, {"AL", 2}, {"DRR", 3}, {"GD", 4}};
// One table for every compression setting: each format's words give its own
// values, and a word of another format is accepted with its number.
constexpr Keyword kCompressionWords[] = {{"NONE", 0}, {"RLE", 1}, {"ZIP", 1}, {"PIZ", 2}, {"PXR24", 3},
                          {"B44", 4}, {"ZLIB1", 1}, {"ZLIB6", 2}, {"ZLIB9", 3},
                          {"CCITTFAX3", 1}, {"CCITTFAX4", 2}, {"PACKBITS", 3}, {"DEFLATE", 4},
                          {"ADOBEDEFLATE", 5}, {"LZW", 6}, {"JPEG", 7}, {"LOGLUV", 8}};
constexpr Keyword kColorTableWords[] = {{"AUTO", 0}, {"EXACT", 1}};
constexpr Keyword kColorModeWords[] = {{"RGB", 0}, {"CMYK", 1}, {"LAB", 2}};
constexpr Keyword kChromaWords[] = {{"NONE", 0}, {"LOW", 1}, {"MEDIUM", 2}, {"HIGH", 3}};
constexpr Keyword kJpgSaveAsWords[] = {{"STANDARD", 0}, {"SIMPLE", 1}, {"OPTIMIZED", 2}, {"PROGRESSIVE", 3}};
constexpr Keyword kRotationTypeWords[] = {{"SIMPLE", 0}, {"ADVANCED", 1}};
constexpr Keyword kSizeUnitWords[] = {{"PIXELS", 0}, {"PERCENT", 1}};
constexpr Keyword kResizeTypeWords[] = {{"ALLIMAGES", 0}, {"LARGEIMAGES", 1}};
constexpr Keyword kResizeAlgorithmWords[] = {{"BOX", 0}, {"BILINEAR", 1}, {"BSPLINE", 2}, {"BICUBIC", 3},
                           {"CATMULLROM", 4}, {"LANCZOS", 5}};
constexpr Keyword kDitherWords[] = {{"FS", 0}, {"BAYER4", 1}, {"BAYER8", 2}, {"BAYER16", 3},
                           {"CLUSTER6", 4}, {"CLUSTER8", 5}, {"CLUSTER16", 6}};
constexpr Keyword kFrameKindWords[] = {{"NONE", 0}, {"SOLID", 1}};
constexpr Keyword kWatermarkKindWords[] = {{"NONE", 0}, {"TEXT", 1}, {"IMAGE", 2}};
constexpr Keyword kFontStyleWords[] = {{"REGULAR", 0}, {"BOLD", 1}, {"ITALIC", 2}, {"BOLDITALIC", 3}};
constexpr Keyword kFontEffectWords[] = {{"NONE", 0}, {"UNDERLINE", 1}, {"STRIKETHROUGHT", 2}};
constexpr Keyword kAlignmentWords[] = {{"LEFT", 0}, {"CENTER", 1}, {"RIGHT", 2}};
constexpr Keyword kBoundaryWords[] = {{"IMAGE", 0}, {"FRAME", 1}};
constexpr Keyword kPositionWords[] = {{"TOPLEFT", 0}, {"TOPCENTER", 1}, {"TOPRIGHT", 2},
                           {"MIDDLELEFT", 3}, {"MIDDLECENTER", 4}, {"MIDDLERIGHT", 5},
                           {"BOTTOMLEFT", 6}, {"BOTTOMCENTER", 7}, {"BOTTOMRIGHT", 8}};
constexpr Keyword kSizeModeWords[] = {{"FIXED", 0}};
constexpr Keyword kTimestampWords[] = {{"CURRENT", 0}, {"ORIGINAL", 1}, {"CUSTOM", 2}};
constexpr Keyword kOverwriteWords[] = {{"YES", 0}, {"SKIP", 1}, {"RENAME", 2}, {"NEWER", 3}};
constexpr Keyword kPngPaletteWords[] = {{"OFF", 0}, {"EXACT", 1}};
constexpr Keyword kSyncWords[] = {{"FILE", 0}, {"BATCH", 1}, {"NONE", 2}};
// clang-format on

// Each kind with its words; keyword_table finds a kind's row by its name,
// never by its place.
struct KeywordTable {
    Keywords kind;
    std::span<const Keyword> words;
};
constexpr KeywordTable kTables[] = {
    {Keywords::DdsLoadAs, kDdsLoadAsWords},
    {Keywords::RawLoadAs, kRawLoadAsWords},
    {Keywords::FrameLoading, kFrameLoadingWords},
    {Keywords::ToneMapping, kToneMappingWords},
    {Keywords::Compression, kCompressionWords},
    {Keywords::ColorTable, kColorTableWords},
    {Keywords::ColorMode, kColorModeWords},
    {Keywords::Chroma, kChromaWords},
    {Keywords::JpgSaveAs, kJpgSaveAsWords},
    {Keywords::RotationType, kRotationTypeWords},
    {Keywords::SizeUnit, kSizeUnitWords},
    {Keywords::ResizeType, kResizeTypeWords},
    {Keywords::ResizeAlgorithm, kResizeAlgorithmWords},
    {Keywords::Dither, kDitherWords},
    {Keywords::FrameKind, kFrameKindWords},
    {Keywords::WatermarkKind, kWatermarkKindWords},
    {Keywords::FontStyle, kFontStyleWords},
    {Keywords::FontEffect, kFontEffectWords},
    {Keywords::Alignment, kAlignmentWords},
    {Keywords::Boundary, kBoundaryWords},
    {Keywords::Position, kPositionWords},
    {Keywords::SizeMode, kSizeModeWords},
    {Keywords::Timestamp, kTimestampWords},
    {Keywords::Overwrite, kOverwriteWords},
    {Keywords::PngPalette, kPngPaletteWords},
    {Keywords::Sync, kSyncWords},
};

} // namespace

std::span<const Keyword> keyword_table(Keywords kind) {
    for (const auto& table : kTables) {
        if (table.kind == kind) {
            return table.words;
        }
    }
    return {};
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
