// The option table of the command line and of profile files. There is no
// list of options here: every option is a row of the settings table
// (settings/keys.h), found by its option or profile name, and the row's value
// class says how its value is read.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "settings/keys.h"
#include "settings/option_values.h"
#include "settings/settings.h"

namespace pixlane::cli {

inline constexpr std::string_view kIncorrectParameters = "Incorrect number of parameters";
inline constexpr std::string_view kInvalidProfile = "Invalid profile file";

// True when a command-line value is refused before it is read: a
// value-taking option whose value is empty or begins with "--". Flags take
// no value and refuse nothing.
bool value_is_refused(const SettingKey& row, std::string_view value);

// A value after "=" that is empty or begins with "--" is missing.
bool value_is_missing(std::string_view value);

// Stores an option's value in its field (settings/option_values.h).
using pixlane::apply_option_value;

// What the run would silently make of a value the user surely meant
// otherwise, as the text after "Warning: "; empty when the value is fine.
// Keyword options name the words they take; integer options with a stated
// range but no run check (the threshold level) say it is outside it.
std::string option_value_warning(const SettingKey& row, std::string_view value);

// The warning text for an option key nobody knows (`typed` as the user
// spelled it, up to any "="), naming the nearest of `known` when one is close.
std::string unknown_option_warning(std::string_view typed, std::span<const std::string> known);

} // namespace pixlane::cli
