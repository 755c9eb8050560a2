// The window module: wxWidgets, GTK and the window's code live in a module
// of their own that the executable loads the first time a window opens, so
// that console runs and conversion workers start without them.
#pragma once

#include <string>

#include "ui/window_app.h"

namespace pixlane {

// Where the module is looked for, in order: beside the executable (a build
// tree), then in ../lib/pixlane/ (an install).
std::string window_module_path(const std::string& program_folder,
                               bool (*exists)(const std::string& path));

// The module's entry table, loaded once and kept for the life of the
// process; nullptr, with one line on standard error, when it cannot be
// loaded.
const WindowEntry* window_entry();

} // namespace pixlane
