// The run records: what is constant for a batch (the plan), what a worker is
// handed for one file (the task), what is known of the frame being converted
// (its facts), what a file gives back (its outcome); and the progress record
// a run reports to the thread that waits for it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "util/failure.h"

namespace pixlane {

// What became of one frame of a file.
enum class FrameStatus : std::uint8_t {
    Converted, // written under output_path
    Skipped,   // output_path existed and the overwrite policy left it alone
    Failed,    // reason says why
    Pending,   // saved under a temporary name for the caller to place, or
               // (a dry run) only named
};

struct FrameResult {
    std::int32_t frame = 0; // 1-based frame of the animation
    std::string output_path;
    FrameStatus status = FrameStatus::Failed;
    std::string reason;
    std::int64_t ms = 0; // from taking the frame to its save
    // Frames the output holds: 1 for a frame's own file, the frames of the
    // animation for an animated output (frame is then the first).
    std::int32_t frames = 1;
};

// What is constant for a batch: the output format and where outputs go.
// The front end fills it once before the first file.
struct BatchPlan {
    std::string output_extension;  // lower case, one of the output extension list
    std::int32_t save_type = 0;    // FreeImage format, or DevIL type for psd/dds/pcx
    std::int32_t output_depth = 0; // 0: automatic
    std::int32_t save_flags = 0;   // FreeImage save flags of the output format
    bool automatic_depth = false;  // the depth setting was 0: each frame gets the format's choice
    std::string output_folder;     // ends with "/"
    // Names the outputs without making them: frames are loaded and sized
    // (so the name tokens hold), nothing is drawn or written.
    bool dry_run = false;
    // Frames are saved but left under their temporary names for the run
    // loop to place (in list order, when files convert side by side).
    bool defer_outputs = false;
};

// One file of the batch as handed to a worker.
struct FileTask {
    std::size_t index = 0;            // in the input list
    std::string input_path;           // full path of the file to convert
    std::string relative_subfolder;   // below the input folder, ends with "/", or empty
    std::int32_t sequence_number = 1; // %n%
    std::int32_t random_value = 1;    // %rnd%
    std::uint32_t frame_pick = 0;     // draws the RANDOM frame of this file; 0: a fresh draw
    // Cores its frames may use at first; the run may lend more, or take
    // them back, while the file converts.
    std::int32_t cores = 1;
};

// What is known of the frame being converted: what the name tokens and the
// watermark text read.
struct FrameFacts {
    std::int32_t frame_number = 0; // %frame%: 1-based frame of the animation
    std::int32_t frame_total = 0;  // %frames%: frames of the animation
    std::int32_t width = 0;        // %width% after rotation, resize and icon limit
    std::int32_t height = 0;       // %height%
    std::int32_t source_depth = 0; // bits per pixel of the frame as loaded
    std::int32_t output_depth = 0; // %bpp%: the depth the frame is written at
    std::int32_t delay_ms = 0;     // %delay%: how long the frame is shown
    std::int32_t plays = 1;        // %loop%: how often the animation plays, 0 for ever
};

// A frame saved under a temporary name, to be placed under its output name.
struct PendingOutput {
    std::string temporary_path;
    std::string output_path;
};

// What became of one file.
struct FileOutcome {
    // One entry for each frame the file took up.
    std::vector<FrameResult> frame_results;
    // Frames left under their temporary names (BatchPlan::defer_outputs), in
    // the order of their Pending frame results.
    std::vector<PendingOutput> pending_outputs;
    // Set when the file failed: nothing saved, a frame that reached the save
    // failed, a limit was exceeded, or its worker died.
    std::optional<Failure> failure;
    // Frames left out because they repeated the one before them.
    std::int32_t dropped_frames = 0;

    bool ok() const { return !failure; }
    bool out_of_space() const { return failure && failure->out_of_space; }
    // Frames that reached their output names, in frame order.
    std::vector<std::string> written_outputs() const;
    // Frames left unwritten because their name existed.
    std::int32_t skipped_outputs() const;
    // The name of the last frame that got one (empty when none did).
    std::string last_output() const;
};

// %n% and %rnd% of the next file converted: a new random value after each
// converted file, the sequence number one up.
struct NamingCounters {
    std::int32_t random_value = 1;
    std::int32_t sequence_number = 1;
};

inline constexpr std::int32_t kRandomValueMax = 99999;

// A random integer from 1 to 99999 (uniform).
std::int32_t new_random_value();
// A non-zero value that chooses a file's RANDOM frame (FileTask::frame_pick).
std::uint32_t new_frame_pick();

// A fresh random value, sequence number 1: what a new session or the
// window's New starts from.
NamingCounters new_naming_counters();

// A consistent copy of the progress record, taken under its lock.
struct ProgressSnapshot {
    std::int32_t index = 0;
    std::string current_input;
    std::int64_t last_duration = 0;
    std::int32_t count = 0;
    std::int32_t total = 0;
    bool running = true;
    bool out_of_space = false;
    std::int32_t skipped = 0;
    std::int64_t frames = 0;
};

// What a worker reports to the thread that waits for it. Read and written
// under `lock` while a worker runs.
struct ProgressRecord {
    mutable std::mutex lock;
    std::int32_t index = 0; // 1-based entry being processed
    std::string current_input;
    std::int64_t last_duration =
        0;                     // ms of the previous file; >= 1000 after success, 0 after failure
    std::int32_t count = 0;    // files added (import) or converted (conversion)
    std::int32_t total = 0;    // entries the worker walks; 0 while unknown
    std::int32_t skipped = 0;  // files left alone: every output name existed (conversion)
    std::int64_t frames = 0;   // outputs written (conversion)
    bool running = true;       // cleared to stop the worker between files
    bool paused = false;       // the worker waits before its next file while set
    bool out_of_space = false; // the worker stopped because the output device is full

    // Every field, read at once under the lock.
    ProgressSnapshot snapshot() const;
    // Clears `running` (and any pause): the worker stops before its next file.
    void request_stop();
    // request_stop() because the output device is full (out_of_space set).
    void stop_out_of_space();
    // Holds the worker before its next file until resume() or request_stop().
    void pause();
    void resume();
    // Called by a worker between files: waits while paused; true when it
    // may go on.
    bool proceed();

  private:
    std::condition_variable m_resumed;
};

// Index 0, current input empty, count 0, total 0, running on, not paused,
// not out of space; last duration kept.
void reset_progress_record(ProgressRecord& p);

} // namespace pixlane
