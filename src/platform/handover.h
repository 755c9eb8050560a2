// Paths handed from a later start to the window that runs: the window
// listens on a local socket beside its single-instance lock; a start that
// finds the lock held and has paths to open sends them there and ends.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/unique_fd.h"

namespace pixlane::platform {

// The socket of the window that holds the lock named `name`.
std::string handover_path(std::string_view name);

// The window's end: a listening socket only this user's processes can use.
class PathInbox {
  public:
    // Listens at `path`, replacing what a window that ended left there: call
    // it only while holding the lock. Nullopt when no socket can be made
    // (the path too long for one, no room).
    static std::optional<PathInbox> open(const std::string& path);

    PathInbox(PathInbox&&) noexcept = default;
    PathInbox& operator=(PathInbox&&) noexcept = default;
    ~PathInbox(); // the socket file goes too

    // The paths of each hand-over waiting now, one list per start; never
    // waits for a start that has not come. A sender of another user is
    // refused unread.
    std::vector<std::vector<std::string>> take();

  private:
    PathInbox(UniqueFd fd, std::string path) : m_fd(std::move(fd)), m_path(std::move(path)) {}
    UniqueFd m_fd;
    std::string m_path;
};

// Sends `paths` to the window listening at `path`: true once it confirmed
// it took them all, false when nobody listens there.
bool hand_over_paths(const std::string& path, const std::vector<std::string>& paths);

} // namespace pixlane::platform
