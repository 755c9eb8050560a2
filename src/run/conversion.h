// The run both front ends share: the conversion worker, and the import and
// conversion started on a worker thread without waiting for it. The caller
// follows the progress record (a snapshot under its lock), stops the worker
// between files, or aborts the file in hand; hooks report per-file lines,
// failures and the end. Nothing here prints or knows of windows.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "decorations/watermark.h"
#include "pipeline/input_list.h"
#include "records/records.h"
#include "run/worker_process.h"
#include "settings/settings.h"

namespace pixlane {

class ParallelConversion;

// Converts one file: reads job.input_path (and the batch fields), writes the
// output and the per-file results into `job`. True on success; on failure
// `reason` may say why (empty when the job itself failed).
using JobRunner = std::function<bool(JobRecord& job, std::string& reason)>;

// A file of the list at its end (with several workers: when committed, in
// list order).
struct FileEnd {
    std::size_t index;         // in the input list
    const JobRecord& job;      // its input path and frame results
    bool ok;
    const std::string& reason; // why it failed, when known
    std::int64_t ms;           // the whole file
};

// What a run reports while it works. Every hook runs on the worker thread
// and may be empty.
struct RunHooks {
    // "Processing: ", "File Format: ", "[OK] Saving As: ",
    // "[ERROR] Unable to convert the file!" (only for a verbose run).
    std::function<void(const std::string& line)> line;
    // A file that failed, with the reason when one is known.
    std::function<void(const std::string& input, const std::string& reason)> file_failed;
    // The worker's end, with the count it stores in the progress record.
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

// The conversion worker: walks the list in order while progress.running
// (holding before each file while paused), runs `run` for each entry, keeps
// the sequence number, random value and output timestamps, and stores the
// converted count in progress.count. A dry run (job.dry_run) makes no
// folders and sets no timestamps. Returns 0.
int conversion_worker(const Settings& s, JobRecord& job, ProgressRecord& progress,
                      const InputList& list, const JobRunner& run, const RunHooks& hooks,
                      bool verbose);

// How files are converted.
struct RunOptions {
    bool in_process = false; // in this process instead of supervised worker processes
    WorkerLimits limits;
    std::string program; // this executable, started in worker mode

    // The defaults, the worker limits from the environment, and
    // PIXLANE_IN_PROCESS=1 for conversion in this process (measurements).
    static RunOptions from_environment();
};

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

// A conversion over the input list on a worker thread. The records must
// outlive the run; while it runs the caller changes none of them but
// through the progress record.
class ConversionRun {
public:
    // Resets the progress record and starts. The watermark font (may be
    // null) is the run's until it ends.
    ConversionRun(const Settings& s, JobRecord& job, ProgressRecord& progress,
                  const InputList& list, std::unique_ptr<WatermarkFont> font,
                  RunOptions options, RunHooks hooks, bool verbose);
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
    const Settings& m_settings;
    JobRecord& m_job;
    ProgressRecord& m_progress;
    const InputList& m_list;
    std::unique_ptr<WatermarkFont> m_font;
    RunOptions m_options;
    RunHooks m_hooks;
    bool m_verbose;
    std::mutex m_supervisor_lock; // abort() against the worker's release
    std::unique_ptr<WorkerSupervisor> m_supervisor;
    std::unique_ptr<ParallelConversion> m_parallel; // several workers side by side
    std::unique_ptr<WorkerThread> m_thread; // last: started when everything else is ready
};

// What an import reads or writes.
enum class ImportKind {
    File,   // one file, added on the calling thread
    List,   // a list file (job.input_path), one path per line
    Folder, // a folder tree (job.input_folder)
    Export, // the list written to job.input_path
};

// The console's kind for a checked job record: a folder, a list file
// ("txt" or "lst" in any case) or one file.
ImportKind import_kind(const JobRecord& job);

// An import or export on a worker thread (File runs at once). Resets the
// progress record first; the count of entries added or saved is in
// progress.count when it ends.
class ImportRun {
public:
    ImportRun(ImportKind kind, InputList& list, const JobRecord& job, ProgressRecord& progress,
              std::function<void(int count)> finished = {});
    // Stops between entries and waits.
    ~ImportRun();
    ImportRun(const ImportRun&) = delete;
    ImportRun& operator=(const ImportRun&) = delete;

    bool wait_for(int ms) { return !m_thread || m_thread->wait_for(ms); }
    void wait() { if (m_thread) m_thread->wait(); }
    bool finished() const { return !m_thread || m_thread->finished(); }
    void stop() { m_progress.request_stop(); }

private:
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
