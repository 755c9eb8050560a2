// A tiny HTTP server on 127.0.0.1 and a free port, for the update check:
// it answers every connection with fixed bytes, or holds it silently.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pixlane::test {

class LoopbackServer {
  public:
    // Each connection: the request is read up to its empty line and kept,
    // then `reply` is sent and the connection closed. With `silent` nothing
    // is sent and the connection stays open until the server goes.
    explicit LoopbackServer(std::string reply, bool silent = false);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return m_port; }
    // "127.0.0.1:" + port.
    std::string host() const;
    // The requests received so far, as bytes.
    std::vector<std::string> requests() const;

    // An HTTP/1.0 reply with status 200 and `body`.
    static std::string ok_reply(const std::string& body);

  private:
    void serve();

    std::string m_reply;
    bool m_silent;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// Stands in for the desktop's opener while it lives: PIXLANE_SHELL_OPEN
// names a script that appends its argument as one line to a file.
class ShellOpenRecorder {
  public:
    ShellOpenRecorder();
    ~ShellOpenRecorder();
    ShellOpenRecorder(const ShellOpenRecorder&) = delete;
    ShellOpenRecorder& operator=(const ShellOpenRecorder&) = delete;

    // The environment entry for a child process.
    std::string program() const { return m_folder + "open"; }
    // The targets recorded, once `count` are in or `ms` have passed.
    std::vector<std::string> targets(std::size_t count, int ms = 5000) const;

  private:
    std::string m_folder;
};

} // namespace pixlane::test
