// The pixlane executable: the shared core plus its two front ends.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "app/application.h"
#include "app/window_module.h"
#include "base/product.h"
#include "cli/batch.h"
#include "cli/front_end.h"
#include "cli/reference.h"
#include "platform/platform.h"
#include "run/worker_faults.h"
#include "run/worker_process.h"

int main(int argc, char** argv) {
    using namespace pixlane;
    platform::reuse_freed_memory();
    platform::open_standard_streams();
    // The hidden worker mode of the supervised conversion: no lock, no front end.
    if (argc == 5 && std::strcmp(argv[1], kWorkerModeArgument) == 0) {
        return run_worker_process(3, 4, std::strtoull(argv[2], nullptr, 10), std::atoi(argv[3]),
                                  static_cast<pid_t>(std::atol(argv[4])),
                                  worker_faults_from_environment());
    }
    // The build writes the manual page and the completion script this way,
    // without the single-instance lock.
    if (argc == 2) {
        if (const auto text = cli::reference_document(argv[1])) {
            std::fwrite(text->data(), 1, text->size(), stdout);
            return std::fflush(stdout) == 0 ? kExitOk : kExitError;
        }
    }
    const cli::BatchRunner batch = [](Session& app, const BatchOptions& options) {
        return run_batch(app, options);
    };
    // The uninstall page and the screenshot mode run on the window toolkit,
    // then the process ends.
    const auto with_toolkit = [](const std::function<int(const WindowEntry&)>& run) {
        const WindowEntry* toolkit = window_entry();
        if (toolkit == nullptr || !toolkit->start()) {
            return static_cast<int>(kExitError);
        }
        const int status = run(*toolkit);
        toolkit->stop();
        return status;
    };
    cli::WindowCommands window_commands;
    window_commands.uninstall = [with_toolkit](Session& app) {
        return with_toolkit(
            [&app](const WindowEntry& toolkit) { return toolkit.run_uninstall_page(app); });
    };
    window_commands.screenshot = [with_toolkit](Session& app, const std::string& folder) {
        return with_toolkit([&app, &folder](const WindowEntry& toolkit) {
            return toolkit.run_screenshot_mode(app, folder);
        });
    };
    const CommandLineFrontEnd command_line = [&batch, &window_commands](Session& app) {
        auto status = cli::run_command_line(app, batch, {}, window_commands);
        platform::restore_console_title();
        return status;
    };
    // The window mode loads the window module first.
    WindowMode window;
    window.start = []() -> std::optional<DesktopSize> {
        const WindowEntry* toolkit = window_entry();
        const auto size = toolkit != nullptr ? toolkit->start() : std::nullopt;
        if (!size) {
            return std::nullopt;
        }
        return DesktopSize{size->width, size->height};
    };
    window.run = [](Session& app) { return window_entry()->run_main_window(app); };
    window.stop = [] { window_entry()->stop(); };
    return run_application(argc, argv, command_line, window);
}
