// Output naming: the token expander of the filename mask (also used for the
// watermark text), the output and temporary paths and output timestamps.
//
// The tokens are listed once, in mask.cpp's table, and found without regard
// to case. The text is expanded in one pass:
// a token's value is inserted as it is and never expanded again, so an input
// named "a%n%.gif" keeps "%n%" in its output name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "records/records.h"
#include "settings/settings.h"

namespace pixlane {

// Source of the current local wall-clock date for the date tokens.
using Clock = std::int32_t (*)();

// What the tokens of one output name are filled from.
struct TokenSource {
    const BatchPlan& plan;
    const FileTask& task;
    const FrameFacts& frame;
    Clock clock = nullptr;
};

// A token of the mask: its text, what it stands for (the help texts list
// it), whether its value depends on the files converted before (a run that
// converts files side by side redoes a file whose count it guessed wrong),
// whether it numbers the frames of an animation itself, and its value.
struct MaskToken {
    std::string_view text;
    std::string_view meaning;
    bool counts_files = false;
    bool numbers_frames = false;
    std::string (*value)(const TokenSource& source) = nullptr;
};

// Every token, in the order the expander tries them.
std::span<const MaskToken> mask_tokens();

// True when `text` holds a token whose value depends on the files converted
// before (%n%, %rnd%).
bool uses_file_counts(std::string_view text);

// True when the names a mask gives have an extension: it holds an
// extension token (%ext%, %ext[u]%, …) or a "." after its last token.
bool mask_gives_extension(std::string_view mask);

// True when the mask names each frame itself (it holds %frame%), so the
// frames of an animation need no "[k]" suffix.
bool mask_numbers_frames(const Settings& s);

// The output file name (no folder) for the current frame: the mask
// lower-cased (an empty mask is "%filename%.%ext%"), its tokens filled.
std::string expand_mask(const Settings& s, const TokenSource& source);

// The watermark text with its tokens filled; literal text keeps its case. A
// text with fewer than two "%" is returned unchanged.
std::string expand_text(std::string_view text, const TokenSource& source);

// The input file's name without folder and without its last extension.
std::string base_name(std::string_view input_path);

// At least five digits, padded with "0" on the left; longer values stay whole.
std::string five_digits(std::int64_t value);

// Output folder + relative subfolder (when Keep Subfolders is on) + expanded mask.
std::string output_path(const Settings& s, const TokenSource& source);

// Output folder + relative subfolder (when Keep Subfolders is on) + the
// temporary name of a frame of the output extension.
std::string temporary_path(const Settings& s, const BatchPlan& plan, const FileTask& task,
                           Clock clock = nullptr);

// A temporary file's name: ASCII letters from the random name rule with
// prefix "pixlane", then "." + the run's mark + "." + `extension`. The mark
// names the process that owns the run, so a later run can tell another
// run's leftovers from files of its own or of a run still going.
std::string temporary_name(std::string_view extension, Clock clock = nullptr);

// The process a run's temporary files belong to: its id and start time.
struct RunOwner {
    long pid = 0;
    std::uint64_t started = 0;
    bool operator==(const RunOwner&) const = default;
};
// This process, unless set_run_owner() named another (a worker process
// names the run that started it).
RunOwner run_owner();
void set_run_owner(RunOwner owner);
// The owner a temporary name carries; nothing for any other name.
std::optional<RunOwner> temporary_owner(std::string_view name);

// prefix + the current date's digits written as letters "a".."j" + five
// random letters "a".."z" + suffix.
std::string random_name(std::string_view prefix, std::string_view suffix, Clock clock = nullptr);

// After a successful conversion: File Timestamp ORIGINAL copies the input
// file's modification time to the output, CUSTOM sets Custom Timestamp,
// CURRENT leaves it. Only the modification time changes.
bool apply_timestamp(const Settings& s, const std::string& input_path,
                     const std::string& output_path);

} // namespace pixlane
