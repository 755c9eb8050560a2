#include "run/conversion.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <set>

#include "formats/signature.h"
#include "naming/mask.h"
#include "pipeline/save.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "run/convert_file.h"
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

// --- the run loop -------------------------------------------------------------

FileOutcome InProcessConverter::convert(const FileTask& task) {
    try {
        return convert_file(m_settings, m_plan, task, m_font, [this] { return m_cores.load(); });
    } catch (const std::bad_alloc&) {
        FileOutcome outcome;
        outcome.failure = Failure{"out of memory"};
        return outcome;
    }
}

struct RunLoop::Task {
    FileTask file;
    std::int32_t assumed = 0; // files converted before it, as assumed when it started
    FileOutcome outcome;
    bool done = false;
    bool stale = false;   // an earlier file's output replaced its input
    bool skipped = false; // given up on an abort before a worker took it
    std::int64_t ms = 0;  // its worker's time on it
};

namespace {

// Whether outputs depend on how many files before were converted.
bool counts_matter(const Settings& s) {
    return uses_file_counts(s.filename_mask) ||
           (s.do_watermark == kWatermarkText && uses_file_counts(s.text));
}

void discard(const FileOutcome& outcome) {
    for (const auto& p : outcome.pending_outputs) {
        platform::remove_file(p.temporary_path);
    }
}

// Places the outputs a worker left under temporary names, in frame order,
// under the overwrite policy; each Pending frame learns what became of it.
// A rename that fails fails the file.
void place_pending(FileOutcome& outcome, int overwrite, const std::string& input) {
    auto frame = outcome.frame_results.begin();
    auto settle = [&](FrameStatus status, const std::string& path, std::string reason = {}) {
        frame = std::find_if(frame, outcome.frame_results.end(),
                             [](const FrameResult& f) { return f.status == FrameStatus::Pending; });
        if (frame != outcome.frame_results.end()) {
            frame->status = status;
            frame->output_path = path;
            frame->reason = std::move(reason);
            ++frame;
        }
    };
    for (auto& p : outcome.pending_outputs) {
        const Placement placed = place_output(p.temporary_path, p.output_path, overwrite, input);
        if (placed == Placement::Failed) {
            std::string why = "cannot rename " + p.temporary_path + " to " + p.output_path + ": " +
                              std::strerror(errno);
            if (!outcome.failure) {
                outcome.failure = Failure{why};
            }
            settle(FrameStatus::Failed, p.output_path, std::move(why));
            platform::remove_file(p.temporary_path);
            continue;
        }
        settle(placed == Placement::Skipped ? FrameStatus::Skipped : FrameStatus::Converted,
               p.output_path);
    }
    outcome.pending_outputs.clear();
}

} // namespace

int worker_count(int setting, std::size_t files, bool in_process) {
    if (in_process) {
        return 1;
    }
    const int wanted = setting > 0 ? setting : platform::online_processors();
    return static_cast<int>(
        std::clamp<std::size_t>(files, 1, static_cast<std::size_t>(std::max(wanted, 1))));
}

RunLoop::RunLoop(const Settings& s, const BatchPlan& plan,
                 std::vector<std::unique_ptr<FileConverter>> workers,
                 std::int64_t spare_workers_after_ms, int cores)
    : m_settings(s), m_plan(plan), m_workers(std::move(workers)),
      m_spare_workers_after_ms(spare_workers_after_ms),
      m_cores(cores > 0 ? cores : static_cast<int>(m_workers.size())) {}

RunLoop::~RunLoop() {
    {
        std::lock_guard guard(m_lock);
        m_closing = true;
    }
    m_changed.notify_all();
    for (auto& t : m_threads) {
        t.join();
    }
}

void RunLoop::abort() {
    std::lock_guard guard(m_lock);
    m_aborted = true;
    for (Task* task : m_queue) {
        task->done = true;
        task->skipped = true;
    }
    m_queue.clear();
    for (auto& w : m_workers) {
        w->abort();
    }
    m_changed.notify_all();
}

void RunLoop::share_cores() {
    const int busy = static_cast<int>(m_active.size());
    const int spare = m_queue.empty() ? std::max(m_cores - busy, 0) : 0;
    for (int i = 0; i < busy; ++i) {
        m_active[static_cast<std::size_t>(i)]->lend_cores(1 + spare / busy +
                                                          (i < spare % busy ? 1 : 0));
    }
}

void RunLoop::convert(FileConverter& worker, Task& task, std::unique_lock<std::mutex>& guard) {
    m_active.push_back(&worker);
    share_cores();
    guard.unlock();
    const std::int64_t started = platform::elapsed_ms();
    FileOutcome outcome = worker.convert(task.file);
    const std::int64_t ms = platform::elapsed_ms() - started;
    guard.lock();
    m_active.erase(std::find(m_active.begin(), m_active.end(), &worker));
    share_cores();
    task.outcome = std::move(outcome);
    task.ms = ms;
    task.done = true;
    ++m_converted_files;
    m_busy_ms += ms;
    m_changed.notify_all();
}

void RunLoop::serve(FileConverter& worker, bool spare) {
    std::unique_lock guard(m_lock);
    if (spare) {
        // Ready before it is needed, on a core the start of a batch leaves
        // idle; it takes files once they pay for it.
        guard.unlock();
        worker.warm_up();
        guard.lock();
        m_changed.wait(guard, [&] { return m_closing || m_spares_serve; });
    }
    for (;;) {
        m_changed.wait(guard, [&] { return m_closing || !m_queue.empty(); });
        if (m_queue.empty()) {
            return;
        }
        Task* task = m_queue.front();
        m_queue.pop_front();
        convert(worker, *task, guard);
    }
}

void RunLoop::start_workers() {
    while (m_threads.size() < m_workers.size()) {
        FileConverter* worker = m_workers[m_threads.size()].get();
        const bool spare = !m_threads.empty();
        m_threads.emplace_back([this, worker, spare] { serve(*worker, spare); });
    }
}

bool spare_workers_pay(std::size_t files_left, std::size_t converted, std::int64_t busy_ms,
                       std::int64_t worth_ms) {
    if (converted == 0) {
        return true;
    }
    return static_cast<double>(files_left) * static_cast<double>(busy_ms) /
               static_cast<double>(converted) >
           static_cast<double>(worth_ms);
}

void RunLoop::wait_for(Task& task, std::int64_t spare_from_ms) {
    std::unique_lock guard(m_lock);
    if (m_workers.size() == 1) {
        // One worker: the file is converted right here, not handed to a
        // thread and back.
        if (!task.done && !m_queue.empty() && m_queue.front() == &task) {
            m_queue.pop_front();
            convert(*m_workers.front(), task, guard);
        }
        return;
    }
    while (!task.done) {
        if (m_spares_serve) {
            m_changed.wait(guard, [&] { return task.done; });
            return;
        }
        // The other workers start once the batch has run long enough to pay
        // for their start-up and files wait that the first has not taken.
        const std::int64_t left = spare_from_ms - platform::elapsed_ms();
        if (left <= 0 && !m_queue.empty() &&
            spare_workers_pay(m_files - std::min(m_files, m_converted_files), m_converted_files,
                              m_busy_ms)) {
            m_spares_serve = true;
            m_changed.notify_all();
            continue;
        }
        m_changed.wait_for(guard, std::chrono::milliseconds(std::max<std::int64_t>(left, 1)));
    }
}

int RunLoop::run(NamingCounters& counters, ProgressRecord& progress, const InputList& list,
                 const RunHooks& hooks, bool verbose) {
    const auto& entries = list.entries();
    const std::size_t n = entries.size();
    const bool dependent = counts_matter(m_settings);
    // One worker places its own outputs: nothing may run ahead of the
    // commit. Several run far ahead of a long file so none waits for it,
    // unless a failure would send the files started after it round again.
    const std::size_t ahead = m_workers.size() == 1 ? 1
                              : dependent           ? 2 * m_workers.size()
                                                    : kWindowPerWorker * m_workers.size();
    const std::int32_t first_sequence = counters.sequence_number;
    forget_output_numbers();
    // %rnd% of a file after k converted files: the k-th value drawn.
    std::vector<std::int32_t> random_values = {counters.random_value};
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
    {
        std::lock_guard guard(m_lock);
        m_files = n;
        if (m_workers.size() > 1) {
            start_workers();
        }
    }
    const std::int64_t spare_from = platform::elapsed_ms() + m_spare_workers_after_ms;

    std::int32_t converted = 0;
    std::int32_t skipped = 0;
    OutputClashes clashes;
    std::int64_t duration = 0;
    std::int64_t last_commit = platform::elapsed_ms();
    std::size_t next_start = 0;
    std::size_t announced = n;     // the file whose lines were said last
    std::set<std::string> cleaned; // output folders cleared of other runs' leftovers
    auto start = [&](std::size_t index, std::int32_t assumed) {
        auto task = std::make_unique<Task>();
        task->assumed = assumed;
        if (picks.size() <= index) {
            picks.push_back(new_frame_pick());
        }
        task->file = {index,
                      entries[index].path,
                      entries[index].relative_subfolder,
                      first_sequence + assumed + entries[index].others_before,
                      random_after(static_cast<std::size_t>(assumed)),
                      picks[index]};
        const std::string subfolder = m_plan.output_folder + task->file.relative_subfolder;
        if (m_settings.keep_subfolders == 1 && !m_plan.dry_run &&
            !task->file.relative_subfolder.empty() && !platform::is_folder(subfolder)) {
            platform::make_folders(subfolder);
        }
        // What a killed run left in a folder goes before this run writes there.
        const std::string folder =
            m_settings.keep_subfolders == 1 ? subfolder : m_plan.output_folder;
        if (!m_plan.dry_run && cleaned.insert(folder).second) {
            remove_leftover_temporaries(folder);
        }
        std::lock_guard guard(m_lock);
        // A file converted again is the one the commit waits for: first.
        if (!m_queue.empty() && index < m_queue.back()->file.index) {
            m_queue.push_front(task.get());
        } else {
            m_queue.push_back(task.get());
        }
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
        while (next_start < n && next_start - next < ahead && progress.snapshot().running &&
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
        const std::string& input = task->file.input_path;
        if (announced != next) {
            announced = next;
            {
                std::lock_guard guard(progress.lock);
                progress.index = static_cast<std::int32_t>(next + 1);
                progress.current_input = input;
                progress.last_duration = duration;
            }
            say("Processing: " + input);
            if (verbose) {
                say("File Format: " + identify(input));
            }
        }
        wait_for(*task, spare_from);
        if (task->skipped) {
            break;
        }
        if (task->stale || (dependent && task->assumed != converted)) {
            if (!progress.snapshot().running || stopped()) {
                break; // given up on a stop, as if it had not been started
            }
            discard(task->outcome);
            start(next, converted);
            --next; // commit it again when it is done
            continue;
        }
        FileOutcome& outcome = task->outcome;
        place_pending(outcome, m_settings.overwrite, input);
        int written = 0;
        for (const auto& frame : outcome.frame_results) {
            if (frame.status != FrameStatus::Converted) {
                continue;
            }
            ++written;
            if (std::string clash = clashes.written(input, frame.output_path);
                !clash.empty() && hooks.warning) {
                hooks.warning(clash);
            }
            // A later file that reads what was just written starts again.
            for (std::size_t later = next + 1; later < next_start; ++later) {
                if (tasks.at(later)->file.input_path == frame.output_path) {
                    std::lock_guard guard(m_lock);
                    tasks.at(later)->stale = true;
                }
            }
        }
        {
            std::lock_guard guard(progress.lock);
            progress.frames += written;
        }
        const std::int64_t now = platform::elapsed_ms();
        if (outcome.ok() && written == 0 && outcome.skipped_outputs() > 0) {
            // Every output name existed and the policy left them alone.
            say("[OK] Skipped, exists: " + outcome.last_output());
            ++skipped;
            duration = 0;
            std::lock_guard guard(progress.lock);
            progress.skipped = skipped;
        } else if (outcome.ok()) {
            say("[OK] Saving As: " + outcome.last_output());
            if (outcome.dropped_frames > 0) {
                say("Dropped Frames: " + std::to_string(outcome.dropped_frames));
            }
            ++converted;
            duration = std::max<std::int64_t>(now - last_commit, 1000);
            if (!m_plan.dry_run) {
                apply_timestamp(m_settings, input, outcome.last_output());
            }
        } else {
            duration = 0;
            say("[ERROR] Unable to convert the file!");
            if (hooks.file_failed) {
                hooks.file_failed(input, outcome.failure->reason);
            }
        }
        last_commit = now;
        if (hooks.file_ended) {
            hooks.file_ended({task->file, outcome, task->ms});
        }
        const bool device_full = outcome.out_of_space();
        tasks.erase(next);
        if (device_full) {
            // Every later file would fail the same way: nothing after it is committed.
            progress.stop_out_of_space();
            break;
        }
    }
    // What is left after a stop was never committed: its frames go.
    for (auto& entry : tasks) {
        Task* left = entry.second.get();
        std::unique_lock guard(m_lock);
        if (m_threads.empty()) {
            // Nothing serves the queue: what is in it was never taken up.
            std::erase(m_queue, left);
            left->done = true;
        }
        m_changed.wait(guard, [left] { return left->done; });
        discard(left->outcome);
    }
    if (m_settings.sync == kSyncBatch && !cleaned.empty()) {
        // Written without a sync each: their file systems are synced once.
        platform::sync_file_systems(std::vector<std::string>(cleaned.begin(), cleaned.end()));
    }
    counters.sequence_number = first_sequence + converted;
    counters.random_value = random_after(static_cast<std::size_t>(converted));
    {
        std::lock_guard guard(progress.lock);
        progress.count = converted;
    }
    if (hooks.finished) {
        hooks.finished(converted);
    }
    return converted;
}

RunOptions RunOptions::from_environment() {
    RunOptions o;
    const char* v = std::getenv("PIXLANE_IN_PROCESS");
    o.in_process = v && std::strcmp(v, "1") == 0;
    o.limits = WorkerLimits::from_environment();
    o.program = platform::program_path();
    if (const char* spare = std::getenv("PIXLANE_SPARE_WORKERS_AFTER_MS"); spare && *spare) {
        o.spare_workers_after_ms = std::max(0L, std::strtol(spare, nullptr, 10));
    }
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

namespace {

// convert_file() in a supervised worker process.
class SupervisedConverter final : public FileConverter {
  public:
    SupervisedConverter(const Settings& s, const BatchPlan& plan, const WorkerLimits& limits,
                        const std::string& program)
        : m_supervisor(s, plan, limits, program) {}
    FileOutcome convert(const FileTask& task) override { return m_supervisor.convert(task); }
    void abort() override { m_supervisor.abort(); }
    void lend_cores(int cores) override { m_supervisor.lend_cores(cores); }
    void warm_up() override { m_supervisor.warm_up(); }

  private:
    WorkerSupervisor m_supervisor;
};

} // namespace

ConversionRun::ConversionRun(const Settings& s, BatchPlan plan, NamingCounters& counters,
                             ProgressRecord& progress, const InputList& list,
                             std::unique_ptr<WatermarkFont> font, RunOptions options,
                             RunHooks hooks, bool verbose)
    : m_plan(std::move(plan)), m_progress(progress), m_font(std::move(font)) {
    reset_progress_record(m_progress);
    const int jobs = worker_count(s.jobs, list.size(), options.in_process);
    // The cores a run may use, also when it has fewer files than cores.
    const int cores = worker_count(s.jobs, std::numeric_limits<std::size_t>::max(), false);
    // With several workers the committer places every output, in list order.
    m_plan.defer_outputs = jobs > 1;
    std::vector<std::unique_ptr<FileConverter>> workers;
    for (int i = 0; i < jobs; ++i) {
        if (options.in_process) {
            workers.push_back(std::make_unique<InProcessConverter>(s, m_plan, m_font.get()));
        } else {
            // Each file is converted in a supervised child process, so a
            // fault in a decoder or writer costs that file, not the batch.
            workers.push_back(
                std::make_unique<SupervisedConverter>(s, m_plan, options.limits, options.program));
        }
    }
    m_loop = std::make_unique<RunLoop>(s, m_plan, std::move(workers),
                                       options.spare_workers_after_ms, cores);
    m_thread =
        std::make_unique<WorkerThread>([this, &counters, &list, hooks = std::move(hooks), verbose] {
            m_loop->run(counters, m_progress, list, hooks, verbose);
            // The worker processes end with the run; the font is released after it.
            {
                std::lock_guard guard(m_loop_lock);
                m_loop.reset();
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
    std::lock_guard guard(m_loop_lock);
    if (m_loop) {
        m_loop->abort();
    }
}

// --- import --------------------------------------------------------------------

ImportRequest console_import(const std::string& input_path, const std::string& folder) {
    if (!folder.empty()) {
        return {ImportKind::Folder, {}, folder};
    }
    if (input_path == kStandardInput) {
        return {ImportKind::List, "/dev/stdin", {}};
    }
    const std::string ext = to_lower(platform::extension_of(input_path));
    return {ext == "txt" || ext == "lst" ? ImportKind::List : ImportKind::File, input_path, {}};
}

std::vector<ImportRequest> console_imports(const ConsoleRequest& request) {
    std::vector<ImportRequest> imports{console_import(request.input_path, request.input_folder)};
    for (const auto& more : request.more_inputs) {
        const bool folder = !more.empty() && more.back() == '/' && more != kStandardInput;
        imports.push_back(folder ? console_import({}, more) : console_import(more, {}));
    }
    return imports;
}

ImportRun::ImportRun(ImportRequest request, InputList& list, ProgressRecord& progress,
                     std::function<void(int count)> finished)
    : m_request(std::move(request)), m_progress(progress) {
    reset_progress_record(m_progress);
    auto report = [&progress, finished] {
        if (finished) {
            finished(progress.snapshot().count);
        }
    };
    const ImportRequest& r = m_request;
    switch (r.kind) {
    case ImportKind::File: {
        const bool added = list.add(r.path, r.folder);
        {
            std::lock_guard guard(m_progress.lock);
            m_progress.count = added ? 1 : 0;
        }
        report();
        return;
    }
    case ImportKind::List:
        m_thread = std::make_unique<WorkerThread>([&list, &r, &progress, report] {
            list_worker(list, r.path, r.folder, progress);
            report();
        });
        return;
    case ImportKind::Folder:
        m_thread = std::make_unique<WorkerThread>([&list, &r, &progress, report] {
            folder_worker(list, r.folder, progress);
            report();
        });
        return;
    case ImportKind::Export:
        m_thread = std::make_unique<WorkerThread>([&list, &r, &progress, report] {
            export_worker(list, r.path, progress);
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
