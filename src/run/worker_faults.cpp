#include "run/worker_faults.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "naming/mask.h"
#include "pipeline/save.h"
#include "platform/platform.h"

namespace pixlane {
namespace {

// The fault named for a file of this name in `spec`, or empty.
std::string fault_for(const std::string& spec, const std::string& input_path) {
    const std::string name = platform::file_name_of(input_path);
    const std::string& all = spec;
    std::size_t pos = 0;
    while (pos <= all.size()) {
        const auto end = std::min(all.find(';', pos), all.size());
        const std::string item = all.substr(pos, end - pos);
        const auto eq = item.find('=');
        if (eq != std::string::npos && item.substr(eq + 1) == name) {
            return item.substr(0, eq);
        }
        pos = end + 1;
    }
    return {};
}

// Dies of a segmentation fault, past any handler a sanitizer installed.
[[noreturn]] void crash() {
    ::signal(SIGSEGV, SIG_DFL);
    ::raise(SIGSEGV);
    std::abort();
}

void run_fault(const std::string& fault, const Settings& s, const BatchPlan& plan,
               const FileTask& task) {
    if (fault == "litter") {
        // A crash in the middle of writing: a temporary output exists.
        const std::string tmp = temporary_path(s, plan, task);
        announce_temporary_file(tmp);
        if (FILE* f = std::fopen(tmp.c_str(), "wb")) {
            std::fputs("half", f);
            std::fclose(f);
        }
        crash();
    } else if (fault == "crash") {
        crash();
    } else if (fault == "hang") {
        for (;;) {
            ::pause();
        }
    } else if (fault == "spin") {
        volatile unsigned long spins = 0;
        for (;;) {
            spins = spins + 1;
        }
    } else if (fault == "oom") {
        // Takes address space until the worker's limit refuses it. Only one
        // byte of each block is written, so the limit is met in milliseconds
        // however busy the machine; where nothing refuses (no limit, as under
        // AddressSanitizer) it stops after 64 GiB as if refused.
        std::vector<std::unique_ptr<char[]>> hog;
        for (int block = 0; block < 1024; ++block) {
            hog.emplace_back(new char[std::size_t{64} << 20]);
            hog.back()[0] = 1;
        }
        throw std::bad_alloc();
    }
}

} // namespace

BeforeJob worker_faults_from_environment() {
    const char* spec = std::getenv("PIXLANE_WORKER_FAULTS");
    if (!spec || !*spec) {
        return {};
    }
    return
        [all = std::string(spec)](const Settings& s, const BatchPlan& plan, const FileTask& task) {
            run_fault(fault_for(all, task.input_path), s, plan, task);
        };
}

} // namespace pixlane
