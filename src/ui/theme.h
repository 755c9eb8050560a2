// Themes and image sets: the pictures of the main window. Every slot of the
// three image sets (button images, menu icons, toolbar icons; numbered by
// the icon maps) starts with a built-in picture; a theme package, a zip
// archive of theme.cfg and PNG images in the gfx folder, replaces any of
// them. No window code here: images are plain RGBA pixels.
//
// A package is anyone's file, so reading one is bounded whatever it
// declares: only theme.cfg and the entries its values name are read, each
// up to a cap counted on the bytes that come out of the archive, and a PNG
// is measured from its header before anything is allocated for its pixels.
// A package over a limit is refused whole: the window keeps the pictures it
// had, and the refusal says why for the front end to print.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/icons.h"

namespace pixlane {

// Straight (not premultiplied) RGBA pixels, rows top to bottom.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba; // width * height * 4 bytes
    bool empty() const { return width <= 0 || height <= 0; }
};

// What a theme package may make the window read: the package file, theme.cfg
// and each PNG entry, in bytes as read out of the archive, and the side of
// a PNG.
inline constexpr std::size_t kThemePackageMaxBytes = std::size_t{8} << 20;
inline constexpr std::size_t kThemeConfigMaxBytes = std::size_t{64} << 10;
inline constexpr std::size_t kThemeImageMaxBytes = std::size_t{1} << 20;
inline constexpr int kThemeImageMaxSide = 256;

// The width and height the IHDR chunk of PNG bytes declares; nullopt when
// the bytes do not begin with the PNG signature and an IHDR chunk.
struct PngSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};
std::optional<PngSize> png_header_size(std::string_view bytes);

// Decodes PNG bytes of any colour type and depth into RGBA; nullopt when
// they are not a readable PNG or their header declares a side of 0 or above
// `max_side` (checked before anything is allocated).
std::optional<RgbaImage> decode_png(std::string_view bytes, int max_side);

// The icon keys of the menu and toolbar icon sets, in their fixed order
// (Error is loaded but no control shows it).
// clang-format off
inline constexpr std::string_view kIconKeys[] = {
    "New", "Add", "InFiles", "InFolder", "OutFolder", "OutFormat", "FavFolder",
    "ImportFiles", "ExportFiles", "Exit", "Copy", "Delete", "SelectAll", "Convert",
    "Error", "Preferences", "CustomConverter", "Help", "Email", "Web", "Updates", "About"};
// clang-format on
inline constexpr std::string_view kButtonKeys[] = {"Convert", "InFiles", "InFolder"};

// Toolbar icon size in pixels for a UI Size value: 0..4 give 16, 24, 32, 48,
// 64; any other value 16.
int toolbar_icon_size(int ui_size);

// The archive entry of a theme.cfg value at an icon size: the value itself
// when it contains ".png" in any case, else value + "_" + size + ".png".
std::string theme_entry_name(std::string_view value, int size);

// A value of theme.cfg text: the section "[section]" (any case) runs to the
// next "["; inside it the first CR LF followed by the key (any case; a key
// that merely begins the line's text matches too) starts the line, which
// runs to the next CR LF. The value is the text after the first "=" up to
// the next "=" or the line's end, trimmed of blanks, without tabs, CRs and
// LFs. Empty when the section or the key is absent; LF-only files hold no
// values.
std::string read_theme_value(std::string_view text, std::string_view section, std::string_view key);

// The folder of the theme packages, ending with "/": "gfx/" beside the
// executable, or share/pixlane/gfx/ of an installed tree when only that
// exists.
std::string theme_folder();

// A theme package left unread, and why ("theme.cfg holds more than 64
// KiB", "new_16.png is 3000×3000 pixels, more than 256×256", …).
struct ThemeRefusal {
    std::string package; // the path of the zip file
    std::string reason;
};

// The packages found in a folder: package name (file name without ".zip")
// to display name ([Theme] Name within the first 255 bytes of theme.cfg;
// empty when the package is empty, not a zip archive or has no such name),
// and the package that came last in the scan (name order). A package whose
// theme.cfg breaks a limit or cannot be read out of the archive is left out
// of the list, with its refusal.
struct ThemeList {
    std::map<std::string, std::string> names;
    std::string last_found;
    std::vector<ThemeRefusal> refused;

    // The listing's refusal of the package at `path`; nullptr when none.
    const ThemeRefusal* refusal_of(const std::string& path) const;
};
ThemeList list_themes(const std::string& folder);

// The pictures of the window by image number (the numbers of the icon
// maps), and the About banner, which themes never replace.
struct ImageSets {
    std::map<int, RgbaImage> slots;
    RgbaImage about_banner;

    // The picture in a slot; nullptr when the slot is empty.
    const RgbaImage* find(int number) const;
};

// Fills every slot of the three sets and the banner with the pictures built
// into the program: the 16-pixel icons for both icon sets, Convert at 64 and
// InFiles/InFolder at 48 pixels for the buttons.
void load_builtin_images(ImageSets& images, const IconMaps& maps);

// Which sets a load replaces.
struct SetChoice {
    bool buttons = true;
    bool menu_icons = true;
    bool toolbar_icons = true;
};

// What loading a package gave: true when it was read and its pictures are
// in the slots; otherwise every slot is kept, and `refused` says why when
// the package exists (a missing package is no fault).
struct ThemeLoad {
    bool loaded = false;
    std::optional<ThemeRefusal> refused;
    explicit operator bool() const { return loaded; }
};

// Loads the chosen sets from the package `ui_theme` in `folder`. When that
// package does not exist and `themes` is not empty, `ui_theme` becomes the
// package found last and that one is read. Buttons read [Buttons] at 16
// pixels, menu icons [Icons] at 16, toolbar icons [Icons] at the toolbar
// icon size of `ui_size`. A key without a value or entry, or whose entry is
// no readable PNG, keeps the picture its slot has. A package the listing
// refused is not read again. Never throws: running out of memory refuses
// the package.
ThemeLoad load_image_sets(ImageSets& images, const IconMaps& maps, std::string& ui_theme,
                          int ui_size, const ThemeList& themes, const std::string& folder,
                          SetChoice choice);

// Everything the window draws its pictures from, for the life of the window
// mode: the icon maps, the image sets, the theme list and its folder.
struct WindowImages {
    IconMaps maps = make_icon_maps();
    ImageSets images;
    ThemeList themes;
    std::string folder; // ends with "/"
};

// The start-up of the pictures: built-in images, the theme list of
// `folder`, then all three sets from the package of `ui_theme` (which may
// change to the package found last when it is missing). Returns the
// packages refused on the way, each once, for the front end to report.
std::vector<ThemeRefusal> prepare_window_images(WindowImages& w, std::string& ui_theme, int ui_size,
                                                const std::string& folder);

} // namespace pixlane
