#include "platform/handover.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/platform.h"

namespace pixlane::platform {

namespace {

// More than any file manager hands over at once; a sender past it is cut off.
constexpr std::size_t kMostBytes = std::size_t{4} << 20;
constexpr int kWaitMs = 2000; // for a sender that connected to finish its paths
constexpr char kTaken = 'k';

std::optional<sockaddr_un> address_of(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return std::nullopt;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

bool write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Waits up to `ms` for `fd` to be readable; false on a timeout or error.
bool readable(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    int rc = 0;
    do {
        rc = ::poll(&p, 1, ms);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

// The paths of one connection, NUL-terminated each, up to its end.
std::optional<std::vector<std::string>> read_paths(int fd) {
    std::string bytes;
    char buffer[65536];
    while (bytes.size() <= kMostBytes) {
        if (!readable(fd, kWaitMs)) {
            return std::nullopt;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            std::vector<std::string> paths;
            for (std::size_t at = 0; at < bytes.size();) {
                const std::size_t end = bytes.find('\0', at);
                if (end == std::string::npos) {
                    return std::nullopt; // cut off
                }
                paths.push_back(bytes.substr(at, end - at));
                at = end + 1;
            }
            return paths;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return std::nullopt;
}

} // namespace

std::string handover_path(std::string_view name) {
    std::string path = InstanceLock::lock_path(name);
    if (path.ends_with(".lock")) {
        path.erase(path.size() - 5);
    }
    return path + ".socket";
}

std::optional<PathInbox> PathInbox::open(const std::string& path) {
    const auto address = address_of(path);
    if (!address) {
        return std::nullopt;
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) {
        return std::nullopt;
    }
    // Whatever a window that ended left there: the lock says none runs. Only
    // a socket is removed, never a file somebody put in its place.
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
        ::unlink(path.c_str());
    }
    const mode_t before = ::umask(0077);
    const int bound =
        ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address);
    ::umask(before);
    if (bound != 0 || ::listen(fd.get(), 16) != 0) {
        return std::nullopt;
    }
    return PathInbox(std::move(fd), path);
}

PathInbox::~PathInbox() {
    if (m_fd) {
        ::unlink(m_path.c_str());
    }
}

std::vector<std::vector<std::string>> PathInbox::take() {
    std::vector<std::vector<std::string>> handed;
    for (;;) {
        UniqueFd client(::accept4(m_fd.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client) {
            if (errno == EINTR) {
                continue;
            }
            return handed; // none waiting (EAGAIN) or none to be had
        }
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(client.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
            peer.uid != ::getuid()) {
            continue;
        }
        if (auto paths = read_paths(client.get())) {
            write_all(client.get(), std::string_view(&kTaken, 1));
            handed.push_back(std::move(*paths));
        }
    }
}

bool hand_over_paths(const std::string& path, const std::vector<std::string>& paths) {
    const auto address = address_of(path);
    if (!address) {
        return false;
    }
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        return false;
    }
    std::string bytes;
    for (const auto& p : paths) {
        bytes += p;
        bytes += '\0';
    }
    if (!write_all(fd.get(), bytes) || ::shutdown(fd.get(), SHUT_WR) != 0) {
        return false;
    }
    // The window answers when its event loop takes the paths.
    char answer = 0;
    return readable(fd.get(), 10000) && ::recv(fd.get(), &answer, 1, 0) == 1 && answer == kTaken;
}

} // namespace pixlane::platform
