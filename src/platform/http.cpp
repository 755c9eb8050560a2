#include "platform/http.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <memory>

#include "util/strings.h"
#include "util/unique_fd.h"

namespace pixlane::platform {
namespace {

using Clock = std::chrono::steady_clock;

// Waits in short slices so a cancel is seen soon.
constexpr int kSliceMs = 20;
constexpr std::size_t kChunk = 4096;

struct AddrInfoFree {
    void operator()(addrinfo* p) const { ::freeaddrinfo(p); }
};
using AddrInfoPtr = std::unique_ptr<addrinfo, AddrInfoFree>;

class Deadline {
  public:
    Deadline(int timeout_ms, const std::atomic<bool>* cancel)
        : m_end(Clock::now() + std::chrono::milliseconds(timeout_ms)), m_cancel(cancel) {}
    bool cancelled() const { return m_cancel != nullptr && m_cancel->load(); }
    // Milliseconds to wait in the next slice; 0 when the time is up or the
    // exchange is cancelled.
    int slice() const {
        if (cancelled()) {
            return 0;
        }
        // Rounded up, so the wait never ends before the deadline.
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(m_end - Clock::now()).count();
        return left <= 0 ? 0 : static_cast<int>(std::min<long long>((left + 999) / 1000, kSliceMs));
    }

  private:
    Clock::time_point m_end;
    const std::atomic<bool>* m_cancel;
};

// Polls `fd` for `events` until one is reported or the deadline passes;
// true when ready (an error or hang-up counts as ready: the next call says).
bool wait_for(int fd, short events, const Deadline& deadline) {
    for (int ms = deadline.slice(); ms > 0; ms = deadline.slice()) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, ms);
        if (n > 0) {
            return true;
        }
        if (n < 0 && errno != EINTR) {
            return false;
        }
    }
    return false;
}

UniqueFd connect_to(const HttpTarget& target, const Deadline& deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(target.port);
    if (::getaddrinfo(target.host.c_str(), port.c_str(), &hints, &found) != 0) {
        return {};
    }
    const AddrInfoPtr list(found);
    for (const addrinfo* a = list.get(); a != nullptr; a = a->ai_next) {
        UniqueFd fd(
            ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!fd) {
            continue;
        }
        if (::connect(fd.get(), a->ai_addr, a->ai_addrlen) == 0) {
            return fd;
        }
        if (errno != EINPROGRESS || !wait_for(fd.get(), POLLOUT, deadline)) {
            continue;
        }
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
            return fd;
        }
    }
    return {};
}

bool send_all(int fd, std::string_view bytes, const Deadline& deadline) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (!wait_for(fd, POLLOUT, deadline)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

// True when `response` holds its whole header and as many body bytes as
// its Content-Length names.
bool complete_by_length(std::string_view response) {
    const auto end = response.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        return false;
    }
    const std::string_view head = response.substr(0, end + 2);
    constexpr std::string_view kName = "\r\ncontent-length:";
    const auto at = ifind(head, kName);
    if (at == std::string_view::npos) {
        return false;
    }
    std::string_view value = head.substr(at + kName.size());
    value = trim(value.substr(0, value.find("\r\n")), true);
    std::size_t length = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (ec != std::errc() || ptr != value.data() + value.size()) {
        return false;
    }
    return response.size() - (end + 4) >= length;
}

} // namespace

std::optional<HttpTarget> split_url(std::string_view url) {
    if (const auto scheme = url.find("://"); scheme != std::string_view::npos) {
        url.remove_prefix(scheme + 3);
    }
    const auto slash = url.find('/');
    std::string_view authority = url.substr(0, slash);
    const std::string_view path = slash == std::string_view::npos ? "" : url.substr(slash + 1);
    HttpTarget target;
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        target.host = std::string(authority.substr(1, close - 1));
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return std::nullopt;
            }
            port = rest.substr(1);
        }
    } else {
        const auto colon = authority.rfind(':');
        target.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
        }
    }
    if (target.host.empty()) {
        return std::nullopt;
    }
    if (!port.empty()) {
        int number = 0;
        const auto [ptr, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (ec != std::errc() || ptr != port.data() + port.size() || number < 1 || number > 65535) {
            return std::nullopt;
        }
        target.port = number;
    }
    // Built by one copy into a sized string: joining strings here trips a
    // false restrict warning of GCC 12 in optimised builds.
    target.path.assign(path.size() + 1, '/');
    std::copy(path.begin(), path.end(), target.path.begin() + 1);
    return target;
}

std::string http_request(const HttpTarget& target, std::string_view agent) {
    std::string request = "GET " + target.path + " HTTP/1.0\r\n";
    request += "Host: " + target.host + "\r\n";
    request += "Accept: */*\r\n";
    request += "User-Agent: " + std::string(agent) + "\r\n";
    request += "Connection: close\r\n\r\n";
    return request;
}

std::optional<std::string> http_exchange(const HttpTarget& target, std::string_view request,
                                         const HttpLimits& limits) {
    const Deadline deadline(limits.timeout_ms, limits.cancel);
    const UniqueFd fd = connect_to(target, deadline);
    if (!fd || !send_all(fd.get(), request, deadline)) {
        return std::nullopt;
    }
    std::string response;
    char chunk[kChunk];
    while (response.size() < limits.max_bytes) {
        const ssize_t n = ::recv(fd.get(), chunk, sizeof chunk, 0);
        if (n > 0) {
            response.append(
                chunk, std::min(static_cast<std::size_t>(n), limits.max_bytes - response.size()));
            if (complete_by_length(response)) {
                break;
            }
        } else if (n == 0) {
            break;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            if (!wait_for(fd.get(), POLLIN, deadline)) {
                break;
            }
        } else {
            break;
        }
    }
    if (response.empty() || deadline.cancelled()) {
        return std::nullopt;
    }
    return response;
}

} // namespace pixlane::platform
