// The product's identity: version and title texts, names and addresses, and
// the settings folder.
#pragma once

#include <string>
#include <string_view>

namespace pixlane {

inline constexpr int kVersionNumber = 280;
inline constexpr std::string_view kProductName = "Pixlane";
// Product data printed in the console banner and shown in About. The
// copyright line is stored with "©"; the console prints it with "(c)".
inline constexpr std::string_view kCopyrightLine = "Copyright \u00A9 2026 Tarnwell";
inline constexpr std::string_view kWebAddress = "https://www.tarnwell.example/pixlane";
// The vendor's web server and support address. PIXLANE_VENDOR_HOST
// ("host" or "host:port") replaces the host, so tests and mirrors can point
// the update check and the links elsewhere.
inline constexpr std::string_view kVendorHost = "www.tarnwell.example";
inline constexpr std::string_view kSupportAddress = "support@tarnwell.example";
// Vendor folder below the user's settings folder, then the product's.
inline constexpr std::string_view kVendorFolder = "Tarnwell";
inline constexpr std::string_view kProductFolder = "pixlane";
inline constexpr std::string_view kConfigFileName = "config.ini";

// "2.8" for 280, "2.8.3" for 283: dots after the first and second digit, and
// a final ".0" dropped.
std::string version_text(int version_number = kVersionNumber);
// "Pixlane 2.8": window title, console title and single-instance lock name.
std::string title_text();

// The vendor's web server: PIXLANE_VENDOR_HOST when set and not empty, else
// kVendorHost.
std::string vendor_host();
// "https://" + vendor host + `path` (the path begins with "/" or is empty).
std::string vendor_url(std::string_view path);

// The settings folder: the base settings folder, the vendor folder and the
// product folder, ending with the separator. With `create`, missing levels
// are made (failures are not reported).
std::string settings_folder(bool create);

} // namespace pixlane
