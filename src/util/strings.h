// Small text helpers shared by every module. Texts are UTF-8; case changes
// touch ASCII letters only, as keys, options and keywords are ASCII.
#pragma once

#include <string>
#include <string_view>

namespace pixlane {

inline char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

// The value of a hexadecimal digit (either case), or -1.
constexpr int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

inline std::string to_upper(std::string_view s) {
    std::string r(s);
    for (auto& c : r) {
        c = ascii_upper(c);
    }
    return r;
}

inline std::string to_lower(std::string_view s) {
    std::string r(s);
    for (auto& c : r) {
        c = ascii_lower(c);
    }
    return r;
}

inline bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_upper(a[i]) != ascii_upper(b[i])) {
            return false;
        }
    }
    return true;
}

// Removes blanks (and, with tabs = true, tabs) at both ends.
inline std::string_view trim(std::string_view s, bool tabs = false) {
    auto blank = [&](char c) { return c == ' ' || (tabs && c == '\t'); };
    while (!s.empty() && blank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && blank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// Position of `needle` in `hay` compared without regard to ASCII case, from `from`.
inline std::size_t ifind(std::string_view hay, std::string_view needle, std::size_t from = 0) {
    if (needle.empty()) {
        return from <= hay.size() ? from : std::string_view::npos;
    }
    for (std::size_t i = from; i + needle.size() <= hay.size(); ++i) {
        if (iequals(hay.substr(i, needle.size()), needle)) {
            return i;
        }
    }
    return std::string_view::npos;
}

} // namespace pixlane
