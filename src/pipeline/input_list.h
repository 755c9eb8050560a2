// The input list: the files a batch converts, each with its subfolder
// below the folder it was added from, in the order they were added. The
// folder, list and export workers fill it from a folder tree or a list file
// and write it back, sharing the progress record under its lock.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "records/records.h"

namespace pixlane {

struct InputEntry {
    std::string path;
    std::string relative_subfolder; // ends with "/", or empty
    // Entries of the whole list before this one that other shares convert:
    // %n% counts them, so shares number their files as one run would.
    std::int32_t others_before = 0;
};

class InputList {
  public:
    // Adds a file when its size is above 0 (so it exists and is not a folder),
    // its extension (any case) is an accepted input extension and the path
    // (compared exactly) is not yet listed. True when it was added.
    bool add(const std::string& path, const std::string& input_folder);

    const std::vector<InputEntry>& entries() const { return m_entries; }
    std::size_t size() const { return m_entries.size(); }
    bool contains(const std::string& path) const { return m_paths.count(path) != 0; }
    void clear();
    // Removes the entry of a path; true when it was listed.
    bool remove(const std::string& path);
    // Removes the last `n` entries (all when there are fewer).
    void drop_last(std::size_t n);
    // Keeps share `k` (1 to n) of `n`: the entries whose 0-based position p
    // has p mod n == k - 1. The n shares never overlap and together hold the
    // list; each kept entry learns how many it follows that it no longer has.
    void keep_share(int k, int n);

    // A folder an import found but could not enter, and why.
    struct Unreadable {
        std::string folder;
        std::string reason;
    };
    // Those folders since the last clear(), in the order met: an import
    // names what it could not read instead of dropping it in silence.
    const std::vector<Unreadable>& unreadable_folders() const { return m_unreadable; }
    void note_unreadable(std::string folder, std::string reason);

    // Called after each entry is added (the window appends its row). Runs on
    // the thread that adds.
    std::function<void(const InputEntry&)> on_added;

  private:
    std::vector<InputEntry> m_entries;
    std::vector<Unreadable> m_unreadable;
    std::unordered_set<std::string> m_paths;
};

// The folder part of `path` below `base`: empty when either is empty or when
// the folder does not start with `base`; otherwise the rest after the
// leading base ("/in/" and "/in/a/b/x.gif" give "a/b/").
std::string relative_subfolder(const std::string& path, const std::string& base);

// Offers every file of `folder` (ending with "/") and its subfolders to the
// list, recursively, in name order, entering each folder once however many
// links lead to it; returns the number of entries added. Links to files are
// followed, links to folders only when they lead to a folder inside
// `folder` (links resolved), never out of the tree.
int scan_folder(InputList& list, const std::string& folder, const std::string& input_folder);

// The folder worker: scans `folder` (ending with "/") while
// progress.running, counting each top-level entry in progress.index; adds
// the number added to progress.count.
void folder_worker(InputList& list, const std::string& folder, ProgressRecord& progress);

// Longest line of a list file taken (far above PATH_MAX); a longer line is
// skipped, so one huge line cannot take the program's memory.
inline constexpr std::size_t kListMaxLineBytes = std::size_t{64} << 10;

// The list worker: imports the list file `list_file` (UTF-8, byte-order
// mark skipped, lines trimmed; blank lines, lines longer than
// kListMaxLineBytes and missing paths skipped; a
// folder imports its tree; other lines are offered to the list with
// `input_folder` as the base of their subfolders).
void list_worker(InputList& list, const std::string& list_file, const std::string& input_folder,
                 ProgressRecord& progress);

// The export worker: writes the list to `list_file` as UTF-8 with a
// byte-order mark, one path and CR LF per entry, in list order. The file is
// replaced whole (platform::FileReplacement): when the export fails the
// old file stays as it was and the count gains nothing.
void export_worker(const InputList& list, const std::string& list_file, ProgressRecord& progress);

} // namespace pixlane
