#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "support/test_support.h"

namespace pixlane::test {

LoopbackServer::LoopbackServer(std::string reply, bool silent)
    : m_reply(std::move(reply)), m_silent(silent) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("no loopback listener");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

std::string LoopbackServer::host() const { return "127.0.0.1:" + std::to_string(m_port); }

std::vector<std::string> LoopbackServer::requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

std::string LoopbackServer::ok_reply(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
}

void LoopbackServer::serve() {
    std::vector<int> held;
    while (!m_stop) {
        pollfd p{m_listener, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) {
            continue;
        }
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        std::string request;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos &&
               std::chrono::steady_clock::now() < end) {
            pollfd r{fd, POLLIN, 0};
            if (::poll(&r, 1, 20) <= 0) {
                continue;
            }
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            request.append(buffer, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        if (m_silent) {
            held.push_back(fd);
            continue;
        }
        for (std::size_t sent = 0; sent < m_reply.size();) {
            const ssize_t n =
                ::send(fd, m_reply.data() + sent, m_reply.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    for (const int fd : held) {
        ::close(fd);
    }
}

ShellOpenRecorder::ShellOpenRecorder() {
    std::string tmpl = std::filesystem::temp_directory_path().string() + "/pixlane-open-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_folder = tmpl + "/";
    write_file(program(), "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/opened\"\n");
    ::chmod(program().c_str(), 0755);
    ::setenv("PIXLANE_SHELL_OPEN", program().c_str(), 1);
}

ShellOpenRecorder::~ShellOpenRecorder() {
    ::unsetenv("PIXLANE_SHELL_OPEN");
    std::error_code ec;
    std::filesystem::remove_all(m_folder, ec);
}

std::vector<std::string> ShellOpenRecorder::targets(std::size_t count, int ms) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    std::vector<std::string> lines;
    for (;;) {
        lines.clear();
        const std::string text = read_file(m_folder + "opened");
        for (std::size_t start = 0, nl; (nl = text.find('\n', start)) != std::string::npos;
             start = nl + 1) {
            lines.push_back(text.substr(start, nl - start));
        }
        if (lines.size() >= count || std::chrono::steady_clock::now() >= end) {
            return lines;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace pixlane::test
