#include "app/application.h"

#include <cstdio>
#include <cstring>

#include "base/product.h"
#include "base/translations.h"
#include "config/config.h"
#include "platform/handover.h"
#include "platform/platform.h"
#include "util/escape.h"

namespace pixlane {

std::atomic<bool> g_quit{false};

int run_application(int argc, char** argv, const CommandLineFrontEnd& command_line,
                    const WindowMode& window) {
    Session app;
    app.program_name = platform::file_name_of(argc > 0 ? argv[0] : "pixlane");
    for (int i = 1; i < argc; ++i) {
        app.args.emplace_back(argv[i]);
    }

    // Console commands and batches never read or write the window's
    // config.ini: they run side by side with each other and with a window.
    if (command_line) {
        if (auto status = command_line(app)) {
            return *status;
        }
    }

    // One window at a time: the lock guards its config.ini.
    const std::string title = title_text();
    platform::InstanceLock::Failure why = platform::InstanceLock::Failure::Held;
    int error = 0;
    auto lock = platform::InstanceLock::acquire(title, &why, &error);
    if (!lock) {
        const std::string path = platform::InstanceLock::lock_path(title);
        if (why == platform::InstanceLock::Failure::CannotCreate) {
            // Not another instance: say so whatever the arguments, as no
            // window can start.
            std::fprintf(stderr, "Error: cannot create the lock file %s: %s\n",
                         escaped(path).c_str(), std::strerror(error));
            return kExitError;
        }
        // Files to open go to the window that runs, as a file manager expects.
        if (!app.console.window_paths.empty() &&
            platform::hand_over_paths(platform::handover_path(title), app.console.window_paths)) {
            return kExitOk;
        }
        if (!app.args.empty()) {
            std::fprintf(stderr, "%s is already running (lock %s).\n", title.c_str(),
                         escaped(path).c_str());
        }
        return kExitInstanceRunning;
    }
    return run_window_mode(app, window);
}

int run_window_mode(Session& app, const WindowMode& window) {
    DesktopSize desktop;
    if (window.start) {
        const auto size = window.start();
        if (!size) {
            return kExitError;
        }
        desktop = *size;
    }
    // The settings folder and its two levels exist from the first window start.
    app.settings.config_path = settings_folder(true) + std::string(kConfigFileName);
    load_configuration(app.settings,
                       ConfigContext{platform::now_local(), desktop.width, desktop.height});
    // The window speaks the language of the setting; the console stays English.
    load_language(app.language, app.settings.language, locale_folder());
    const int status = window.run ? window.run(app) : static_cast<int>(kExitOk);
    if (app.settings.out_folders_history == 0) {
        app.settings.recent_out_folders.clear();
    }
    save_configuration(app.settings);
    if (window.stop) {
        window.stop();
    }
    return status;
}

} // namespace pixlane
