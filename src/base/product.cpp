#include "base/product.h"

#include <cstdlib>

#include "platform/platform.h"

namespace pixlane {

std::string version_text(int version_number) {
    std::string digits = std::to_string(version_number);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        out.push_back(digits[i]);
        if ((i == 0 || i == 1) && i + 1 < digits.size()) {
            out.push_back('.');
        }
    }
    if (!out.empty() && out.back() == '0') {
        out.resize(std::min<std::size_t>(out.size(), 3));
    }
    return out;
}

std::string title_text() { return std::string(kProductName) + " " + version_text(); }

std::string vendor_host() {
    const char* host = std::getenv("PIXLANE_VENDOR_HOST");
    return host != nullptr && *host != '\0' ? std::string(host) : std::string(kVendorHost);
}

std::string vendor_url(std::string_view path) {
    return "https://" + vendor_host() + std::string(path);
}

std::string settings_folder(bool create) {
    std::string folder = platform::settings_base_folder();
    for (auto level : {kVendorFolder, kProductFolder}) {
        folder = platform::with_separator(platform::join(folder, level));
        if (create && !platform::is_folder(folder)) {
            platform::make_folder(folder);
        }
    }
    return folder;
}

} // namespace pixlane
