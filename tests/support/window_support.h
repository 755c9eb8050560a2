// Helpers of the window tests (they run on a virtual display).
#pragma once

#include <wx/app.h>

#include <chrono>
#include <thread>

namespace pixlane::test {

// Lets the toolkit work for `ms` milliseconds.
inline void pump(int ms = 300) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace pixlane::test
