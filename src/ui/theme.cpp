#include "ui/theme.h"

#include <archive.h>
#include <archive_entry.h>
#include <png.h>

#include <memory>

#include "platform/platform.h"
#include "ui/builtin_images.h"
#include "util/c_handle.h"
#include "util/strings.h"

namespace pixlane {
namespace {

using Archive = std::unique_ptr<archive, CDeleter<archive_read_free>>;

constexpr std::string_view kThemeConfig = "theme.cfg";
constexpr std::size_t kListingConfigBytes = 255;
constexpr int kMenuIconSize = 16;
constexpr int kButtonEntrySize = 16;

// The entries of a zip archive with a size above 0, name to bytes; nullopt
// when the file is empty or does not open as an archive.
std::optional<std::map<std::string, std::string>> read_archive(const std::string& path) {
    if (platform::file_size(path) <= 0) {
        return std::nullopt;
    }
    Archive a(archive_read_new());
    if (!a) {
        return std::nullopt;
    }
    archive_read_support_format_zip(a.get());
    archive_read_support_filter_all(a.get());
    if (archive_read_open_filename(a.get(), path.c_str(), 64 * 1024) != ARCHIVE_OK) {
        return std::nullopt;
    }
    std::map<std::string, std::string> entries;
    archive_entry* entry = nullptr;
    while (archive_read_next_header(a.get(), &entry) == ARCHIVE_OK) {
        const char* name = archive_entry_pathname(entry);
        const la_int64_t size = archive_entry_size(entry);
        if (name == nullptr || size <= 0) {
            continue;
        }
        std::string bytes(static_cast<std::size_t>(size), '\0');
        const la_ssize_t got = archive_read_data(a.get(), bytes.data(), bytes.size());
        if (got < 0) {
            break;
        }
        bytes.resize(static_cast<std::size_t>(got));
        entries.emplace(name, std::move(bytes));
    }
    return entries;
}

void put_builtin(ImageSets& images, int number, std::string_view file) {
    if (auto image = decode_png(embedded_image(file))) {
        images.slots[number] = std::move(*image);
    }
}

// "new" for the key "New": the file base name of the built-in pictures.
std::string base_name(std::string_view key) { return to_lower(key); }

void load_set(ImageSets& images, const IconMap& map, std::span<const std::string_view> keys,
              const std::map<std::string, std::string>& entries, std::string_view config,
              std::string_view section, int size) {
    for (std::string_view key : keys) {
        const auto number = map.find(key);
        if (number == map.end()) {
            continue;
        }
        const std::string value = read_theme_value(config, section, key);
        if (value.empty()) {
            continue;
        }
        const auto entry = entries.find(theme_entry_name(value, size));
        if (entry == entries.end()) {
            continue;
        }
        if (auto image = decode_png(entry->second)) {
            images.slots[number->second] = std::move(*image);
        }
    }
}

} // namespace

std::optional<RgbaImage> decode_png(std::string_view bytes) {
    if (bytes.empty()) {
        return std::nullopt;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) {
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    RgbaImage out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return std::nullopt;
    }
    return out;
}

int toolbar_icon_size(int ui_size) {
    constexpr int kSizes[] = {16, 24, 32, 48, 64};
    return (ui_size >= 0 && ui_size < 5) ? kSizes[ui_size] : 16;
}

std::string theme_entry_name(std::string_view value, int size) {
    if (ifind(value, ".png") != std::string_view::npos) {
        return std::string(value);
    }
    std::string name(value);
    name += '_';
    name += std::to_string(size);
    name += ".png";
    return name;
}

std::string read_theme_value(std::string_view text, std::string_view section,
                             std::string_view key) {
    std::string header = "[";
    header.append(section);
    header += ']';
    const std::size_t open = ifind(text, header);
    if (open == std::string_view::npos) {
        return {};
    }
    std::size_t end = text.find('[', open + 1);
    if (end == std::string_view::npos) {
        end = text.size();
    }
    const std::size_t line = ifind(text, "\r\n" + std::string(key), open);
    if (line == std::string_view::npos || line >= end) {
        return {};
    }
    const std::size_t start = line + 2;
    std::size_t line_end = text.find("\r\n", start);
    if (line_end == std::string_view::npos) {
        line_end = text.size();
    }
    const std::string_view content = text.substr(start, line_end - start);
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) {
        return {};
    }
    std::string_view value = content.substr(equals + 1);
    value = value.substr(0, value.find('='));
    std::string out;
    for (char c : trim(value)) {
        if (c != '\t' && c != '\r' && c != '\n') {
            out += c;
        }
    }
    return out;
}

std::string theme_folder() {
    const std::string beside = platform::program_folder() + "gfx/";
    if (platform::is_folder(beside)) {
        return beside;
    }
    const std::string installed = platform::program_folder() + "../share/pixlane/gfx/";
    return platform::is_folder(installed) ? installed : beside;
}

ThemeList list_themes(const std::string& folder) {
    ThemeList list;
    for (const auto& entry : platform::list_folder(folder)) {
        if (entry.is_folder || !iequals(platform::extension_of(entry.name), "zip") ||
            !platform::is_plain_file(folder + entry.name)) {
            continue;
        }
        const std::string package = entry.name.substr(0, entry.name.size() - 4);
        std::string display;
        if (const auto entries = read_archive(folder + entry.name)) {
            const auto config = entries->find(std::string(kThemeConfig));
            if (config != entries->end()) {
                const std::string head = config->second.substr(0, kListingConfigBytes);
                display = read_theme_value(head, "Theme", "Name");
            }
        }
        list.names[package] = display;
        list.last_found = package;
    }
    return list;
}

const RgbaImage* ImageSets::find(int number) const {
    const auto it = slots.find(number);
    return (it == slots.end() || it->second.empty()) ? nullptr : &it->second;
}

void load_builtin_images(ImageSets& images, const IconMaps& maps) {
    for (const auto& [key, number] : maps.buttons) {
        put_builtin(images, number, "button_" + base_name(key) + ".png");
    }
    for (const auto& [key, number] : maps.set_a) {
        put_builtin(images, number, base_name(key) + "_16.png");
    }
    for (const auto& [key, number] : maps.set_b) {
        put_builtin(images, number, base_name(key) + "_16.png");
    }
    if (auto banner = decode_png(embedded_image("about_banner.png"))) {
        images.about_banner = std::move(*banner);
    }
}

bool load_image_sets(ImageSets& images, const IconMaps& maps, std::string& ui_theme, int ui_size,
                     const ThemeList& themes, const std::string& folder, SetChoice choice) {
    std::string path = folder + ui_theme + ".zip";
    if (!platform::exists(path) && !themes.last_found.empty()) {
        ui_theme = themes.last_found;
        path = folder + ui_theme + ".zip";
    }
    const auto entries = read_archive(path);
    if (!entries) {
        return false;
    }
    const auto config_entry = entries->find(std::string(kThemeConfig));
    const std::string_view config = config_entry == entries->end()
                                        ? std::string_view{}
                                        : std::string_view(config_entry->second);
    if (choice.buttons) {
        load_set(images, maps.buttons, kButtonKeys, *entries, config, "Buttons", kButtonEntrySize);
    }
    if (choice.menu_icons) {
        load_set(images, maps.set_a, kIconKeys, *entries, config, "Icons", kMenuIconSize);
    }
    if (choice.toolbar_icons) {
        load_set(images, maps.set_b, kIconKeys, *entries, config, "Icons",
                 toolbar_icon_size(ui_size));
    }
    return true;
}

void prepare_window_images(WindowImages& w, std::string& ui_theme, int ui_size,
                           const std::string& folder) {
    w.folder = folder;
    load_builtin_images(w.images, w.maps);
    w.themes = list_themes(folder);
    load_image_sets(w.images, w.maps, ui_theme, ui_size, w.themes, folder, SetChoice{});
}

std::string_view embedded_image(std::string_view name) {
    for (const auto& file : embedded_images()) {
        if (file.name == name) {
            return {reinterpret_cast<const char*>(file.data), file.size};
        }
    }
    return {};
}

} // namespace pixlane
