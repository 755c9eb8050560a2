#include "cli/batch.h"

#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

#include "pipeline/save.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "run/checks.h"
#include "run/conversion.h"
#include "run/report.h"
#include "util/escape.h"

namespace pixlane {
namespace {

class Console {
  public:
    Console(std::FILE* out, bool debug, bool quiet) : m_out(out), m_debug(debug), m_quiet(quiet) {}

    void line(const std::string& text) const {
        std::fputs(text.c_str(), m_out);
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }
    void status(const std::string& text) const {
        if (!m_quiet) {
            line(text);
        }
    }
    bool debugging() const { return m_debug; }

  private:
    std::FILE* m_out;
    bool m_debug;
    bool m_quiet;
};

// Polls a worker until it ends; a stop signal gives up the work in hand.
template <class Run>
void wait_unless_stopped(Run& run, const platform::StopSignals& signals, bool& stopped,
                         const std::function<void()>& tick = {}) {
    while (!run.wait_for(50)) {
        if (signals.received() != 0 && !stopped) {
            stopped = true;
            run.abort();
        }
        if (tick) {
            tick();
        }
    }
    stopped = stopped || signals.received() != 0;
}

struct StoppableImport {
    ImportRun& run;
    bool wait_for(int ms) { return run.wait_for(ms); }
    void abort() { run.stop(); }
};

// One line on a terminal's standard error, rewritten in place at most
// every 200 ms and erased at the end; nothing on a pipe or file.
class TerminalProgress {
  public:
    TerminalProgress(const ProgressRecord& progress, bool on)
        : m_progress(progress), m_on(on), m_started(platform::elapsed_ms()) {}
    ~TerminalProgress() {
        if (m_shown) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
        }
    }
    void tick() {
        const std::int64_t now = platform::elapsed_ms();
        if (!m_on || now - m_last < 200) {
            return;
        }
        m_last = now;
        std::fprintf(stderr, "\r%s\033[K",
                     progress_line(m_progress.snapshot(), now - m_started).c_str());
        std::fflush(stderr);
        m_shown = true;
    }

  private:
    const ProgressRecord& m_progress;
    bool m_on;
    std::int64_t m_started;
    std::int64_t m_last = 0;
    bool m_shown = false;
};

// The report, written when the run ends however it ends; a failure to
// write it is an "Error: " line and, after an otherwise good run, status 1.
class ReportAtEnd {
  public:
    ReportAtEnd(const std::string& path, const InputList& list, bool dry_run)
        : m_path(path), m_report(list, dry_run) {}

    bool wanted() const { return !m_path.empty(); }
    RunReport& report() { return m_report; }
    int finish(const Console& console, int status) const {
        if (!wanted()) {
            return status;
        }
        std::string why;
        if (m_path == kReportToStandardOutput) {
            const std::string text = report_csv(m_report.rows());
            if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() &&
                std::fflush(stdout) == 0) {
                return status;
            }
            why = std::strerror(errno);
        } else if (write_report(m_path, m_report.rows(), why)) {
            return status;
        }
        console.line(escaped("Error: cannot write the report " + m_path + ": " + why));
        return status == kExitOk ? static_cast<int>(kExitError) : status;
    }

  private:
    std::string m_path;
    RunReport m_report;
};

} // namespace

std::string progress_line(const ProgressSnapshot& now, std::int64_t elapsed_ms) {
    // Files ended: those before the one under way.
    const std::int64_t done = now.index > 0 ? now.index - 1 : 0;
    std::string line = std::to_string(done) + "/" + std::to_string(now.total) + " files, " +
                       std::to_string(now.frames) + " frames, " + remaining_time_text(elapsed_ms) +
                       " elapsed";
    if (done > 0 && now.total > done) {
        line += ", " + remaining_time_text(elapsed_ms * (now.total - done) / done) + " left";
    }
    return line;
}

int run_batch(Session& app, const BatchOptions& options, std::FILE* out) {
    if (options.report == kReportToStandardOutput) {
        out = stderr;
    }
    Settings& s = app.settings;
    ConsoleRequest& request = app.console;
    const bool quiet = options.quiet;
    const Console console(out, request.debug, quiet);
    auto text = [&](const char* group, const char* key) { return app.language.text(group, key); };

    console.status(text("General", "Preparing"));
    std::unique_ptr<WatermarkFont> font;
    ListingSink listing;
    if (console.debugging()) {
        listing = [&](const std::string& line) { console.line(escaped(line)); };
    }
    if (auto fault = check_console_run(s, request, listing, font)) {
        console.line("Error: " + console_message(*fault));
        return kExitError;
    }
    const bool report_file = !options.report.empty() && options.report != kReportToStandardOutput;
    if (report_file) {
        if (std::string fault = report_path_fault(options.report); !fault.empty()) {
            console.line("Error: " + escaped(fault));
            return kExitError;
        }
    }
    BatchPlan batch;
    set_batch_output(batch, request.output_extension, s);
    batch.output_folder = request.output_folder;
    batch.dry_run = options.dry_run;

    const platform::StopSignals signals;
    bool stopped = false;
    console.status(text("General", "Importing"));
    int imported = 0;
    for (const ImportRequest& each : console_imports(request)) {
        ImportRun import(each, app.input_list, app.progress);
        StoppableImport waiting{import};
        wait_unless_stopped(waiting, signals, stopped);
        imported += app.progress.snapshot().count;
        if (stopped) {
            break;
        }
    }
    // A folder the import could not enter is named, and the batch cannot
    // end as complete: files below it were never seen.
    const bool unread = !app.input_list.unreadable_folders().empty();
    for (const auto& folder : app.input_list.unreadable_folders()) {
        std::fprintf(stderr, "pixlane: %s: cannot be entered: %s\n", escaped(folder.folder).c_str(),
                     folder.reason.c_str());
    }
    // A report in an input's place is refused before anything is converted.
    if (report_file && !stopped) {
        if (std::string fault =
                report_input_fault(options.report, request.input_path, app.input_list);
            !fault.empty()) {
            console.line("Error: " + escaped(fault));
            return kExitError;
        }
    }
    if (options.shards > 1) {
        app.input_list.keep_share(options.shard, options.shards);
        imported = static_cast<int>(app.input_list.size());
    }
    // Sized to the list as imported: made after the import.
    ReportAtEnd filed(options.report, app.input_list, options.dry_run);
    console.status(substitute(text("Msg", "Import complete"), std::to_string(imported)));
    if (imported == 0 || stopped) {
        console.line(text("Msg", "Conversion is not complete"));
        if (imported == 0) {
            console.line(text("Msg", "Empty input files"));
        }
        return filed.finish(console, kExitIncomplete);
    }

    if (!options.dry_run) {
        console.status(text("General", "Converting"));
    }
    RunHooks hooks;
    // Names reach the console escaped (util/escape.h): a control byte in a
    // file name never acts on the terminal or splits a line.
    hooks.line = [&](const std::string& line) { console.line(escaped(line)); };
    // The line would break the debug listing's lines; -q asks for silence.
    const bool progress_shown = !quiet && !console.debugging() && platform::stderr_is_terminal() &&
                                platform::escapes_wanted();
    // A message first erases the progress line, which is drawn again after it.
    const char* erase = progress_shown ? "\r\033[K" : "";
    hooks.warning = [erase](const std::string& text) {
        std::fprintf(stderr, "%sWarning: %s\n", erase, escaped(text).c_str());
    };
    hooks.file_failed = [erase](const std::string& input, const std::string& reason) {
        if (!reason.empty()) {
            std::fprintf(stderr, "%spixlane: %s: %s\n", erase, escaped(input).c_str(),
                         escaped(reason).c_str());
        }
    };
    OutputPlan plan(s.overwrite);
    // Only a terminal that shows the progress line needs it erased.
    const char* erase_out = out == stdout && platform::stdout_is_terminal() ? erase : "";
    hooks.file_ended = [&](const FileEnd& file) {
        if (options.dry_run) {
            for (const auto& frame : file.outcome.frame_results) {
                if (frame.status == FrameStatus::Pending) {
                    std::fprintf(
                        out, "%s%s\n", erase_out,
                        escaped(plan.line(file.task.input_path, frame.output_path)).c_str());
                }
            }
            std::fflush(out);
        }
        if (filed.wanted()) {
            filed.report().file_ended(file);
        }
    };
    RunOptions run_options = RunOptions::from_environment();
    // Names are made in this process: nothing is written, so no file can
    // harm a writer.
    run_options.in_process = run_options.in_process || options.dry_run;
    int converted = 0;
    int skipped = 0;
    {
        ConversionRun run(s, batch, app.counters, app.progress, app.input_list, std::move(font),
                          std::move(run_options), hooks,
                          request.console_mode && console.debugging() && !options.dry_run);
        TerminalProgress line(app.progress, progress_shown);
        wait_unless_stopped(run, signals, stopped, [&line] { line.tick(); });
        converted = app.progress.snapshot().count;
        skipped = app.progress.snapshot().skipped;
    }
    if (options.dry_run) {
        console.status("Dry run: " + std::to_string(converted) + " of " + std::to_string(imported) +
                       " files would give " + std::to_string(plan.outputs()) + " outputs (" +
                       std::to_string(plan.existing()) + " exist, " +
                       std::to_string(plan.clashes()) + " clash); nothing was written");
        return filed.finish(
            console, converted == imported && !stopped && !unread ? kExitOk : kExitIncomplete);
    }
    if (app.progress.snapshot().out_of_space) {
        console.line("Error: no space left on the output device");
        stopped = true;
    }
    // A stopped batch never claims to be complete; what it did convert is counted.
    if ((converted > 0 || skipped > 0) && !stopped && !unread) {
        console.status(text("Msg", "Conversion complete"));
    } else {
        console.line(text("Msg", "Conversion is not complete"));
    }
    if (converted > 0 || skipped > 0) {
        console.status(substitute(text("Msg", "Files converted"), std::to_string(converted),
                                  std::to_string(imported)));
    }
    if (skipped > 0) {
        // Left alone by --overwrite=skip: their outputs are in place.
        console.status("Files skipped: " + std::to_string(skipped));
    }
    return filed.finish(console, converted + skipped == imported && !stopped && !unread
                                     ? kExitOk
                                     : kExitIncomplete);
}

} // namespace pixlane
