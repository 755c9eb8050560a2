#include "support/test_support.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>
#include <stdexcept>

#include "platform/platform.h"

extern char** environ;

namespace pixlane::test {

namespace fs = std::filesystem;

namespace {

// Where temporary folders go: $TMPDIR when set, else /dev/shm when it is a
// writable tmpfs with room to spare (the end-to-end tests write thousands of
// small files, which a disk makes slow under load), else /tmp.
std::string temporary_base() {
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir && *tmpdir) {
        return tmpdir;
    }
    constexpr unsigned long long kRoomNeeded = 1ull << 30;
    struct statfs shm {};
    if (::statfs("/dev/shm", &shm) == 0 && shm.f_type == TMPFS_MAGIC &&
        static_cast<unsigned long long>(shm.f_bavail) * shm.f_bsize >= kRoomNeeded &&
        ::access("/dev/shm", W_OK | X_OK) == 0) {
        return "/dev/shm";
    }
    return "/tmp";
}

} // namespace

TempDir::TempDir() {
    static const std::string base = temporary_base();
    std::string tmpl = base + "/pixlane-test-XXXXXX";
    if (!::mkdtemp(tmpl.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = tmpl + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only folders made by a test would stop the removal.
    for (auto it = fs::recursive_directory_iterator(m_path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_path, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_file(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
}

bool write_sparse_file(const std::string& path, const std::string& head, std::int64_t size) {
    write_file(path, head);
    return ::truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}

bool returns_promptly_on_fifo(const std::string& fifo, const std::function<void()>& read,
                              int seconds) {
    if (::mkfifo(fifo.c_str(), 0600) != 0) {
        return false;
    }
    auto done = std::async(std::launch::async, read);
    if (done.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready) {
        return true;
    }
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
        for (const int side : {O_WRONLY, O_RDONLY}) {
            const int fd = ::open(fifo.c_str(), side | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    return false;
}

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env, const std::string& cwd,
              const WhileRunning& during) {
    TempDir capture;
    const std::string out_path = capture / "out";
    const std::string err_path = capture / "err";

    std::vector<std::string> argv_s{program};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        std::string kv(*e);
        auto eq = kv.find('=');
        if (eq != std::string::npos) {
            merged[kv.substr(0, eq)] = kv.substr(eq + 1);
        }
    }
    for (const auto& [k, v] : env) {
        merged[k] = v;
    }
    std::vector<std::string> env_s;
    for (const auto& [k, v] : merged) {
        env_s.push_back(k + "=" + v);
    }
    std::vector<char*> envp;
    for (auto& e : env_s) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (!cwd.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    }
    pid_t pid = 0;
    RunResult r;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
        if (during) {
            during(pid);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    r.out = read_file(out_path);
    r.err = read_file(err_path);
    return r;
}

std::string pixlane_exe() {
    const char* exe = std::getenv("PIXLANE_EXE");
    return exe ? exe : "pixlane";
}

RunResult run_pixlane(const std::vector<std::string>& args, const std::string& cwd,
                      std::map<std::string, std::string> env, const WhileRunning& during) {
    TempDir runtime;
    env.try_emplace("XDG_RUNTIME_DIR", runtime.path());
    env.try_emplace("XDG_CONFIG_HOME", runtime / "config");
    // A start that reaches the window never finds a display, so it ends.
    env.try_emplace("DISPLAY", "");
    env.try_emplace("WAYLAND_DISPLAY", "");
    // Batches of a test are short: every worker takes part from the start.
    env.try_emplace("PIXLANE_SPARE_WORKERS_AFTER_MS", "0");
    return run(pixlane_exe(), args, env, cwd, during);
}

RunResult run_shell(const std::string& command, const std::string& cwd) {
    TempDir bin;
    if (::symlink(pixlane_exe().c_str(), (bin / "pixlane").c_str()) != 0) {
        return {};
    }
    const char* path = std::getenv("PATH");
    return run("/bin/bash", {"-c", command},
               {{"PATH", bin.path() + ":" + (path != nullptr ? path : "/usr/bin:/bin")},
                {"XDG_RUNTIME_DIR", bin.path()},
                {"XDG_CONFIG_HOME", bin / "config"},
                {"DISPLAY", ""},
                {"WAYLAND_DISPLAY", ""}},
               cwd);
}

namespace {

// Runs `body` in a child process with a tmpfs of its own (mount `flags`,
// `options`) at `folder`; see in_small_tmpfs.
std::optional<std::string> in_private_tmpfs(const std::string& folder, unsigned long flags,
                                            const std::string& options,
                                            const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return "no pipe";
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        bool mounted = false;
        if (::unshare(uid == 0 ? CLONE_NEWNS : CLONE_NEWUSER | CLONE_NEWNS) == 0) {
            if (uid != 0) { // be root of the new user namespace, as ourselves outside
                write_file("/proc/self/setgroups", "deny");
                write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
                write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
            }
            mounted = ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                      ::mount("tmpfs", folder.c_str(), "tmpfs", flags, options.c_str()) == 0;
        }
        const std::string text = mounted ? body() : std::string("\x01");
        [[maybe_unused]] auto n = ::write(fds[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return text + " (the child died)";
    }
    if (text == "\x01") {
        return std::nullopt;
    }
    return text;
}

} // namespace

std::optional<std::string> in_small_tmpfs(const std::string& folder, int kib,
                                          const std::function<std::string()>& body) {
    return in_private_tmpfs(folder, 0, "size=" + std::to_string(kib) + "k", body);
}

std::optional<std::string> in_read_only_tmpfs(const std::string& folder,
                                              const std::function<std::string()>& body) {
    return in_private_tmpfs(folder, MS_RDONLY, "size=64k", body);
}

WriteLimit::WriteLimit(std::int64_t bytes) { platform::limit_writes_for_testing(bytes); }
WriteLimit::~WriteLimit() { platform::limit_writes_for_testing(-1); }

std::string names_in(const std::string& folder) {
    std::string names;
    for (const auto& entry : platform::list_folder(folder)) {
        names += entry.name + " ";
    }
    return names;
}

ChildRun run_in_child(const std::function<std::string()>& body, int seconds_allowed) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return {};
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::alarm(static_cast<unsigned>(seconds_allowed));
        // The peak of a fresh child starts at what it shares with its parent.
        struct rusage before {};
        ::getrusage(RUSAGE_SELF, &before);
        const std::string text = body();
        struct rusage after {};
        ::getrusage(RUSAGE_SELF, &after);
        const std::string report = std::to_string(after.ru_maxrss - before.ru_maxrss) + "\n" + text;
        [[maybe_unused]] auto n = ::write(fds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
        report.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ChildRun run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::size_t line = report.find('\n');
    run.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0 && line != std::string::npos;
    if (run.finished) {
        run.peak_growth_kib = std::stol(report.substr(0, line));
        run.text = report.substr(line + 1);
    }
    return run;
}

// Fills the file system holding `folder` to its last block.
void fill_file_system(const std::string& folder) {
    const int fd = ::open((folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0) {
        return;
    }
    const std::string block(std::size_t{1} << 16, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) {
        return text;
    }
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

} // namespace pixlane::test
