// Small text helpers shared by every module. Texts are UTF-8; case changes
// touch ASCII letters only, as keys, options and keywords are ASCII.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

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

// The number of single-character insertions, deletions and substitutions
// that turn `a` into `b` (ASCII case counts).
inline std::size_t edit_distance(std::string_view a, std::string_view b) {
    std::string_view::size_type n = b.size();
    std::vector<std::size_t> row(n + 1, 0);
    for (std::size_t j = 0; j <= n; ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= n; ++j) {
            const std::size_t above = row[j];
            const std::size_t replace = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[j] = std::min({replace, above + 1, row[j - 1] + 1});
            diagonal = above;
        }
    }
    return row[n];
}

} // namespace pixlane
