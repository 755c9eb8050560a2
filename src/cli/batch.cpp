#include "cli/batch.h"

#include "run/worker_process.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "run/session.h"
#include "util/strings.h"
#include "decorations/watermark.h"
#include "formats/catalogue.h"
#include "formats/signature.h"
#include "naming/mask.h"
#include "run/job.h"
#include "pipeline/save.h"
#include "platform/platform.h"
#include "settings/keys.h"
#include "settings/keywords.h"

namespace pixlane {
namespace {

// A check that failed: its message follows "Error: ".
struct Fault {
    std::string message;
};

class Console {
public:
    Console(std::FILE* out, bool debug, bool quiet) : m_out(out), m_debug(debug), m_quiet(quiet) {}

    void line(const std::string& text) const {
        std::fputs(text.c_str(), m_out);
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }
    void debug(const std::string& text) const {
        if (m_debug) {
            line(text);
        }
    }
    void status(const std::string& text) const {
        if (!m_quiet) {
            line(text);
        }
    }
    bool debugging() const { return m_debug; }

private:
    std::FILE* m_out;
    bool m_debug;
    bool m_quiet;
};

// The value of a setting as the debug listing shows it: keywords in lower
// case, flags as 0 or 1, the gamma with two decimals, texts as stored.
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
    if (row.keyword_kind >= 0) {
        return keyword_name(row.keyword_kind, v);
    }
    return std::to_string(v);
}

std::string value_of(const Settings& s, std::string_view group, std::string_view key) {
    const SettingKey* row = find_setting(group, key);
    return row ? listed_value(s, *row) : std::string{};
}


// Resolves an input or output folder: ".." refused, relative folders taken
// from the working directory, a trailing separator added, the folder must exist.
std::optional<Fault> resolve_folder(std::string& folder, const char* incorrect, const char* invalid) {
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

// Rows of the settings table that belong to a format (load or save options).
template <class Fn>
void for_format_rows(Persist persist, std::string_view format, Fn&& fn) {
    for (const auto& row : setting_keys()) {
        if (row.persist == persist && row.format == format) {
            fn(row);
        }
    }
}

std::string listing_label(const SettingKey& row) {
    // The chroma setting is listed under its full name.
    if (row.key == "JPG Chroma") {
        return "JPG Chroma Subsampling: ";
    }
    return std::string(row.key) + ": ";
}

std::optional<Fault> check_output_format(const Console& c, const Settings& s,
                                         const std::string& ext) {
    for_format_rows(Persist::OutputOption, ext,
                    [&](const SettingKey& row) { c.debug(listing_label(row) + listed_value(s, row)); });
    const int depth = depth_setting(ext, s);
    if (depth != 0 && !depth_allowed(ext, depth)) {
        return Fault{"Invalid " + ext + "-bpp value"};
    }
    if (ext == "jpg" && (s.jpg_quality < 1 || s.jpg_quality > 100)) {
        return Fault{"Invalid jpg-quality value"};
    }
    if (ext == "webp" && (s.webp_quality < 1 || s.webp_quality > 100)) {
        return Fault{"Invalid webp-quality value"};
    }
    return std::nullopt;
}

// One line of the debug listing: a label and the setting(s) it shows, all
// in `group`; a second setting follows the first after `joiner`.
struct Listed {
    std::string_view label;
    std::string_view key;
    std::string_view second = {};
    std::string_view joiner = {};
};

void list_lines(const Console& c, const Settings& s, std::string_view group,
                std::initializer_list<Listed> lines) {
    for (const auto& l : lines) {
        std::string text = std::string(l.label) + value_of(s, group, l.key);
        if (!l.second.empty()) {
            text += std::string(l.joiner) + value_of(s, group, l.second);
        }
        c.debug(text);
    }
}

std::optional<Fault> check_steps(const Console& c, const Settings& s,
                                 std::unique_ptr<WatermarkFont>& font) {
    const std::string_view T = "Transform", A = "Adjustment", F = "Frame", W = "Watermark",
                           V = "Advanced";
    if (s.do_image_rotation) {
        list_lines(c, s, T,
                   {{"Image Rotation Type: ", "Image Rotation Type"},
                    {"Image Rotation: ", "Image Rotation"},
                    {"Image Rotation Back Color: ", "Image Rotation Back Color"}});
    }
    if (s.do_image_resize) {
        list_lines(c, s, T, {{"Width: ", "Image Width", "Image Width Unit", " "}});
        if (s.image_width == 0) {
            return Fault{"Invalid width value"};
        }
        list_lines(c, s, T, {{"Height: ", "Image Height", "Image Height Unit", " "}});
        if (s.image_height == 0) {
            return Fault{"Invalid height value"};
        }
        list_lines(c, s, T,
                   {{"Keep Aspect Ratio: ", "Keep Aspect Ratio"},
                    {"Image Resize Type: ", "Image Resize Type"},
                    {"Image Resize Algorithm: ", "Image Resize Algorithm"}});
    }
    list_lines(c, s, T,
               {{"Flip Horizontal: ", "Do Image Flip Horizontal"},
                {"Flip Vertical: ", "Do Image Flip Vertical"}});
    if (s.do_image_color_correction) {
        list_lines(c, s, A, {{"Brightness: ", "Image Brightness"}});
        if (s.image_brightness < -100 || s.image_brightness > 100) {
            return Fault{"Invalid brightness value"};
        }
        list_lines(c, s, A, {{"Contrast: ", "Image Contrast"}});
        if (s.image_contrast < -100 || s.image_contrast > 100) {
            return Fault{"Invalid contrast value"};
        }
        list_lines(c, s, A, {{"Gamma: ", "Image Gamma"}});
        // Compared as 32-bit floats; NaN fails both tests.
        if (!(s.image_gamma >= 0.01f && s.image_gamma <= 9.99f)) {
            return Fault{"Invalid gamma value"};
        }
        list_lines(c, s, A, {{"Invert: ", "Image Invert"}});
    }
    list_lines(c, s, A, {{"Greyscale: ", "Do Image Greyscale"}});
    if (s.do_image_threshold) {
        list_lines(c, s, A, {{"Image Threshold: ", "Image Threshold"}});
    }
    if (s.do_image_dither) {
        list_lines(c, s, A, {{"Image Dithering Algorithm: ", "Image Dither Algorithm"}});
    }
    list_lines(c, s, F, {{"Frame: ", "Do Frame"}});
    if (s.do_frame == 1) {
        list_lines(c, s, F,
                   {{"Frame left: ", "Solid Left"},
                    {"Frame right: ", "Solid Right"},
                    {"Frame top: ", "Solid Top"},
                    {"Frame bottom: ", "Solid Bottom"},
                    {"Frame left color: ", "Solid Left Color"},
                    {"Frame right color: ", "Solid Right Color"},
                    {"Frame top color: ", "Solid Top Color"},
                    {"Frame bottom color: ", "Solid Bottom Color"},
                    {"Frame opacity: ", "Solid Opacity"}});
    }
    list_lines(c, s, W, {{"Watermark: ", "Do Watermark"}});
    if (s.do_watermark == 1) {
        list_lines(c, s, W,
                   {{"Watermark text: ", "Text"},
                    {"Watermark font: ", "Font"},
                    {"Watermark font size: ", "Font Size"},
                    {"Watermark font leading: ", "Font Leading"},
                    {"Watermark font color: ", "Font Color"},
                    {"Watermark font style: ", "Font Style"},
                    {"Watermark font effect: ", "Font Effect"},
                    {"Watermark text antialiasing: ", "Text Antialiasing"},
                    {"Watermark text alignment: ", "Text Alignment"},
                    {"Watermark text padding: ", "Text Padding"},
                    {"Watermark text opacity: ", "Text Opacity"},
                    {"Watermark background color: ", "Back Color"},
                    {"Watermark background opacity: ", "Back Opacity"},
                    {"Watermark boundary: ", "Text Boundary"},
                    {"Watermark position: ", "Text Position"},
                    {"Watermark offset (x/y): ", "Text X Offset", "Text Y Offset", "/"},
                    {"Watermark rotation: ", "Text Rotation"},
                    {"Watermark size/mode: ", "Text Size"}});
        font = WatermarkFont::load(s);
        if (!font) {
            return Fault{"Invalid watermark font"};
        }
    }
    if (s.do_watermark == 2) {
        list_lines(c, s, W,
                   {{"Watermark image: ", "Image"},
                    {"Watermark greyscale: ", "Image Greyscale"},
                    {"Watermark opacity: ", "Image Opacity"},
                    {"Watermark boundary: ", "Image Boundary"},
                    {"Watermark position: ", "Image Position"},
                    {"Watermark offset (x/y): ", "Image X Offset", "Image Y Offset", "/"},
                    {"Watermark rotation: ", "Image Rotation"},
                    {"Watermark size/mode: ", "Image Size"}});
        if (platform::file_size(s.image) <= 0) {
            return Fault{"Invalid watermark image"};
        }
    }
    list_lines(c, s, V,
               {{"Filename Mask: ", "Filename Mask"}, {"File Timestamp: ", "File Timestamp"}});
    if (s.file_timestamp == 2) {
        list_lines(c, s, V, {{"Custom Timestamp: ", "Custom Timestamp"}});
    }
    list_lines(c, s, V, {{"Keep Subfolders: ", "Keep Subfolders"}});
    return std::nullopt;
}

// Every check of the run in its order, with the debug listing.
std::optional<Fault> check_configuration(const Console& c, Settings& s, JobRecord& job,
                                         std::unique_ptr<WatermarkFont>& font) {
    const std::string input = job.input_folder;
    c.debug("Input: " + input);
    const bool file_input = has_extension(input);
    if (file_input) {
        job.input_path = input;
        job.input_folder.clear();
        if (platform::file_size(job.input_path) <= 0) {
            return Fault{"Invalid input file"};
        }
    } else if (auto fault = resolve_folder(job.input_folder, "Incorrect input folder",
                                           "Invalid input folder")) {
        return fault;
    }

    if (job.output_folder.empty()) {
        job.output_folder = file_input ? platform::folder_of(job.input_path) : job.input_folder;
    }
    c.debug("Output: " + job.output_folder);
    if (auto fault = resolve_folder(job.output_folder, "Incorrect output folder",
                                    "Invalid output folder")) {
        return fault;
    }

    if (job.input_type.empty()) {
        job.input_type = std::string(kInputExtensions.front());
    }
    if (job.output_extension.empty()) {
        job.output_extension = std::string(kOutputExtensions.front());
    }
    c.debug("Conversion: " + job.output_extension);
    if (!output_entry(job.output_extension)) {
        return Fault{"Invalid conversion type"};
    }
    for_format_rows(Persist::InputOption, job.input_type, [&](const SettingKey& row) {
        c.debug(std::string(row.key) + ": " + listed_value(s, row));
    });
    if (auto fault = check_output_format(c, s, job.output_extension)) {
        return fault;
    }
    return check_steps(c, s, font);
}

// Imports the checked input into the list; returns the number added.
int import_input(Session& app, const std::string& input_argument_extension) {
    JobRecord& job = app.job;
    reset_progress_record(app.progress);
    if (!job.input_folder.empty()) {
        std::thread([&] { folder_worker(app.input_list, job, app.progress); }).join();
    } else if (input_argument_extension == "txt" || input_argument_extension == "lst") {
        std::thread([&] { list_worker(app.input_list, job, app.progress); }).join();
    } else {
        std::lock_guard guard(app.progress.lock);
        app.progress.count = app.input_list.add(job.input_path, job.input_folder) ? 1 : 0;
    }
    std::lock_guard guard(app.progress.lock);
    return app.progress.count;
}

// PIXLANE_IN_PROCESS=1 converts in this process (for measurements).
bool convert_in_process() {
    const char* v = std::getenv("PIXLANE_IN_PROCESS");
    return v && std::strcmp(v, "1") == 0;
}

} // namespace

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

int conversion_worker(const Settings& s, JobRecord& job, ProgressRecord& progress,
                      const InputList& list, const JobRunner& run, const LinePrinter& verbose) {
    int converted = 0;
    int index = 0;
    std::int64_t duration = 0;
    auto say = [&](const std::string& text) {
        if (verbose) {
            verbose(text);
        }
    };
    for (const auto& entry : list.entries()) {
        {
            std::lock_guard guard(progress.lock);
            if (!progress.running) {
                break;
            }
        }
        ++index;
        job.input_path = entry.path;
        job.relative_subfolder = entry.relative_subfolder;
        {
            std::lock_guard guard(progress.lock);
            progress.index = index;
            progress.current_input = job.input_path;
            progress.last_duration = duration;
        }
        if (s.keep_subfolders == 1 && !job.relative_subfolder.empty() &&
            !platform::is_folder(job.output_folder + job.relative_subfolder)) {
            platform::make_folders(job.output_folder + job.relative_subfolder);
        }
        say("Processing: " + job.input_path);
        say("File Format: " + identify(job.input_path));
        const std::int64_t started = platform::elapsed_ms();
        if (run(job)) {
            say("[OK] Saving As: " + job.output_path);
            ++converted;
            duration = std::max<std::int64_t>(platform::elapsed_ms() - started, 1000);
            job.random_value = new_random_value();
            ++job.sequence_number;
            apply_timestamp(s, job.input_path, job.output_path);
        } else {
            duration = 0;
            say("[ERROR] Unable to convert the file!");
        }
    }
    std::lock_guard guard(progress.lock);
    progress.count = converted;
    return 0;
}

int run_batch(Session& app, bool quiet, std::FILE* out) {
    Settings& s = app.settings;
    JobRecord& job = app.job;
    const Console console(out, job.debug_word == "DEBUG", quiet);
    auto text = [&](const char* group, const char* key) { return app.language.text(group, key); };

    console.status(text("General", "Preparing"));
    std::unique_ptr<WatermarkFont> font;
    const std::string input_extension = to_lower(platform::extension_of(job.input_folder));
    if (auto fault = check_configuration(console, s, job, font)) {
        console.line("Error: " + fault->message);
        return kExitError;
    }

    set_batch_output(job, job.output_extension, s);

    console.status(text("General", "Importing"));
    const int imported = import_input(app, input_extension);
    console.status(substitute(text("Msg", "Import complete"), std::to_string(imported)));
    if (imported == 0) {
        console.line(text("Msg", "Conversion is not complete"));
        console.line(text("Msg", "Empty input files"));
        return kExitIncomplete;
    }

    console.status(text("General", "Converting"));
    reset_progress_record(app.progress);
    LinePrinter verbose;
    if (job.console_mode == 1 && console.debugging()) {
        verbose = [&](const std::string& line) { console.line(line); };
    }
    std::thread([&] {
        // Each file is converted in a supervised child process, so a fault in
        // a decoder or writer costs that file, not the batch.
        WorkerSupervisor supervisor(s, WorkerLimits::from_environment(), platform::program_path());
        const JobRunner supervised = [&](JobRecord& j) {
            std::string reason;
            const bool ok = supervisor.convert(j, reason);
            if (!reason.empty()) {
                std::fprintf(stderr, "pixlane: %s: %s\n", j.input_path.c_str(), reason.c_str());
            }
            return ok;
        };
        const WatermarkFont* font_slot = font.get();
        const JobRunner in_process = [&](JobRecord& j) {
            try {
                return run_job(s, j, font_slot);
            } catch (const std::bad_alloc&) {
                std::fprintf(stderr, "pixlane: %s: out of memory\n", j.input_path.c_str());
                return false;
            }
        };
        conversion_worker(s, job, app.progress, app.input_list,
                          convert_in_process() ? in_process : supervised, verbose);
    }).join();
    int converted = 0;
    {
        std::lock_guard guard(app.progress.lock);
        converted = app.progress.count;
    }
    if (converted > 0) {
        console.status(text("Msg", "Conversion complete"));
        console.status(substitute(text("Msg", "Files converted"), std::to_string(converted),
                                  std::to_string(imported)));
    } else {
        console.line(text("Msg", "Conversion is not complete"));
    }
    font.reset();
    return converted == imported ? kExitOk : kExitIncomplete;
}

} // namespace pixlane
