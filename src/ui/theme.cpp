#include "ui/theme.h"

#include <archive.h>
#include <archive_entry.h>
#include <png.h>

#include <algorithm>
#include <memory>
#include <new>
#include <set>
#include <stdexcept>
#include <utility>

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
// The pictures compiled in are the program's own; the About banner is the
// widest of them.
constexpr int kBuiltinImageMaxSide = 1024;
constexpr std::size_t kArchiveBlockBytes = 64 * 1024;
constexpr std::size_t kReadChunkBytes = 16 * 1024;

// "1 MiB", "64 KiB": a byte limit as the refusals name it.
std::string size_text(std::size_t bytes) {
    return bytes >= (std::size_t{1} << 20) ? std::to_string(bytes >> 20) + " MiB"
                                           : std::to_string(bytes >> 10) + " KiB";
}

// Thrown inside this file when a package is refused; caught where the
// package is read, so nothing leaves it.
struct Refused {
    std::string reason;
};
// A file that is no zip archive at all: the listing names it without a
// display name, a load refuses it.
struct NotAPackage : Refused {};

// The zip package at `path`, opened on its central directory (entries not
// asked for are skipped by seeking, never decompressed).
Archive open_package(const std::string& path) {
    if (!platform::is_plain_file(path)) {
        throw NotAPackage{{"not a plain file"}};
    }
    const std::int64_t size = platform::file_size(path);
    if (size <= 0) {
        throw NotAPackage{{"the file is empty"}};
    }
    // The central directory is held whole while the package is open, a few
    // hundred bytes for each entry of some fifty bytes in the file: the
    // file's size bounds it.
    if (static_cast<std::uint64_t>(size) > kThemePackageMaxBytes) {
        throw Refused{"the package holds more than " + size_text(kThemePackageMaxBytes)};
    }
    Archive a(archive_read_new());
    if (!a) {
        throw std::bad_alloc();
    }
    archive_read_support_format_zip_seekable(a.get());
    if (archive_read_open_filename(a.get(), path.c_str(), kArchiveBlockBytes) != ARCHIVE_OK) {
        throw NotAPackage{{"not a zip archive"}};
    }
    return a;
}

// libarchive's own words, on one line (some of its messages end with a
// line feed).
std::string archive_fault(archive* a) {
    std::string reason = "the archive is damaged";
    const char* text = archive_error_string(a);
    if (text == nullptr) {
        return reason;
    }
    std::string words(text);
    std::replace_if(
        words.begin(), words.end(), [](unsigned char c) { return c < 0x20; }, ' ');
    if (const std::string_view trimmed = trim(words); !trimmed.empty()) {
        reason += ": ";
        reason += trimmed;
    }
    return reason;
}

// The data of the entry just opened, counted as it comes out of the
// archive (what the entry declares is never used): refused when it holds
// more than `cap` bytes or cannot be read.
std::string read_entry(archive* a, std::string_view name, std::size_t cap) {
    std::string bytes;
    char chunk[kReadChunkBytes];
    for (;;) {
        const la_ssize_t got = archive_read_data(a, chunk, sizeof chunk);
        if (got < 0) {
            throw Refused{archive_fault(a)};
        }
        if (got == 0) {
            return bytes;
        }
        if (static_cast<std::size_t>(got) > cap - bytes.size()) {
            throw Refused{std::string(name) + " holds more than " + size_text(cap)};
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

// Calls `take(name, bytes)` once for each name of `wanted` found in the
// package (the first entry of a name counts), with at most `cap` bytes,
// and stops as soon as every name was found.
template <class Take>
void read_entries(const std::string& path, std::set<std::string> wanted, std::size_t cap,
                  Take&& take) {
    if (wanted.empty()) {
        return;
    }
    const Archive a = open_package(path);
    archive_entry* entry = nullptr;
    for (int r; (r = archive_read_next_header(a.get(), &entry)) != ARCHIVE_EOF;) {
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            throw Refused{archive_fault(a.get())};
        }
        const char* name = archive_entry_pathname(entry);
        if (name == nullptr) {
            continue;
        }
        const auto found = wanted.find(name);
        if (found == wanted.end()) {
            continue;
        }
        take(*found, read_entry(a.get(), *found, cap));
        wanted.erase(found);
        if (wanted.empty()) {
            return;
        }
    }
}

// theme.cfg of the package (empty when it has none).
std::string read_config(const std::string& path) {
    std::string config;
    read_entries(path, {std::string(kThemeConfig)}, kThemeConfigMaxBytes,
                 [&](const std::string&, std::string bytes) { config = std::move(bytes); });
    return config;
}

// Runs `read` and turns what stops a package into its refusal: a limit, a
// damaged archive, or no memory left for it.
template <class Read> std::optional<ThemeRefusal> guarded(const std::string& path, Read&& read) {
    try {
        read();
        return std::nullopt;
    } catch (const Refused& refused) {
        return ThemeRefusal{path, refused.reason};
    } catch (const std::bad_alloc&) {
        return ThemeRefusal{path, "not enough memory to read it"};
    } catch (const std::length_error&) {
        return ThemeRefusal{path, "not enough memory to read it"};
    }
}

void put_builtin(ImageSets& images, int number, std::string_view file) {
    if (auto image = decode_png(embedded_image(file), kBuiltinImageMaxSide)) {
        images.slots[number] = std::move(*image);
    }
}

// "new" for the key "New": the file base name of the built-in pictures.
std::string base_name(std::string_view key) { return to_lower(key); }

// One set to load: its map, keys, theme.cfg section and entry size.
struct SetRead {
    const IconMap& map;
    std::span<const std::string_view> keys;
    std::string_view section;
    int size;
};

std::vector<SetRead> chosen_sets(const IconMaps& maps, SetChoice choice, int ui_size) {
    std::vector<SetRead> sets;
    if (choice.buttons) {
        sets.push_back({maps.buttons, kButtonKeys, "Buttons", kButtonEntrySize});
    }
    if (choice.menu_icons) {
        sets.push_back({maps.set_a, kIconKeys, "Icons", kMenuIconSize});
    }
    if (choice.toolbar_icons) {
        sets.push_back({maps.set_b, kIconKeys, "Icons", toolbar_icon_size(ui_size)});
    }
    return sets;
}

// Calls `use(slot number, entry name)` for every key of the sets that is in
// its map and has a value in theme.cfg.
template <class Use>
void for_each_named_entry(const std::vector<SetRead>& sets, std::string_view config, Use&& use) {
    for (const SetRead& set : sets) {
        for (std::string_view key : set.keys) {
            const auto number = set.map.find(key);
            if (number == set.map.end()) {
                continue;
            }
            const std::string value = read_theme_value(config, set.section, key);
            if (!value.empty()) {
                use(number->second, theme_entry_name(value, set.size));
            }
        }
    }
}

// The pictures of a package by entry name: those theme.cfg names for the
// chosen sets, decoded as each is read (nullopt for an entry that is no
// readable PNG). Refused when an entry breaks a limit.
std::map<std::string, std::optional<RgbaImage>>
read_pictures(const std::string& path, std::string_view config, const std::vector<SetRead>& sets) {
    std::set<std::string> wanted;
    for_each_named_entry(sets, config,
                         [&](int, std::string name) { wanted.insert(std::move(name)); });
    std::map<std::string, std::optional<RgbaImage>> pictures;
    read_entries(path, std::move(wanted), kThemeImageMaxBytes,
                 [&](const std::string& name, const std::string& bytes) {
                     if (const auto size = png_header_size(bytes);
                         size &&
                         (size->width > kThemeImageMaxSide || size->height > kThemeImageMaxSide)) {
                         throw Refused{name + " is " + std::to_string(size->width) + "×" +
                                       std::to_string(size->height) + " pixels, more than " +
                                       std::to_string(kThemeImageMaxSide) + "×" +
                                       std::to_string(kThemeImageMaxSide)};
                     }
                     pictures.emplace(name, decode_png(bytes, kThemeImageMaxSide));
                 });
    return pictures;
}

std::uint32_t big_endian_32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

} // namespace

std::optional<PngSize> png_header_size(std::string_view bytes) {
    // Signature, then the IHDR chunk: length 13, type, width, height.
    constexpr std::string_view kSignature = "\x89PNG\r\n\x1a\n";
    constexpr std::size_t kHeaderBytes = 24;
    if (bytes.size() < kHeaderBytes || !bytes.starts_with(kSignature) ||
        big_endian_32(bytes, 8) != 13 || bytes.substr(12, 4) != "IHDR") {
        return std::nullopt;
    }
    return PngSize{big_endian_32(bytes, 16), big_endian_32(bytes, 20)};
}

std::optional<RgbaImage> decode_png(std::string_view bytes, int max_side) {
    const auto declared = png_header_size(bytes);
    const auto fits = [max_side](std::uint32_t side) {
        return side > 0 && side <= static_cast<std::uint32_t>(max_side);
    };
    if (!declared || !fits(declared->width) || !fits(declared->height)) {
        return std::nullopt;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) {
        return std::nullopt;
    }
    if (!fits(image.width) || !fits(image.height)) {
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    RgbaImage out;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    try {
        out.rgba.resize(std::size_t{image.width} * image.height * 4);
    } catch (...) {
        png_image_free(&image);
        throw;
    }
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

const ThemeRefusal* ThemeList::refusal_of(const std::string& path) const {
    for (const ThemeRefusal& refusal : refused) {
        if (refusal.package == path) {
            return &refusal;
        }
    }
    return nullptr;
}

ThemeList list_themes(const std::string& folder) {
    ThemeList list;
    for (const auto& entry : platform::list_folder(folder)) {
        const std::string path = folder + entry.name;
        if (entry.is_folder || !iequals(platform::extension_of(entry.name), "zip") ||
            !platform::is_plain_file(path)) {
            continue;
        }
        std::string display;
        auto refusal = guarded(path, [&] {
            try {
                const std::string config = read_config(path);
                display = read_theme_value(std::string_view(config).substr(0, kListingConfigBytes),
                                           "Theme", "Name");
            } catch (const NotAPackage&) {
                // Listed, without a display name.
            }
        });
        if (refusal) {
            list.refused.push_back(std::move(*refusal));
            continue;
        }
        const std::string package = entry.name.substr(0, entry.name.size() - 4);
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
    if (auto banner = decode_png(embedded_image("about_banner.png"), kBuiltinImageMaxSide)) {
        images.about_banner = std::move(*banner);
    }
}

ThemeLoad load_image_sets(ImageSets& images, const IconMaps& maps, std::string& ui_theme,
                          int ui_size, const ThemeList& themes, const std::string& folder,
                          SetChoice choice) {
    std::string path = folder + ui_theme + ".zip";
    if (!platform::exists(path) && !themes.last_found.empty()) {
        ui_theme = themes.last_found;
        path = folder + ui_theme + ".zip";
    }
    ThemeLoad load;
    if (!platform::exists(path)) {
        return load;
    }
    if (const ThemeRefusal* listed = themes.refusal_of(path)) {
        load.refused = *listed;
        return load;
    }
    // Everything is read and decoded before the first slot changes, so a
    // refused package leaves the pictures as they were.
    std::map<int, RgbaImage> replaced;
    load.refused = guarded(path, [&] {
        const std::string config = read_config(path);
        const std::vector<SetRead> sets = chosen_sets(maps, choice, ui_size);
        auto pictures = read_pictures(path, config, sets);
        for_each_named_entry(sets, config, [&](int number, const std::string& name) {
            const auto picture = pictures.find(name);
            if (picture != pictures.end() && picture->second) {
                replaced[number] = *picture->second;
            }
        });
    });
    if (load.refused) {
        return load;
    }
    for (auto& [number, image] : replaced) {
        images.slots[number] = std::move(image);
    }
    load.loaded = true;
    return load;
}

std::vector<ThemeRefusal> prepare_window_images(WindowImages& w, std::string& ui_theme, int ui_size,
                                                const std::string& folder) {
    w.folder = folder;
    load_builtin_images(w.images, w.maps);
    w.themes = list_themes(folder);
    std::vector<ThemeRefusal> refused = w.themes.refused;
    const ThemeLoad load =
        load_image_sets(w.images, w.maps, ui_theme, ui_size, w.themes, folder, SetChoice{});
    if (load.refused && w.themes.refusal_of(load.refused->package) == nullptr) {
        refused.push_back(*load.refused);
    }
    return refused;
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
