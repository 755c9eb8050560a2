// The pixlane executable: the shared core plus its two front ends.
#include <cstdio>

#include "app/application.h"

int main(int argc, char** argv) {
    using namespace pixlane;
    const CommandLineFrontEnd command_line = [](Application& app) -> std::optional<int> {
        if (app.args.empty()) {
            return std::nullopt;
        }
        return std::nullopt;
    };
    const WindowMode window = [](Application&) {
        std::printf("%s: the desktop window is not available yet.\n", title_text().c_str());
        return static_cast<int>(kExitOk);
    };
    return run_application(argc, argv, command_line, window);
}
