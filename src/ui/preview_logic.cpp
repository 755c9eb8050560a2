#include "ui/preview_logic.h"

#include <algorithm>

#include "pipeline/save.h"
#include "platform/platform.h"
#include "run/preview.h"

namespace pixlane {

int preview_row(int first_selected, int row_count) {
    if (row_count <= 0) {
        return -1;
    }
    return first_selected >= 0 && first_selected < row_count ? first_selected : 0;
}

std::optional<PreviewRequest> preview_request(const Settings& s, const NamingCounters& counters,
                                              const InputEntry& entry, int row,
                                              const PreviewChoice& choice) {
    PreviewRequest r;
    r.settings = s;
    r.plan.output_folder = platform::with_separator(
        choice.output_folder.empty() ? platform::folder_of(entry.path) : choice.output_folder);
    if (!set_batch_output(r.plan, choice.extension, s)) {
        return std::nullopt;
    }
    r.task.index = static_cast<std::size_t>(std::max(row, 0));
    r.task.input_path = entry.path;
    r.task.relative_subfolder = entry.relative_subfolder;
    r.task.sequence_number = counters.sequence_number + std::max(row, 0) + entry.others_before;
    r.task.random_value = counters.random_value;
    r.task.frame_pick = choice.frame_pick;
    r.frame = choice.frame;
    return r;
}

Rect picture_place(int width, int height, const Rect& area, bool actual_size) {
    if (width <= 0 || height <= 0 || area.width <= 0 || area.height <= 0) {
        return {area.x, area.y, 0, 0};
    }
    int w = width;
    int h = height;
    if (!actual_size) {
        // The larger scale that keeps both sides inside the area.
        if (std::int64_t{area.width} * height <= std::int64_t{area.height} * width) {
            w = area.width;
            h = std::max(1, static_cast<int>(std::int64_t{height} * area.width / width));
        } else {
            h = area.height;
            w = std::max(1, static_cast<int>(std::int64_t{width} * area.height / height));
        }
    }
    return {area.x + (area.width - w) / 2, area.y + (area.height - h) / 2, w, h};
}

PreviewLines preview_lines(const LanguageTable& language, const Preview& p) {
    PreviewLines l;
    l.name = p.output_path;
    l.dimensions = std::to_string(p.width);
    l.dimensions += " \u00D7 ";
    l.dimensions += std::to_string(p.height);
    l.dimensions += " \u00D7 ";
    l.dimensions += std::to_string(p.depth);
    l.size = p.encoded_size >= 0 ? substitute(language.text("Dialog", "Preview Bytes"),
                                              std::to_string(p.encoded_size))
                                 : std::string("?");
    l.frame = substitute(language.text("Dialog", "Preview Frame"), std::to_string(p.frame + 1),
                         std::to_string(p.frame_count));
    return l;
}

} // namespace pixlane
