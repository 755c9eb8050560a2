// How a step says it failed: one line saying why, and whether the output
// device was full (then every later file would fail the same way). Steps
// give back std::optional<Failure> (nothing: it worked) or a value or a
// Failure; none hands its reason through an out-parameter.
#pragma once

#include <string>

namespace pixlane {

struct Failure {
    std::string reason;
    bool out_of_space = false;
};

} // namespace pixlane
