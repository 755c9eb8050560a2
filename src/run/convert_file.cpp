#include "run/convert_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <random>

#include "decorations/frame.h"
#include "naming/mask.h"
#include "pipeline/adjust.h"
#include "pipeline/save.h"
#include "pipeline/transform.h"
#include "platform/platform.h"
#include "util/ordered_lanes.h"
#include "util/strings.h"

namespace pixlane {
namespace {

constexpr int kIconMaxSide = 128;

// The memory the frames of one file spread over several cores may hold.
constexpr std::int64_t kLaneMemory = std::int64_t{512} << 20;

// "2 GiB" for 2048, "300 MiB" for 300.
std::string size_text(std::int64_t mib) {
    return mib % 1024 == 0 ? std::to_string(mib / 1024) + " GiB" : std::to_string(mib) + " MiB";
}

std::string frames_text(std::int64_t n) {
    return std::to_string(n) + (n == 1 ? " frame" : " frames");
}

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

int first_converted_frame(const Settings& s, int count, std::uint32_t frame_pick) {
    const int pick = s.gif_frame_loading == kFramesRandom ? random_frame(count, frame_pick) : 1;
    return select_frames(s.gif_frame_loading, count, pick).first;
}

Bitmap limit_icon_size(Bitmap in, const BatchPlan& plan) {
    if (!in || !has_quirk(plan.output_extension, kIconCanvas) ||
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

std::optional<Failure> exceeded_limit(const Settings& s, const LimitFacts& f) {
    if (s.max_frames > 0 && f.frames > s.max_frames) {
        return Failure{frames_text(f.frames) + " exceed the limit of " + frames_text(s.max_frames) +
                       " per file; raise --max-frames"};
    }
    if (f.width == 0 || f.height == 0) {
        return std::nullopt; // not sized yet
    }
    if (s.max_megapixels > 0 &&
        std::int64_t{f.width} * f.height > std::int64_t{s.max_megapixels} * 1'000'000) {
        return Failure{"a frame of " + size_of(f.width, f.height) + " exceeds the limit of " +
                       std::to_string(s.max_megapixels) + " megapixels; raise --max-megapixels"};
    }
    // Every output frame of a file has the size and depth of the first:
    // their sum is known before anything is written.
    if (s.max_output_mb > 0) {
        const std::int64_t bytes =
            f.frames * f.written_width * std::int64_t{f.written_height} * f.written_depth / 8;
        if (bytes > std::int64_t{s.max_output_mb} << 20) {
            return Failure{frames_text(f.frames) + " of " +
                           size_of(f.written_width, f.written_height) +
                           (f.frames == 1 ? " exceeds" : " exceed") + " the output limit of " +
                           size_text(s.max_output_mb) + " per file; raise --max-output-mb"};
        }
    }
    return std::nullopt;
}

std::optional<Failure> output_place_fault(const std::string& path, const std::string& made_folder) {
    const std::string folder = platform::folder_of(path);
    const std::string name = platform::file_name_of(path);
    // The nearest folder above the output that exists.
    std::string existing = folder;
    while (existing.size() > 1 && !platform::exists(existing)) {
        existing = platform::folder_of(std::string_view(existing).substr(0, existing.size() - 1));
    }
    auto why = [] { return std::string(std::strerror(errno)); };
    if (existing != folder) {
        if (platform::with_separator(made_folder) != folder) {
            return Failure{"the folder " + folder +
                           " does not exist (the filename mask may hold a \"/\")"};
        }
        if (!platform::is_folder(existing) || !platform::folder_is_writable(existing)) {
            return Failure{"the subfolder " + folder + " could not be made in " + existing + ": " +
                           (platform::is_folder(existing) ? why() : "not a folder")};
        }
    } else if (!platform::is_folder(folder)) {
        return Failure{folder + " is not a folder"};
    } else if (!platform::folder_is_writable(folder)) {
        return Failure{"the folder " + folder + " is not writable: " + why()};
    }
    if (const std::int64_t longest = platform::longest_name(existing);
        static_cast<std::int64_t>(name.size()) > longest) {
        return Failure{"the name " + name + " is longer than the file system takes (" +
                       std::to_string(longest) + " bytes)"};
    }
    return std::nullopt;
}

namespace {

// The drawing steps, in their order.
Bitmap draw_steps(Bitmap b, const Settings& s, const TokenSource& tokens,
                  const WatermarkFont* font) {
    const int width = tokens.frame.width;
    const int height = tokens.frame.height;
    b = flip(std::move(b), s);
    b = adjust_colours(std::move(b), s);
    b = greyscale(std::move(b), s);
    b = threshold(std::move(b), s);
    b = dither(std::move(b), s);
    b = draw_frame(std::move(b), s, width, height);
    return draw_watermark(std::move(b), s, tokens, width, height, font);
}

// What is known of frame `index` of `source` once it is loaded at
// `source_depth`, before any step.
FrameFacts loaded_facts(const BatchPlan& plan, FrameSource& source, int index, int source_depth) {
    FrameFacts facts;
    facts.frame_number = index + 1;
    facts.frame_total = source.frame_count();
    facts.source_depth = source_depth;
    facts.output_depth = target_depth(plan, facts.source_depth);
    facts.delay_ms = source.delay_ms(index);
    facts.plays = plays_of_loop_count(source.loop_count());
    return facts;
}

// The output keeps no alpha: transparent areas show the chosen background,
// not the colour their pixels happen to hold. Done first, so rotation and
// the decorations work on what is seen.
Bitmap flatten_for_output(Bitmap b, const Settings& s, const BatchPlan& plan,
                          const FrameFacts& facts) {
    if (facts.output_depth != 32 && !plan.dry_run) {
        return lay_over(std::move(b), parse_colour(s.transparency_background));
    }
    return b;
}

// Rotation, resize and the icon size limit: the steps that give the frame
// the size the name tokens and the watermark read.
Bitmap size_frame(Bitmap b, const Settings& s, const BatchPlan& plan) {
    b = rotate(std::move(b), s);
    b = resize(std::move(b), s);
    return limit_icon_size(std::move(b), plan);
}

// The icon fit and the depth conversion after the drawing steps; the facts
// learn the size and depth written.
Bitmap finish_frame(Bitmap b, const BatchPlan& plan, FrameFacts& facts) {
    b = fit_icon(std::move(b), plan);
    if (b) {
        // An icon centred on a square canvas reports the size written.
        facts.width = width_of(b);
        facts.height = height_of(b);
    }
    if (!plan.dry_run) {
        b = convert_depth(std::move(b), plan, facts);
    }
    return b;
}

// Whether every frame of the file is written under a numbered name.
bool numbers_frames(const Settings& s, int count) {
    return s.gif_frame_loading == kFramesAll && count > 1;
}

// The output name of frame `index`.
std::string frame_output_path(const Settings& s, const BatchPlan& plan, const TokenSource& tokens,
                              bool numbered, int index) {
    std::string path = output_path(s, tokens);
    if (numbered && !mask_numbers_frames(s)) {
        path = with_frame_number(path, plan.output_extension, index + 1);
    }
    return path;
}

// Whether two pictures after every step are the same: size, depth and
// every byte of every row.
bool same_picture(FIBITMAP* a, FIBITMAP* b) {
    if (!a || !b || FreeImage_GetWidth(a) != FreeImage_GetWidth(b) ||
        FreeImage_GetHeight(a) != FreeImage_GetHeight(b) ||
        FreeImage_GetBPP(a) != FreeImage_GetBPP(b) ||
        FreeImage_GetImageType(a) != FreeImage_GetImageType(b)) {
        return false;
    }
    const std::size_t row = (std::size_t{FreeImage_GetWidth(a)} * FreeImage_GetBPP(a) + 7) / 8;
    for (unsigned y = 0; y < FreeImage_GetHeight(a); ++y) {
        if (std::memcmp(FreeImage_GetScanLine(a, static_cast<int>(y)),
                        FreeImage_GetScanLine(b, static_cast<int>(y)), row) != 0) {
            return false;
        }
    }
    if (FreeImage_GetBPP(a) <= 8) {
        const unsigned colours = FreeImage_GetColorsUsed(a);
        return colours == FreeImage_GetColorsUsed(b) &&
               std::memcmp(FreeImage_GetPalette(a), FreeImage_GetPalette(b),
                           colours * sizeof(RGBQUAD)) == 0;
    }
    return true;
}

// The frames of one file as one animated output: each frame through every
// step up to the watermark (alpha kept), then into the format's encoder.
// One frame waits before it goes in, so a repeat of it (after every step)
// can add its time instead when duplicates are dropped.
FileOutcome convert_animated(const Settings& s, const BatchPlan& plan, const FileTask& task,
                             FrameSource& source, const WatermarkFont* font, FrameRange range) {
    FileOutcome outcome;
    const std::int64_t started = platform::elapsed_ms();
    const int count = source.frame_count();
    const std::int64_t frames = range.last - range.first + 1;
    auto fail = [&](Failure failure) {
        if (failure.reason.empty()) {
            failure.reason = "the file could not be converted";
        }
        outcome.failure = std::move(failure);
        return outcome;
    };
    if (auto exceeded = exceeded_limit(s, {frames})) {
        return fail(std::move(*exceeded));
    }
    const int depth = plan.output_extension == "gif" ? 8 : 32;
    AnimationOutput output(s, plan);
    FrameResult result;
    result.frame = range.first + 1;
    result.frames = 0;
    Bitmap held;
    int held_delay = 0;
    bool begun = false;
    for (int index = range.first; index <= range.last; ++index) {
        Bitmap b = index == range.last ? source.take_frame(index) : source.frame(index);
        if (width_of(b) == 0 || height_of(b) == 0) {
            continue; // an undecodable page is left out
        }
        FrameFacts facts;
        facts.frame_number = index + 1;
        facts.frame_total = count;
        facts.source_depth = bpp_of(b);
        facts.output_depth = depth;
        facts.delay_ms = source.delay_ms(index);
        facts.plays = plays_of_loop_count(source.loop_count());
        b = rotate(std::move(b), s);
        b = resize(std::move(b), s);
        facts.width = width_of(b);
        facts.height = height_of(b);
        const TokenSource tokens{plan, task, facts};
        if (!begun) {
            begun = true;
            if (auto exceeded = exceeded_limit(
                    s, {frames, facts.width, facts.height, facts.width, facts.height, 32})) {
                return fail(std::move(*exceeded));
            }
            result.output_path = output_path(s, tokens);
            if (plan.dry_run) {
                // Named only: the frames it would hold, before any is dropped.
                result.frames = static_cast<std::int32_t>(frames);
                result.status = FrameStatus::Pending;
                result.ms = platform::elapsed_ms() - started;
                outcome.frame_results.push_back(std::move(result));
                return outcome;
            }
            AnimationInfo info;
            info.width = facts.width;
            info.height = facts.height;
            info.plays = facts.plays;
            if (auto failed = output.begin(result.output_path, info)) {
                return fail(std::move(*failed));
            }
        }
        b = draw_steps(std::move(b), s, tokens, font);
        if (!b) {
            return fail({"a frame could not be drawn"});
        }
        if (held && s.drop_duplicate_frames && same_picture(held.get(), b.get())) {
            held_delay += facts.delay_ms;
            ++outcome.dropped_frames;
            continue;
        }
        if (held && !output.add(held, held_delay)) {
            break;
        }
        if (held) {
            ++result.frames;
        }
        held = std::move(b);
        held_delay = facts.delay_ms;
    }
    if (!begun) {
        return fail({"no frame could be decoded"});
    }
    if (held && output.add(held, held_delay)) {
        ++result.frames;
    }
    held.reset();
    SaveReport report = output.finish();
    result.output_path = report.output_path;
    result.status = report.status;
    result.ms = platform::elapsed_ms() - started;
    if (report.failure) {
        result.status = FrameStatus::Failed;
        result.reason = report.failure->reason;
        outcome.frame_results.push_back(std::move(result));
        return fail(std::move(*report.failure));
    }
    if (report.status == FrameStatus::Pending) {
        outcome.pending_outputs.push_back({report.temporary_path, report.output_path});
    }
    outcome.frame_results.push_back(std::move(result));
    return outcome;
}

// --- the frames of one file ---------------------------------------------------

// What is constant for the frames of one file.
struct FileJob {
    const Settings& s;
    const BatchPlan& plan; // the run's
    BatchPlan saving;      // the run's, every frame left under its temporary name
    const FileTask& task;
    const WatermarkFont* font;
    std::int64_t frames; // the frames chosen
    bool numbered;       // every frame written under a numbered name
    bool drop_repeats;
};

// A frame as loaded, with what is known of it before any step.
struct LoadedFrame {
    Bitmap picture;
    FrameFacts facts;
    std::int64_t load_ms = 0;
};

LoadedFrame load_frame(const FileJob& job, FrameSource& source, int index, bool last) {
    const std::int64_t started = platform::elapsed_ms();
    LoadedFrame f;
    // The last frame needed is the source's own picture, handed over uncopied.
    f.picture = last ? source.take_frame(index) : source.frame(index);
    f.facts = loaded_facts(job.plan, source, index, bpp_of(f.picture));
    f.load_ms = platform::elapsed_ms() - started;
    return f;
}

// The picture each frame is compared with when repeats are dropped: the
// last frame before it with a picture after the drawing steps. (A frame
// left out equals the one kept before it, so comparing with it decides
// alike.) Frames published out of order wait for the one before them.
class Repeats {
  public:
    using Picture = std::shared_ptr<const Bitmap>;

    explicit Repeats(int first) : m_first(first) {}

    // What frame `index` is compared with (null: nothing).
    Picture before(int index) {
        if (index == m_first) {
            return nullptr;
        }
        std::unique_lock guard(m_lock);
        m_changed.wait(guard, [&] { return m_published.count(index - 1) > 0; });
        auto at = m_published.find(index - 1);
        Picture p = std::move(at->second);
        m_published.erase(at);
        return p;
    }
    // Frame `index` has this picture after the drawing steps.
    void publish(int index, Picture picture) {
        {
            std::lock_guard guard(m_lock);
            m_published[index] = std::move(picture);
        }
        m_changed.notify_all();
    }
    // Frame `index` has none: the one before it stays the one to compare with.
    void pass_on(int index) { publish(index, before(index)); }

  private:
    int m_first;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::map<int, Picture> m_published;
};

// What became of one frame, taken into the file's outcome in frame order.
struct FrameWork {
    FrameResult result;
    std::optional<SaveReport> report; // the save's, when the frame reached it
    bool sized = false;               // it was decoded and sized
    std::int64_t sized_bytes = 0;     // the bytes of its picture once sized
    bool dropped = false;             // it repeated the frame before it
    bool saved = false;               // it counts as written (a dry run, an output up to date)
    std::optional<Failure> failure;   // why it cannot be written (dry run)
    std::optional<Failure> limit;     // the file exceeds a limit: nothing is written
};

// Frame `index` from its load to its save. `check_limits` for the first
// frame that sizes the file.
FrameWork work_frame(const FileJob& job, int index, LoadedFrame loaded, Repeats& repeats,
                     bool check_limits) {
    const std::int64_t started = platform::elapsed_ms() - loaded.load_ms;
    const Settings& s = job.s;
    const BatchPlan& plan = job.plan;
    FrameWork w;
    w.result.frame = index + 1;
    auto finish = [&](FrameStatus status, std::string path = {}, std::string reason = {}) {
        w.result.status = status;
        w.result.output_path = std::move(path);
        w.result.reason = std::move(reason);
        w.result.ms = platform::elapsed_ms() - started;
        return std::move(w);
    };
    bool published = false;
    auto pass_on = [&] {
        if (job.drop_repeats && !published) {
            published = true;
            repeats.pass_on(index);
        }
    };
    try {
        FrameFacts facts = loaded.facts;
        Bitmap b = flatten_for_output(std::move(loaded.picture), s, plan, facts);
        if (width_of(b) == 0 || height_of(b) == 0) {
            // An undecodable page has no name.
            pass_on();
            return finish(FrameStatus::Failed, {}, "the frame could not be decoded");
        }
        b = size_frame(std::move(b), s, plan);
        w.sized = true;
        w.sized_bytes = std::int64_t{FreeImage_GetPitch(b.get())} * FreeImage_GetHeight(b.get());
        // The size the watermark text reports: after resize and the icon
        // limit. The frame and watermark draw inside the image.
        facts.width = width_of(b);
        facts.height = height_of(b);
        if (check_limits) {
            const PictureSize written = fitted_icon_size(plan, facts.width, facts.height);
            if (auto exceeded =
                    exceeded_limit(s, {job.frames, facts.width, facts.height, written.width,
                                       written.height, facts.output_depth})) {
                w.limit = std::move(exceeded);
                return w;
            }
        }
        const TokenSource tokens{plan, job.task, facts};
        if (!plan.dry_run) {
            b = draw_steps(std::move(b), s, tokens, job.font);
        }
        if (job.drop_repeats) {
            if (!b) {
                pass_on();
            } else {
                const Repeats::Picture before = repeats.before(index);
                published = true;
                const bool repeat = before && same_picture(before->get(), b.get());
                repeats.publish(index, repeat ? before
                                              : std::make_shared<const Bitmap>(
                                                    adopt(FreeImage_Clone(b.get()))));
                if (repeat) {
                    w.dropped = true;
                    return w;
                }
            }
        }
        b = finish_frame(std::move(b), plan, facts);
        std::string path = frame_output_path(s, plan, tokens, job.numbered, index);
        if (plan.dry_run) {
            const std::string made =
                plan.output_folder + (s.keep_subfolders == 1 ? job.task.relative_subfolder : "");
            if (auto fault = output_place_fault(path, made)) {
                w.failure = fault;
                return finish(FrameStatus::Failed, std::move(path), fault->reason);
            }
            w.saved = true;
            return finish(FrameStatus::Pending, std::move(path));
        }
        if (s.overwrite == kOverwriteNewer && output_is_current(path, job.task.input_path)) {
            w.saved = true;
            return finish(FrameStatus::Skipped, std::move(path));
        }
        w.report = save_frame(b, s, job.saving, path);
        return finish(w.report->status, w.report->output_path);
    } catch (...) {
        // The frames after this one must not wait for it.
        if (job.drop_repeats && !published) {
            repeats.publish(index, nullptr);
        }
        throw;
    }
}

// The file's outcome as its frames are taken in, in frame order.
class FileTally {
  public:
    explicit FileTally(const FileJob& job) : m_job(job) {}

    // False when the file stops at this frame.
    bool take(FrameWork w) {
        if (w.limit) {
            m_outcome.failure = std::move(w.limit);
            return false;
        }
        if (w.dropped) {
            ++m_outcome.dropped_frames;
            return true;
        }
        if (!w.report) {
            m_saved = m_saved || w.saved;
            if (w.failure) {
                m_save_failure = std::move(w.failure);
            }
            m_outcome.frame_results.push_back(std::move(w.result));
            return true;
        }
        SaveReport report = std::move(*w.report);
        if (!m_job.plan.defer_outputs) {
            report = place_saved(std::move(report), m_job.s.overwrite);
        }
        FrameResult& result = m_outcome.frame_results.emplace_back(std::move(w.result));
        result.status = report.status;
        result.output_path = report.output_path;
        if (!report.failure) {
            m_saved = true;
            if (report.status == FrameStatus::Pending) {
                m_outcome.pending_outputs.push_back({report.temporary_path, report.output_path});
            }
            return true;
        }
        result.status = FrameStatus::Failed;
        result.reason = report.failure->reason;
        if (report.abort || report.failure->out_of_space) {
            // Every later frame would fail the same way.
            m_outcome.failure = std::move(report.failure);
            return false;
        }
        m_save_failure = std::move(report.failure);
        return true;
    }

    FileOutcome outcome() && {
        if (!m_outcome.failure) {
            if (m_save_failure) {
                m_outcome.failure = std::move(m_save_failure);
            } else if (!m_saved) {
                m_outcome.failure = Failure{"no frame could be decoded"};
            }
        }
        if (m_outcome.failure && m_outcome.failure->reason.empty()) {
            m_outcome.failure->reason = "the file could not be converted";
        }
        return std::move(m_outcome);
    }

  private:
    const FileJob& m_job;
    FileOutcome m_outcome;
    bool m_saved = false;
    std::optional<Failure> m_save_failure;
};

// A frame worked after the file stopped: what it saved goes.
void discard_work(FrameWork w) {
    if (w.report && w.report->status == FrameStatus::Pending) {
        platform::remove_file(w.report->temporary_path);
    }
}

} // namespace

FileOutcome convert_file(const Settings& s, const BatchPlan& plan, const FileTask& task,
                         FrameSource& source, const WatermarkFont* font, const CoreCount& cores) {
    const int count = source.frame_count();
    const FrameRange range = select_frames(
        s.gif_frame_loading, count,
        s.gif_frame_loading == kFramesRandom ? random_frame(count, task.frame_pick) : 1);
    const bool numbered = numbers_frames(s, count);
    if (s.animated_output && numbered && has_quirk(plan.output_extension, kAnimates)) {
        return convert_animated(s, plan, task, source, font, range);
    }
    FileJob job{s,        plan,
                plan,     task,
                font,     range.last - range.first + 1,
                numbered, s.drop_duplicate_frames && !plan.dry_run};
    job.saving.defer_outputs = true;
    FileTally tally(job);
    if (auto exceeded = exceeded_limit(s, {job.frames})) {
        FileOutcome outcome;
        outcome.failure = std::move(exceeded);
        return outcome;
    }
    Repeats repeats(range.first);
    // Up to the first frame that can be sized (the limits are checked on
    // it), one at a time; the rest on as many cores as the run lends.
    int index = range.first;
    std::int64_t frame_bytes = 0;
    for (bool sized = false; !sized && index <= range.last; ++index) {
        FrameWork w = work_frame(job, index, load_frame(job, source, index, index == range.last),
                                 repeats, true);
        sized = w.sized;
        frame_bytes = w.sized_bytes;
        if (!tally.take(std::move(w))) {
            return std::move(tally).outcome();
        }
    }
    if (index <= range.last) {
        OrderedLanes<LoadedFrame, FrameWork>::Stages stages;
        stages.load = [&](int i) { return load_frame(job, source, i, i == range.last); };
        stages.work = [&](int i, LoadedFrame f) {
            return work_frame(job, i, std::move(f), repeats, false);
        };
        stages.commit = [&](int, FrameWork w) { return tally.take(std::move(w)); };
        stages.discard = discard_work;
        if (cores && !plan.dry_run) {
            // Each lane holds about three frames (one loaded ahead, one
            // worked, its copies): large frames get fewer lanes, so a file
            // never needs much more memory than on one core.
            const auto fit = static_cast<int>(std::clamp<std::int64_t>(
                kLaneMemory / std::max<std::int64_t>(3 * frame_bytes, 1), 1, 1024));
            stages.lanes = [&cores, fit] { return std::min(cores(), fit); };
        }
        OrderedLanes<LoadedFrame, FrameWork>::run(index, range.last, stages);
    }
    return std::move(tally).outcome();
}

ConvertedFrame convert_frame(const Settings& s, const BatchPlan& plan, const FileTask& task,
                             FrameSource& source, int index, const WatermarkFont* font,
                             Bitmap loaded) {
    ConvertedFrame out;
    const int count = source.frame_count();
    const bool numbered = numbers_frames(s, count);
    out.animated = s.animated_output && numbered && has_quirk(plan.output_extension, kAnimates);
    Bitmap b = loaded ? std::move(loaded) : source.frame(index);
    out.facts = loaded_facts(plan, source, index, bpp_of(b));
    if (out.animated) {
        // As convert_animated takes each frame.
        out.facts.output_depth = plan.output_extension == "gif" ? 8 : 32;
        b = rotate(std::move(b), s);
        b = resize(std::move(b), s);
    } else {
        b = flatten_for_output(std::move(b), s, plan, out.facts);
        if (width_of(b) == 0 || height_of(b) == 0) {
            out.failure = Failure{"the frame could not be decoded"};
            return out;
        }
        b = size_frame(std::move(b), s, plan);
    }
    out.facts.width = width_of(b);
    out.facts.height = height_of(b);
    if (out.facts.width == 0 || out.facts.height == 0) {
        out.failure = Failure{"the frame could not be decoded"};
        return out;
    }
    const TokenSource tokens{plan, task, out.facts};
    b = draw_steps(std::move(b), s, tokens, font);
    if (out.animated) {
        out.output_path = output_path(s, tokens);
    } else {
        b = finish_frame(std::move(b), plan, out.facts);
        out.output_path = frame_output_path(s, plan, tokens, numbered, index);
    }
    if (!b) {
        out.failure = Failure{"the frame could not be drawn"};
    }
    out.picture = std::move(b);
    return out;
}

FileOutcome convert_file(const Settings& s, const BatchPlan& plan, const FileTask& task,
                         const WatermarkFont* font, const CoreCount& cores) {
    auto opened = open_frames(task.input_path);
    if (auto* failure = std::get_if<Failure>(&opened)) {
        FileOutcome outcome;
        outcome.failure = std::move(*failure);
        if (outcome.failure->reason.empty()) {
            outcome.failure->reason = "the file could not be read";
        }
        return outcome;
    }
    return convert_file(s, plan, task, *std::get<std::unique_ptr<FrameSource>>(opened), font,
                        cores);
}

} // namespace pixlane
