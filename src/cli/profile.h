// Profile files: the setting options of the command line, read from the
// group "CLI" of an INI file ("--JPG-QUALITY = 90"), and written from the
// settings of a run so that the run can be repeated.
#pragma once

#include <string>
#include <vector>

#include "settings/option_values.h"
#include "settings/settings.h"

namespace pixlane::cli {

// Applies the keys of the group "CLI" of the file at `path` to `s`, in file
// order. Keys are the long option names; the frame opacity key is
// "--WM-SOLID-OPACITY". Values are taken with blanks removed at both ends;
// texts keep their double quotes (only the filename mask loses its leading
// and trailing ones); flags take effect whatever their value; nothing is
// refused (an empty value reads 0 or the empty text). Other groups are
// ignored. What the file holds that is surely a mistake — no "CLI" group, a
// key no option has, a line of the group that is no "key = value" — adds a
// text to `warnings` naming the file and line. False when the path is empty
// or names no readable file.
bool load_profile(const std::string& path, Settings& s,
                  std::vector<std::string>* warnings = nullptr);

// Profiles written from settings (settings/option_values.h).
using pixlane::profile_text;

} // namespace pixlane::cli
