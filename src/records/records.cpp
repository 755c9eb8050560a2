#include "records/records.h"

#include <algorithm>
#include <cstdlib>

namespace pixlane {

namespace {

// Every thread's engines start from PIXLANE_RANDOM_SEED when it is set (so
// tests can compare runs), otherwise from the system's entropy.
std::uint32_t engine_seed(std::uint32_t stream) {
    static const char* fixed = std::getenv("PIXLANE_RANDOM_SEED");
    if (fixed && *fixed) {
        return static_cast<std::uint32_t>(std::strtoul(fixed, nullptr, 10)) + stream;
    }
    return std::random_device{}();
}

} // namespace

std::int32_t new_random_value() {
    static thread_local std::mt19937 engine{engine_seed(0)};
    std::uniform_int_distribution<std::int32_t> dist(1, kRandomValueMax);
    return dist(engine);
}

std::uint32_t new_frame_pick() {
    static thread_local std::mt19937 engine{engine_seed(1)};
    return std::uniform_int_distribution<std::uint32_t>(1, 0xFFFFFFFFu)(engine);
}

NamingCounters new_naming_counters() { return {new_random_value(), 1}; }

std::vector<std::string> FileOutcome::written_outputs() const {
    std::vector<std::string> written;
    for (const auto& f : frame_results) {
        if (f.status == FrameStatus::Converted) {
            written.push_back(f.output_path);
        }
    }
    return written;
}

std::int32_t FileOutcome::skipped_outputs() const {
    return static_cast<std::int32_t>(
        std::count_if(frame_results.begin(), frame_results.end(),
                      [](const FrameResult& f) { return f.status == FrameStatus::Skipped; }));
}

std::string FileOutcome::last_output() const {
    for (auto f = frame_results.rbegin(); f != frame_results.rend(); ++f) {
        if (!f->output_path.empty()) {
            return f->output_path;
        }
    }
    return {};
}

void reset_progress_record(ProgressRecord& p) {
    std::lock_guard guard(p.lock);
    p.index = 0;
    p.current_input.clear();
    p.count = 0;
    p.total = 0;
    p.running = true;
    p.paused = false;
    p.out_of_space = false;
    p.skipped = 0;
    p.frames = 0;
}

ProgressSnapshot ProgressRecord::snapshot() const {
    std::lock_guard guard(lock);
    return {index,   current_input, last_duration, count, total,
            running, out_of_space,  skipped,       frames};
}

void ProgressRecord::request_stop() {
    {
        std::lock_guard guard(lock);
        running = false;
        paused = false;
    }
    m_resumed.notify_all();
}

void ProgressRecord::stop_out_of_space() {
    {
        std::lock_guard guard(lock);
        out_of_space = true;
    }
    request_stop();
}

void ProgressRecord::pause() {
    std::lock_guard guard(lock);
    paused = true;
}

void ProgressRecord::resume() {
    {
        std::lock_guard guard(lock);
        paused = false;
    }
    m_resumed.notify_all();
}

bool ProgressRecord::proceed() {
    std::unique_lock guard(lock);
    m_resumed.wait(guard, [&] { return !paused || !running; });
    return running;
}

} // namespace pixlane
