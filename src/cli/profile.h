// Profile files: the setting options of the command line, read from the
// group "CLI" of an INI file ("--JPG-QUALITY = 90").
#pragma once

#include <string>

#include "settings/settings.h"

namespace pixlane::cli {

// Applies the keys of the group "CLI" of the file at `path` to `s`, in file
// order. Keys are the long option names; the frame opacity key is
// "--WM-SOLID-OPACITY". Values are taken with blanks removed at both ends;
// texts keep their double quotes (only the filename mask loses its leading
// and trailing ones); flags take effect whatever their value; nothing is
// refused (an empty value reads 0 or the empty text). Unknown keys and other
// groups are ignored; a file without the group changes nothing. False when
// the path is empty or names no readable file.
bool load_profile(const std::string& path, Settings& s);

} // namespace pixlane::cli
