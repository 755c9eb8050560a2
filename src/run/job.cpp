#include "run/job.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "util/strings.h"
#include "decorations/frame.h"
#include "naming/mask.h"
#include "pipeline/adjust.h"
#include "pipeline/gif_load.h"
#include "pipeline/save.h"
#include "pipeline/transform.h"
#include "platform/platform.h"

namespace pixlane {
namespace {

constexpr int kIconMaxSide = 128;

// "2 GiB" for 2048, "300 MiB" for 300.
std::string size_text(std::int64_t mib) {
    return mib % 1024 == 0 ? std::to_string(mib / 1024) + " GiB" : std::to_string(mib) + " MiB";
}

std::string frames_text(std::int64_t n) { return std::to_string(n) + (n == 1 ? " frame" : " frames"); }

std::string size_of(int w, int h) { return std::to_string(w) + "\u00D7" + std::to_string(h); }

// From 1 to count: drawn from `pick` when the caller chose it, else afresh.
int random_frame(int count, std::uint32_t pick) {
    if (pick != 0) {
        std::mt19937 engine{pick};
        return std::uniform_int_distribution<int>(1, count)(engine);
    }
    static thread_local std::mt19937 engine{std::random_device{}()};
    return std::uniform_int_distribution<int>(1, count)(engine);
}

} // namespace

FrameRange select_frames(int mode, int count, int random_pick) {
    switch (mode) {
    case kFramesFirst: return {0, 0};
    case kFramesMiddle: {
        const int m = static_cast<int>(std::ceil(static_cast<double>(count) / 2.0));
        return {m - 1, m - 1};
    }
    case kFramesLast: return {count - 1, count - 1};
    case kFramesRandom: {
        const int r = std::clamp(random_pick, 1, count);
        return {r - 1, r - 1};
    }
    default: return {0, count - 1};
    }
}

Bitmap limit_icon_size(Bitmap in, const JobRecord& job) {
    if (!in || job.output_extension != "ico" ||
        (width_of(in) <= kIconMaxSide && height_of(in) <= kIconMaxSide)) {
        return in;
    }
    return adopt(FreeImage_Rescale(in.get(), kIconMaxSide, kIconMaxSide, FILTER_BICUBIC));
}

std::string with_frame_number(const std::string& path, const std::string& extension, int number) {
    std::string suffix = "[";
    suffix += std::to_string(number);
    suffix += "]";
    const std::size_t tail = extension.size() + 1;
    if (path.size() > tail && path[path.size() - tail] == '.' &&
        iequals(std::string_view(path).substr(path.size() - extension.size()), extension)) {
        std::string out = path;
        out.insert(path.size() - tail, suffix);
        return out;
    }
    return path + suffix;
}

namespace {

// The depth a dry run names: what convert_depth would choose, kept in the
// record as convert_depth keeps it.
void name_depth(JobRecord& job) {
    if (job.automatic_depth || job.output_depth == 0) {
        job.output_depth = target_depth(job, job.source_depth);
    }
}

// What the save did with a frame, read from the record it fills.
FrameStatus saved_status(const JobRecord& job, std::size_t written_before) {
    if (job.defer_outputs) {
        return FrameStatus::Pending;
    }
    return job.written_outputs.size() > written_before ? FrameStatus::Converted
                                                       : FrameStatus::Skipped;
}

} // namespace

bool run_job(const Settings& s, JobRecord& job, const WatermarkFont* font) {
    job.failure_reason.clear();
    job.out_of_space = false;
    job.written_outputs.clear();
    job.skipped_outputs = 0;
    job.frame_results.clear();
    GifAnimation gif;
    if (!gif.open(job.input_path)) {
        job.failure_reason = gif.error();
        return false;
    }
    const int count = gif.frame_count();
    const FrameRange range = select_frames(s.gif_frame_loading, count,
                                           s.gif_frame_loading == kFramesRandom ? random_frame(count, job.frame_pick) : 1);
    const bool numbered = s.gif_frame_loading == kFramesAll && count > 1;
    const std::int64_t frames = range.last - range.first + 1;
    if (s.max_frames > 0 && frames > s.max_frames) {
        job.failure_reason = frames_text(frames) + " exceed the limit of " +
                             frames_text(s.max_frames) + " per file; raise --max-frames";
        return false;
    }
    bool output_checked = false;
    bool saved = false;
    bool failed = false;
    for (int index = range.first; index <= range.last; ++index) {
        const std::int64_t started = platform::elapsed_ms();
        FrameResult result;
        result.frame = index + 1;
        bool named = false;
        // An undecodable page has no name; every other row the name it got.
        auto record = [&](FrameStatus status, std::string reason = {}) {
            result.status = status;
            result.reason = std::move(reason);
            result.output_path = named ? job.output_path : std::string();
            result.ms = platform::elapsed_ms() - started;
            job.frame_results.push_back(std::move(result));
        };
        // The last frame needed is the canvas itself, handed over uncopied.
        Bitmap b = index == range.last ? gif.take_frame(index) : gif.frame(index);
        job.frame_number = index + 1; // %frame% and %frames%, also in the watermark text
        job.frame_total = count;
        job.source_depth = bpp_of(b);
        if (target_depth(job, bpp_of(b)) != 32 && !job.dry_run) {
            // The output keeps no alpha: transparent areas show the chosen
            // background, not the colour their pixels happen to hold. Done
            // first, so rotation and the decorations work on what is seen.
            b = lay_over(std::move(b), parse_colour(s.transparency_background));
        }
        if (width_of(b) == 0 || height_of(b) == 0) {
            record(FrameStatus::Failed, "the frame could not be decoded");
            continue;
        }
        b = rotate(std::move(b), s);
        b = resize(std::move(b), s);
        b = limit_icon_size(std::move(b), job);
        // The size the mask and the watermark text report: after resize and
        // the icon limit. The frame and watermark draw inside the image.
        const int width = width_of(b);
        const int height = height_of(b);
        job.width = width;
        job.height = height;
        if (s.max_megapixels > 0 &&
            std::int64_t{width} * height > std::int64_t{s.max_megapixels} * 1'000'000) {
            job.failure_reason = "a frame of " + size_of(width, height) + " exceeds the limit of " +
                                 std::to_string(s.max_megapixels) +
                                 " megapixels; raise --max-megapixels";
            return false;
        }
        if (!job.dry_run) {
            b = flip(std::move(b), s);
            b = adjust_colours(std::move(b), s);
            b = greyscale(std::move(b), s);
            b = threshold(std::move(b), s);
            b = dither(std::move(b), s);
            b = draw_frame(std::move(b), s, width, height);
            b = draw_watermark(std::move(b), s, job, width, height, font);
        }
        b = fit_icon(std::move(b), job);
        if (b) {
            // An icon centred on a square canvas reports the size written.
            job.width = width_of(b);
            job.height = height_of(b);
        }
        if (job.dry_run) {
            name_depth(job);
        } else {
            b = convert_depth(std::move(b), job);
        }
        const int depth = job.dry_run ? job.output_depth : bpp_of(b);
        // Every output frame of a file has the size and depth of the first:
        // their sum is known before anything is written.
        if (b && !output_checked && s.max_output_mb > 0) {
            output_checked = true;
            const std::int64_t bytes = frames * job.width * std::int64_t{job.height} * depth / 8;
            if (bytes > std::int64_t{s.max_output_mb} << 20) {
                job.failure_reason = frames_text(frames) + " of " + size_of(job.width, job.height) +
                                     (frames == 1 ? " exceeds" : " exceed") +
                                     " the output limit of " + size_text(s.max_output_mb) +
                                     " per file; raise --max-output-mb";
                return false;
            }
        }
        job.output_path = output_path(s, job);
        if (numbered && !mask_numbers_frames(s)) {
            job.output_path = with_frame_number(job.output_path, job.output_extension, index + 1);
        }
        named = true;
        if (job.dry_run) {
            saved = true;
            record(FrameStatus::Pending);
            continue;
        }
        const std::size_t written_before = job.written_outputs.size();
        std::string why;
        switch (save_frame(b, s, job, &why)) {
        case SaveResult::Saved:
            saved = true;
            record(saved_status(job, written_before));
            break;
        case SaveResult::Failed:
            failed = true;
            job.failure_reason = why;
            record(FrameStatus::Failed, why);
            if (job.out_of_space) {
                return false; // every later frame would fail the same way
            }
            break;
        case SaveResult::Abort:
            job.failure_reason = why;
            record(FrameStatus::Failed, why);
            return false;
        }
    }
    if (!saved && job.failure_reason.empty()) {
        job.failure_reason = "no frame could be decoded";
    }
    return saved && !failed;
}

} // namespace pixlane
