#include "naming/mask.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <ctime>
#include <functional>
#include <mutex>
#include <random>

#include <unistd.h>

#include "platform/platform.h"
#include "platform/process.h"
#include "util/strings.h"

namespace pixlane {
namespace {

std::string title_case(std::string_view s) {
    std::string r = to_lower(s);
    if (!r.empty()) {
        r[0] = ascii_upper(r[0]);
    }
    return r;
}

std::string two_digits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::tm clock_fields(Clock clock) {
    const std::time_t t = clock ? clock() : platform::now_local();
    std::tm fields{};
    gmtime_r(&t, &fields); // a local wall-clock date: its fields, no zone applied
    return fields;
}

std::string input_name(const TokenSource& t) { return base_name(t.task.input_path); }
std::string extension(const TokenSource& t) { return t.plan.output_extension; }

// The frame number padded to the width of the count, so names sort in frame
// order.
std::string padded_frame(const TokenSource& t) {
    const std::string number = std::to_string(t.frame.frame_number);
    const std::size_t width = std::to_string(t.frame.frame_total).size();
    return std::string(width > number.size() ? width - number.size() : 0, '0') + number;
}

// The table of tokens: adding one is adding a row.
constexpr MaskToken kTokens[] = {
    {"%filename%", "input file name without its folder and last extension", false, false,
     input_name},
    {"%filename[u]%", "the same in upper case", false, false,
     [](const TokenSource& t) { return to_upper(input_name(t)); }},
    {"%filename[l]%", "the same in lower case", false, false,
     [](const TokenSource& t) { return to_lower(input_name(t)); }},
    {"%filename[t]%", "the same with the first letter upper case, the rest lower case", false,
     false, [](const TokenSource& t) { return title_case(input_name(t)); }},
    {"%ext%", "output extension", false, false, extension},
    {"%ext[u]%", "output extension in upper case", false, false,
     [](const TokenSource& t) { return to_upper(extension(t)); }},
    {"%ext[t]%", "output extension with the first letter upper case", false, false,
     [](const TokenSource& t) { return title_case(extension(t)); }},
    {"%yyyy%", "year of the run, four digits", false, false,
     [](const TokenSource& t) { return std::to_string(clock_fields(t.clock).tm_year + 1900); }},
    {"%mm%", "month, two digits", false, false,
     [](const TokenSource& t) { return two_digits(clock_fields(t.clock).tm_mon + 1); }},
    {"%dd%", "day of the month, two digits", false, false,
     [](const TokenSource& t) { return two_digits(clock_fields(t.clock).tm_mday); }},
    {"%hh%", "hour, two digits", false, false,
     [](const TokenSource& t) { return two_digits(clock_fields(t.clock).tm_hour); }},
    {"%ii%", "minutes, two digits", false, false,
     [](const TokenSource& t) { return two_digits(clock_fields(t.clock).tm_min); }},
    {"%ss%", "seconds, two digits", false, false,
     [](const TokenSource& t) { return two_digits(clock_fields(t.clock).tm_sec); }},
    {"%bpp%", "bits per pixel of the output image", false, false,
     [](const TokenSource& t) { return std::to_string(t.frame.output_depth); }},
    {"%width%", "width of the output image in pixels", false, false,
     [](const TokenSource& t) { return std::to_string(t.frame.width); }},
    {"%height%", "height of the output image in pixels", false, false,
     [](const TokenSource& t) { return std::to_string(t.frame.height); }},
    {"%rnd%", "random number, new for each converted file, at least five digits", true, false,
     [](const TokenSource& t) { return five_digits(t.task.random_value); }},
    {"%n%", "number of the file among those converted, from 1, at least five digits", true, false,
     [](const TokenSource& t) { return five_digits(t.task.sequence_number); }},
    {"%frame%", "number of the frame, from 1, padded with 0 to the width of the frame count", false,
     true, padded_frame},
    {"%frames%", "number of frames of the animation", false, false,
     [](const TokenSource& t) { return std::to_string(t.frame.frame_total); }},
    {"%delay%", "how long the frame is shown, in milliseconds", false, false,
     [](const TokenSource& t) { return std::to_string(t.frame.delay_ms); }},
    {"%loop%", "how often the animation plays, 0 for ever", false, false,
     [](const TokenSource& t) { return std::to_string(t.frame.plays); }},
};

// The value of a token at each "%" of `text` that starts one, in one pass;
// everything else is copied.
std::string expand(std::string_view text, const TokenSource& source) {
    std::string out;
    out.reserve(text.size() + 16);
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '%') {
            bool matched = false;
            for (const MaskToken& token : kTokens) {
                if (iequals(text.substr(i, token.text.size()), token.text)) {
                    out += token.value(source);
                    i += token.text.size();
                    matched = true;
                    break;
                }
            }
            if (matched) {
                continue;
            }
        }
        out.push_back(text[i++]);
    }
    return out;
}

std::string subfolder(const Settings& s, const FileTask& task) {
    return s.keep_subfolders == 1 ? task.relative_subfolder : std::string{};
}

} // namespace

std::string base_name(std::string_view input_path) {
    std::string name = platform::file_name_of(input_path);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.resize(dot);
    }
    return name;
}

std::string five_digits(std::int64_t value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (digits.size() < 5) {
        digits.insert(0, 5 - digits.size(), '0');
    }
    return value < 0 ? "-" + digits : digits;
}

std::span<const MaskToken> mask_tokens() { return kTokens; }

bool uses_file_counts(std::string_view text) {
    return std::any_of(std::begin(kTokens), std::end(kTokens), [&](const MaskToken& t) {
        return t.counts_files && ifind(text, t.text) != std::string_view::npos;
    });
}

bool mask_gives_extension(std::string_view mask) {
    if (ifind(mask, "%ext") != std::string_view::npos) {
        return true;
    }
    std::size_t after_tokens = 0;
    for (const MaskToken& token : kTokens) {
        // The end of the token's last occurrence.
        for (std::size_t at = ifind(mask, token.text); at != std::string_view::npos;
             at = ifind(mask, token.text, at + 1)) {
            after_tokens = std::max(after_tokens, at + token.text.size());
        }
    }
    return mask.find('.', after_tokens) != std::string_view::npos;
}

bool mask_numbers_frames(const Settings& s) {
    return std::any_of(std::begin(kTokens), std::end(kTokens), [&](const MaskToken& t) {
        return t.numbers_frames && ifind(s.filename_mask, t.text) != std::string_view::npos;
    });
}

std::string expand_mask(const Settings& s, const TokenSource& source) {
    std::string mask = to_lower(s.filename_mask);
    if (mask.empty()) {
        mask = "%filename%.%ext%";
    }
    return expand(mask, source);
}

std::string expand_text(std::string_view text, const TokenSource& source) {
    if (std::count(text.begin(), text.end(), '%') < 2) {
        return std::string(text);
    }
    return expand(text, source);
}

std::string output_path(const Settings& s, const TokenSource& source) {
    return source.plan.output_folder + subfolder(s, source.task) + expand_mask(s, source);
}

std::string temporary_path(const Settings& s, const BatchPlan& plan, const FileTask& task,
                           Clock clock) {
    return plan.output_folder + subfolder(s, task) + temporary_name(plan.output_extension, clock);
}

namespace {
constexpr std::string_view kTemporaryPrefix = "pixlane";
std::mutex g_owner_lock;
std::optional<RunOwner> g_owner;

std::string mark_of(const RunOwner& o) {
    return std::to_string(o.pid) + "-" + std::to_string(o.started);
}

// Decimal digits only, without a sign or leading zero; nothing otherwise.
template <class N> std::optional<N> plain_number(std::string_view text) {
    N n{};
    if (text.empty() || (text.size() > 1 && text[0] == '0')) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return n;
}
} // namespace

RunOwner run_owner() {
    std::lock_guard guard(g_owner_lock);
    if (!g_owner) {
        const pid_t self = ::getpid();
        g_owner = RunOwner{self, platform::process_start_ticks(self).value_or(0)};
    }
    return *g_owner;
}

void set_run_owner(RunOwner owner) {
    std::lock_guard guard(g_owner_lock);
    g_owner = owner;
}

std::string temporary_name(std::string_view extension, Clock clock) {
    return random_name(kTemporaryPrefix, "", clock) + "." + mark_of(run_owner()) + "." +
           std::string(extension);
}

std::optional<RunOwner> temporary_owner(std::string_view name) {
    // pixlane<letters>.<pid>-<started>.<extension>
    if (!name.starts_with(kTemporaryPrefix)) {
        return std::nullopt;
    }
    const auto first_dot = name.find('.');
    const auto last_dot = name.rfind('.');
    if (first_dot == std::string_view::npos || first_dot == last_dot ||
        first_dot == kTemporaryPrefix.size()) {
        return std::nullopt;
    }
    for (char c : name.substr(kTemporaryPrefix.size(), first_dot - kTemporaryPrefix.size())) {
        if (c < 'a' || c > 'z') {
            return std::nullopt;
        }
    }
    for (char c : name.substr(last_dot + 1)) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) {
            return std::nullopt;
        }
    }
    const std::string_view mark = name.substr(first_dot + 1, last_dot - first_dot - 1);
    const auto dash = mark.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto pid = plain_number<long>(mark.substr(0, dash));
    const auto started = plain_number<std::uint64_t>(mark.substr(dash + 1));
    if (!pid || !started || *pid <= 0) {
        return std::nullopt;
    }
    return RunOwner{*pid, *started};
}

std::string random_name(std::string_view prefix, std::string_view suffix, Clock clock) {
    static thread_local std::mt19937 engine{std::random_device{}()};
    std::uniform_int_distribution<int> letter(0, 25);
    std::string name(prefix);
    for (char d : std::to_string(clock ? clock() : platform::now_local())) {
        name.push_back(d == '-' ? 'z' : static_cast<char>('a' + (d - '0')));
    }
    for (int k = 0; k < 5; ++k) {
        name.push_back(static_cast<char>('a' + letter(engine)));
    }
    name.append(suffix);
    return name;
}

bool apply_timestamp(const Settings& s, const std::string& input_path, const std::string& output) {
    switch (s.file_timestamp) {
    case kTimestampOriginal:
        if (auto t = platform::modification_time(input_path)) {
            return platform::set_modification_time(output, *t);
        }
        return false;
    case kTimestampCustom: return platform::set_modification_time(output, s.custom_timestamp);
    default: return true;
    }
}

} // namespace pixlane
