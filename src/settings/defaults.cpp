#include "settings/keys.h"
#include "settings/settings.h"

namespace pixlane {

namespace {
constexpr int kWindowWidth = 510;
constexpr int kWindowHeight = 330;
constexpr int kFallbackPosition = 100;
} // namespace

int default_window_x(int desktop_width) {
    return desktop_width > kWindowWidth ? (desktop_width - kWindowWidth) / 2 : kFallbackPosition;
}

int default_window_y(int desktop_height) {
    return desktop_height > kWindowHeight ? (desktop_height - kWindowHeight) / 2
                                          : kFallbackPosition;
}

void reset_to_defaults(Settings& s, DefaultsForm form, Date now, int desktop_width,
                       int desktop_height) {
    std::string config_path = std::move(s.config_path);
    s = Settings{};
    s.config_path = std::move(config_path);
    s.update_date = now;
    s.custom_timestamp = now;
    s.x = default_window_x(desktop_width);
    s.y = default_window_y(desktop_height);
    if (form == DefaultsForm::CommandLine) {
        for (const auto& row : setting_keys()) {
            if (row.cli_default) {
                set_int(s, row.field, *row.cli_default);
            }
        }
    }
}

} // namespace pixlane
