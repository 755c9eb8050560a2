#include "app/app.h"

#include "platform/platform.h"

namespace pixlane {

std::atomic<bool> g_quit{false};

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

IconMaps make_icon_maps() {
    IconMaps m;
    m.buttons = {{"Convert", 2}, {"InFiles", 3}, {"InFolder", 4}};
    static constexpr std::pair<const char*, int> kSetA[] = {
        {"New", 5},         {"Add", 6},          {"InFiles", 7},      {"InFolder", 8},
        {"OutFolder", 9},   {"OutFormat", 10},   {"FavFolder", 11},   {"ImportFiles", 12},
        {"ExportFiles", 13}, {"Exit", 14},       {"Copy", 15},        {"Delete", 16},
        {"SelectAll", 17},  {"Convert", 18},     {"Error", 19},       {"Preferences", 20},
        {"CustomConverter", 21}, {"Help", 22},   {"Email", 25},       {"Web", 26},
        {"Updates", 27},    {"About", 28}};
    constexpr int kSetBOffset = 24;
    for (const auto& [key, number] : kSetA) {
        m.set_a.emplace(key, number);
        m.set_b.emplace(key, number + kSetBOffset);
    }
    return m;
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
