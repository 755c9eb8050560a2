// The job record and the progress record: how a front end hands a batch to
// the conversion worker and follows its progress.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

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
};

// Parameters of a batch, the file being converted and the results of the
// last frame written. One instance lives in the application; tests build
// their own.
struct JobRecord {
    std::string input_path;          // full path of the file to convert
    std::string relative_subfolder;  // below the input folder, ends with "/", or empty
    std::string output_path;         // full path the frame is saved to
    std::string temporary_path;      // ASCII-named file in the output folder
    std::string output_folder;       // ends with "/"
    std::int32_t random_value = 1;   // %rnd%
    std::int32_t sequence_number = 1; // %n%
    std::int32_t source_depth = 0;   // bits per pixel of the frame as loaded
    std::int32_t save_type = 0;      // FreeImage format, or DevIL type for psd/dds/pcx
    std::string output_extension;    // lower case, one of the output extension list
    std::int32_t output_depth = 0;   // 0: automatic (the job stores its choice)
    std::int32_t save_flags = 0;     // FreeImage save flags of the output format
    std::uint8_t automatic_depth = 0;
    std::uint8_t console_mode = 0;
    std::string debug_word;          // "DEBUG" turns on per-file lines in console mode
    std::int32_t width = 0;          // %width% after rotation, resize and icon limit
    std::int32_t height = 0;         // %height%
    std::int32_t frame_number = 0;   // %frame%: 1-based frame of the animation being saved
    std::int32_t frame_total = 0;    // %frames%: frames of the animation
    std::string program_folder;      // ends with "/"
    std::string list_name;           // file name of the input list
    std::string input_folder;        // input argument, then the input folder or empty
    std::string input_type;          // input extension selecting the listing
    std::string failure_reason;      // why the last file failed, when the job knows
    bool out_of_space = false;       // the last file failed because its output device is full
    std::uint32_t frame_pick = 0;    // draws the RANDOM frame of this file; 0: a fresh draw
    // Frames saved but left under their temporary names, for a caller that
    // renames them itself (in list order, when files convert side by side).
    bool defer_outputs = false;
    struct PendingOutput {
        std::string temporary_path;
        std::string output_path;
    };
    std::vector<PendingOutput> pending_outputs;
    // The last file's outputs that reached their final names, and the frames
    // left unwritten because their name existed (overwrite policy "skip").
    std::vector<std::string> written_outputs;
    std::int32_t skipped_outputs = 0;
    // The last file's frames, one entry for each frame it took up.
    std::vector<FrameResult> frame_results;
    // Names the outputs without making them: frames are loaded and sized
    // (so the name tokens hold), nothing is drawn or written.
    bool dry_run = false;
};

inline constexpr const char* kDefaultListName = "untitled.pxl";
inline constexpr std::int32_t kRandomValueMax = 99999;

// A random integer from 1 to 99999 (uniform).
std::int32_t new_random_value();
// A non-zero value that chooses a file's RANDOM frame (JobRecord::frame_pick).
std::uint32_t new_frame_pick();

// Program folder and list name set, a new random value, sequence number 1,
// every other field empty or 0. The caller empties its input list.
void reset_job_record(JobRecord& job, const std::string& program_folder);

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
    std::int32_t index = 0;          // 1-based entry being processed
    std::string current_input;
    std::int64_t last_duration = 0;  // ms of the previous file; >= 1000 after success, 0 after failure
    std::int32_t count = 0;          // files added (import) or converted (conversion)
    std::int32_t total = 0;          // entries the worker walks; 0 while unknown
    std::int32_t skipped = 0;        // files left alone: every output name existed (conversion)
    std::int64_t frames = 0;         // outputs written (conversion)
    bool running = true;             // cleared to stop the worker between files
    bool paused = false;             // the worker waits before its next file while set
    bool out_of_space = false;       // the worker stopped because the output device is full

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
