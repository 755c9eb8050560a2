// The entry functions of the fuzzing harnesses: each feeds one input to the
// program's own reader of that kind and checks what came out. A harness
// (harness.cpp, built with libFuzzer) calls one of them; the unit tests
// call the same function on every file of fuzz/corpus/<name>/, so each
// input that ever crashed or hung a harness is replayed by the normal suite.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace pixlane::fuzz {

// What an input broke: empty when it was read and every check held,
// otherwise one line saying which check failed. A crash, a hang or an
// allocation past the harness's limits is found by the fuzzer itself.
using Target = std::string (*)(std::string_view input);

// A GIF file: GifAnimation::open_bytes and every frame composed.
std::string gif(std::string_view input);
// config.ini and a profile: the file read as config.ini (written back and
// read again to the same text) and as a --profile.
std::string ini(std::string_view input);
// A list file: list_worker over it, in a folder of its own. Inputs naming a
// path with "/" or ".." are passed over, so no line reaches beyond that
// folder.
std::string list(std::string_view input);
// A theme: the first byte chooses what the rest is: a theme package (zip)
// loaded as the window's start does, PNG bytes decoded, or theme.cfg read
// and loaded from a package of the built-in pictures.
std::string theme(std::string_view input);

struct NamedTarget {
    std::string_view name; // the harness fuzz_<name> and the folder fuzz/corpus/<name>/
    Target run;
};
std::span<const NamedTarget> targets();

} // namespace pixlane::fuzz
