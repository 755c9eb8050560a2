// Process-wide facts of the application: version and title texts, the two
// extension lists, the icon maps, the quit flag and product data.
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <string>
#include <string_view>

namespace pixlane {

inline constexpr int kVersionNumber = 280;
inline constexpr std::string_view kProductName = "Pixlane";
// Product data printed in the console banner and shown in About. The
// copyright line is stored with "©"; the console prints it with "(c)".
inline constexpr std::string_view kCopyrightLine = "Copyright \u00A9 2026 Tarnwell";
inline constexpr std::string_view kWebAddress = "https://www.tarnwell.example/pixlane";
// Vendor folder below the user's settings folder, then the product's.
inline constexpr std::string_view kVendorFolder = "Tarnwell";
inline constexpr std::string_view kProductFolder = "pixlane";
inline constexpr std::string_view kConfigFileName = "config.ini";

// "2.8" for 280, "2.8.3" for 283: dots after the first and second digit, and
// a final ".0" dropped.
std::string version_text(int version_number = kVersionNumber);
// "Pixlane 2.8": window title, console title and single-instance lock name.
std::string title_text();

inline constexpr std::array<std::string_view, 1> kInputExtensions = {"gif"};
inline constexpr std::array<std::string_view, 23> kOutputExtensions = {
    "bmp", "dds", "exr", "gif", "hdr", "ico", "j2k", "jng", "jp2", "jpg", "jxr", "pbm",
    "pcx", "pfm", "pgm", "png", "ppm", "psd", "tga", "tiff", "wbmp", "webp", "xpm"};

// Icon key to image number, for buttons and for the two icon sets of the
// toolbar and menus.
using IconMap = std::map<std::string, int, std::less<>>;
struct IconMaps {
    IconMap buttons;
    IconMap set_a;
    IconMap set_b;
};
IconMaps make_icon_maps();

// Set by the event loop when the main window closes or Exit is chosen.
extern std::atomic<bool> g_quit;

// The settings folder: the base settings folder, the vendor folder and the
// product folder, ending with the separator. With `create`, missing levels
// are made (failures are not reported).
std::string settings_folder(bool create);

} // namespace pixlane
