// A small HTTP/1.0 client over POSIX sockets: one GET, the whole response
// read into memory, every step bounded by one deadline.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pixlane::platform {

// Where a request goes.
struct HttpTarget {
    std::string host; // name or address; an IPv6 address without its brackets
    std::string path; // "/" followed by the URL's path part
    int port = 80;
    bool operator==(const HttpTarget&) const = default;
};

// Splits "scheme://host[:port]/path" (the scheme is optional and not used:
// the request always goes out as plain HTTP). Empty when the URL is empty,
// names no host, or gives a port that is not a number from 1 to 65535.
std::optional<HttpTarget> split_url(std::string_view url);

// The request, byte for byte: the GET line, Host, Accept, User-Agent and
// Connection lines, each ended by CR LF, then an empty line.
std::string http_request(const HttpTarget& target, std::string_view agent);

struct HttpLimits {
    int timeout_ms = 10000;              // for everything: lookup aside, connect, send, receive
    std::size_t max_bytes = 1024 * 1024; // a longer response is cut here
    // Checked every few milliseconds while waiting; true ends the exchange.
    const std::atomic<bool>* cancel = nullptr;
};

// Connects to the target, sends `request` and reads until the server closes
// the connection, the response is complete by its Content-Length, `max_bytes`
// are in, or the deadline passes. The bytes received (possibly fewer than
// the whole response when the deadline passed); empty when the host is not
// found, the connection fails, nothing arrived in time, or it was cancelled.
std::optional<std::string> http_exchange(const HttpTarget& target, std::string_view request,
                                         const HttpLimits& limits = {});

} // namespace pixlane::platform
