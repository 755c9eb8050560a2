// Conversion in a supervised worker process. The conversion worker thread
// starts one long-lived child of this executable in a hidden worker mode,
// hands it the settings and the batch plan once and then, per file, the file
// task; the child converts the file and answers with its outcome. A child that
// crashes, runs out of memory or overruns its time costs that one file: the
// parent notes why, removes any temporary output left behind, starts a fresh
// child and goes on.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <sys/types.h>

#include "records/records.h"
#include "run/wire.h"
#include "settings/settings.h"

namespace pixlane {

// The hidden first argument that starts the worker mode.
inline constexpr const char* kWorkerModeArgument = "--pixlane-worker-process";

struct WorkerLimits {
    // Address space of the child (ignored under AddressSanitizer).
    std::uint64_t address_space_bytes = std::uint64_t{4} << 30;
    // CPU seconds the child may spend on one file.
    int cpu_seconds_per_file = 300;
    // Wall-clock seconds the parent waits for one file.
    int wall_seconds_per_file = 600;

    // The defaults, overridden by PIXLANE_WORKER_MEMORY_MB,
    // PIXLANE_WORKER_CPU_SECONDS and PIXLANE_WORKER_TIMEOUT_SECONDS.
    static WorkerLimits from_environment();
};

class WorkerSupervisor {
  public:
    // `program` is this executable; nothing starts until the first file.
    WorkerSupervisor(const Settings& s, const BatchPlan& plan, WorkerLimits limits,
                     std::string program);
    ~WorkerSupervisor();
    WorkerSupervisor(const WorkerSupervisor&) = delete;
    WorkerSupervisor& operator=(const WorkerSupervisor&) = delete;

    // Converts the task's file in the child and gives back its outcome. When
    // the child died or overran, the failure says so ("crashed with signal
    // 11", "out of memory", "took longer than 600 s", "stopped").
    FileOutcome convert(const FileTask& task);
    // Starts the child now, if none runs, so the first request need not
    // wait for it; a child that cannot start is reported by that request.
    void warm_up() { ensure_child(); }
    // From any thread: the cores the frames of a file may use, from the
    // next file on and for the file in hand as soon as its child looks.
    void lend_cores(int cores);

    // A request other than a file (a preview, say) and the child's answer,
    // or why there is none ("crashed with signal 11", "out of memory",
    // "took longer than 30 s", "stopped"); the child is then ended.
    std::variant<wire::Message, std::string> ask(const wire::Message& request);

    // Children started so far.
    int spawned() const { return m_spawned; }
    // Ends the current child (as if it had died between files).
    void kill_child();
    // From any thread: ends the child at once; the file it converts fails
    // with the reason "stopped" and its temporary output is removed.
    void abort();
    // From any thread: ends the child at once, as if it had died (also one
    // being started), until resume(); the request in hand fails and the
    // next one after resume() starts a fresh child.
    void interrupt();
    void resume();

  private:
    struct Child;
    std::optional<Failure> ensure_child();
    // Sends the request and waits for the answer, collecting the temporary
    // files the child announces; why there is none (the child ended, its
    // announced files removed).
    // `cores` above 0: the request is a file lent that many cores, and the
    // child hears of each change while it converts.
    std::variant<wire::Message, std::string>
    exchange(const wire::Message& request, std::vector<std::string>& announced, int cores);
    std::string end_child(bool kill);

    const Settings& m_settings;
    const BatchPlan& m_plan;
    WorkerLimits m_limits;
    std::string m_program;
    std::unique_ptr<Child> m_child;
    int m_spawned = 0;
    std::atomic<int> m_cores{1};
    // Guards the pid abort() may kill: it is cleared before the child is
    // reaped, so a kill never reaches a process that reused the number.
    std::mutex m_pid_lock;
    pid_t m_live_pid = -1;
    bool m_aborted = false;
    bool m_interrupted = false;
};

// Runs before each job in the worker process; tests install one that makes
// the child fail on purpose. Empty in normal runs.
using BeforeJob =
    std::function<void(const Settings& s, const BatchPlan& plan, const FileTask& task)>;

// The worker mode's main loop: reads requests on `in_fd`, answers on
// `out_fd`; returns the process exit status. The worker dies with
// `parent`, the process that started it.
int run_worker_process(int in_fd, int out_fd, std::uint64_t address_space_bytes,
                       int cpu_seconds_per_file, pid_t parent, const BeforeJob& before_job = {});

} // namespace pixlane
