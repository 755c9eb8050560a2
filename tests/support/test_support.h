// Helpers shared by the tests: a temporary folder that cleans up after
// itself, and running the built executable with captured output.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace pixlane::test {

// A fresh folder under $TMPDIR (else /dev/shm when it is a tmpfs with room,
// else /tmp), removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The folder, ending with "/".
    const std::string& path() const { return m_path; }
    // path() + name.
    std::string operator/(const std::string& name) const { return m_path + name; }

  private:
    std::string m_path;
};

struct RunResult {
    int status = -1; // exit status, or 128 + signal
    std::string out; // standard output
    std::string err; // standard error
};

// Runs `program` with `args`; `env` entries are added to (or replace) the
// inherited environment; standard input is /dev/null. Working folder `cwd`
// when not empty. `during`, when given, is called with the process id while
// the program runs (e.g. to signal it).
using WhileRunning = std::function<void(pid_t pid)>;
RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {}, const std::string& cwd = {},
              const WhileRunning& during = {});

// The built pixlane executable (from $PIXLANE_EXE).
std::string pixlane_exe();

// Runs pixlane with a private runtime folder (so the single-instance lock of
// parallel tests never collides), a private settings folder and no display.
RunResult run_pixlane(const std::vector<std::string>& args, const std::string& cwd = {},
                      std::map<std::string, std::string> env = {}, const WhileRunning& during = {});

// Runs `command` with bash as a user types it: `pixlane` on the PATH names
// the built executable; private runtime and settings folders and no display,
// as for run_pixlane. Working folder `cwd` when not empty.
RunResult run_shell(const std::string& command, const std::string& cwd = {});

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& data);
// A file of `size` bytes that begins with `head` and holds no disk blocks
// beyond it (the rest reads as zeros): huge inputs made in no time.
bool write_sparse_file(const std::string& path, const std::string& head, std::int64_t size);

// Makes a FIFO at `fifo` and calls `read` (which should touch it) on a
// thread: true when it returns within `seconds`. Otherwise a writer and a
// reader open the FIFO and close it again, which releases a reader or a
// writer blocked on it, and false is returned, so a failing test never
// hangs.
bool returns_promptly_on_fifo(const std::string& fifo, const std::function<void()>& read,
                              int seconds = 5);

// Runs `body` in a child process that has a tmpfs of `kib` KiB of its own
// mounted at `folder` (a private mount namespace: nothing outlives the
// child; programs it runs see the same). The body's text comes back (empty:
// all went well); nullopt when this system lets no such file system be
// mounted.
std::optional<std::string> in_small_tmpfs(const std::string& folder, int kib,
                                          const std::function<std::string()>& body);

// As in_small_tmpfs, with an empty tmpfs mounted read-only: nothing, not
// even root, can make a file in `folder` while `body` runs.
std::optional<std::string> in_read_only_tmpfs(const std::string& folder,
                                              const std::function<std::string()>& body);

// What a body run in a child process came to.
struct ChildRun {
    bool finished = false;    // it returned within its time, without a crash
    std::string text;         // what it returned
    double seconds = 0;       // wall time
    long peak_growth_kib = 0; // how far its peak resident memory rose above the start
};

// Runs `body` in a forked child that is killed after `seconds_allowed`, so a
// body that would abort, hang or take the memory leaves the test standing
// and measured.
ChildRun run_in_child(const std::function<std::string()>& body, int seconds_allowed);

// Fills the file system holding `folder` to its last block (a file "filler").
void fill_file_system(const std::string& folder);

// A full disk for as long as it lives: after `bytes` more bytes every write
// of the program's files fails with ENOSPC (platform::limit_writes_for_testing).
struct WriteLimit {
    explicit WriteLimit(std::int64_t bytes);
    ~WriteLimit();
    WriteLimit(const WriteLimit&) = delete;
    WriteLimit& operator=(const WriteLimit&) = delete;
};

// The names in `folder`, sorted, each followed by a blank ("a.png b.png ").
std::string names_in(const std::string& folder);

// `text` with every `from` replaced by `to` (a folder's path in a listing,
// say).
std::string replaced(std::string text, const std::string& from, const std::string& to);

} // namespace pixlane::test
