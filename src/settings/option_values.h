// How a command-line or profile option's value is read into the settings
// record, and how settings are written back as profile lines: one place
// for both front ends (the console's --save-profile, the window's Save
// Settings As Profile and Copy Command Line).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/keys.h"
#include "settings/settings.h"

namespace pixlane {

// The integer reader of option values: blanks and tabs skipped, an optional
// "+" or "-", then "$" and hexadecimal digits, "%" and binary digits, or
// decimal digits; reading stops at the first character that does not fit;
// no digits read 0. The result wraps like a 64-bit integer; the caller stores
// it in the field's own width.
std::int64_t read_integer(std::string_view text);

// The decimal reader of --GAMMA: blanks and tabs skipped, an optional sign,
// digits with an optional "." and fraction and an optional exponent; reading
// stops at the first character that does not fit. No number, or one that is
// not finite, reads 0.
float read_decimal(std::string_view text);

// Stores `value` in the row's field by its value class, then the field the
// row also sets: a flag stores its flag value whatever `value` says; an
// integer goes through the integer reader and is kept in the field's width;
// a decimal through the decimal reader; a keyword through the row's keyword
// table (unknown words give 0); a text is stored as given (the caller has
// already applied its quoting rule).
void apply_option_value(const SettingKey& row, std::string_view value, Settings& s);

// The profile key of a row: its profile name, else its option.
std::string_view profile_name(const SettingKey& row);

// A profile that turns `defaults` (the command line's) into `s`: a comment
// with `command`, then the group "CLI" with a line for each option needed,
// values first, then flags. Options of settings no profile line can give
// (a text with blanks at either end or a line break) are added to
// `not_kept`.
std::string profile_text(const Settings& s, const Settings& defaults, const std::string& command,
                         std::vector<std::string>& not_kept);

// The lines of profile_text() as command-line arguments ("--width=200"),
// in the same order.
std::vector<std::string> profile_arguments(const Settings& s, const Settings& defaults,
                                           std::vector<std::string>& not_kept);

} // namespace pixlane
