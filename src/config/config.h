// config.ini: the window mode's persistent copy of the settings record.
//
// The file is UTF-8 with a byte-order mark and CR LF line ends. Each group
// line "[Group]" is followed by "Key = value" lines and closed by the
// comment "; ". Groups and keys are written in the order of the settings
// table (settings/keys.h); carried-over keys are read but never written, the
// window geometry only with Save Window Position on, and per-format options
// only for the formats of the input and output extension lists.
//
// Reading is forgiving: groups and keys match without regard to case, blanks
// and tabs around values are ignored, numbers are the leading integer of
// their text, and a missing key takes its default. Files of older layouts
// (CFG below 19) are brought up to date as they are read.
#pragma once

#include <string>
#include <string_view>

#include "base/language.h"
#include "settings/ini.h"
#include "settings/settings.h"

namespace pixlane {

// Layout version written to every file.
inline constexpr std::int32_t kConfigVersion = 19;

// What a load needs besides the file: the current local date (for missing
// dates) and the primary desktop size (for the centred window of a fresh
// start).
struct ConfigContext {
    Date now = 0;
    int desktop_width = 0;
    int desktop_height = 0;
};

// Reads the file at s.config_path into `s`. When the file cannot be opened
// the record gets the window-form defaults and false is returned; an
// existing file supplies every field (missing keys take their defaults).
// config_path is never changed.
bool load_configuration(Settings& s, const ConfigContext& context);

// Fills `s` from parsed file content: every key of the settings table, the
// migrations of older layouts and the CsvDelimiter names. `now` is the value
// of missing dates.
void read_configuration(Settings& s, const IniFile& ini, Date now);

// The complete file content for `s`, byte-order mark included.
std::string configuration_text(const Settings& s);

// Writes `s` to s.config_path, replacing the old file in one step (a
// temporary file beside it is renamed over it). False when the file cannot
// be written; the old file is then left as it was. Callers report nothing.
bool save_configuration(const Settings& s);

// The Preferences dialog's Defaults button: asks Question::ResetToDefaults;
// on Yes resets `s` to the window-form defaults (config_path kept), saves it
// and returns true; on No changes nothing and returns false.
bool reset_to_defaults_confirmed(Settings& s, MessageBoxes& boxes, const ConfigContext& context);

// CsvDelimiter names: "tab", "space" and "crlf" (any case) become a tab, a
// blank and CR LF; other texts are returned unchanged.
std::string csv_delimiter_from_name(std::string_view text);
// The reverse: a tab, a blank or CR LF become "tab", "space", "crlf".
std::string csv_delimiter_to_name(std::string_view text);

// Image Gamma as written: six decimals in fixed notation ("1.000000"),
// "+Infinity", "-Infinity" or "NaN".
std::string float_text(float value);
// Reads float_text's forms (the special words without regard to case) and
// the leading number of any other text; `fallback` when there is none.
float float_from_text(std::string_view text, float fallback);

} // namespace pixlane
