#include "app/application.h"

#include <cstdio>

#include "platform/platform.h"

namespace pixlane {

int run_application(int argc, char** argv, const CommandLineFrontEnd& command_line,
                    const WindowMode& window) {
    Application app;
    app.program_name = platform::file_name_of(argc > 0 ? argv[0] : "pixlane");
    for (int i = 1; i < argc; ++i) {
        app.args.emplace_back(argv[i]);
    }
    // The extension lists are constants; the icon maps are filled once here.
    app.icons = make_icon_maps();

    const std::string title = title_text();
    auto lock = platform::InstanceLock::acquire(title);
    if (!lock) {
        if (!app.args.empty()) {
            std::fprintf(stderr, "%s is already running (lock %s).\n", title.c_str(),
                         platform::InstanceLock::lock_path(title).c_str());
        }
        return kExitInstanceRunning;
    }

    if (command_line) {
        if (auto status = command_line(app)) {
            return *status;
        }
    }
    return window ? window(app) : kExitOk;
}

} // namespace pixlane
