// The format catalogue: which file types the program can name, how they are
// described, which writer and depths each output type has, and which
// settings belong to which type. Read-only tables, valid from the start.
//
// Keys are lower-case extensions; callers lower-case a file's extension
// before looking it up. The two extension lists live in app/app.h
// (kInputExtensions, kOutputExtensions); the output list order is the order
// of every user-visible list of output formats.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/extensions.h"

namespace pixlane {

class LanguageTable;
struct SettingKey;

// The writer an output type is saved with (the save type is that writer's
// constant: a FreeImage format identifier FIF_*, or a DevIL image type IL_*).
enum class SaveRoute : std::uint8_t {
    FreeImage, // FreeImage's writer with the batch's save flags
    DevIL,     // DevIL from BGR/BGRA rows
    ExactBmp,  // our BMP writer with the exact colour table (8 bits, chosen by a setting)
    JpegXr,    // jxrlib, lossless
    Pfm,       // our own writer, rows bottom to top as the format has them
    Png,       // our own writer on libpng
};

// What sets an output type apart when frames are brought to its depths and
// written.
enum FormatQuirk : std::uint8_t {
    kGreyAt8 = 1 << 0,    // its 8-bit form is grey, not a palette
    kRgb555At16 = 1 << 1, // its 16-bit form is 5-5-5, not 5-6-5
    kIconCanvas = 1 << 2, // at most 128 a side, on a square canvas of at least 16
    kMipmaps = 1 << 3,    // written with its chain of smaller pictures
    kAnimates = 1 << 4,   // can hold a whole animation in one file
};

struct OutputFormat {
    std::string_view extension;
    std::string_view description;
    SaveRoute route;
    std::int32_t save_type;
    std::string_view depths; // comma-separated bits per pixel, ascending, no blanks
    std::uint8_t quirks = 0; // FormatQuirk bits

    bool has(FormatQuirk quirk) const { return (quirks & quirk) != 0; }
};

struct InputFormat {
    std::string_view extension;
    std::string_view type; // canonical extension of the family ("jpeg" -> "jpg")
    std::string_view description;
};

// Every output type, in the order of the output extension list.
std::span<const OutputFormat> output_catalogue();
// Every input extension the program can name (79 entries), in catalogue order.
std::span<const InputFormat> input_catalogue();

// The entry of a lower-case extension; nullptr when there is none.
const OutputFormat* output_entry(std::string_view extension);

// True when the output type `extension` has `quirk` (false for an unknown one).
bool has_quirk(std::string_view extension, FormatQuirk quirk);
const InputFormat* input_entry(std::string_view extension);

// The allowed depths of an output type, ascending; empty for an unknown type.
std::vector<int> allowed_depths(std::string_view extension);
// True when `depth` is one of the allowed depths of the output type.
bool depth_allowed(std::string_view extension, int depth);

// The first allowed depth that is >= source_depth; if none is, the largest.
// 0 for an unknown output type.
int automatic_depth(std::string_view extension, int source_depth);

// For each type of the input extension list, in order, every catalogue
// extension of that type, in catalogue order ("gif" alone today).
std::vector<std::string_view> accepted_input_extensions();
// True when the extension (any case) is an accepted input extension.
bool is_accepted_input(std::string_view extension);

// The settings written for an output type (its save options) and read for
// an input type (its load options), as rows of the settings table, in table
// order. Empty when the type has none.
std::vector<const SettingKey*> save_options(std::string_view extension);
std::vector<const SettingKey*> load_options(std::string_view type);

// The filter of the "Select Input Files" dialog: Dialog/All Supported Files
// with every accepted pattern joined by ";", one entry per distinct
// description with its patterns, then Dialog/All Files + " (*.*)" with
// "*.*"; labels and patterns separated by "|".
std::string open_file_filter(const LanguageTable& language);

} // namespace pixlane
