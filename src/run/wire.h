// Messages between the conversion worker and its child process: a count of
// fields followed by each field as a 32-bit length and its bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixlane::wire {

using Message = std::vector<std::string>;

// Writes one message completely; false when the pipe is gone.
bool write_message(int fd, const Message& m);

// Reads one message. nullopt on end of file, error, or when `timeout_ms`
// (>= 0) passes first; `timed_out` tells the two apart.
std::optional<Message> read_message(int fd, int timeout_ms, bool* timed_out = nullptr);

// A message as the bytes write_message() sends, to travel as one field of
// another; unpack() reads them back (nullopt when damaged).
std::string pack(const Message& m);
std::optional<Message> unpack(std::string_view bytes);

} // namespace pixlane::wire
