#include "targets.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <set>
#include <vector>

#include "cli/profile.h"
#include "config/config.h"
#include "pipeline/gif_load.h"
#include "pipeline/input_list.h"
#include "platform/platform.h"
#include "scratch.h"
#include "ui/builtin_images.h"
#include "ui/theme.h"
#include "util/c_handle.h"
#include "util/unique_fd.h"

namespace pixlane::fuzz {
namespace {

// --- list ------------------------------------------------------------------

// The folder a list's lines are read against: a few GIFs, a file of
// another kind, a subfolder and a link back up (a loop the import must
// enter once).
const std::string& list_folder() {
    static const std::string folder = [] {
        const std::string root = scratch_folder() + "tree/";
        platform::make_folders(root + "sub/");
        scratch_file("tree/a.gif", "GIF89a");
        scratch_file("tree/b.GIF", "GIF87a");
        scratch_file("tree/notes.txt", "text");
        scratch_file("tree/sub/c.gif", "GIF89a");
        scratch_file("tree/sub/empty.gif", "");
        [[maybe_unused]] const int linked = ::symlink("..", (root + "sub/up").c_str());
        return root;
    }();
    return folder;
}

// Runs in `folder` and returns to the working folder it had.
class InFolder {
  public:
    explicit InFolder(const std::string& folder) : m_back(::open(".", O_RDONLY | O_DIRECTORY)) {
        m_entered = ::chdir(folder.c_str()) == 0;
    }
    ~InFolder() {
        if (m_back) {
            [[maybe_unused]] const int back = ::fchdir(m_back.get());
        }
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;
    bool entered() const { return m_entered; }

  private:
    UniqueFd m_back;
    bool m_entered = false;
};

// --- theme -----------------------------------------------------------------

// A zip of theme.cfg and every built-in picture under its own name.
std::string builtin_package(std::string_view config) {
    // Room for every entry stored as it is, with its headers.
    std::size_t room = config.size() + (std::size_t{64} << 10);
    for (const EmbeddedFile& file : embedded_images()) {
        room += file.size + 1024;
    }
    std::vector<char> zip(room);
    using Writer = std::unique_ptr<archive, CDeleter<archive_write_free>>;
    Writer a(archive_write_new());
    archive_write_set_format_zip(a.get());
    archive_write_zip_set_compression_store(a.get());
    std::size_t used = 0;
    archive_write_open_memory(a.get(), zip.data(), zip.size(), &used);
    const auto add = [&](std::string_view name, std::string_view bytes) {
        using Entry = std::unique_ptr<archive_entry, CDeleter<archive_entry_free>>;
        Entry e(archive_entry_new());
        archive_entry_set_pathname(e.get(), std::string(name).c_str());
        archive_entry_set_size(e.get(), static_cast<la_int64_t>(bytes.size()));
        archive_entry_set_filetype(e.get(), AE_IFREG);
        archive_entry_set_perm(e.get(), 0644);
        archive_write_header(a.get(), e.get());
        archive_write_data(a.get(), bytes.data(), bytes.size());
    };
    add("theme.cfg", config);
    for (const EmbeddedFile& file : embedded_images()) {
        add(file.name, {reinterpret_cast<const char*>(file.data), file.size});
    }
    archive_write_close(a.get());
    return std::string(zip.data(), used);
}

// What every picture must be after a load: a sane size with its bytes.
std::string check_images(const ImageSets& images) {
    for (const auto& [number, image] : images.slots) {
        if (image.width <= 0 || image.height <= 0 ||
            image.rgba.size() != std::size_t(image.width) * image.height * 4) {
            return "slot " + std::to_string(number) + " holds a picture of " +
                   std::to_string(image.width) + "×" + std::to_string(image.height) + " with " +
                   std::to_string(image.rgba.size()) + " bytes";
        }
    }
    return {};
}

std::string check_refusal(const std::optional<ThemeRefusal>& refusal) {
    if (refusal &&
        (refusal->reason.empty() || std::any_of(refusal->reason.begin(), refusal->reason.end(),
                                                [](unsigned char c) { return c < 0x20; }))) {
        return "a refusal that is no line of text: \"" + refusal->reason + "\"";
    }
    return {};
}

// The window's start over the package: its listing, then all three sets
// at the largest toolbar size over the built-in pictures (decoded once).
std::string load_package(const std::string& zip) {
    static const IconMaps maps = make_icon_maps();
    static const ImageSets builtin = [] {
        ImageSets images;
        load_builtin_images(images, maps);
        return images;
    }();
    const std::string folder = scratch_folder() + "gfx/";
    platform::make_folders(folder);
    scratch_file("gfx/fuzz.zip", zip);
    const ThemeList themes = list_themes(folder);
    for (const ThemeRefusal& refusal : themes.refused) {
        if (std::string broken = check_refusal(refusal); !broken.empty()) {
            return broken;
        }
    }
    ImageSets images = builtin;
    std::string theme = "fuzz";
    const ThemeLoad load = load_image_sets(images, maps, theme, 4, themes, folder, SetChoice{});
    if (std::string broken = check_refusal(load.refused); !broken.empty()) {
        return broken;
    }
    return check_images(images);
}

std::string decode(std::string_view png) {
    const auto image = decode_png(png, kThemeImageMaxSide);
    if (!image) {
        return {};
    }
    const auto header = png_header_size(png);
    if (!header || header->width != static_cast<std::uint32_t>(image->width) ||
        header->height != static_cast<std::uint32_t>(image->height)) {
        return "a decoded PNG whose size is not that of its header";
    }
    if (image->width > kThemeImageMaxSide || image->height > kThemeImageMaxSide) {
        return "a PNG above the side limit was decoded";
    }
    ImageSets one;
    one.slots[0] = *image;
    return check_images(one);
}

std::string read_config(std::string_view config) {
    for (std::string_view section : {"Theme", "Buttons", "Icons"}) {
        for (std::string_view key : kIconKeys) {
            const std::string value = read_theme_value(config, section, key);
            if (value.find_first_of("\t\r\n") != std::string::npos) {
                return "a theme.cfg value with a tab or a line break";
            }
        }
    }
    return load_package(builtin_package(config));
}

} // namespace

std::string gif(std::string_view input) {
    GifAnimation animation;
    if (!animation.open_bytes(std::string(input))) {
        return {};
    }
    const GifLayout& layout = animation.layout();
    if (animation.frame_count() <= 0 ||
        static_cast<std::size_t>(animation.frame_count()) != layout.frames.size()) {
        return "an open animation without its frames";
    }
    for (int i = 0; i < animation.frame_count(); ++i) {
        const Bitmap frame = animation.frame(i);
        if (frame && (width_of(frame) != layout.width || height_of(frame) != layout.height ||
                      bpp_of(frame) != 32)) {
            return "frame " + std::to_string(i) + " is no 32-bit picture of the screen";
        }
    }
    return {};
}

std::string ini(std::string_view input) {
    const std::string path = scratch_file("config.ini", input);
    Settings loaded;
    loaded.config_path = path;
    load_configuration(loaded, ConfigContext{0, 1920, 1080});
    const std::string written = configuration_text(loaded);
    Settings again;
    read_configuration(again, IniFile::parse(written), 0);
    if (configuration_text(again) != written) {
        return "config.ini does not read back as it was written";
    }
    Settings profile;
    cli::load_profile(path, profile);
    return {};
}

std::string list(std::string_view input) {
    if (input.find('/') != std::string_view::npos || input.find("..") != std::string_view::npos) {
        return {};
    }
    const std::string& folder = list_folder();
    const std::string file = scratch_file("list.txt", input);
    const InFolder inside(folder);
    if (!inside.entered()) {
        return "cannot enter " + folder;
    }
    InputList entries;
    ProgressRecord progress;
    list_worker(entries, file, folder, progress);
    const std::string tree = platform::real_path(folder) + "/";
    std::set<std::string> seen;
    for (const InputEntry& entry : entries.entries()) {
        if (!seen.insert(entry.path).second) {
            return "listed twice: " + entry.path;
        }
        if (platform::real_path(entry.path).rfind(tree, 0) != 0 ||
            platform::file_size(entry.path) <= 0) {
            return "listed but no file of the list's folder: " + entry.path;
        }
    }
    if (progress.count != static_cast<int>(entries.size())) {
        return "the count of added files is not the list's";
    }
    return {};
}

std::string theme(std::string_view input) {
    if (input.empty()) {
        return {};
    }
    const std::string_view rest = input.substr(1);
    switch (static_cast<unsigned char>(input[0]) % 3) {
    case 0: return load_package(std::string(rest));
    case 1: return decode(rest);
    default: return read_config(rest);
    }
}

std::span<const NamedTarget> targets() {
    static const NamedTarget all[] = {{"gif", gif}, {"ini", ini}, {"list", list}, {"theme", theme}};
    return all;
}

} // namespace pixlane::fuzz
