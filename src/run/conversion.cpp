#include "run/conversion.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "formats/signature.h"
#include "naming/mask.h"
#include "platform/platform.h"
#include "run/job.h"
#include "run/parallel.h"
#include "util/strings.h"

namespace pixlane {

std::string OutputClashes::written(const std::string& input, const std::string& output) {
    auto [at, added] = m_writer.emplace(output, input);
    if (added || at->second == input) {
        return {};
    }
    std::string text = at->second + " and " + input + " both write " + output +
                       "; the output of the later one replaced the earlier";
    at->second = input;
    return text;
}

int conversion_worker(const Settings& s, JobRecord& job, ProgressRecord& progress,
                      const InputList& list, const JobRunner& run, const RunHooks& hooks,
                      bool verbose) {
    int converted = 0;
    int skipped = 0;
    int index = 0;
    std::int64_t duration = 0;
    OutputClashes clashes;
    auto say = [&](const std::string& text) {
        if (verbose && hooks.line) {
            hooks.line(text);
        }
    };
    {
        std::lock_guard guard(progress.lock);
        progress.total = static_cast<std::int32_t>(list.size());
    }
    for (const auto& entry : list.entries()) {
        if (!progress.proceed()) {
            break;
        }
        ++index;
        job.input_path = entry.path;
        job.frame_pick = new_frame_pick();
        job.relative_subfolder = entry.relative_subfolder;
        {
            std::lock_guard guard(progress.lock);
            progress.index = index;
            progress.current_input = job.input_path;
            progress.last_duration = duration;
        }
        if (s.keep_subfolders == 1 && !job.dry_run && !job.relative_subfolder.empty() &&
            !platform::is_folder(job.output_folder + job.relative_subfolder)) {
            platform::make_folders(job.output_folder + job.relative_subfolder);
        }
        say("Processing: " + job.input_path);
        if (verbose) {
            say("File Format: " + identify(job.input_path));
        }
        const std::int64_t started = platform::elapsed_ms();
        std::string reason;
        const bool ok = run(job, reason);
        {
            std::lock_guard guard(progress.lock);
            progress.frames += static_cast<std::int64_t>(job.written_outputs.size());
        }
        for (const auto& output : job.written_outputs) {
            if (std::string clash = clashes.written(job.input_path, output);
                !clash.empty() && hooks.warning) {
                hooks.warning(clash);
            }
        }
        if (ok && job.written_outputs.empty() && job.skipped_outputs > 0) {
            // Every output name existed and the policy left them alone.
            say("[OK] Skipped, exists: " + job.output_path);
            ++skipped;
            duration = 0;
            std::lock_guard guard(progress.lock);
            progress.skipped = skipped;
        } else if (ok) {
            say("[OK] Saving As: " + job.output_path);
            ++converted;
            duration = std::max<std::int64_t>(platform::elapsed_ms() - started, 1000);
            job.random_value = new_random_value();
            ++job.sequence_number;
            if (!job.dry_run) {
                apply_timestamp(s, job.input_path, job.output_path);
            }
        } else {
            duration = 0;
            say("[ERROR] Unable to convert the file!");
            if (hooks.file_failed) {
                hooks.file_failed(job.input_path, reason);
            }
        }
        if (hooks.file_ended) {
            hooks.file_ended({static_cast<std::size_t>(index - 1), job, ok, reason,
                              platform::elapsed_ms() - started});
        }
        if (!ok && job.out_of_space) {
            progress.stop_out_of_space(); // every later file would fail the same way
            break;
        }
    }
    {
        std::lock_guard guard(progress.lock);
        progress.count = converted;
    }
    if (hooks.finished) {
        hooks.finished(converted);
    }
    return 0;
}

RunOptions RunOptions::from_environment() {
    RunOptions o;
    const char* v = std::getenv("PIXLANE_IN_PROCESS");
    o.in_process = v && std::strcmp(v, "1") == 0;
    o.limits = WorkerLimits::from_environment();
    o.program = platform::program_path();
    return o;
}

// --- worker threads ----------------------------------------------------------

WorkerThread::WorkerThread(std::function<void()> body)
    : m_thread([this, body = std::move(body)] {
          body();
          {
              std::lock_guard guard(m_lock);
              m_finished = true;
          }
          m_ended.notify_all();
      }) {}

WorkerThread::~WorkerThread() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool WorkerThread::wait_for(int ms) {
    std::unique_lock guard(m_lock);
    return m_ended.wait_for(guard, std::chrono::milliseconds(ms), [&] { return m_finished; });
}

void WorkerThread::wait() {
    std::unique_lock guard(m_lock);
    m_ended.wait(guard, [&] { return m_finished; });
}

bool WorkerThread::finished() const {
    std::lock_guard guard(m_lock);
    return m_finished;
}

// --- conversion ----------------------------------------------------------------

ConversionRun::ConversionRun(const Settings& s, JobRecord& job, ProgressRecord& progress,
                             const InputList& list, std::unique_ptr<WatermarkFont> font,
                             RunOptions options, RunHooks hooks, bool verbose)
    : m_settings(s), m_job(job), m_progress(progress), m_list(list), m_font(std::move(font)),
      m_options(std::move(options)), m_hooks(std::move(hooks)), m_verbose(verbose) {
    reset_progress_record(m_progress);
    const int jobs = worker_count(m_settings.jobs, m_list.size(), m_options.in_process);
    if (jobs > 1) {
        m_parallel = std::make_unique<ParallelConversion>(m_settings, jobs, m_options.limits,
                                                          m_options.program);
    } else if (!m_options.in_process) {
        // Each file is converted in a supervised child process, so a fault
        // in a decoder or writer costs that file, not the batch.
        m_supervisor =
            std::make_unique<WorkerSupervisor>(m_settings, m_options.limits, m_options.program);
    }
    m_thread = std::make_unique<WorkerThread>([this] {
        const JobRunner supervised = [this](JobRecord& j, std::string& reason) {
            return m_supervisor->convert(j, reason);
        };
        const JobRunner in_process = [this](JobRecord& j, std::string& reason) {
            try {
                const bool ok = run_job(m_settings, j, m_font.get());
                reason = ok ? std::string() : j.failure_reason;
                return ok;
            } catch (const std::bad_alloc&) {
                reason = "out of memory";
                return false;
            }
        };
        if (m_parallel) {
            m_parallel->run(m_job, m_progress, m_list, m_hooks, m_verbose);
        } else {
            conversion_worker(m_settings, m_job, m_progress, m_list,
                              m_supervisor ? supervised : in_process, m_hooks, m_verbose);
        }
        // The worker processes end with the run; the font is released after it.
        {
            std::lock_guard guard(m_supervisor_lock);
            m_supervisor.reset();
            m_parallel.reset();
        }
        m_font.reset();
    });
}

ConversionRun::~ConversionRun() {
    stop();
    m_thread.reset();
}

void ConversionRun::stop() { m_progress.request_stop(); }

void ConversionRun::abort() {
    m_progress.request_stop();
    std::lock_guard guard(m_supervisor_lock);
    if (m_supervisor) {
        m_supervisor->abort();
    }
    if (m_parallel) {
        m_parallel->abort();
    }
}

// --- import --------------------------------------------------------------------

ImportKind import_kind(const JobRecord& job) {
    if (!job.input_folder.empty()) {
        return ImportKind::Folder;
    }
    const std::string ext = to_lower(platform::extension_of(job.input_path));
    return ext == "txt" || ext == "lst" ? ImportKind::List : ImportKind::File;
}

ImportRun::ImportRun(ImportKind kind, InputList& list, const JobRecord& job,
                     ProgressRecord& progress, std::function<void(int count)> finished)
    : m_progress(progress) {
    reset_progress_record(m_progress);
    auto report = [&progress, finished] {
        if (finished) {
            finished(progress.snapshot().count);
        }
    };
    switch (kind) {
    case ImportKind::File: {
        const bool added = list.add(job.input_path, job.input_folder);
        {
            std::lock_guard guard(m_progress.lock);
            m_progress.count = added ? 1 : 0;
        }
        report();
        return;
    }
    case ImportKind::List:
        m_thread = std::make_unique<WorkerThread>([&list, &job, &progress, report] {
            list_worker(list, job, progress);
            report();
        });
        return;
    case ImportKind::Folder:
        m_thread = std::make_unique<WorkerThread>([&list, &job, &progress, report] {
            folder_worker(list, job, progress);
            report();
        });
        return;
    case ImportKind::Export:
        m_thread = std::make_unique<WorkerThread>([&list, &job, &progress, report] {
            export_worker(list, job, progress);
            report();
        });
        return;
    }
}

ImportRun::~ImportRun() {
    if (m_thread && !m_thread->finished()) {
        stop();
    }
    m_thread.reset();
}

// --- remaining time ----------------------------------------------------------------

std::int64_t remaining_ms(std::int32_t count, std::int32_t index, std::int64_t last_duration) {
    return (static_cast<std::int64_t>(count) - index + 1) * last_duration;
}

std::string remaining_time_text(std::int64_t ms) {
    std::int64_t s = std::max<std::int64_t>(ms, 0) / 1000;
    const std::int64_t seconds = s % 60;
    s /= 60;
    const std::int64_t minutes = s % 60;
    s /= 60;
    const std::int64_t hours = s % 24;
    const std::int64_t days = s / 24;
    char buf[64];
    if (days > 0) {
        std::snprintf(buf, sizeof buf, "%lldd:%02lld:%02lld:%02lld", static_cast<long long>(days),
                      static_cast<long long>(hours), static_cast<long long>(minutes),
                      static_cast<long long>(seconds));
    } else {
        std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(hours),
                      static_cast<long long>(minutes), static_cast<long long>(seconds));
    }
    return buf;
}

} // namespace pixlane
