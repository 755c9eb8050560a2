// Child processes, pipes and stop signals, each owned by an object that
// releases it: a pipe's ends close, a child that is still running when its
// owner goes is killed and reaped, signal handlers are put back.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "util/unique_fd.h"

namespace pixlane::platform {

// Both ends close on exec; a child receives only the descriptors handed to it.
struct Pipe {
    UniqueFd read_end;
    UniqueFd write_end;
};
std::optional<Pipe> make_pipe();

// How a child ended.
struct ExitInfo {
    bool signalled = false;
    int signal = 0; // when signalled
    int status = 0; // exit status otherwise
};

class ChildProcess {
  public:
    struct Spec {
        std::string program;                  // full path, started directly (no shell)
        std::vector<std::string> arguments;   // after the program name
        std::vector<std::pair<int, int>> fds; // parent descriptor -> number in the child
        bool stdin_from_null = true;          // standard input reads /dev/null
        bool stdout_to_stderr = true;         // the child's standard output is our stderr
    };

    // Starts the program; empty when it cannot be started.
    static std::optional<ChildProcess> spawn(const Spec& spec);

    ChildProcess(ChildProcess&& other) noexcept : m_pid(std::exchange(other.m_pid, -1)) {}
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Kills and reaps a child that was not waited for.
    ~ChildProcess();

    pid_t pid() const { return m_pid; }
    // Sends SIGKILL (the child is reaped by wait()).
    void kill();
    // True when the child has ended (it is left to wait() to reap).
    bool has_ended() const;
    // Waits for the child to end and reaps it.
    ExitInfo wait();

  private:
    explicit ChildProcess(pid_t pid) : m_pid(pid) {}
    pid_t m_pid = -1;
};

// Processors online now (at least 1).
int online_processors();

// When the process `pid` started, in clock ticks since boot (its identity
// together with the id, which the system reuses); nothing when no such
// process runs.
std::optional<std::uint64_t> process_start_ticks(pid_t pid);

// Whether the process `pid` that started at `started` ticks still runs (a
// start of 0: any process of that id counts as it).
bool process_running(pid_t pid, std::uint64_t started);

// While an instance lives, SIGINT, SIGTERM and SIGHUP do not end the process:
// they are noted, so a batch can stop between files and clean up. The former
// handlers return when it goes. One instance at a time.
class StopSignals {
  public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The first stop signal received, or 0.
    int received() const;
};

} // namespace pixlane::platform
