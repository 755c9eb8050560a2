#include "ui/progress_logic.h"

#include <vector>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "formats/catalogue.h"
#include "pipeline/save.h"
#include "platform/platform.h"
#include "run/conversion.h"
#include "util/strings.h"

namespace pixlane {

std::string shorten_path(const std::string& text, int m) {
    // Where each code point starts, and the end.
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) {
            starts.push_back(at);
        }
    }
    const std::size_t count = starts.size();
    starts.push_back(text.size());
    if (m < 0 || count <= static_cast<std::size_t>(m)) {
        return text;
    }
    const std::size_t h = m > 3 ? static_cast<std::size_t>((m - 3) / 2) : 0;
    return text.substr(0, starts[h]) + "..." + text.substr(starts[count - h]);
}

std::optional<Fault> prepare_interactive_run(const Settings& s, BatchPlan& plan,
                                             std::size_t input_count, std::string& folder,
                                             const std::string& ext,
                                             std::unique_ptr<WatermarkFont>& font) {
    std::optional<Fault> fault = check_interactive_run(s, input_count, folder, font);
    if (fault) {
        return fault;
    }
    if (s.animated_output && !has_quirk(to_lower(ext), kAnimates)) {
        return Fault{"Animated output format"};
    }
    plan.output_folder = folder;
    set_batch_output(plan, ext, s);
    return std::nullopt;
}

ProgressLayout progress_layout(int count) {
    ProgressLayout l;
    l.show_time = count >= 5;
    l.bar_y = l.show_time ? 60 : 50;
    l.bar_range = count + 1;
    return l;
}

int character_width(int measured_text_width) {
    const int w = measured_text_width / 9;
    return w > 0 ? w : 7;
}

ConversionProgress::ConversionProgress(const LanguageTable& language, int count, int char_width)
    : m_language(language), m_count(count), m_char_width(char_width > 0 ? char_width : 7),
      m_max_chars(ProgressLayout::kLineWidth / m_char_width), m_layout(progress_layout(count)) {
    m_view.title = language.text("Dialog", "Convert Progress");
    m_view.time_line = substitute(language.text("Dialog", "Time Remaining"),
                                  language.text("Dialog", "Time Unknown"));
}

std::string ConversionProgress::progress(int index) const {
    return substitute(m_language.text("Msg", "Progress"), std::to_string(index),
                      std::to_string(m_count));
}

bool ConversionProgress::update(const ProgressSnapshot& snapshot) {
    if (m_finished || snapshot.index <= m_last_index) {
        return false;
    }
    m_last_index = snapshot.index;
    m_view.title = m_language.text("Dialog", "Convert Progress") + " " + progress(m_last_index);
    const std::string& input = snapshot.current_input;
    m_view.file_line = static_cast<long>(input.size()) * m_char_width > ProgressLayout::kLineWidth
                           ? shorten_path(input, m_max_chars)
                           : input;
    if (m_layout.show_time && snapshot.last_duration != 0 && !m_cancelled) {
        m_view.time_line = substitute(
            m_language.text("Dialog", "Time Remaining"),
            remaining_time_text(remaining_ms(m_count, snapshot.index, snapshot.last_duration)));
    }
    m_view.bar = snapshot.index;
    return true;
}

void ConversionProgress::finish(int converted) {
    m_finished = true;
    m_view.ok_enabled = true;
    if (m_cancelled) {
        const std::string stopped = m_language.text("Msg", "Conversion is not complete");
        m_view.status = stopped;
        m_view.title = stopped + " " + progress(m_last_index);
        m_view.file_line = stopped;
        return;
    }
    const std::string complete = m_language.text("Msg", "Conversion complete");
    m_view.status = complete;
    m_view.title = complete + " " + progress(m_last_index);
    m_view.file_line = substitute(m_language.text("Msg", "Files converted"),
                                  std::to_string(converted), std::to_string(m_count));
    m_view.time_line = substitute(m_language.text("Dialog", "Time Remaining"), "00:00:00");
    m_view.bar = m_count + 1;
}

} // namespace pixlane

namespace pixlane {

std::string list_work_status(const LanguageTable& language, ListWork work, int count, bool broken) {
    const bool exporting = work == ListWork::Export;
    if (broken) {
        return language.text("Msg",
                             exporting ? "Export is not complete" : "Import is not complete");
    }
    return substitute(language.text("Msg", exporting ? "Export complete" : "Import complete"),
                      std::to_string(count));
}

std::string export_file_name(const std::string& chosen) {
    return has_extension(chosen) ? chosen : chosen + ".txt";
}

int folder_bar_maximum(const std::string& folder) {
    return static_cast<int>(platform::list_folder(folder).size());
}

int list_bar_maximum(const std::string& list_file) {
    std::ifstream in(list_file, std::ios::binary);
    return static_cast<int>(
        std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

} // namespace pixlane
