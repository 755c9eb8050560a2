#include "ui/help_logic.h"

#include <algorithm>
#include <cmath>

#include "base/product.h"
#include "formats/extensions.h"
#include "platform/platform.h"
#include "util/strings.h"

namespace pixlane {
namespace {

constexpr std::size_t kConverterNameLength = 12;
constexpr int kThumbnailWidth = 180;
constexpr int kTextRightMargin = 35;
constexpr int kTextBottomMargin = 26;
constexpr std::string_view kManualName = "pixlane.chm";
constexpr std::string_view kSampleFolder = "/home/user/Pictures/Samples/";
constexpr std::string_view kSampleNames[] = {"pic0102", "picture_a", "picture_b",   "layout-haus",
                                             "summer",  "winter",    "pixlane-logo"};

bool letter_or_digit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

std::string feedback_mailto(std::string_view support_address, std::string_view title) {
    return "mailto:" + std::string(support_address) + "?subject=" + std::string(title) +
           " Feedback";
}

std::string support_mailto(std::string_view support_address) {
    return "mailto:" + std::string(support_address);
}

std::string homepage_url() { return vendor_url("/pixlane/"); }

std::string vendor_root_url() { return vendor_url(""); }

std::string uninstall_url() { return vendor_url("/pixlane/uninstall.html"); }

std::string converter_name(std::string_view field) {
    // The first 12 code points: a UTF-8 continuation byte never starts one.
    std::size_t end = 0;
    for (std::size_t points = 0; end < field.size(); ++end) {
        const bool starts = (static_cast<unsigned char>(field[end]) & 0xC0) != 0x80;
        if (starts && points++ == kConverterNameLength) {
            break;
        }
    }
    std::string name;
    for (const char c : field.substr(0, end)) {
        if (letter_or_digit(c)) {
            name.push_back(ascii_lower(c));
        }
    }
    return name;
}

std::optional<std::string> converter_search_path(std::string_view from, std::string_view to) {
    const std::string source = converter_name(from);
    const std::string target = converter_name(to);
    if (source.empty() || target.empty()) {
        return std::nullopt;
    }
    return "/find/" + source + "-" + target + "/";
}

std::string manual_target(const std::string& program_folder,
                          const std::function<bool(const std::string&)>& exists,
                          std::string_view page) {
    const std::string_view file = page.substr(0, page.find('#'));
    for (const std::string_view folder :
         {"manual/", "../share/doc/pixlane/manual/", "../share/pixlane/manual/"}) {
        const std::string place = program_folder + std::string(folder);
        if (exists(place + std::string(file))) {
            return place + std::string(page);
        }
    }
    for (const std::string_view folder : {"", "../share/pixlane/", "../share/doc/pixlane/"}) {
        const std::string path = program_folder + std::string(folder) + std::string(kManualName);
        if (exists(path)) {
            return path;
        }
    }
    return std::string(kManualName);
}

std::string manual_page_of(std::string_view preferences_page) {
    struct PageHelp {
        std::string_view page;
        std::string_view manual;
    };
    static constexpr PageHelp kHelp[] = {
        {"Input", "options.html#input"},         {"Output", "options.html#output"},
        {"Transform", "options.html#transform"}, {"Adjustment", "options.html#adjust"},
        {"Frame", "options.html#frame"},         {"Watermark", "options.html#watermark"},
        {"Advanced", "options.html#advanced"},
    };
    for (const auto& help : kHelp) {
        if (help.page == preferences_page) {
            return std::string(help.manual);
        }
    }
    return "window.html#settings"; // General and Interface
}

std::string screenshot_folder(std::string_view given, std::string_view program_folder) {
    return platform::with_separator(std::string(given.empty() ? program_folder : given));
}

std::vector<std::string> screenshot_samples(const std::function<std::size_t(std::size_t)>& pick) {
    std::vector<std::string> paths;
    for (const auto name : kSampleNames) {
        const std::size_t at = pick(kInputExtensions.size()) % kInputExtensions.size();
        paths.push_back(std::string(kSampleFolder) + std::string(name) + "." +
                        std::string(kInputExtensions[at]));
    }
    return paths;
}

PictureSize thumbnail_size(PictureSize picture) {
    if (picture.width <= 0 || picture.height <= 0) {
        return {kThumbnailWidth, 1};
    }
    const double height = static_cast<double>(kThumbnailWidth) * picture.height / picture.width;
    return {kThumbnailWidth, std::max(1, static_cast<int>(std::lround(height)))};
}

Point screenshot_text_position(PictureSize picture, PictureSize text) {
    return {picture.width - kTextRightMargin - text.width, picture.height - kTextBottomMargin};
}

} // namespace pixlane
