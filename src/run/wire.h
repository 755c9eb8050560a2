// Messages between the conversion worker and its child process: a count of
// fields followed by each field as a 32-bit length and its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixlane::wire {

using Message = std::vector<std::string>;

// Writes one message completely; false when the pipe is gone.
bool write_message(int fd, const Message& m);

// Reads the messages of one pipe, each with as few reads as the pipe
// allows: whatever has arrived is taken in one read and kept for the next
// message, so a message that arrived whole costs one read and no poll.
class MessageReader {
  public:
    explicit MessageReader(int fd) : m_fd(fd) {}

    // The next message. nullopt on end of file, error, a damaged message, or
    // when `timeout_ms` (>= 0; 0: only what has arrived) passes first;
    // `timed_out` tells them apart. After a timeout the next read goes on
    // with the message in progress; after any other nullopt the pipe is out
    // of step and its reader is not used again.
    std::optional<Message> read(int timeout_ms, bool* timed_out = nullptr);

  private:
    enum class Parsed { Complete, NeedMore, Damaged };
    Parsed parse();
    // Reads what has arrived (at least one byte) before `deadline_ms`
    // (platform::elapsed_ms(); below 0: no deadline).
    bool fill(std::int64_t deadline_ms, bool& timed_out);

    int m_fd;
    std::vector<char> m_buffer;
    std::size_t m_start = 0; // the first byte not yet parsed
    std::size_t m_end = 0;   // the end of the bytes read
    // The message being parsed: its field count once read, its fields so
    // far, and the length of the field in progress once read.
    std::optional<std::uint32_t> m_count;
    std::optional<std::uint32_t> m_length;
    Message m_message;
};

// A message as the bytes write_message() sends, to travel as one field of
// another; unpack() reads them back (nullopt when damaged).
std::string pack(const Message& m);
std::optional<Message> unpack(std::string_view bytes);

} // namespace pixlane::wire
