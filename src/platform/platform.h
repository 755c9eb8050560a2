// The platform layer: everything the rest of the program asks of the
// operating system, behind one small interface. Paths are UTF-8 texts;
// folders handed out end with the separator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "util/unique_fd.h"

#include "util/failure.h"

namespace pixlane::platform {

inline constexpr char kSeparator = '/';
inline constexpr std::string_view kSeparatorText = "/";

// --- paths ---------------------------------------------------------------

// `folder` with the separator appended when it does not end with one
// (the empty text stays empty).
std::string with_separator(std::string folder);
// `folder` + `name`, with exactly one separator between them.
std::string join(std::string_view folder, std::string_view name);
// An absolute path starts at the root.
bool is_absolute(std::string_view path);
// The folder part of a path, ending with the separator; empty when none.
std::string folder_of(std::string_view path);
// The last component of a path.
std::string file_name_of(std::string_view path);
// The text after the last "." of the last component, as written; empty when
// there is none.
std::string extension_of(std::string_view path);

// Full path of the running executable.
std::string program_path();
// Folder of the running executable, ending with the separator.
std::string program_folder();
// The current working folder, ending with the separator.
std::string current_folder();
// Base folder for user settings: $XDG_CONFIG_HOME, else ~/.config; ends with
// the separator; empty when neither can be named.
std::string settings_base_folder();

// The locale of messages as the environment names it: the first of
// $LC_ALL, $LC_MESSAGES and $LANG that is set and not empty; empty when none.
std::string message_locale();

// --- files and folders -----------------------------------------------------

// Size in bytes of a regular file; -1 when it does not exist or is a folder.
std::int64_t file_size(const std::string& path);
bool is_folder(const std::string& path);
// True for an existing plain file (links followed): not a folder, device or pipe.
bool is_plain_file(const std::string& path);
bool exists(const std::string& path);
// The identity of what `path` names, links followed: equal for every path
// that reaches the same file or folder; empty when it cannot be read.
std::string file_identity(const std::string& path);
// The absolute path of what `path` names with every link, "." and ".."
// resolved (no separator at the end but for the root); empty when it cannot
// be resolved.
std::string real_path(const std::string& path);
// Creates one folder level; true when it exists afterwards.
bool make_folder(const std::string& path);
// Creates every missing level of `path`; true when it exists afterwards.
bool make_folders(const std::string& path);

struct FolderEntry {
    std::string name;
    bool is_folder = false; // links followed
    bool is_link = false;   // the entry itself is a symbolic link
};
// Entries of a folder ("." and ".." skipped), sorted by name; empty on error.
std::vector<FolderEntry> list_folder(const std::string& path);
// As list_folder(), or why the folder cannot be read (its path too long for
// the system, no permission, …).
std::variant<std::vector<FolderEntry>, Failure> read_folder(const std::string& path);

// Reads the plain file at `path` whole. It is opened without blocking (a
// pipe or device swapped in for a file never stalls the caller), checked to
// be a regular file of at most `max_bytes`, and only then read. Empty when
// it is none of these or a read fails (/proc/self/mem, an I/O error).
std::optional<std::string> read_plain_file(const std::string& path, std::int64_t max_bytes);
// The first `count` bytes of the plain file at `path` (fewer when it is
// shorter), opened and checked as read_plain_file does.
std::optional<std::string> read_file_head(const std::string& path, std::size_t count);

// A new file written through a buffer with every write checked. The first
// failure is kept (error() gives its errno value) and makes every later call
// fail. finish() writes out what is buffered, syncs the file to disk and
// closes it: only a file whose finish() returned true is complete. A file
// left unfinished is closed without a sync when the object dies.
class OutputFile {
  public:
    OutputFile() = default;
    OutputFile(OutputFile&&) noexcept = default;
    OutputFile& operator=(OutputFile&&) noexcept = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates `path` for reading and writing; fails when anything is there
    // already (a link is never followed). `permissions`, when given, are the
    // file's permission bits from the start, whatever the umask.
    bool create(const std::string& path, std::optional<std::uint32_t> permissions = std::nullopt);
    // Opens a file that lives in memory only: every call below behaves as
    // for a file on disk, and bytes() holds what a file would hold.
    void create_in_memory();
    bool write(const void* data, std::size_t size);
    // Moves the position as fseek does (`whence`: SEEK_SET, SEEK_CUR or
    // SEEK_END).
    bool seek(std::int64_t offset, int whence);
    // The position; -1 after a failure.
    std::int64_t tell() const;
    // Reads back from the position (some writers read what they wrote);
    // the number of bytes read.
    std::size_t read(void* data, std::size_t size);
    // Writes what is pending, syncs the file to the disk (unless `sync` is
    // false: the caller syncs later, or leaves it to the system) and closes it.
    bool finish(bool sync = true);

    bool ok() const { return (m_fd || m_in_memory) && m_error == 0; }
    // The content of a file opened with create_in_memory().
    const std::string& bytes() const { return m_memory; }
    // The errno value of the first failure; 0 when there was none.
    int error() const { return m_error; }

  private:
    bool flush();
    bool fail(int error);

    UniqueFd m_fd;
    bool m_in_memory = false;
    std::string m_memory;        // the content of a file in memory
    std::vector<char> m_pending; // written by the caller, not yet to the file
    std::int64_t m_position = 0; // where the descriptor stands
    int m_error = 0;
};

// The whole content of the file at a path, replaced in one step: written to
// a new file beside it and renamed over the path by commit(), so a reader of
// the path sees the old content or the new, never a part.
//
// The new file gets a random name in the path's folder and is created
// exclusively: nothing already there under that name (a link, a pipe, a
// file of somebody else's) is opened or followed. Its writes are checked as
// OutputFile's are, and it is synced before the rename. It takes the
// permission bits of the plain file the path names (links followed); a new
// file gets 0666 less the umask. The rename puts it in place of whatever
// the path names itself: a link there is replaced, never written through.
// Without a successful commit() the path is left as it was and the
// temporary file is removed.
class FileReplacement {
  public:
    FileReplacement() = default;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement() { abandon(); }

    // Creates the temporary file for `path`.
    bool begin(const std::string& path);
    bool write(std::string_view bytes);
    // Syncs the temporary file, closes it and renames it over the path.
    bool commit();
    // Removes the temporary file, if any; the path is left as it was.
    void abandon();

    // The errno value of the first failure; 0 when there was none.
    int error() const { return m_error != 0 ? m_error : m_file.error(); }
    // The temporary file's path between begin() and the end; empty otherwise.
    const std::string& temporary_path() const { return m_temporary; }

  private:
    bool fail(int error);

    std::string m_target;
    std::string m_temporary;
    OutputFile m_file;
    int m_error = 0;
};

// Replaces the whole content of `path` with `bytes` through a
// FileReplacement. On failure `path` is as it was, no temporary file is
// left, false is returned and errno holds the cause.
bool replace_file(const std::string& path, std::string_view bytes);

// Fault injection for tests: after `bytes` more bytes have gone to files
// (OutputFile, FileReplacement), every write fails with ENOSPC, as on a
// full disk. A negative value lifts the limit.
void limit_writes_for_testing(std::int64_t bytes);

// Syncs the file systems that hold the folders, each once (syncfs): what
// was written there without a sync reaches the disk. False when one failed.
bool sync_file_systems(const std::vector<std::string>& folders);

bool remove_file(const std::string& path);
// Renames over an existing target in one step.
bool rename_file(const std::string& from, const std::string& to);
// True when this process (by its effective ids) may make files in the
// folder `path`; otherwise false with errno saying why (EACCES, EROFS, …).
bool folder_is_writable(const std::string& path);
// The longest file name, in bytes, the file system of the existing folder
// `path` takes (255 when it does not say).
std::int64_t longest_name(const std::string& path);

// Modification time as a local wall-clock date (seconds since 1970 of the
// local clock, no time zone).
std::optional<std::int32_t> modification_time(const std::string& path);
bool set_modification_time(const std::string& path, std::int32_t local_date);

// --- time ------------------------------------------------------------------

// The current local wall-clock time as a date.
std::int32_t now_local();
// Milliseconds from a fixed point, monotonic.
std::int64_t elapsed_ms();

// --- process ---------------------------------------------------------------

// The single-instance lock: an exclusive flock on a file named by `name` in
// $XDG_RUNTIME_DIR (else a per-user folder in /tmp). Released when the
// object dies or the process ends.
class InstanceLock {
  public:
    // Why acquire() gave no lock.
    enum class Failure : std::uint8_t {
        Held,         // another process holds it
        CannotCreate, // the lock file cannot be opened or locked (errno kept)
    };
    // Empty when the lock is not taken; `why` (when given) then says why
    // and `error` (when given) the errno of a CannotCreate.
    static std::optional<InstanceLock> acquire(std::string_view name, Failure* why = nullptr,
                                               int* error = nullptr);
    // Path of the lock file for `name`.
    static std::string lock_path(std::string_view name);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

  private:
    explicit InstanceLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

// Hands a file or web address to the desktop (xdg-open, or the program
// PIXLANE_SHELL_OPEN names, started directly with the target as its one
// argument, never through a shell). The result is not examined.
void shell_open(const std::string& target);

// Opens /dev/null on standard input, output or error when the process was
// started with one of them closed, so no file it opens later takes that
// number and receives its console lines.
void open_standard_streams();

// Keeps freed blocks of up to 32 MiB (frames, canvases, decoder and encoder
// buffers) in the heap for the next allocation. By default the C library
// maps such blocks afresh and unmaps them on release, so every frame paid a
// page fault for each 4 KiB it touched (a third of a batch's processor time
// on small frames). Called first thing by every process of the program.
void reuse_freed_memory();

// Console helpers for the command line: the title and the key wait act only
// when the stream is a terminal.
bool stdout_is_terminal();
bool stderr_is_terminal();
// False when the environment asks for plain text: TERM=dumb, or NO_COLOR set
// to anything. The console then writes no control sequences (no title, no
// progress line rewritten in place).
bool escapes_wanted();
bool stdin_is_terminal();
void set_console_title(const std::string& title);
// Gives the terminal back the title it had before the first
// set_console_title (nothing when none was set).
void restore_console_title();
void wait_for_key();

} // namespace pixlane::platform
