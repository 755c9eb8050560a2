#include "naming/mask.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <functional>
#include <random>

#include "util/strings.h"
#include "platform/platform.h"

namespace pixlane {
namespace {

enum Token {
    kFilename, kFilenameU, kFilenameL, kFilenameT, kExt, kExtU, kExtT, kYear, kMonth, kDay,
    kHour, kMinute, kSecond, kBpp, kWidth, kHeight, kRnd, kN, kFrame, kFrames, kTokenCount
};

constexpr std::array<std::string_view, kTokenCount> kTokens = {
    "%filename%", "%filename[u]%", "%filename[l]%", "%filename[t]%", "%ext%", "%ext[u]%",
    "%ext[t]%",   "%yyyy%",        "%mm%",          "%dd%",          "%hh%",  "%ii%",
    "%ss%",       "%bpp%",         "%width%",       "%height%",      "%rnd%", "%n%",
    "%frame%",    "%frames%"};

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

std::string token_value(Token t, const JobRecord& job, Clock clock) {
    switch (t) {
    case kFilename: return base_name(job.input_path);
    case kFilenameU: return to_upper(base_name(job.input_path));
    case kFilenameL: return to_lower(base_name(job.input_path));
    case kFilenameT: return title_case(base_name(job.input_path));
    case kExt: return job.output_extension;
    case kExtU: return to_upper(job.output_extension);
    case kExtT: return title_case(job.output_extension);
    case kYear: return std::to_string(clock_fields(clock).tm_year + 1900);
    case kMonth: return two_digits(clock_fields(clock).tm_mon + 1);
    case kDay: return two_digits(clock_fields(clock).tm_mday);
    case kHour: return two_digits(clock_fields(clock).tm_hour);
    case kMinute: return two_digits(clock_fields(clock).tm_min);
    case kSecond: return two_digits(clock_fields(clock).tm_sec);
    case kBpp: return std::to_string(job.output_depth);
    case kWidth: return std::to_string(job.width);
    case kHeight: return std::to_string(job.height);
    case kRnd: return five_digits(job.random_value);
    case kN: return five_digits(job.sequence_number);
    case kFrame: {
        // Padded to the width of the count, so names sort in frame order.
        const std::string number = std::to_string(job.frame_number);
        const std::size_t width = std::to_string(job.frame_total).size();
        return std::string(width > number.size() ? width - number.size() : 0, '0') + number;
    }
    case kFrames: return std::to_string(job.frame_total);
    case kTokenCount: break;
    }
    return {};
}

// One pass over `text`: at each "%" the token that starts there, if any, is
// replaced by its value; everything else is copied.
std::string expand(std::string_view text, const JobRecord& job, Clock clock) {
    std::string out;
    out.reserve(text.size() + 16);
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '%') {
            bool matched = false;
            for (int t = 0; t < kTokenCount; ++t) {
                const auto token = kTokens[static_cast<std::size_t>(t)];
                if (iequals(text.substr(i, token.size()), token)) {
                    out += token_value(static_cast<Token>(t), job, clock);
                    i += token.size();
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

std::string subfolder(const Settings& s, const JobRecord& job) {
    return s.keep_subfolders == 1 ? job.relative_subfolder : std::string{};
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

bool mask_numbers_frames(const Settings& s) {
    return ifind(s.filename_mask, kTokens[kFrame]) != std::string_view::npos;
}

std::string expand_mask(const Settings& s, const JobRecord& job, Clock clock) {
    std::string mask = to_lower(s.filename_mask);
    if (mask.empty()) {
        mask = "%filename%.%ext%";
    }
    return expand(mask, job, clock);
}

std::string expand_text(std::string_view text, const JobRecord& job, Clock clock) {
    if (std::count(text.begin(), text.end(), '%') < 2) {
        return std::string(text);
    }
    return expand(text, job, clock);
}

std::string output_path(const Settings& s, const JobRecord& job, Clock clock) {
    return job.output_folder + subfolder(s, job) + expand_mask(s, job, clock);
}

std::string temporary_path(const Settings& s, const JobRecord& job, Clock clock) {
    return job.output_folder + subfolder(s, job) + random_name("pixlane", "", clock) + "." +
           job.output_extension;
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

bool apply_timestamp(const Settings& s, const std::string& input_path,
                     const std::string& output) {
    switch (s.file_timestamp) {
    case 1:
        if (auto t = platform::modification_time(input_path)) {
            return platform::set_modification_time(output, *t);
        }
        return false;
    case 2: return platform::set_modification_time(output, s.custom_timestamp);
    default: return true;
    }
}

namespace {

// What each token stands for, in the order of `Token`: the help texts list
// the tokens from here.
constexpr std::array<std::string_view, kTokenCount> kTokenMeanings = {
    "input file name without its folder and last extension",
    "the same in upper case",
    "the same in lower case",
    "the same with the first letter upper case, the rest lower case",
    "output extension",
    "output extension in upper case",
    "output extension with the first letter upper case",
    "year of the run, four digits",
    "month, two digits",
    "day of the month, two digits",
    "hour, two digits",
    "minutes, two digits",
    "seconds, two digits",
    "bits per pixel of the output image",
    "width of the output image in pixels",
    "height of the output image in pixels",
    "random number, new for each converted file, at least five digits",
    "number of the file among those converted, from 1, at least five digits",
    "number of the frame, from 1, padded with 0 to the width of the frame count",
    "number of frames of the animation",
};

} // namespace

std::span<const MaskToken> mask_tokens() {
    static const auto tokens = [] {
        std::array<MaskToken, kTokenCount> all{};
        for (std::size_t t = 0; t < all.size(); ++t) {
            all[t] = {kTokens[t], kTokenMeanings[t]};
        }
        return all;
    }();
    return tokens;
}

} // namespace pixlane
