#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <thread>

#include "platform/platform.h"
#include "util/unique_fd.h"

extern char** environ;

namespace pixlane::platform {

namespace fs = std::filesystem;

std::string with_separator(std::string folder) {
    if (!folder.empty() && folder.back() != kSeparator) {
        folder.push_back(kSeparator);
    }
    return folder;
}

std::string join(std::string_view folder, std::string_view name) {
    std::string r(folder);
    if (!r.empty() && r.back() != kSeparator) {
        r.push_back(kSeparator);
    }
    while (!name.empty() && name.front() == kSeparator && !r.empty()) {
        name.remove_prefix(1);
    }
    r.append(name);
    return r;
}

bool is_absolute(std::string_view path) { return !path.empty() && path.front() == kSeparator; }

std::string folder_of(std::string_view path) {
    const auto pos = path.rfind(kSeparator);
    return pos == std::string_view::npos ? std::string{} : std::string(path.substr(0, pos + 1));
}

std::string file_name_of(std::string_view path) {
    const auto pos = path.rfind(kSeparator);
    return std::string(pos == std::string_view::npos ? path : path.substr(pos + 1));
}

std::string extension_of(std::string_view path) {
    const std::string name = file_name_of(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string{} : name.substr(dot + 1);
}

std::string program_path() {
    std::error_code ec;
    auto p = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string{} : p.string();
}

std::string program_folder() { return folder_of(program_path()); }

std::string current_folder() {
    std::error_code ec;
    auto p = fs::current_path(ec);
    return ec ? std::string{} : with_separator(p.string());
}

std::string settings_base_folder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == kSeparator) {
        return with_separator(xdg);
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return with_separator(join(home, ".config"));
    }
    return {};
}

std::string message_locale() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value && *value) {
            return value;
        }
    }
    return {};
}

std::int64_t file_size(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return -1;
    }
    return static_cast<std::int64_t>(st.st_size);
}

bool is_folder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_plain_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string file_identity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return {};
    }
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

std::string real_path(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : std::string{};
}

bool make_folder(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) {
        return true;
    }
    return errno == EEXIST && is_folder(path);
}

bool make_folders(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return is_folder(path);
}

std::variant<std::vector<FolderEntry>, Failure> read_folder(const std::string& path) {
    std::vector<FolderEntry> out;
    std::error_code ec;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        const bool is_folder = it->is_directory(ec2);
        out.push_back({it->path().filename().string(), is_folder, it->is_symlink(ec2)});
    }
    if (ec) {
        return Failure{ec.message()};
    }
    std::sort(out.begin(), out.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return out;
}

std::vector<FolderEntry> list_folder(const std::string& path) {
    auto read = read_folder(path);
    auto* entries = std::get_if<std::vector<FolderEntry>>(&read);
    return entries ? std::move(*entries) : std::vector<FolderEntry>{};
}

namespace {

// The file at `path` opened for reading when it is a regular file; `st` is
// its status. O_NONBLOCK: opening a FIFO without a writer would wait for one.
UniqueFd open_plain_file(const std::string& path, struct stat& st) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return UniqueFd{};
    }
    return fd;
}

// Appends to `out` until it holds `limit` bytes or the file ends; false on
// a read error.
bool read_up_to(int fd, std::string& out, std::size_t limit) {
    constexpr std::size_t kChunk = std::size_t{1} << 16;
    while (out.size() < limit) {
        const std::size_t before = out.size();
        const std::size_t want = std::min(limit - before, kChunk);
        out.resize(before + want);
        const ssize_t n = ::read(fd, out.data() + before, want);
        out.resize(before + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        if (n == 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<std::string> read_plain_file(const std::string& path, std::int64_t max_bytes) {
    struct stat st {};
    const UniqueFd fd = open_plain_file(path, st);
    if (!fd || max_bytes < 0 || st.st_size > max_bytes) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size) + 1); // callers may append one byte
    // One byte past the limit tells a file that grew since fstat.
    if (!read_up_to(fd.get(), bytes, static_cast<std::size_t>(max_bytes) + 1) ||
        bytes.size() > static_cast<std::size_t>(max_bytes)) {
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> read_file_head(const std::string& path, std::size_t count) {
    struct stat st {};
    const UniqueFd fd = open_plain_file(path, st);
    std::string bytes;
    if (!fd || !read_up_to(fd.get(), bytes, count)) {
        return std::nullopt;
    }
    return bytes;
}

bool remove_file(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool rename_file(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

std::atomic<std::int64_t> g_write_budget{-1}; // bytes until writes fail; -1: no limit

// Writes all of `size` bytes; 0, or the errno value of the failure.
int write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        std::size_t allowed = size;
        // Under a test's limit the bytes are claimed before they are
        // written, so writers on several threads share one budget.
        bool limited = false;
        for (std::int64_t budget = g_write_budget.load(); budget >= 0;) {
            if (budget == 0) {
                return ENOSPC;
            }
            const std::int64_t claim =
                std::min<std::int64_t>(budget, static_cast<std::int64_t>(size));
            if (g_write_budget.compare_exchange_weak(budget, budget - claim)) {
                allowed = static_cast<std::size_t>(claim);
                limited = true;
                break;
            }
        }
        const ssize_t n = ::write(fd, data, allowed);
        if (n < 0 && errno == EINTR) {
            if (limited) {
                g_write_budget += static_cast<std::int64_t>(allowed);
            }
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : EIO;
        }
        if (limited) {
            g_write_budget += static_cast<std::int64_t>(allowed) - n; // what was not written
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

constexpr std::size_t kOutputBuffer = std::size_t{1} << 16;

} // namespace

void limit_writes_for_testing(std::int64_t bytes) { g_write_budget = bytes < 0 ? -1 : bytes; }

bool OutputFile::create(const std::string& path, std::optional<std::uint32_t> permissions) {
    m_pending.clear();
    m_position = 0;
    m_error = 0;
    m_in_memory = false;
    m_memory.clear();
    m_fd.reset(
        ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666));
    if (!m_fd) {
        return fail(errno);
    }
    if (permissions && ::fchmod(m_fd.get(), static_cast<mode_t>(*permissions)) != 0) {
        return fail(errno);
    }
    return true;
}

void OutputFile::create_in_memory() {
    m_fd.reset();
    m_pending.clear();
    m_position = 0;
    m_error = 0;
    m_in_memory = true;
    m_memory.clear();
}

bool OutputFile::fail(int error) {
    if (m_error == 0) {
        m_error = error != 0 ? error : EIO;
    }
    return false;
}

bool OutputFile::flush() {
    if (!ok()) {
        return fail(m_fd ? m_error : EBADF);
    }
    if (m_pending.empty()) {
        return true;
    }
    const int error = write_all(m_fd.get(), m_pending.data(), m_pending.size());
    if (error != 0) {
        return fail(error);
    }
    m_position += static_cast<std::int64_t>(m_pending.size());
    m_pending.clear();
    return true;
}

bool OutputFile::write(const void* data, std::size_t size) {
    if (!ok()) {
        return fail(m_fd ? m_error : EBADF);
    }
    const char* bytes = static_cast<const char*>(data);
    if (m_in_memory) {
        // As a file: a write past the end leaves zeros in the gap.
        const auto at = static_cast<std::size_t>(m_position);
        if (m_memory.size() < at + size) {
            m_memory.resize(at + size, '\0');
        }
        std::memcpy(m_memory.data() + at, bytes, size);
        m_position += static_cast<std::int64_t>(size);
        return true;
    }
    if (m_pending.size() + size > kOutputBuffer && !flush()) {
        return false;
    }
    if (size >= kOutputBuffer) {
        const int error = write_all(m_fd.get(), bytes, size);
        if (error != 0) {
            return fail(error);
        }
        m_position += static_cast<std::int64_t>(size);
        return true;
    }
    if (m_pending.capacity() < kOutputBuffer) {
        m_pending.reserve(kOutputBuffer);
    }
    m_pending.insert(m_pending.end(), bytes, bytes + size);
    return true;
}

bool OutputFile::seek(std::int64_t offset, int whence) {
    if (!flush()) {
        return false;
    }
    if (m_in_memory) {
        const std::int64_t base = whence == SEEK_SET   ? 0
                                  : whence == SEEK_CUR ? m_position
                                                       : static_cast<std::int64_t>(m_memory.size());
        if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) {
            return fail(EINVAL);
        }
        if (base + offset < 0) {
            return fail(EINVAL);
        }
        m_position = base + offset;
        return true;
    }
    const off_t at = ::lseek(m_fd.get(), static_cast<off_t>(offset), whence);
    if (at < 0) {
        return fail(errno);
    }
    m_position = at;
    return true;
}

std::int64_t OutputFile::tell() const {
    return ok() ? m_position + static_cast<std::int64_t>(m_pending.size()) : -1;
}

std::size_t OutputFile::read(void* data, std::size_t size) {
    if (!flush()) {
        return 0;
    }
    if (m_in_memory) {
        const auto at = static_cast<std::size_t>(m_position);
        const std::size_t n = at < m_memory.size() ? std::min(size, m_memory.size() - at) : 0;
        std::memcpy(data, m_memory.data() + at, n);
        m_position += static_cast<std::int64_t>(n);
        return n;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(m_fd.get(), static_cast<char*>(data) + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            fail(errno);
            break;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    m_position += static_cast<std::int64_t>(done);
    return done;
}

bool OutputFile::finish(bool sync) {
    if (!flush()) {
        return false;
    }
    if (m_in_memory) {
        return true;
    }
    if (sync && ::fsync(m_fd.get()) != 0) {
        return fail(errno);
    }
    if (::close(m_fd.release()) != 0) {
        return fail(errno);
    }
    return true;
}

namespace {

// A name for the temporary file of `path`: the path with a dot, eight random
// letters and ".tmp" added, the file name shortened first so the result
// stays within the usual 255-byte name limit.
std::string temporary_name_for(const std::string& path) {
    constexpr std::size_t kKeptNameBytes = 200;
    static thread_local std::mt19937 engine{std::random_device{}()};
    std::uniform_int_distribution<int> letter(0, 25);
    std::string name = file_name_of(path).substr(0, kKeptNameBytes) + ".";
    for (int k = 0; k < 8; ++k) {
        name.push_back(static_cast<char>('a' + letter(engine)));
    }
    return folder_of(path) + name + ".tmp";
}

} // namespace

bool FileReplacement::fail(int error) {
    if (m_error == 0) {
        m_error = error != 0 ? error : EIO;
    }
    abandon();
    return false;
}

bool FileReplacement::begin(const std::string& path) {
    abandon();
    m_error = 0;
    m_target = path;
    if (path.empty()) {
        return fail(ENOENT);
    }
    std::optional<std::uint32_t> permissions;
    if (struct stat st{}; ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        permissions = st.st_mode & 0777;
    }
    // A taken name is tried again with other letters; anything else fails.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temporary = temporary_name_for(path);
        if (m_file.create(temporary, permissions)) {
            m_temporary = temporary;
            return true;
        }
        if (m_file.error() != EEXIST) {
            break;
        }
    }
    const int error = m_file.error();
    m_file = OutputFile{};
    return fail(error);
}

bool FileReplacement::write(std::string_view bytes) {
    if (m_temporary.empty()) {
        return fail(m_error != 0 ? m_error : EBADF);
    }
    return m_file.write(bytes.data(), bytes.size()) || fail(m_file.error());
}

bool FileReplacement::commit() {
    if (m_temporary.empty()) {
        return fail(m_error != 0 ? m_error : EBADF);
    }
    if (!m_file.finish()) {
        return fail(m_file.error());
    }
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        return fail(errno);
    }
    m_temporary.clear();
    return true;
}

void FileReplacement::abandon() {
    if (m_temporary.empty()) {
        return;
    }
    const int saved = errno;
    m_file = OutputFile{}; // closed before it is removed
    ::unlink(m_temporary.c_str());
    m_temporary.clear();
    errno = saved;
}

bool replace_file(const std::string& path, std::string_view bytes) {
    FileReplacement file;
    if (file.begin(path) && file.write(bytes) && file.commit()) {
        return true;
    }
    errno = file.error();
    return false;
}

bool sync_file_systems(const std::vector<std::string>& folders) {
    std::vector<dev_t> synced;
    bool ok = true;
    for (const auto& folder : folders) {
        UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat st {};
        if (!fd || ::fstat(fd.get(), &st) != 0) {
            ok = false;
            continue;
        }
        if (std::find(synced.begin(), synced.end(), st.st_dev) != synced.end()) {
            continue;
        }
        synced.push_back(st.st_dev);
        ok = ::syncfs(fd.get()) == 0 && ok;
    }
    return ok;
}

bool folder_is_writable(const std::string& path) {
    return ::faccessat(AT_FDCWD, path.empty() ? "." : path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

std::int64_t longest_name(const std::string& path) {
    const long n = ::pathconf(path.empty() ? "." : path.c_str(), _PC_NAME_MAX);
    return n > 0 ? n : 255;
}

namespace {

// Seconds east of UTC of the local clock at UTC time t.
long utc_offset(std::time_t t) {
    struct tm lt {};
    localtime_r(&t, &lt);
    return lt.tm_gmtoff;
}

std::int32_t to_local_date(std::time_t utc) {
    return static_cast<std::int32_t>(utc + utc_offset(utc));
}

std::time_t from_local_date(std::int32_t local) {
    // The wall-clock fields of the date, read back through the local zone.
    std::time_t as_utc = local;
    struct tm fields {};
    gmtime_r(&as_utc, &fields);
    fields.tm_isdst = -1;
    return mktime(&fields);
}

} // namespace

std::optional<std::int32_t> modification_time(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return to_local_date(st.st_mtim.tv_sec);
}

bool set_modification_time(const std::string& path, std::int32_t local_date) {
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = from_local_date(local_date);
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::int32_t now_local() { return to_local_date(std::time(nullptr)); }

std::int64_t elapsed_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::string InstanceLock::lock_path(std::string_view name) {
    std::string folder;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR");
        run && *run == kSeparator && is_folder(run)) {
        folder = run;
    } else {
        folder = "/tmp/pixlane-" + std::to_string(::getuid());
        ::mkdir(folder.c_str(), 0700);
        // Another user could have made that folder first: use it only when it
        // is ours and nobody else may write in it, else the settings base.
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
            (st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
            folder = settings_base_folder();
            make_folders(folder);
        }
    }
    return join(folder, std::string(name) + ".lock");
}

std::optional<InstanceLock> InstanceLock::acquire(std::string_view name, Failure* why, int* error) {
    auto fail = [&](Failure failure, int errno_value) -> std::optional<InstanceLock> {
        if (why) {
            *why = failure;
        }
        if (error) {
            *error = errno_value;
        }
        return std::nullopt;
    };
    const std::string path = lock_path(name);
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) {
        return fail(Failure::CannotCreate, errno);
    }
    int rc = 0;
    do {
        rc = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        // Only a lock somebody holds is "already running"; anything else
        // (no locks on that file system, ...) is a lock we cannot take.
        return errno == EWOULDBLOCK ? fail(Failure::Held, 0) : fail(Failure::CannotCreate, errno);
    }
    return InstanceLock(fd.release());
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void shell_open(const std::string& target) {
    const char* chosen = std::getenv("PIXLANE_SHELL_OPEN");
    std::string program = chosen != nullptr && *chosen != '\0' ? chosen : "xdg-open";
    char* argv[] = {program.data(), const_cast<char*>(target.c_str()), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv, environ) == 0) {
        // Reaped in the background so no zombie is left; the result is not examined.
        std::thread([pid] {
            int status = 0;
            ::waitpid(pid, &status, 0);
        }).detach();
    }
}

void reuse_freed_memory() {
    constexpr int kLargestKept = 32 << 20; // the C library's upper bound for the threshold
    mallopt(M_MMAP_THRESHOLD, kLargestKept);
    mallopt(M_TRIM_THRESHOLD, 2 * kLargestKept);
}

void open_standard_streams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // The lowest free number: this very one, as those below are open.
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
}

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }
bool stdin_is_terminal() { return ::isatty(STDIN_FILENO) == 1; }
bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

bool escapes_wanted() {
    const char* term = std::getenv("TERM");
    const char* no_color = std::getenv("NO_COLOR");
    return !(term != nullptr && std::string_view(term) == "dumb") &&
           !(no_color != nullptr && *no_color != '\0');
}

namespace {
bool g_title_saved = false;
}

void set_console_title(const std::string& title) {
    if (stdout_is_terminal() && escapes_wanted()) {
        if (!g_title_saved) {
            std::printf("\033[22;0t"); // the terminal keeps its own title on its stack
            g_title_saved = true;
        }
        std::printf("\033]0;%s\007", title.c_str());
        std::fflush(stdout);
    }
}

void restore_console_title() {
    if (g_title_saved && stdout_is_terminal()) {
        std::printf("\033[23;0t");
        std::fflush(stdout);
        g_title_saved = false;
    }
}

void wait_for_key() {
    if (!stdin_is_terminal()) {
        return;
    }
    std::fflush(stdout);
    struct termios old_attr {};
    if (::tcgetattr(STDIN_FILENO, &old_attr) != 0) {
        return;
    }
    struct termios raw = old_attr;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    char c = 0;
    [[maybe_unused]] auto n = ::read(STDIN_FILENO, &c, 1);
    ::tcsetattr(STDIN_FILENO, TCSANOW, &old_attr);
}

} // namespace pixlane::platform
