#include "app/window_module.h"

#include <dlfcn.h>

#include <cstdio>

#include "base/product.h"
#include "platform/platform.h"

namespace pixlane {

namespace {
constexpr const char* kModuleName = "pixlane-window.so";
} // namespace

std::string window_module_path(const std::string& program_folder,
                               bool (*exists)(const std::string& path)) {
    std::string folder = program_folder;
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    std::string beside = folder;
    beside += kModuleName;
    if (exists(beside)) {
        return beside;
    }
    std::string installed = folder;
    installed += "../lib/pixlane/";
    installed += kModuleName;
    return installed;
}

const WindowEntry* window_entry() {
    // Loaded at most once; the handle stays open until the process ends, as
    // the toolkit's own libraries do (unloading them is not supported).
    static const WindowEntry* const entry = []() -> const WindowEntry* {
        const std::string path =
            window_module_path(platform::program_folder(),
                               [](const std::string& p) { return platform::is_plain_file(p); });
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            std::fprintf(stderr, "%s: cannot open the window: %s\n", title_text().c_str(),
                         dlerror());
            return nullptr;
        }
        using Get = const WindowEntry* (*)();
        auto get = reinterpret_cast<Get>(dlsym(module, kWindowEntrySymbol));
        if (get == nullptr) {
            std::fprintf(stderr, "%s: cannot open the window: %s\n", title_text().c_str(),
                         dlerror());
            return nullptr;
        }
        return get();
    }();
    return entry;
}

} // namespace pixlane
