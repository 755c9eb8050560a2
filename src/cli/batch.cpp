#include "cli/batch.h"

#include <memory>

#include "pipeline/save.h"
#include "platform/process.h"
#include "run/checks.h"
#include "run/conversion.h"

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
void wait_unless_stopped(Run& run, const platform::StopSignals& signals, bool& stopped) {
    while (!run.wait_for(50)) {
        if (signals.received() != 0 && !stopped) {
            stopped = true;
            run.abort();
        }
    }
    stopped = stopped || signals.received() != 0;
}

struct StoppableImport {
    ImportRun& run;
    bool wait_for(int ms) { return run.wait_for(ms); }
    void abort() { run.stop(); }
};

} // namespace

int run_batch(Session& app, bool quiet, std::FILE* out) {
    Settings& s = app.settings;
    JobRecord& job = app.job;
    const Console console(out, job.debug_word == "DEBUG", quiet);
    auto text = [&](const char* group, const char* key) { return app.language.text(group, key); };

    console.status(text("General", "Preparing"));
    std::unique_ptr<WatermarkFont> font;
    ListingSink listing;
    if (console.debugging()) {
        listing = [&](const std::string& line) { console.line(line); };
    }
    if (auto fault = check_console_run(s, job, listing, font)) {
        console.line("Error: " + console_message(*fault));
        return kExitError;
    }
    set_batch_output(job, job.output_extension, s);

    const platform::StopSignals signals;
    bool stopped = false;
    console.status(text("General", "Importing"));
    int imported = 0;
    {
        ImportRun import(import_kind(job), app.input_list, job, app.progress);
        StoppableImport waiting{import};
        wait_unless_stopped(waiting, signals, stopped);
        imported = app.progress.snapshot().count;
    }
    console.status(substitute(text("Msg", "Import complete"), std::to_string(imported)));
    if (imported == 0 || stopped) {
        console.line(text("Msg", "Conversion is not complete"));
        if (imported == 0) {
            console.line(text("Msg", "Empty input files"));
        }
        return kExitIncomplete;
    }

    console.status(text("General", "Converting"));
    RunHooks hooks;
    hooks.line = [&](const std::string& line) { console.line(line); };
    hooks.file_failed = [](const std::string& input, const std::string& reason) {
        if (!reason.empty()) {
            std::fprintf(stderr, "pixlane: %s: %s\n", input.c_str(), reason.c_str());
        }
    };
    int converted = 0;
    {
        ConversionRun run(s, job, app.progress, app.input_list, std::move(font),
                          RunOptions::from_environment(), hooks, job.console_mode == 1 && console.debugging());
        wait_unless_stopped(run, signals, stopped);
        converted = app.progress.snapshot().count;
    }
    if (app.progress.snapshot().out_of_space) {
        console.line("Error: no space left on the output device");
        stopped = true;
    }
    // A stopped batch never claims to be complete; what it did convert is counted.
    if (converted > 0 && !stopped) {
        console.status(text("Msg", "Conversion complete"));
    } else {
        console.line(text("Msg", "Conversion is not complete"));
    }
    if (converted > 0) {
        console.status(substitute(text("Msg", "Files converted"), std::to_string(converted),
                                  std::to_string(imported)));
    }
    return converted == imported && !stopped ? kExitOk : kExitIncomplete;
}

} // namespace pixlane
