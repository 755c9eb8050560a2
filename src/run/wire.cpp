#include "run/wire.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <utility>

#include "platform/platform.h"

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

std::uint32_t get32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

// What one read asks for beyond what a message still needs: answers and
// requests are mostly far smaller, so one read takes a whole message.
constexpr std::size_t kReadChunk = 64 * 1024;

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

MessageReader::Parsed MessageReader::parse() {
    auto available = [&] { return m_end - m_start; };
    if (!m_count) {
        if (available() < 4) {
            return Parsed::NeedMore;
        }
        m_count = get32(m_buffer.data() + m_start);
        m_start += 4;
        if (*m_count > kMaxFields) {
            return Parsed::Damaged;
        }
    }
    // Grown as fields arrive, so a damaged count allocates nothing.
    while (m_message.size() < *m_count) {
        if (!m_length) {
            if (available() < 4) {
                return Parsed::NeedMore;
            }
            m_length = get32(m_buffer.data() + m_start);
            m_start += 4;
            if (*m_length > kMaxField) {
                return Parsed::Damaged;
            }
        }
        if (available() < *m_length) {
            return Parsed::NeedMore;
        }
        m_message.emplace_back(m_buffer.data() + m_start, *m_length);
        m_start += *m_length;
        m_length.reset();
    }
    return Parsed::Complete;
}

bool MessageReader::fill(std::int64_t deadline_ms, bool& timed_out) {
    // What is parsed goes; a field in progress keeps its bytes.
    if (m_start > 0) {
        std::copy(m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start),
                  m_buffer.begin() + static_cast<std::ptrdiff_t>(m_end), m_buffer.begin());
        m_end -= m_start;
        m_start = 0;
    }
    const std::size_t still = m_length ? *m_length : 4;
    const std::size_t want = std::max(still, kReadChunk);
    if (m_buffer.size() < m_end + want) {
        m_buffer.resize(m_end + want);
    }
    for (;;) {
        if (deadline_ms >= 0) {
            // Past the deadline the pipe is still looked at once, so a
            // timeout of 0 takes what has arrived.
            const std::int64_t left =
                std::max<std::int64_t>(deadline_ms - platform::elapsed_ms(), 0);
            pollfd pfd{m_fd, POLLIN, 0};
            const int r = ::poll(&pfd, 1, static_cast<int>(std::min<std::int64_t>(left, 1 << 30)));
            if (r < 0 && errno == EINTR) {
                continue;
            }
            if (r == 0) {
                timed_out = true;
                break;
            }
            if (r < 0) {
                break;
            }
        }
        const ssize_t got = ::read(m_fd, m_buffer.data() + m_end, want);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        m_end += static_cast<std::size_t>(got);
        return true;
    }
    return false;
}

std::optional<Message> MessageReader::read(int timeout_ms, bool* timed_out) {
    bool late = false;
    const std::int64_t deadline = timeout_ms >= 0 ? platform::elapsed_ms() + timeout_ms : -1;
    for (;;) {
        const Parsed parsed = parse();
        if (parsed == Parsed::Complete) {
            break;
        }
        if (parsed == Parsed::Damaged || !fill(deadline, late)) {
            if (timed_out) {
                *timed_out = late;
            }
            return std::nullopt;
        }
    }
    if (timed_out) {
        *timed_out = false;
    }
    m_count.reset();
    return std::exchange(m_message, {});
}

} // namespace pixlane::wire
