// The preview of one frame: the frame as loaded and as the run would write
// it, made by the conversion's own code (convert_frame, then the format's
// writer into memory through encode_frame), with the output name, size,
// depth and the encoded size. It is made in the supervised worker process
// (a GIF the user picked is untrusted); the front end gets pixels to show,
// never a file to decode.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>

#include "decorations/watermark.h"
#include "pipeline/frame_source.h"
#include "records/records.h"
#include "run/wire.h"
#include "run/worker_process.h"
#include "settings/settings.h"

namespace pixlane {

// A picture to show: width × height pixels of four bytes each, in the
// order red, green, blue, alpha, the top row first.
struct RgbaPicture {
    int width = 0;
    int height = 0;
    std::string pixels;
};

// Any bitmap FreeImage holds as an RgbaPicture (empty when it cannot be
// brought to 32 bits).
RgbaPicture rgba_of(FIBITMAP* dib);

struct PreviewRequest {
    Settings settings;
    BatchPlan plan;
    FileTask task;
    int frame = -1; // 0-based; below 0: the first frame the run converts
};

struct Preview {
    std::string error; // why there is no result; empty when there is one
    int frame_count = 0;
    int frame = 0; // 0-based
    RgbaPicture original;
    RgbaPicture result;
    // The result is the encoded bytes decoded back; else (a format FreeImage
    // cannot read back) the picture that went into the writer.
    bool result_decoded = false;
    std::string output_path;
    int width = 0;
    int height = 0;
    int depth = 0;
    // The bytes the output gets; -1 when they are known only once written
    // (a file written as one animation).
    std::int64_t encoded_size = -1;
};

// The frames of the file previewed last, kept while it stays the same file
// (identity, size and modification time): moving along the slider decodes
// only the frames it has not passed yet.
class PreviewFrames {
  public:
    // The file's frames, or why it cannot be read.
    std::variant<FrameSource*, Failure> open(const std::string& path);

  private:
    std::string m_key;
    std::unique_ptr<FrameSource> m_source;
};

// Makes the preview in this process; `encoded`, when given, receives the
// bytes the output would get; `frames`, when given, keeps the file's
// frames for the next preview. Only the worker process (and tests) call it.
Preview make_preview(const PreviewRequest& request, const WatermarkFont* font,
                     std::string* encoded = nullptr, PreviewFrames* frames = nullptr);

namespace wire {
Message preview_request_message(const PreviewRequest& request);
std::optional<PreviewRequest> read_preview_request(const Message& m);
Message preview_message(const Preview& preview);
std::optional<Preview> read_preview(const Message& m);
} // namespace wire

// Previews on a thread of their own, each made in a supervised worker
// process. A request waiting when a newer one comes is dropped for it; the
// one in hand finishes first unless it has run for `replace_after_ms`
// already (a large frame, a hung worker): its worker is then ended and the
// newer request goes to a fresh one, with no answer for the older. `done` runs on that thread with
// the id request() gave and the preview (its error set when the worker crashed, overran its time or
// answered nothing readable).
class PreviewService {
  public:
    using Done = std::function<void(std::uint64_t id, Preview preview)>;
    PreviewService(WorkerLimits limits, std::string program, Done done,
                   int replace_after_ms = 1000);
    // Ends the worker process at once and waits for the thread.
    ~PreviewService();
    PreviewService(const PreviewService&) = delete;
    PreviewService& operator=(const PreviewService&) = delete;

    std::uint64_t request(PreviewRequest request);

  private:
    void serve();

    Settings m_start_settings; // what the worker process starts with
    BatchPlan m_start_plan;
    WorkerSupervisor m_supervisor;
    Done m_done;
    int m_replace_after_ms;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::optional<PreviewRequest> m_waiting;
    std::uint64_t m_last_id = 0;
    std::int64_t m_started_ms = -1; // when the request in hand went out; -1: none
    bool m_replaced = false;        // the request in hand was given up for a newer one
    bool m_closing = false;
    std::thread m_thread; // last: started when everything else is ready
};

// The worker's limits for previews: those of a run, the time for one
// preview at most `seconds`.
WorkerLimits preview_limits(WorkerLimits run_limits, int seconds = 30);

} // namespace pixlane
