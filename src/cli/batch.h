// The console batch run: checks the parsed configuration in a fixed order
// (one "Error: " line on the first fault), lists it in debug mode, imports
// the input into the input list, runs the conversion worker and prints the
// summary. The conversion worker is shared with the window's run.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "pipeline/input_list.h"
#include "records/records.h"
#include "settings/settings.h"

namespace pixlane {

struct Session;
class WatermarkFont;

// Converts one file: reads job.input_path (and the batch fields), writes the
// output and the per-file results into `job`. True on success.
using JobRunner = std::function<bool(JobRecord& job)>;

// Receives the worker's per-file lines (debug mode in the console).
using LinePrinter = std::function<void(const std::string& line)>;

// The conversion worker: walks the list in order while progress.running,
// runs `run` for each entry, keeps the sequence number, random value and
// output timestamps, and stores the converted count in progress.count.
// `verbose` (may be empty) receives "Processing: ", "File Format: ",
// "[OK] Saving As: " and "[ERROR] Unable to convert the file!" lines.
int conversion_worker(const Settings& s, JobRecord& job, ProgressRecord& progress,
                      const InputList& list, const JobRunner& run, const LinePrinter& verbose);

// The whole console run after parsing. Prints to `out`; returns the exit
// status: 0 all imported files converted, 1 an "Error: " line, 2 the run
// stopped or converted fewer files than it imported.
int run_batch(Session& app, bool quiet, std::FILE* out = stdout);

// Whether an input argument names a file: reading back from its end a "."
// comes before any "/" or blank, is not the first character of the last
// component, and is followed by at least one character.
bool has_extension(const std::string& input);

} // namespace pixlane
