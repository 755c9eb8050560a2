// The console batch run: prints the checks' error line, the debug listing,
// the per-file lines and the summary of the shared run, and turns the
// outcome into the exit status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "run/session.h"

namespace pixlane {

// How the console run goes besides the settings.
struct BatchOptions {
    bool quiet = false;   // -q: no status lines
    bool dry_run = false; // --dry-run: name every output, write nothing
    std::string report;   // --report=FILE (.csv or .json, absolute), "-"; empty: none
    // --shard=K/N: share `k` of `shards` of the imported list is converted.
    int shard = 1;
    int shards = 1;
};

// The report "written" to standard output (as CSV): the console's lines then
// go to standard error, so standard output holds the report alone.
inline constexpr std::string_view kReportToStandardOutput = "-";

// The whole console run after parsing. Prints to `out`; returns the exit
// status: 0 all imported files converted (or, in a dry run, would be), 1 an
// "Error: " line, 2 the run stopped (SIGINT, SIGTERM or SIGHUP end it
// between files) or converted fewer files than it imported. A report is
// written once the checks have passed, however the run ends.
int run_batch(Session& app, const BatchOptions& options, std::FILE* out = stdout);

// The line a terminal shows while files convert: "12/800 files, 340 frames,
// 00:00:07 elapsed, 00:07:40 left" (the time left from the average so far;
// left out until a file has ended).
std::string progress_line(const ProgressSnapshot& now, std::int64_t elapsed_ms);

} // namespace pixlane
