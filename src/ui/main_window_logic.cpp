#include "ui/main_window_logic.h"

#include <cstring>

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "formats/catalogue.h"
#include "formats/extensions.h"
#include "platform/platform.h"
#include "settings/option_values.h"
#include "util/strings.h"

namespace pixlane {

MainLayout main_window_layout(int w, int k, int field_height, int button_size) {
    const int extra = field_height > kFieldHeight ? field_height - kFieldHeight : 0;
    field_height = kFieldHeight + extra;
    button_size = button_size > kFieldButtonSize ? button_size : kFieldButtonSize;
    // A button's offset from its field's top: -1 as drawn, centred when larger.
    const int button_offset =
        button_size == kFieldButtonSize && extra == 0 ? -1 : (field_height - button_size) / 2;
    MainLayout l;
    l.container = {0, 0, w, k - 10};
    l.file_list = {10, 10, w - 130, k - 109 - 2 * extra};
    l.list_column_width = w - 160;
    l.folder_label = {10, k - 94 - 2 * extra, 380, 20};
    l.folder_field = {10, k - 79 - 2 * extra, w - 130, field_height};
    l.folder_button = {w - 114, l.folder_field.y + button_offset, button_size, button_size};
    l.format_label = {10, k - 54 - extra, 380, 20};
    l.format_field = {10, k - 39 - extra, w - 130, field_height};
    l.format_button = {w - 114, l.format_field.y + button_offset, button_size, button_size};
    l.convert_button = {w - 110, 10, 100, 100};
    return l;
}

std::vector<std::string> recent_fields(std::string_view recent, int number) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (int i = 0; i < number && start <= recent.size(); ++i) {
        std::size_t tab = recent.find('\t', start);
        if (tab == std::string_view::npos) {
            tab = recent.size();
        }
        fields.emplace_back(trim(recent.substr(start, tab - start)));
        start = tab + 1;
    }
    return fields;
}

std::string push_recent_folder(std::string_view recent, std::string_view folder, int number) {
    if (folder.empty()) {
        return std::string(recent);
    }
    std::string list(folder);
    int entries = 1;
    for (const auto& field : recent_fields(recent, number)) {
        if (!field.empty() && !iequals(field, folder) && entries < number) {
            list += '\t';
            list += field;
            ++entries;
        }
    }
    return list;
}

std::optional<FolderItems> recent_folder_items(std::string_view recent, int number,
                                               std::string_view output_folder) {
    if (recent.empty()) {
        return std::nullopt;
    }
    FolderItems out;
    for (auto& field : recent_fields(recent, number)) {
        if (field.empty()) {
            continue;
        }
        if (out.selected < 0 && field == output_folder) {
            out.selected = static_cast<int>(out.items.size());
        }
        out.items.push_back(std::move(field));
    }
    if (out.selected < 0 && !out.items.empty()) {
        out.selected = 0;
    }
    return out;
}

std::vector<FormatItem> format_items(bool descriptions) {
    std::vector<FormatItem> items;
    for (std::size_t k = 0; k < kOutputExtensions.size(); ++k) {
        const std::string_view ext = kOutputExtensions[k];
        if (ext.empty()) {
            continue;
        }
        std::string text = to_upper(ext);
        if (descriptions) {
            const OutputFormat* entry = output_entry(ext);
            text += " (";
            text += entry ? entry->description : std::string_view{};
            text += ")";
        }
        items.push_back({std::move(text), static_cast<int>(k)});
    }
    return items;
}

int format_selection(const std::vector<FormatItem>& items, std::string_view format) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (iequals(kOutputExtensions[static_cast<std::size_t>(items[i].index)], format)) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

std::string copy_text(const std::vector<std::string>& selected_paths) {
    std::string text;
    for (const auto& path : selected_paths) {
        text += path;
        text += "\r\n";
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

DeletePlan delete_plan(const std::vector<int>& selected, int count) {
    DeletePlan plan;
    for (std::size_t k = 0; k < selected.size(); ++k) {
        plan.removals.push_back(selected[k] - static_cast<int>(k));
    }
    const int left = count - static_cast<int>(selected.size());
    if (!plan.removals.empty() && left > 0) {
        plan.select_after = plan.removals.back() < left ? plan.removals.back() : left - 1;
    }
    return plan;
}

void capture_geometry(Settings& s, const WindowGeometry& g) {
    if (g.maximised) {
        s.is_maximized = 1;
    } else if (!g.minimised) {
        s.is_maximized = 0;
        s.x = g.x;
        s.y = g.y;
        s.width = g.width;
        s.height = g.height;
    }
}

WindowGeometry restored_geometry(const Settings& s, int screen_width, int screen_height) {
    WindowGeometry g;
    g.maximised = s.is_maximized != 0;
    // Sizes in 64 bits: a stored value near the int limit must not wrap.
    auto hold = [](std::int64_t v, std::int64_t low, std::int64_t high) {
        return static_cast<int>(std::clamp(v, low, std::max(low, high)));
    };
    g.width = hold(s.width, kMinimumInnerWidth, screen_width);
    g.height = hold(s.height, kMinimumInnerHeight, screen_height);
    g.x = hold(s.x, 0, std::int64_t{screen_width} - g.width);
    g.y = hold(s.y, 0, std::int64_t{screen_height} - g.height);
    return g;
}

int handle_drop(const std::vector<std::string>& paths, std::string& input_folder, InputList& list,
                const std::function<void(const std::string& folder)>& import_folder,
                const std::function<void()>& between) {
    const std::size_t before = list.size();
    for (const auto& path : paths) {
        if (path.empty()) {
            continue;
        }
        if (platform::is_folder(path)) {
            input_folder = platform::with_separator(path);
            if (import_folder) {
                import_folder(input_folder);
            }
        }
        list.add(path, input_folder);
        if (between) {
            between();
        }
    }
    return static_cast<int>(list.size() - before);
}

std::string shell_quoted(std::string_view text) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) ||
               std::strchr("%+,-./:=@_", c) != nullptr;
    });
    if (plain) {
        return std::string(text);
    }
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string console_command(const Settings& s, const std::string& extension,
                            const std::string& output_folder, const InputList& list,
                            const std::string& input_folder, std::vector<std::string>& not_kept) {
    Settings defaults;
    reset_to_defaults(defaults, DefaultsForm::CommandLine, s.custom_timestamp, 0, 0);
    // Word by word (appending keeps GCC 12's Release build from a false
    // overlap warning on "literal" + temporary).
    std::string command = "pixlane";
    const auto add = [&command](std::string_view option, const std::string& word) {
        command += ' ';
        if (!option.empty()) {
            command += option;
            command += ' ';
        }
        command += shell_quoted(word);
    };
    add("-c", extension);
    add("-o", output_folder);
    for (const auto& argument : profile_arguments(s, defaults, not_kept)) {
        add({}, argument);
    }
    const bool nested =
        std::any_of(list.entries().begin(), list.entries().end(),
                    [](const InputEntry& e) { return !e.relative_subfolder.empty(); });
    if (nested && !input_folder.empty()) {
        add("-i", input_folder);
        return command;
    }
    for (const auto& entry : list.entries()) {
        add("-i", entry.path);
    }
    return command;
}

std::string first_output_folder(const std::string& input_folder, const std::string& path) {
    return input_folder.empty() ? platform::folder_of(path)
                                : platform::with_separator(input_folder);
}

} // namespace pixlane
