#include "run/checks.h"

#include <cstdio>

#include "formats/catalogue.h"
#include "platform/platform.h"
#include "util/strings.h"

namespace pixlane {
namespace {

// Resolves an input or output folder: ".." refused, relative folders taken
// from the working directory, a trailing separator added, the folder must exist.
std::optional<Fault> resolve_folder(std::string& folder, const char* incorrect,
                                    const char* invalid) {
    if (folder.rfind("..", 0) == 0) {
        return Fault{incorrect};
    }
    if (!platform::is_absolute(folder)) {
        if (folder.rfind("./", 0) == 0) {
            folder.erase(0, 2);
        }
        folder = platform::current_folder() + folder;
    }
    folder = platform::with_separator(folder);
    if (!platform::is_folder(folder)) {
        return Fault{invalid};
    }
    return std::nullopt;
}

// "width" for --WIDTH, "jpg-quality" for --JPG-QUALITY.
std::string option_word(const SettingKey& row) {
    std::string_view option = row.option;
    while (!option.empty() && option.front() == '-') {
        option.remove_prefix(1);
    }
    return to_lower(option);
}

std::optional<Fault> check_row(const Settings& s, const SettingKey& row,
                               std::unique_ptr<WatermarkFont>& font) {
    const auto invalid = [&] { return Fault{"Invalid value", option_word(row)}; };
    switch (row.check) {
    case Check::None: return std::nullopt;
    case Check::Range:
        if (const auto* f = std::get_if<float Settings::*>(&row.field)) {
            // Compared as 32-bit floats; NaN fails both tests.
            const float v = s.**f;
            if (!(v >= static_cast<float>(row.range_min) &&
                  v <= static_cast<float>(row.range_max))) {
                return invalid();
            }
        } else {
            const std::int32_t v = get_int(s, row.field);
            if (v < row.range_min || v > row.range_max) {
                return invalid();
            }
        }
        return std::nullopt;
    case Check::NotZero:
        return get_int(s, row.field) == 0 ? std::optional<Fault>(invalid()) : std::nullopt;
    case Check::ResizeSide: {
        const bool width = row.key == "Image Width";
        const std::int32_t side = width ? s.image_width : s.image_height;
        const std::int32_t other = width ? s.image_height : s.image_width;
        return resize_side_allowed(side, other, s.keep_aspect_ratio != 0)
                   ? std::nullopt
                   : std::optional<Fault>(invalid());
    }
    case Check::FormatDepth: {
        const std::int32_t depth = get_int(s, row.field);
        return depth != 0 && !depth_allowed(row.format, depth) ? std::optional<Fault>(invalid())
                                                               : std::nullopt;
    }
    case Check::WatermarkFont:
        font = WatermarkFont::load(s);
        return font ? std::nullopt : std::optional<Fault>(Fault{"Invalid watermark font"});
    case Check::WatermarkImage:
        return platform::file_size(s.image) <= 0
                   ? std::optional<Fault>(Fault{"Invalid watermark image"})
                   : std::nullopt;
    }
    return std::nullopt;
}

// The listing line of rows[i] (with the next row's value when it joins).
std::string listing_line(const Settings& s, std::span<const SettingKey> rows, std::size_t i) {
    const SettingKey& row = rows[i];
    std::string line = row.listing.empty() ? std::string(row.key) + ": " : std::string(row.listing);
    line += listed_value(s, row);
    if (!row.listing_join.empty() && i + 1 < rows.size()) {
        line += std::string(row.listing_join) + listed_value(s, rows[i + 1]);
    }
    return line;
}

// Whether a row has its line in the listing: a setting added after the
// first release only when it differs from its command-line default.
bool listed(const Settings& s, const SettingKey& row) {
    if (!row.listed_if_changed) {
        return true;
    }
    static const Settings defaults = [] {
        Settings d;
        reset_to_defaults(d, DefaultsForm::CommandLine, 0, 0, 0);
        return d;
    }();
    return listed_value(s, row) != listed_value(defaults, row);
}

void list(const ListingSink& sink, const std::string& line) {
    if (sink) {
        sink(line);
    }
}

// The rows of one format's load or save options: listed first, then checked.
std::optional<Fault> check_format_rows(const Settings& s, Persist persist, std::string_view format,
                                       const ListingSink& sink,
                                       std::unique_ptr<WatermarkFont>& font) {
    const auto rows = setting_keys();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].persist == persist && rows[i].format == format && listed(s, rows[i])) {
            list(sink, listing_line(s, rows, i));
        }
    }
    for (const auto& row : rows) {
        if (row.persist == persist && row.format == format) {
            if (auto fault = check_row(s, row, font)) {
                return fault;
            }
        }
    }
    return std::nullopt;
}

// Every other listed row in table order, each checked after its line.
std::optional<Fault> check_listed_rows(const Settings& s, const ListingSink& sink,
                                       std::unique_ptr<WatermarkFont>& font) {
    const auto rows = setting_keys();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SettingKey& row = rows[i];
        if (!row.format.empty() || row.listing.empty()) {
            continue;
        }
        if (row.listed_when && get_int(s, row.listed_when->field) != row.listed_when->value) {
            continue;
        }
        if (listed(s, row)) {
            list(sink, listing_line(s, rows, i));
        }
        if (auto fault = check_row(s, row, font)) {
            return fault;
        }
    }
    return std::nullopt;
}

} // namespace

std::string console_message(const Fault& fault) {
    if (fault.key == "Invalid value") {
        return "Invalid " + fault.argument + " value";
    }
    if (fault.key == "Invalid conversion type") {
        std::string expected;
        for (const auto extension : kOutputExtensions) {
            expected += (expected.empty() ? "" : ", ") + std::string(extension);
        }
        return fault.key + " " + fault.argument + "; expected one of " + expected;
    }
    return fault.key;
}

std::string listed_value(const Settings& s, const SettingKey& row) {
    if (const auto* text = text_field(s, row.field)) {
        return *text;
    }
    if (const auto* f = std::get_if<float Settings::*>(&row.field)) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(s.**f));
        return buf;
    }
    const std::int32_t v = get_int(s, row.field);
    if (row.keywords != Keywords::None) {
        return keyword_name(row.keywords, v);
    }
    return std::to_string(v);
}

bool has_extension(const std::string& input) {
    for (std::size_t i = input.size(); i-- > 0;) {
        const char c = input[i];
        if (c == '/' || c == ' ') {
            return false;
        }
        if (c == '.') {
            const bool first_of_component = i == 0 || input[i - 1] == '/';
            return !first_of_component && i + 1 < input.size();
        }
    }
    return false;
}

// One input of the console: a file (or list file) that must hold
// something, the list on standard input, or a folder resolved in place.
// `folder` is the input; on return it is the folder ending with "/", or
// empty for a file, whose path is then in `file`.
std::optional<Fault> resolve_input(std::string& folder, std::string& file) {
    const std::string input = folder;
    if (input == kStandardInput || has_extension(input)) {
        file = input;
        folder.clear();
        if (input != kStandardInput && platform::file_size(file) <= 0) {
            return Fault{"Invalid input file"};
        }
        return std::nullopt;
    }
    return resolve_folder(folder, "Incorrect input folder", "Invalid input folder");
}

std::optional<Fault> resolve_console_request(ConsoleRequest& job, const ListingSink& listing) {
    list(listing, "Input: " + job.input_folder);
    if (auto fault = resolve_input(job.input_folder, job.input_path)) {
        return fault;
    }
    const bool file_input = job.input_folder.empty();
    for (auto& more : job.more_inputs) {
        list(listing, "Input: " + more);
        std::string file;
        if (auto fault = resolve_input(more, file)) {
            return fault;
        }
        if (more.empty()) {
            more = file;
        }
    }

    if (job.output_folder.empty()) {
        job.output_folder = file_input ? platform::folder_of(job.input_path) : job.input_folder;
    }
    list(listing, "Output: " + job.output_folder);
    if (auto fault =
            resolve_folder(job.output_folder, "Incorrect output folder", "Invalid output folder")) {
        return fault;
    }

    if (job.input_type.empty()) {
        job.input_type = std::string(kInputExtensions.front());
    }
    if (job.output_extension.empty()) {
        job.output_extension = std::string(kOutputExtensions.front());
    }
    list(listing, "Conversion: " + job.output_extension);
    if (!output_entry(job.output_extension)) {
        return Fault{"Invalid conversion type", job.output_extension};
    }
    return std::nullopt;
}

std::optional<Fault> check_console_settings(const Settings& s, const ConsoleRequest& job,
                                            const ListingSink& listing,
                                            std::unique_ptr<WatermarkFont>& font) {
    if (auto fault = check_format_rows(s, Persist::InputOption, job.input_type, listing, font)) {
        return fault;
    }
    if (auto fault =
            check_format_rows(s, Persist::OutputOption, job.output_extension, listing, font)) {
        return fault;
    }
    if (s.animated_output && !has_quirk(job.output_extension, kAnimates)) {
        return Fault{"--animated needs gif, webp or png"};
    }
    return check_listed_rows(s, listing, font);
}

std::optional<Fault> check_console_run(Settings& s, ConsoleRequest& request,
                                       const ListingSink& listing,
                                       std::unique_ptr<WatermarkFont>& font) {
    if (auto fault = resolve_console_request(request, listing)) {
        return fault;
    }
    return check_console_settings(s, request, listing, font);
}

std::optional<Fault> check_interactive_run(const Settings& s, std::size_t input_count,
                                           std::string& output_folder,
                                           std::unique_ptr<WatermarkFont>& font) {
    if (input_count == 0) {
        return Fault{"Empty input files"};
    }
    if (output_folder.empty()) {
        return Fault{"Empty output folder"};
    }
    output_folder = platform::with_separator(output_folder);
    if (!platform::is_folder(output_folder)) {
        return Fault{"Invalid output folder", output_folder};
    }
    const bool keep = s.keep_aspect_ratio != 0;
    if (s.do_image_resize && !resize_side_allowed(s.image_width, s.image_height, keep)) {
        return Fault{"Invalid width"};
    }
    if (s.do_image_resize && !resize_side_allowed(s.image_height, s.image_width, keep)) {
        return Fault{"Invalid height"};
    }
    if (s.do_watermark == kWatermarkText) {
        font = WatermarkFont::load(s);
        if (!font) {
            return Fault{"Invalid watermark font", s.font};
        }
    }
    if (s.do_watermark == kWatermarkImage) {
        if (s.image.empty()) {
            return Fault{"Empty watermark image"};
        }
        if (platform::file_size(s.image) <= 0) {
            return Fault{"Invalid watermark image", s.image};
        }
    }
    return std::nullopt;
}

} // namespace pixlane
