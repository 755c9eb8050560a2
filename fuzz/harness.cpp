// One libFuzzer harness: PIXLANE_FUZZ_TARGET names its entry function in
// targets.h. A broken check aborts, which the fuzzer records as a crash.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string broken =
        pixlane::fuzz::PIXLANE_FUZZ_TARGET({reinterpret_cast<const char*>(data), size});
    if (!broken.empty()) {
        std::fprintf(stderr, "check failed: %s\n", broken.c_str());
        std::abort();
    }
    return 0;
}
