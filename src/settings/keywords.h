// The keyword tables of the command line: the words a user types for an
// option's value and the small integers the settings record stores.
//
// Forward: the value of the first entry whose word equals the upper-cased,
// trimmed text, else 0. Reverse: the lower-case word of the first entry in
// table order with that value, else the empty text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace pixlane {

struct Keyword {
    std::string_view word;
    std::int32_t value;
};

// The keyword tables by name. One table may serve several settings (every
// compression setting shares one, every frame-loading setting another).
enum class Keywords : std::int8_t {
    None = -1,
    DdsLoadAs,
    RawLoadAs,
    FrameLoading,
    ToneMapping,
    Compression,
    ColorTable,
    ColorMode,
    Chroma,
    JpgSaveAs,
    RotationType,
    SizeUnit,
    ResizeType,
    ResizeAlgorithm,
    Dither,
    FrameKind,
    WatermarkKind,
    FontStyle,
    FontEffect,
    Alignment,
    Boundary,
    Position,
    SizeMode,
    Timestamp,
    Overwrite,
    PngPalette,
    Sync,
};

// The entries of a table; empty for Keywords::None.
std::span<const Keyword> keyword_table(Keywords kind);
std::int32_t keyword_value(Keywords kind, std::string_view text);
std::string keyword_name(Keywords kind, std::int32_t value);

} // namespace pixlane
