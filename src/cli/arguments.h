// Reading single command-line arguments: the key an argument is matched by,
// the value it carries, the double-quote joining of values split by the
// shell, and the readers of integer and decimal values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pixlane::cli {

// The argument with blanks removed at both ends; every test looks at this form.
std::string trimmed_argument(std::string_view argument);

// The key an argument is matched by, in upper case: for "--name=value" the
// text before the first "=", for any other argument beginning with "-" the
// whole argument (a single-dash argument is never split at "="), and the
// empty text for an argument without a leading "-".
std::string argument_key(std::string_view argument);

// The value an argument carries: the text after the first "=" of a
// "--name=value" argument, otherwise the whole trimmed argument. Case kept.
std::string argument_value(std::string_view argument);

// A value split by the shell at blanks: when `value` begins with a double
// quote and does not end with one, the arguments after `index` are appended,
// each after one blank, until the joined value ends with a double quote or
// the arguments run out. `index` is advanced over every argument used.
std::string join_quoted(std::string value, const std::vector<std::string>& args,
                        std::size_t& index);

// `text` without its leading and trailing double quotes (all of them).
std::string strip_quotes(std::string_view text);

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

} // namespace pixlane::cli
