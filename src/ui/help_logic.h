// The decisions of the small windows and outward links, without a display:
// the link targets, the find-a-converter names, where the user manual is,
// and the screenshot mode's sample list and picture sizes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixlane {

// --- links -----------------------------------------------------------------

// "mailto:" + support address + "?subject=" + title + " Feedback", the
// blanks left as they are.
std::string feedback_mailto(std::string_view support_address, std::string_view title);
// "mailto:" + support address, no subject.
std::string support_mailto(std::string_view support_address);
// The product's homepage, the root of the vendor's server, the uninstall page.
std::string homepage_url();
std::string vendor_root_url();
std::string uninstall_url();

// --- find a converter --------------------------------------------------------

// A field of the find-a-converter window as the search path takes it: lower
// case, its first 12 characters (UTF-8 code points), then only the ASCII
// letters and digits among them.
std::string converter_name(std::string_view field);
// "/find/" + source + "-" + target + "/" of the two fields; nullopt when
// either name comes out empty (the window then warns).
std::optional<std::string> converter_search_path(std::string_view from, std::string_view to);

// --- user manual -----------------------------------------------------------

// What the User Manual command opens in the browser: the HTML manual's
// `page` (optionally with "#anchor") in the first of manual/ beside the
// program (a build tree), ../share/doc/pixlane/manual/ and
// ../share/pixlane/manual/ that holds it; else the compiled pixlane.chm
// beside the program or in ../share/pixlane/ or ../share/doc/pixlane/; the
// bare name "pixlane.chm" when none exists. `program_folder` ends with "/".
std::string manual_target(const std::string& program_folder,
                          const std::function<bool(const std::string&)>& exists,
                          std::string_view page = "index.html");

// The manual page (with its anchor) that explains a Preferences page.
std::string manual_page_of(std::string_view preferences_page);

// --- screenshot mode ---------------------------------------------------------

// The folder the pictures go to: `given`, or the program folder when it is
// empty, with the separator appended.
std::string screenshot_folder(std::string_view given, std::string_view program_folder);

// The seven sample paths shown in the file list, each with an extension
// picked by `pick` (called once per path with the count of input
// extensions, returning an index).
std::vector<std::string> screenshot_samples(const std::function<std::size_t(std::size_t)>& pick);
// The output folder shown in the folder field.
inline constexpr std::string_view kScreenshotOutputFolder = "/home/user/Pictures/Converted/";

struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize&) const = default;
};
// The thumbnail of a picture: 180 pixels wide, the height in proportion,
// rounded to the nearest pixel (at least 1).
PictureSize thumbnail_size(PictureSize picture);

// Top-left corner of the web address drawn into the screenshot: its right
// end 35 pixels from the right edge, its top 26 pixels above the bottom.
struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};
Point screenshot_text_position(PictureSize picture, PictureSize text);

} // namespace pixlane
