#include "run/parallel.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "formats/signature.h"
#include "naming/mask.h"
#include "pipeline/save.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "util/strings.h"

namespace pixlane {

struct ParallelConversion::Task {
    std::size_t index = 0;
    std::int32_t assumed = 0; // files converted before it, as assumed when it started
    JobRecord job;
    std::string reason;
    bool done = false;
    bool ok = false;
    bool stale = false;   // an earlier file's output replaced its input
    bool skipped = false; // given up on an abort before a worker took it
    std::int64_t ms = 0;  // its worker's time on it
};

namespace {

// Whether outputs depend on how many files before were converted.
bool counts_matter(const Settings& s) {
    auto uses = [](const std::string& text) {
        return ifind(text, "%n%") != std::string_view::npos ||
               ifind(text, "%rnd%") != std::string_view::npos;
    };
    return uses(s.filename_mask) || (s.do_watermark == 1 && uses(s.text));
}

void discard(const JobRecord& job) {
    for (const auto& p : job.pending_outputs) {
        platform::remove_file(p.temporary_path);
    }
}

} // namespace

int worker_count(int setting, std::size_t files, bool in_process) {
    if (in_process) {
        return 1;
    }
    const int wanted = setting > 0 ? setting : platform::online_processors();
    return static_cast<int>(std::clamp<std::size_t>(files, 1, static_cast<std::size_t>(std::max(wanted, 1))));
}

ParallelConversion::ParallelConversion(const Settings& s, int jobs, const WorkerLimits& limits,
                                       const std::string& program)
    : m_settings(s) {
    for (int i = 0; i < jobs; ++i) {
        m_supervisors.push_back(std::make_unique<WorkerSupervisor>(s, limits, program));
    }
}

ParallelConversion::~ParallelConversion() {
    {
        std::lock_guard guard(m_lock);
        m_closing = true;
    }
    m_changed.notify_all();
    for (auto& t : m_threads) {
        t.join();
    }
}

void ParallelConversion::abort() {
    std::lock_guard guard(m_lock);
    m_aborted = true;
    for (Task* task : m_queue) {
        task->done = true;
        task->skipped = true;
    }
    m_queue.clear();
    for (auto& s : m_supervisors) {
        s->abort();
    }
    m_changed.notify_all();
}

void ParallelConversion::serve(WorkerSupervisor& supervisor) {
    std::unique_lock guard(m_lock);
    for (;;) {
        m_changed.wait(guard, [&] { return m_closing || !m_queue.empty(); });
        if (m_queue.empty()) {
            return;
        }
        Task* task = m_queue.front();
        m_queue.pop_front();
        guard.unlock();
        std::string reason;
        const std::int64_t started = platform::elapsed_ms();
        const bool ok = supervisor.convert(task->job, reason);
        const std::int64_t ms = platform::elapsed_ms() - started;
        guard.lock();
        task->ms = ms;
        task->ok = ok;
        task->reason = std::move(reason);
        task->done = true;
        m_changed.notify_all();
    }
}

int ParallelConversion::run(JobRecord& job, ProgressRecord& progress, const InputList& list,
                            const RunHooks& hooks, bool verbose) {
    const auto& entries = list.entries();
    const std::size_t n = entries.size();
    const std::size_t window = 2 * m_supervisors.size();
    const bool dependent = counts_matter(m_settings);
    const std::int32_t first_sequence = job.sequence_number;
    // %rnd% of a file after k converted files: the k-th value drawn, in the
    // order the one-at-a-time worker draws them.
    std::vector<std::int32_t> random_values = {job.random_value};
    auto random_after = [&](std::size_t k) {
        while (random_values.size() <= k) {
            random_values.push_back(new_random_value());
        }
        return random_values[k];
    };
    std::vector<std::uint32_t> picks; // each file's RANDOM frame draw, in list order
    std::map<std::size_t, std::unique_ptr<Task>> tasks;
    auto say = [&](const std::string& text) {
        if (verbose && hooks.line) {
            hooks.line(text);
        }
    };
    {
        std::lock_guard guard(progress.lock);
        progress.total = static_cast<std::int32_t>(n);
    }
    for (auto& s : m_supervisors) {
        m_threads.emplace_back([this, &s] { serve(*s); });
    }

    std::int32_t converted = 0;
    std::int32_t skipped = 0;
    OutputClashes clashes;
    std::int64_t duration = 0;
    std::int64_t last_commit = platform::elapsed_ms();
    std::size_t next_start = 0;
    auto start = [&](std::size_t index, std::int32_t assumed) {
        auto task = std::make_unique<Task>();
        task->index = index;
        task->assumed = assumed;
        task->job = job;
        task->job.input_path = entries[index].path;
        task->job.relative_subfolder = entries[index].relative_subfolder;
        task->job.sequence_number = first_sequence + assumed;
        task->job.random_value = random_after(static_cast<std::size_t>(assumed));
        if (picks.size() <= index) {
            picks.push_back(new_frame_pick());
        }
        task->job.frame_pick = picks[index];
        task->job.defer_outputs = true;
        task->job.pending_outputs.clear();
        if (m_settings.keep_subfolders == 1 && !task->job.relative_subfolder.empty() &&
            !platform::is_folder(job.output_folder + task->job.relative_subfolder)) {
            platform::make_folders(job.output_folder + task->job.relative_subfolder);
        }
        std::lock_guard guard(m_lock);
        m_queue.push_back(task.get());
        tasks[index] = std::move(task);
        m_changed.notify_one();
    };
    auto stopped = [&] {
        std::lock_guard guard(m_lock);
        return m_aborted;
    };
    auto paused = [&] {
        std::lock_guard guard(progress.lock);
        return progress.paused;
    };

    for (std::size_t next = 0; next < n; ++next) {
        while (next_start < n && next_start - next < window && progress.snapshot().running &&
               !stopped()) {
            // While paused nothing new starts; with nothing in hand, wait.
            if (paused() && next_start != next) {
                break;
            }
            if (next_start == next && !progress.proceed()) {
                break;
            }
            start(next_start, converted + static_cast<std::int32_t>(next_start - next));
            ++next_start;
        }
        if (next_start == next) {
            break; // stopped with nothing in hand
        }
        Task* task = tasks.at(next).get();
        {
            std::unique_lock guard(m_lock);
            m_changed.wait(guard, [&] { return task->done; });
        }
        if (task->skipped) {
            break;
        }
        if (task->stale || (dependent && task->assumed != converted)) {
            if (!progress.snapshot().running || stopped()) {
                break; // given up on a stop, as if it had not been started
            }
            discard(task->job);
            start(next, converted);
            --next; // commit it again when it is done
            continue;
        }
        {
            std::lock_guard guard(progress.lock);
            progress.index = static_cast<std::int32_t>(next + 1);
            progress.current_input = task->job.input_path;
            progress.last_duration = duration;
        }
        say("Processing: " + task->job.input_path);
        if (verbose) {
            say("File Format: " + identify(task->job.input_path));
        }
        bool ok = task->ok;
        int written = 0;
        int left_alone = 0;
        // The frames saved under temporary names, in the order of the
        // pending outputs; each learns here what became of it.
        auto frame = task->job.frame_results.begin();
        auto settle = [&](FrameStatus status, const std::string& path, std::string reason = {}) {
            frame = std::find_if(frame, task->job.frame_results.end(), [](const FrameResult& f) {
                return f.status == FrameStatus::Pending;
            });
            if (frame != task->job.frame_results.end()) {
                frame->status = status;
                frame->output_path = path;
                frame->reason = std::move(reason);
                ++frame;
            }
        };
        for (auto& p : task->job.pending_outputs) {
            // Placed here, in list order, so existing names are judged as
            // one worker would judge them.
            const Placement placed =
                place_output(p.temporary_path, p.output_path, m_settings.overwrite);
            if (placed == Placement::Failed) {
                std::string why = "cannot rename " + p.temporary_path + " to " + p.output_path +
                                  ": " + std::strerror(errno);
                if (task->reason.empty()) {
                    task->reason = why;
                }
                settle(FrameStatus::Failed, p.output_path, std::move(why));
                platform::remove_file(p.temporary_path);
                ok = false;
                continue;
            }
            settle(placed == Placement::Skipped ? FrameStatus::Skipped : FrameStatus::Converted,
                   p.output_path);
            if (placed == Placement::Skipped) {
                ++left_alone;
                continue;
            }
            ++written;
            task->job.output_path = p.output_path;
            if (std::string clash = clashes.written(task->job.input_path, p.output_path);
                !clash.empty() && hooks.warning) {
                hooks.warning(clash);
            }
            // A later file that reads what was just written starts again.
            for (std::size_t later = next + 1; later < next_start; ++later) {
                if (tasks.at(later)->job.input_path == p.output_path) {
                    std::lock_guard guard(m_lock);
                    tasks.at(later)->stale = true;
                }
            }
        }
        job.output_path = task->job.output_path;
        job.temporary_path = task->job.temporary_path;
        job.width = task->job.width;
        job.height = task->job.height;
        job.source_depth = task->job.source_depth;
        job.output_depth = task->job.output_depth;
        job.input_path = task->job.input_path;
        job.relative_subfolder = task->job.relative_subfolder;
        {
            std::lock_guard guard(progress.lock);
            progress.frames += written;
        }
        const std::int64_t now = platform::elapsed_ms();
        if (ok && written == 0 && left_alone > 0) {
            say("[OK] Skipped, exists: " + task->job.output_path);
            ++skipped;
            duration = 0;
            std::lock_guard guard(progress.lock);
            progress.skipped = skipped;
        } else if (ok) {
            say("[OK] Saving As: " + task->job.output_path);
            ++converted;
            duration = std::max<std::int64_t>(now - last_commit, 1000);
            job.sequence_number = first_sequence + converted;
            job.random_value = random_after(static_cast<std::size_t>(converted));
            apply_timestamp(m_settings, task->job.input_path, task->job.output_path);
        } else {
            duration = 0;
            say("[ERROR] Unable to convert the file!");
            if (hooks.file_failed) {
                hooks.file_failed(task->job.input_path, task->reason);
            }
        }
        last_commit = now;
        if (hooks.file_ended) {
            hooks.file_ended({next, task->job, ok, task->reason, task->ms});
        }
        const bool device_full = !ok && task->job.out_of_space;
        tasks.erase(next);
        if (device_full) {
            // As one worker would: nothing after this file is committed.
            progress.stop_out_of_space();
            break;
        }
    }
    // What is left after a stop was never committed: its frames go.
    for (auto& entry : tasks) {
        Task* left = entry.second.get();
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [left] { return left->done; });
        discard(left->job);
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

} // namespace pixlane
