// What a run tells of its outputs afterwards or beforehand: the run report
// (one row for each frame of each input, written as CSV or JSON when the
// run ends, however it ends) and the dry run's account of the names it
// would write.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/input_list.h"
#include "run/conversion.h"

namespace pixlane {

struct ReportRow {
    std::string input;
    std::int32_t frame = 0; // 1-based; 0 when the row stands for the whole file
    std::string output;
    std::string_view status; // "converted", "failed", "skipped" or (a dry run) "planned"
    std::string reason;
    std::int64_t ms = 0;
    std::int32_t frames = 0;  // frames the output holds (an animated output: all of them)
    std::int32_t dropped = 0; // frames of the file left out as repeats of the one before
};

enum class ReportFormat { Csv, Json };

// By the file's extension, in any case: "csv" or "json"; nullopt otherwise.
std::optional<ReportFormat> report_format(std::string_view path);

// The rows of one run, gathered from its file_ended hook.
class RunReport {
  public:
    // A dry run's report is its plan: each output it would write is a
    // "planned" row.
    explicit RunReport(const InputList& list, bool dry_run = false);

    // Keeps the rows of a file: one for each frame it took up; a single
    // row when it failed before any frame (or a failed file's frames all
    // went well: the file's reason then gets a row of its own).
    void file_ended(const FileEnd& file);

    // Every entry of the list in order; one the run never reached (it was
    // stopped) is a "skipped" row.
    std::vector<ReportRow> rows() const;

  private:
    const InputList& m_list;
    bool m_dry_run;
    std::vector<std::vector<ReportRow>> m_files; // by list index; empty: not reached
};

// Header "input,frame,output,status,reason,ms,frames,dropped", then one line a row; fields
// quoted when they hold a comma, a quote or a line break. Bytes that are
// not UTF-8 come out as U+FFFD.
std::string report_csv(const std::vector<ReportRow>& rows);

// An array of objects with those six members; frame null for a whole-file
// row. Bytes that are not UTF-8 come out as U+FFFD.
std::string report_json(const std::vector<ReportRow>& rows);

// Replaces `path` in one step (platform::replace_file: never a
// half-written report, never written through a link). On failure `error`
// says why.
bool write_report(const std::string& path, const std::vector<ReportRow>& rows, std::string& error);

// Why the report cannot be written at `path`, known before a run: a folder
// in its place, no folder to hold it, or a folder this process may not
// write in. The text is "cannot write the report PATH: WHY"; empty when
// nothing stands in its way.
std::string report_path_fault(const std::string& path);

// Which input the report at `path` would take the place of: `input_path`
// (the file or list file the batch was given) or an entry of `list` that is
// the same file (links followed). That input's path in the text "cannot
// write the report PATH: it is the input INPUT"; empty when it is none.
std::string report_input_fault(const std::string& path, const std::string& input_path,
                               const InputList& list);

// A dry run's line for each output it names, judged as the run would judge
// it: whether a file of that name exists, whether an earlier output of this
// batch has the name (a clash), and what the overwrite policy would make of
// either.
class OutputPlan {
  public:
    explicit OutputPlan(int overwrite) : m_overwrite(overwrite) {}

    // "/out/a.png", "/out/a.png (exists)", "/out/a.png (clash with
    // /in/x/a.gif; written as /out/a (2).png)", "... (exists; left alone)".
    std::string line(const std::string& input, const std::string& output);

    int outputs() const { return m_outputs; }
    int existing() const { return m_existing; }
    int clashes() const { return m_clashes; }

  private:
    bool taken(const std::string& path) const;

    int m_overwrite;
    std::map<std::string, std::string> m_planned; // output name → the input that writes it
    int m_outputs = 0;
    int m_existing = 0;
    int m_clashes = 0;
};

} // namespace pixlane
