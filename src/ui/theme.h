// Themes and image sets: the pictures of the main window. Every slot of the
// three image sets (button images, menu icons, toolbar icons; numbered by
// the icon maps) starts with a built-in picture; a theme package, a zip
// archive of theme.cfg and PNG images in the gfx folder, replaces any of
// them. No window code here: images are plain RGBA pixels.
#pragma once

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

// Decodes PNG bytes of any colour type and depth into RGBA; nullopt when
// they are not a readable PNG.
std::optional<RgbaImage> decode_png(std::string_view bytes);

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

// The packages found in a folder: package name (file name without ".zip")
// to display name ([Theme] Name within the first 255 bytes of theme.cfg;
// empty when the package is empty, unreadable or has no such name), and the
// package that came last in the scan (name order).
struct ThemeList {
    std::map<std::string, std::string> names;
    std::string last_found;
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

// Loads the chosen sets from the package `ui_theme` in `folder`. When that
// package does not exist and `themes` is not empty, `ui_theme` becomes the
// package found last and that one is read. Buttons read [Buttons] at 16
// pixels, menu icons [Icons] at 16, toolbar icons [Icons] at the toolbar
// icon size of `ui_size`. A key without a value or entry keeps the picture
// its slot has. False when no package could be read (every slot kept).
bool load_image_sets(ImageSets& images, const IconMaps& maps, std::string& ui_theme, int ui_size,
                     const ThemeList& themes, const std::string& folder, SetChoice choice);

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
// change to the package found last when it is missing).
void prepare_window_images(WindowImages& w, std::string& ui_theme, int ui_size,
                           const std::string& folder);

} // namespace pixlane
