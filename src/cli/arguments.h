// Reading single command-line arguments: the key an argument is matched by,
// the value it carries, the double-quote joining of values split by the
// shell, and the readers of integer and decimal values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/option_values.h"

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

// The integer and decimal readers of option values (settings/option_values.h).
using pixlane::read_decimal;
using pixlane::read_integer;

} // namespace pixlane::cli
