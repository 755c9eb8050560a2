#include "scratch.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/platform.h"

namespace pixlane::fuzz {
namespace {

std::string base_folder() {
    const char* tmpdir = std::getenv("TMPDIR");
    if (tmpdir != nullptr && *tmpdir != '\0') {
        return tmpdir;
    }
    return platform::is_folder("/dev/shm") && ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

class Scratch {
  public:
    Scratch() {
        std::string pattern = base_folder() + "/pixlane-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a scratch folder in " + base_folder());
        }
        m_path = pattern + "/";
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

} // namespace

const std::string& scratch_folder() {
    static const Scratch scratch;
    return scratch.path();
}

std::string scratch_file(const std::string& name, std::string_view bytes) {
    const std::string path = scratch_folder() + name;
    platform::remove_file(path);
    platform::OutputFile file;
    if (!file.create(path) || !file.write(bytes.data(), bytes.size()) || !file.finish()) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

} // namespace pixlane::fuzz
