// The pixlane executable: the shared core plus its two front ends.
#include <cstdio>

#include "app/application.h"
#include "cli/batch.h"
#include "cli/front_end.h"

int main(int argc, char** argv) {
    using namespace pixlane;
    const cli::BatchRunner batch = [](Application& app, bool quiet) {
        return run_batch(app, quiet);
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
