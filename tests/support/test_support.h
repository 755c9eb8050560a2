// Helpers shared by the tests: a temporary folder that cleans up after
// itself, and running the built executable with captured output.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace pixlane::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
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
    int status = -1;     // exit status, or 128 + signal
    std::string out;     // standard output
    std::string err;     // standard error
};

// Runs `program` with `args`; `env` entries are added to (or replace) the
// inherited environment; standard input is /dev/null. Working folder `cwd`
// when not empty.
RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::map<std::string, std::string>& env = {}, const std::string& cwd = {});

// The built pixlane executable (from $PIXLANE_EXE).
std::string pixlane_exe();

// Runs pixlane with a private runtime folder (so the single-instance lock of
// parallel tests never collides), a private settings folder and no display.
RunResult run_pixlane(const std::vector<std::string>& args, const std::string& cwd = {},
                      std::map<std::string, std::string> env = {});

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& data);

} // namespace pixlane::test
