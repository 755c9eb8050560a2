// The pixlane executable: the shared core plus its two front ends.
#include <cstdio>

#include "app/application.h"
#include "cli/front_end.h"

int main(int argc, char** argv) {
    using namespace pixlane;
    // Stands in for the batch run until it exists: prints nothing, succeeds.
    const cli::BatchRunner batch = [](Application&, bool /*quiet*/) {
        return static_cast<int>(kExitOk);
    };
    const CommandLineFrontEnd command_line = [&batch](Application& app) {
        return cli::run_command_line(app, batch);
    };
    const WindowMode window = [](Application&) {
        std::printf("%s: the desktop window is not available yet.\n", title_text().c_str());
        return static_cast<int>(kExitOk);
    };
    return run_application(argc, argv, command_line, window);
}
