#include "run/wire.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace pixlane::wire {
namespace {

constexpr std::uint32_t kMaxField = 64u << 20;
// A job's answer has several fields for each frame of an animation, and an
// animation may have many thousands of frames.
constexpr std::uint32_t kMaxFields = 1u << 22;

bool write_all(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

void put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

class TimedReader {
  public:
    TimedReader(int fd, int timeout_ms) : m_fd(fd), m_timeout_ms(timeout_ms) {
        m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    }

    bool read(char* p, std::size_t n) {
        while (n > 0) {
            if (m_timeout_ms >= 0) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                      m_deadline - std::chrono::steady_clock::now())
                                      .count();
                if (left <= 0) {
                    timed_out = true;
                    return false;
                }
                pollfd pfd{m_fd, POLLIN, 0};
                const int r = ::poll(&pfd, 1, static_cast<int>(left));
                if (r < 0 && errno == EINTR) {
                    continue;
                }
                if (r == 0) {
                    timed_out = true;
                    return false;
                }
                if (r < 0) {
                    return false;
                }
            }
            const ssize_t got = ::read(m_fd, p, n);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                return false;
            }
            p += got;
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }

    bool read32(std::uint32_t& v) {
        unsigned char b[4];
        if (!read(reinterpret_cast<char*>(b), 4)) {
            return false;
        }
        v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
        return true;
    }

    bool timed_out = false;

  private:
    int m_fd;
    int m_timeout_ms;
    std::chrono::steady_clock::time_point m_deadline;
};

} // namespace

std::string pack(const Message& m) {
    std::string out;
    put32(out, static_cast<std::uint32_t>(m.size()));
    for (const auto& field : m) {
        put32(out, static_cast<std::uint32_t>(field.size()));
        out += field;
    }
    return out;
}

std::optional<Message> unpack(std::string_view bytes) {
    std::size_t at = 0;
    auto get32 = [&](std::uint32_t& v) {
        if (bytes.size() - at < 4) {
            return false;
        }
        v = 0;
        for (int i = 0; i < 4; ++i) {
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
        }
        at += 4;
        return true;
    };
    std::uint32_t count = 0;
    if (!get32(count) || count > kMaxFields) {
        return std::nullopt;
    }
    Message m;
    for (std::uint32_t k = 0; k < count; ++k) {
        std::uint32_t len = 0;
        if (!get32(len) || bytes.size() - at < len) {
            return std::nullopt;
        }
        m.emplace_back(bytes.substr(at, len));
        at += len;
    }
    if (at != bytes.size()) {
        return std::nullopt;
    }
    return m;
}

bool write_message(int fd, const Message& m) {
    const std::string out = pack(m);
    return write_all(fd, out.data(), out.size());
}

std::optional<Message> read_message(int fd, int timeout_ms, bool* timed_out) {
    TimedReader reader(fd, timeout_ms);
    auto fail = [&]() -> std::optional<Message> {
        if (timed_out) {
            *timed_out = reader.timed_out;
        }
        return std::nullopt;
    };
    std::uint32_t count = 0;
    if (!reader.read32(count) || count > kMaxFields) {
        return fail();
    }
    Message m;
    // Grown as fields arrive, so a damaged count allocates nothing.
    for (std::uint32_t k = 0; k < count; ++k) {
        std::string& field = m.emplace_back();
        std::uint32_t len = 0;
        if (!reader.read32(len) || len > kMaxField) {
            return fail();
        }
        field.resize(len);
        if (len > 0 && !reader.read(field.data(), len)) {
            return fail();
        }
    }
    if (timed_out) {
        *timed_out = false;
    }
    return m;
}

} // namespace pixlane::wire
