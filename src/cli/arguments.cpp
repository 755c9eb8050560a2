#include "cli/arguments.h"

#include <charconv>
#include <cmath>

#include "util/strings.h"

namespace pixlane::cli {

std::string trimmed_argument(std::string_view argument) { return std::string(trim(argument)); }

std::string argument_key(std::string_view argument) {
    const std::string_view a = trim(argument);
    if (a.starts_with("--")) {
        return to_upper(a.substr(0, a.find('=')));
    }
    if (a.starts_with("-")) {
        return to_upper(a);
    }
    return {};
}

std::string argument_value(std::string_view argument) {
    const std::string_view a = trim(argument);
    if (a.starts_with("--")) {
        const auto eq = a.find('=', 2);
        if (eq != std::string_view::npos) {
            return std::string(a.substr(eq + 1));
        }
    }
    return std::string(a);
}

std::string join_quoted(std::string value, const std::vector<std::string>& args,
                        std::size_t& index) {
    if (!value.starts_with('"') || value.ends_with('"')) {
        return value;
    }
    while (index + 1 < args.size()) {
        ++index;
        value += ' ';
        value += trimmed_argument(args[index]);
        if (value.ends_with('"')) {
            break;
        }
    }
    return value;
}

std::string strip_quotes(std::string_view text) {
    while (!text.empty() && text.front() == '"') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == '"') {
        text.remove_suffix(1);
    }
    return std::string(text);
}

namespace {

// Skips blanks and tabs, then reads an optional sign; true for "-".
bool skip_blanks_and_sign(std::string_view& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    return negative;
}

// A digit's value, or 99 (no base takes it) for anything else.
int digit_value(char c) {
    const int v = hex_digit(c);
    return v < 0 ? 99 : v;
}

} // namespace

std::int64_t read_integer(std::string_view text) {
    const bool negative = skip_blanks_and_sign(text);
    unsigned base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (!text.empty() && text.front() == '%') {
        base = 2;
        text.remove_prefix(1);
    }
    // Unsigned arithmetic wraps instead of overflowing; the field's width
    // decides what is kept.
    std::uint64_t v = 0;
    for (const char c : text) {
        const int d = digit_value(c);
        if (d < 0 || static_cast<unsigned>(d) >= base) {
            break;
        }
        v = v * base + static_cast<unsigned>(d);
    }
    if (negative) {
        v = ~v + 1;
    }
    return static_cast<std::int64_t>(v);
}

float read_decimal(std::string_view text) {
    const bool negative = skip_blanks_and_sign(text);
    if (text.empty() || text.front() == '+' || text.front() == '-') {
        return 0.0f;
    }
    float v = 0.0f;
    const auto [end, ec] =
        std::from_chars(text.data(), text.data() + text.size(), v,
                        std::chars_format::fixed | std::chars_format::scientific);
    if (ec != std::errc{} || !std::isfinite(v)) {
        return 0.0f;
    }
    (void)end;
    return negative ? -v : v;
}

} // namespace pixlane::cli
