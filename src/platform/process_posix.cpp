#include "platform/process.h"

#include "platform/platform.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

extern char** environ;

namespace pixlane::platform {

std::optional<Pipe> make_pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    return Pipe{UniqueFd(fds[0]), UniqueFd(fds[1])};
}

namespace {

// Frees the spawn attributes however spawn() leaves.
struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
};

ExitInfo exit_info(int status) {
    if (WIFSIGNALED(status)) {
        return {true, WTERMSIG(status), 0};
    }
    return {false, 0, WIFEXITED(status) ? WEXITSTATUS(status) : 0};
}

} // namespace

std::optional<ChildProcess> ChildProcess::spawn(const Spec& spec) {
    FileActions fa;
    for (const auto& [from, to] : spec.fds) {
        posix_spawn_file_actions_adddup2(&fa.actions, from, to);
    }
    if (spec.stdin_from_null) {
        posix_spawn_file_actions_addopen(&fa.actions, 0, "/dev/null", O_RDONLY, 0);
    }
    if (spec.stdout_to_stderr) {
        posix_spawn_file_actions_adddup2(&fa.actions, 2, 1);
    }
    std::vector<std::string> args;
    args.reserve(spec.arguments.size() + 1);
    args.push_back(spec.program);
    args.insert(args.end(), spec.arguments.begin(), spec.arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, spec.program.c_str(), &fa.actions, nullptr, argv.data(), environ) !=
        0) {
        return std::nullopt;
    }
    return ChildProcess(pid);
}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
    if (this != &other) {
        if (m_pid > 0) {
            kill();
            wait();
        }
        m_pid = std::exchange(other.m_pid, -1);
    }
    return *this;
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        kill();
        wait();
    }
}

void ChildProcess::kill() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
    }
}

bool ChildProcess::has_ended() const {
    if (m_pid <= 0) {
        return true;
    }
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == m_pid;
}

ExitInfo ChildProcess::wait() {
    if (m_pid <= 0) {
        return {};
    }
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    return exit_info(status);
}

std::optional<std::uint64_t> process_start_ticks(pid_t pid) {
    const auto stat = read_plain_file("/proc/" + std::to_string(pid) + "/stat", 4096);
    if (!stat) {
        return std::nullopt;
    }
    // "pid (name) state ppid …": the name may hold blanks and parentheses,
    // so the fields are counted after its last ")"; the start time is the
    // 22nd field, the 20th after the name.
    const auto close = stat->rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::size_t at = close + 1;
    for (int field = 1; field < 20; ++field) {
        at = stat->find(' ', at + 1);
        if (at == std::string::npos) {
            return std::nullopt;
        }
    }
    std::uint64_t ticks = 0;
    const char* begin = stat->data() + at + 1;
    const auto [end, error] = std::from_chars(begin, stat->data() + stat->size(), ticks);
    if (error != std::errc() || end == begin) {
        return std::nullopt;
    }
    return ticks;
}

bool process_running(pid_t pid, std::uint64_t started) {
    if (pid <= 0) {
        return false;
    }
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
        return false;
    }
    const auto now = process_start_ticks(pid);
    return started == 0 || !now || *now == started;
}

int online_processors() {
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

namespace {

volatile sig_atomic_t g_stop_signal = 0;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];

extern "C" void note_stop_signal(int sig) {
    if (g_stop_signal == 0) {
        g_stop_signal = sig;
    }
}

} // namespace

StopSignals::StopSignals() {
    g_stop_signal = 0;
    struct sigaction sa {};
    sa.sa_handler = note_stop_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kStopSignals[i], &sa, &g_previous[i]);
    }
}

StopSignals::~StopSignals() {
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kStopSignals[i], &g_previous[i], nullptr);
    }
}

int StopSignals::received() const { return g_stop_signal; }

} // namespace pixlane::platform
