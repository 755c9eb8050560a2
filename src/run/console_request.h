// What the console's command line asks for: kept apart from the checks so the
// window's code can hold it without the picture libraries' headers.
#pragma once

#include <string>
#include <vector>

namespace pixlane {

// What the console's command line asks for. The parser fills the input
// argument, the output folder, the output extension and the input type as
// given; the checks resolve them.
// The input that names a list read from standard input.
inline constexpr const char* kStandardInput = "-";

struct ConsoleRequest {
    // The first input as parsed; after the checks the input folder ending
    // with "/", or empty for a file input ("-": a list on standard input).
    std::string input_folder;
    // Every further input (each -i value and each bare path), in the order
    // given; after the checks folders end with "/".
    std::vector<std::string> more_inputs;
    std::string input_path;       // after the checks: the file (or list file) input
    std::string output_folder;    // ends with "/" after the checks
    std::string output_extension; // the conversion; the first output format when not given
    std::string input_type; // the input listing's extension; the first input format when not given
    bool console_mode = false; // an input option was given: the batch runs in the console
    // Without an input option: the paths given bare, made absolute, for the
    // window's list (or the window that runs already).
    std::vector<std::string> window_paths;
    bool debug = false; // the debug word was given: the listing and per-file lines
};

} // namespace pixlane
