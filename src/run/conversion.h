// The run both front ends share: the run loop, and the import and
// conversion started on a worker thread without waiting for it. The caller
// follows the progress record (a snapshot under its lock), stops the worker
// between files, or aborts the file in hand; hooks report per-file lines,
// failures and the end. Nothing here prints or knows of windows.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decorations/watermark.h"
#include "pipeline/input_list.h"
#include "records/records.h"
#include "run/console_request.h"
#include "run/worker_process.h"
#include "settings/settings.h"

namespace pixlane {

// A file of the list at its end, when the run loop commits it (in list
// order, whatever the number of workers).
struct FileEnd {
    const FileTask& task;       // its index in the input list and its input path
    const FileOutcome& outcome; // its frames and, when it failed, why
    std::int64_t ms;            // its worker's time on it
};

// What a run reports while it works. Every hook runs on the run's thread
// and may be empty.
struct RunHooks {
    // "Processing: ", "File Format: ", "[OK] Saving As: ",
    // "[ERROR] Unable to convert the file!" (only for a verbose run).
    std::function<void(const std::string& line)> line;
    // A file that failed, with the reason.
    std::function<void(const std::string& input, const std::string& reason)> file_failed;
    // The run's end, with the count it stores in the progress record.
    std::function<void(int count)> finished;
    // A text after "Warning: " (two inputs of the batch wrote one output).
    std::function<void(const std::string& text)> warning;
    // Every file taken up, converted or not.
    std::function<void(const FileEnd& file)> file_ended;
};

// Tells when two inputs of one batch write the same output name, so the
// earlier output is never lost without a word.
class OutputClashes {
  public:
    // The warning text when `output` was written before by another input.
    std::string written(const std::string& input, const std::string& output);

  private:
    std::map<std::string, std::string> m_writer;
};

// Converts one file for the run loop: in this process or in a supervised
// worker process.
class FileConverter {
  public:
    virtual ~FileConverter() = default;
    virtual FileOutcome convert(const FileTask& task) = 0;
    // From any thread: the file in hand is given up at once where that can
    // be done (a worker process is ended; a conversion in this process
    // finishes its file).
    virtual void abort() {}
    // From any thread: the cores the frames of a file may use, for the file
    // in hand (from its next frames) and the next.
    virtual void lend_cores(int) {}
    // Gets ready for a first file (a worker process started), so that file
    // does not wait for it.
    virtual void warm_up() {}
};

// convert_file() in this process; running out of memory costs the file.
class InProcessConverter final : public FileConverter {
  public:
    InProcessConverter(const Settings& s, const BatchPlan& plan, const WatermarkFont* font)
        : m_settings(s), m_plan(plan), m_font(font) {}
    FileOutcome convert(const FileTask& task) override;
    void lend_cores(int cores) override { m_cores.store(cores); }

  private:
    const Settings& m_settings;
    const BatchPlan& m_plan;
    const WatermarkFont* m_font;
    std::atomic<int> m_cores{1};
};

// The run loop, for one worker or several. Files go out to the workers in
// list order: with one worker the committer converts each file itself, one
// at a time; several workers run up to kWindowPerWorker files each ahead of
// the commit (two when %n% or %rnd% is used). Every worker process starts
// with the run; the first takes files at once, the others once the batch
// has run kSpareWorkersAfterMs with files still waiting. When no file
// waits, the cores of the workers without one are lent to the files in
// hand, whose frames then spread over them (a long animation at the end of
// a batch, or alone in it). One committer takes each file's outcome in list
// order, places the outputs a worker left under temporary names (so
// existing names are judged as one worker would judge them), counts, warns
// of clashes, reports, keeps %n% and %rnd%, sets timestamps and stops when
// the output device is full. `%n%` and `%rnd%` are assumed from the files
// before a file (all of them converted); a file whose assumption a failure
// broke, or whose input an earlier output replaced, is converted again
// before it is committed.
// Milliseconds a run of several workers runs on one before the others take
// files. They start with the run, in parallel with the first, so even a
// batch of a few small files ends no later on two: none by default.
inline constexpr std::int64_t kSpareWorkersAfterMs = 0;

// Whether more workers pay for their part of the files (handing files to a
// second process costs the committer a little): yes before any file is
// converted (the first one is slow), else when the files left would take
// the one worker longer than `worth_ms` at the pace so far.
bool spare_workers_pay(std::size_t files_left, std::size_t converted, std::int64_t busy_ms,
                       std::int64_t worth_ms = 250);

class RunLoop {
  public:
    // `plan` must outlive the loop; with several workers it defers outputs.
    // The workers after the first start once the batch has run
    // `spare_workers_after_ms` with files waiting. The run may use `cores`
    // processors (0: one per worker).
    RunLoop(const Settings& s, const BatchPlan& plan,
            std::vector<std::unique_ptr<FileConverter>> workers,
            std::int64_t spare_workers_after_ms = kSpareWorkersAfterMs, int cores = 0);
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Walks the list while progress.running (holding before each file while
    // paused), starting from `counters` and leaving them for the next batch;
    // stores the converted count in progress.count and returns it. A dry
    // run makes no folders and sets no timestamps.
    int run(NamingCounters& counters, ProgressRecord& progress, const InputList& list,
            const RunHooks& hooks, bool verbose);
    // From any thread: the files in hand are given up (their worker
    // processes ended, temporary files removed) and no new one starts.
    void abort();

  private:
    struct Task;
    // Files a run of several workers lets each run ahead of the commit.
    static constexpr std::size_t kWindowPerWorker = 32;

    // A spare worker warms up, then waits until spares serve.
    void serve(FileConverter& worker, bool spare);
    // Converts the task with the worker, `guard` (on m_lock) released meanwhile.
    void convert(FileConverter& worker, Task& task, std::unique_lock<std::mutex>& guard);
    // A serve thread for every worker (m_lock held).
    void start_workers();
    // Until the task is done; with one worker it is converted here.
    void wait_for(Task& task, std::int64_t spare_from_ms);
    // Lends the cores no worker has a file for, when no file waits, to the
    // workers converting one (m_lock held).
    void share_cores();

    const Settings& m_settings;
    const BatchPlan& m_plan;
    std::vector<std::unique_ptr<FileConverter>> m_workers;
    std::vector<std::thread> m_threads;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Task*> m_queue;
    std::int64_t m_spare_workers_after_ms;
    int m_cores;
    std::vector<FileConverter*> m_active; // workers converting a file
    std::size_t m_files = 0;              // the run's files
    std::size_t m_converted_files = 0;    // converted so far (again ones too)
    std::int64_t m_busy_ms = 0;           // the workers' time on them
    bool m_closing = false;
    bool m_aborted = false;
    bool m_spares_serve = false; // the workers after the first take files
};

// How files are converted.
struct RunOptions {
    bool in_process = false; // in this process instead of supervised worker processes
    WorkerLimits limits;
    std::string program; // this executable, started in worker mode
    std::int64_t spare_workers_after_ms = kSpareWorkersAfterMs;

    // The defaults, the worker limits from the environment,
    // PIXLANE_IN_PROCESS=1 for conversion in this process (measurements) and
    // PIXLANE_SPARE_WORKERS_AFTER_MS (tests: 0 starts every worker at once).
    static RunOptions from_environment();
};

// Workers a run uses: `setting` when above 0, else the online processors;
// never more than the files, and one when converting in this process.
int worker_count(int setting, std::size_t files, bool in_process);

// A body run on its own thread; the owner waits for it or polls.
class WorkerThread {
  public:
    explicit WorkerThread(std::function<void()> body);
    // Waits for the body to end.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // True when the body has ended, waiting at most `ms` milliseconds.
    bool wait_for(int ms);
    void wait();
    bool finished() const;

  private:
    mutable std::mutex m_lock;
    std::condition_variable m_ended;
    bool m_finished = false;
    std::thread m_thread;
};

// A conversion over the input list on a worker thread. The settings, the
// counters, the progress record and the list must outlive the run; while it
// runs the caller changes none of them but through the progress record.
class ConversionRun {
  public:
    // Resets the progress record and starts. The watermark font (may be
    // null) is the run's until it ends.
    ConversionRun(const Settings& s, BatchPlan plan, NamingCounters& counters,
                  ProgressRecord& progress, const InputList& list,
                  std::unique_ptr<WatermarkFont> font, RunOptions options, RunHooks hooks,
                  bool verbose);
    // Stops after the current file and waits.
    ~ConversionRun();
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    bool wait_for(int ms) { return m_thread->wait_for(ms); }
    void wait() { m_thread->wait(); }
    bool finished() const { return m_thread->finished(); }
    // The worker stops before its next file.
    void stop();
    // As stop(), and the file in hand is given up at once: its worker
    // process is ended and its temporary output removed. (A conversion in
    // this process finishes its file.)
    void abort();

  private:
    BatchPlan m_plan;
    ProgressRecord& m_progress;
    std::unique_ptr<WatermarkFont> m_font;
    std::mutex m_loop_lock; // abort() against the loop's release
    std::unique_ptr<RunLoop> m_loop;
    std::unique_ptr<WorkerThread> m_thread; // last: started when everything else is ready
};

// What an import reads or writes.
enum class ImportKind {
    File,   // one file (path), added on the calling thread
    List,   // a list file (path), one path per line
    Folder, // a folder tree (folder)
    Export, // the list written to path
};

// An import or export: its kind, the file it reads or writes, and the
// folder the subfolders of the entries it adds are taken below (for a
// folder import, the folder itself; ends with "/", or empty).
struct ImportRequest {
    ImportKind kind = ImportKind::File;
    std::string path;
    std::string folder;
};

// The console's import for a checked input: a folder (`folder` not empty),
// a list file ("txt" or "lst" in any case, or "-": the list on standard
// input) or one file.
ImportRequest console_import(const std::string& input_path, const std::string& folder);

// Every import of a checked console request, in the order given.
std::vector<ImportRequest> console_imports(const ConsoleRequest& request);

// An import or export on a worker thread (File runs at once). Resets the
// progress record first; the count of entries added or saved is in
// progress.count when it ends.
class ImportRun {
  public:
    ImportRun(ImportRequest request, InputList& list, ProgressRecord& progress,
              std::function<void(int count)> finished = {});
    // Stops between entries and waits.
    ~ImportRun();
    ImportRun(const ImportRun&) = delete;
    ImportRun& operator=(const ImportRun&) = delete;

    bool wait_for(int ms) { return !m_thread || m_thread->wait_for(ms); }
    void wait() {
        if (m_thread)
            m_thread->wait();
    }
    bool finished() const { return !m_thread || m_thread->finished(); }
    void stop() { m_progress.request_stop(); }

  private:
    ImportRequest m_request;
    ProgressRecord& m_progress;
    std::unique_ptr<WorkerThread> m_thread;
};

// Milliseconds left when `index` of `count` files is under way and a file
// takes `last_duration` ms: (count - index + 1) × last_duration.
std::int64_t remaining_ms(std::int32_t count, std::int32_t index, std::int64_t last_duration);

// "01:05:09" for 3909000 ms: hours, minutes and seconds, two digits at
// least; days before them as "2d:" when there are any.
std::string remaining_time_text(std::int64_t ms);

} // namespace pixlane
