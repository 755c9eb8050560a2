// A folder of the fuzzing process's own for the files the targets read,
// removed when the process ends.
#pragma once

#include <string>
#include <string_view>

namespace pixlane::fuzz {

// The folder, ending with "/": under $TMPDIR, else /dev/shm, else /tmp.
const std::string& scratch_folder();

// Replaces the file `name` of the scratch folder with `bytes`; its path.
std::string scratch_file(const std::string& name, std::string_view bytes);

} // namespace pixlane::fuzz
