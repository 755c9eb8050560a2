#include "pipeline/input_list.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "formats/catalogue.h"
#include "platform/platform.h"
#include "util/strings.h"

namespace pixlane {
namespace {

// Folders already entered by one import, by identity: a link back up the
// tree would otherwise be followed until paths grow too long, and two such
// links multiply the paths past any end.
using Entered = std::unordered_set<std::string>;

// The folder a scan stays in: `folder` with its links resolved, ending
// with the separator; empty when it cannot be resolved.
std::string tree_of(const std::string& folder) {
    const std::string real = platform::real_path(folder);
    return real.empty() ? real : platform::with_separator(real);
}

// True when `path`, its links resolved, lies inside `tree` (a tree_of).
bool inside_tree(const std::string& path, const std::string& tree) {
    const std::string real = tree_of(path);
    return !tree.empty() && !real.empty() && real.rfind(tree, 0) == 0;
}

// `tree` is the resolved input folder: a link to a folder outside it is not
// followed (a link to /proc led through /proc/N/cwd to the whole machine);
// links to files, and to folders inside the tree, are.
int scan_once(InputList& list, const std::string& folder, const std::string& input_folder,
              const std::string& tree, Entered& entered) {
    const std::string identity = platform::file_identity(folder);
    if (!identity.empty() && !entered.insert(identity).second) {
        return 0;
    }
    int added = 0;
    auto read = platform::read_folder(folder);
    if (auto* failure = std::get_if<Failure>(&read)) {
        list.note_unreadable(folder, std::move(failure->reason));
        return 0;
    }
    for (const auto& entry : std::get<std::vector<platform::FolderEntry>>(read)) {
        const std::string path = folder + entry.name;
        if (entry.is_folder) {
            if (!entry.is_link || inside_tree(path, tree)) {
                added +=
                    scan_once(list, platform::with_separator(path), input_folder, tree, entered);
            }
        } else {
            added += list.add(path, input_folder) ? 1 : 0;
        }
    }
    return added;
}

// Offers one top-level item of a folder or list import: a folder is scanned,
// a file is offered to the list. `tree` is the tree the item belongs to
// (empty for a list line: a folder there is a tree of its own). Returns the
// number of entries added.
int import_item(InputList& list, const std::string& path, const std::string& input_folder,
                const std::string& tree, Entered& entered) {
    if (platform::is_folder(path)) {
        if (tree.empty()) {
            return scan_once(list, platform::with_separator(path), input_folder, tree_of(path),
                             entered);
        }
        if (!inside_tree(path, tree)) {
            return 0;
        }
        return scan_once(list, platform::with_separator(path), input_folder, tree, entered);
    }
    return list.add(path, input_folder) ? 1 : 0;
}

// The lines of a list file, read in pieces: a line longer than
// kListMaxLineBytes is skipped whole, never held in memory. A read error
// ends the file.
class ListLines {
  public:
    explicit ListLines(const std::string& path) : m_in(path, std::ios::binary), m_buffer(1 << 16) {}

    // The next line without its line feed (empty for one that is too long);
    // false at the end.
    bool next(std::string& line) {
        line.clear();
        bool too_long = false;
        bool any = false;
        for (;;) {
            if (m_pos == m_end && !fill()) {
                if (!any) {
                    return false;
                }
                break; // a last line without a line feed
            }
            any = true;
            const char* start = m_buffer.data() + m_pos;
            const auto* lf = static_cast<const char*>(std::memchr(start, '\n', m_end - m_pos));
            const std::size_t n = lf ? static_cast<std::size_t>(lf - start) : m_end - m_pos;
            if (!too_long && line.size() + n > kListMaxLineBytes) {
                too_long = true;
                line.clear();
                line.shrink_to_fit();
            }
            if (!too_long) {
                line.append(start, n);
            }
            m_pos += n;
            if (lf) {
                ++m_pos;
                break;
            }
        }
        return true;
    }

  private:
    bool fill() {
        m_pos = 0;
        m_end = 0;
        if (m_in) {
            // read() turns an exception of the file buffer into badbit.
            m_in.read(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
            m_end = static_cast<std::size_t>(m_in.gcount());
        }
        return m_end > 0;
    }

    std::ifstream m_in;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
};

} // namespace

bool InputList::add(const std::string& path, const std::string& input_folder) {
    if (platform::file_size(path) <= 0 || !is_accepted_input(platform::extension_of(path)) ||
        contains(path)) {
        return false;
    }
    m_entries.push_back({path, relative_subfolder(path, input_folder)});
    m_paths.insert(path);
    if (on_added) {
        on_added(m_entries.back());
    }
    return true;
}

void InputList::clear() {
    m_entries.clear();
    m_paths.clear();
    m_unreadable.clear();
}

void InputList::note_unreadable(std::string folder, std::string reason) {
    m_unreadable.push_back({std::move(folder), std::move(reason)});
}

void InputList::keep_share(int k, int n) {
    std::vector<InputEntry> kept;
    for (std::size_t p = 0; p < m_entries.size(); ++p) {
        if (static_cast<int>(p % static_cast<std::size_t>(n)) == k - 1) {
            m_entries[p].others_before = static_cast<std::int32_t>(p - kept.size());
            kept.push_back(std::move(m_entries[p]));
        } else {
            m_paths.erase(m_entries[p].path);
        }
    }
    m_entries = std::move(kept);
}

bool InputList::remove(const std::string& path) {
    if (m_paths.erase(path) == 0) {
        return false;
    }
    std::erase_if(m_entries, [&](const InputEntry& e) { return e.path == path; });
    return true;
}

void InputList::drop_last(std::size_t n) {
    n = std::min(n, m_entries.size());
    for (auto at = m_entries.end() - static_cast<long>(n); at != m_entries.end(); ++at) {
        m_paths.erase(at->path);
    }
    m_entries.resize(m_entries.size() - n);
}

std::string relative_subfolder(const std::string& path, const std::string& base) {
    if (path.empty() || base.empty()) {
        return {};
    }
    const std::string folder = platform::folder_of(path);
    if (folder.rfind(base, 0) != 0) {
        return {};
    }
    return folder.substr(base.size());
}

int scan_folder(InputList& list, const std::string& folder, const std::string& input_folder) {
    Entered entered;
    return scan_once(list, folder, input_folder, tree_of(folder), entered);
}

namespace {

// Between two items: waits while the progress record is paused (a break
// question is open), then counts the item; false once stopped.
bool next_item(ProgressRecord& progress) {
    if (!progress.proceed()) {
        return false;
    }
    std::lock_guard guard(progress.lock);
    ++progress.index;
    return true;
}

} // namespace

void folder_worker(InputList& list, const std::string& folder, ProgressRecord& progress) {
    int added = 0;
    Entered entered{platform::file_identity(folder)};
    const std::string tree = tree_of(folder);
    auto read = platform::read_folder(folder);
    if (auto* failure = std::get_if<Failure>(&read)) {
        list.note_unreadable(folder, std::move(failure->reason));
    }
    const auto* entries = std::get_if<std::vector<platform::FolderEntry>>(&read);
    for (const auto& entry : entries ? *entries : std::vector<platform::FolderEntry>{}) {
        if (!next_item(progress)) {
            break;
        }
        added += import_item(list, folder + entry.name, folder, tree, entered);
    }
    std::lock_guard guard(progress.lock);
    progress.count += added;
}

void list_worker(InputList& list, const std::string& list_file, const std::string& input_folder,
                 ProgressRecord& progress) {
    int added = 0;
    Entered entered;
    ListLines lines(list_file);
    std::string line;
    bool first = true;
    while (lines.next(line)) {
        if (first) {
            first = false;
            if (line.rfind("\xEF\xBB\xBF", 0) == 0) {
                line.erase(0, 3);
            }
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const std::string path(trim(line));
        if (path.empty() || !platform::exists(path)) {
            continue;
        }
        if (!next_item(progress)) {
            break;
        }
        added += import_item(list, path, input_folder, {}, entered);
    }
    std::lock_guard guard(progress.lock);
    progress.count += added;
}

void export_worker(const InputList& list, const std::string& list_file, ProgressRecord& progress) {
    int written = 0;
    // Written whole beside the old list and put in its place at the end: a
    // failed export leaves the old list as it was. A stopped one keeps the
    // entries written before the stop.
    platform::FileReplacement out;
    if (out.begin(list_file) && out.write("\xEF\xBB\xBF")) {
        for (const auto& entry : list.entries()) {
            if (!next_item(progress)) {
                break;
            }
            if (!out.write(entry.path) || !out.write("\r\n")) {
                break;
            }
            ++written;
        }
        if (!out.commit()) {
            written = 0;
        }
    }
    std::lock_guard guard(progress.lock);
    progress.count += written;
}

} // namespace pixlane
