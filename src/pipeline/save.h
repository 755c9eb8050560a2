// The end of the conversion job: icons made writable, depth conversion and
// saving through the format's writer, and the per-batch values a front end
// computes from the output format (save type, depth, flags).
//
// The job calls, per frame: ... watermark, fit_icon, convert_depth, then
// stores width and height read from the bitmap (so %width% and %height%
// report the picture written, an icon's canvas included), builds the output
// path and calls save_frame.
//
// Writers by output extension:
//   psd, dds, pcx      DevIL from BGR/BGRA rows (dds with its mipmap chain)
//   bmp, 8-bit, EXACT  the exact colour table writer (palette cut to the
//                      indices used)
//   jxr                jxrlib, lossless
//   pfm                our own writer (rows bottom to top, as the format has
//                      them; FreeImage writes them the other way round)
//   png                our own writer on libpng (the colour types and bytes
//                      of FreeImage's, no row filters at compression level
//                      0, no alpha scan of frames known opaque); with
//                      `PNG Palette` EXACT and automatic depth, a frame of at
//                      most 256 colours as a palette image
//   everything else    FreeImage's writer with the batch's save flags
// Every writer writes a temporary file in the output folder through one
// checked file (platform::OutputFile: libraries get our write functions,
// never a path); it is renamed over the output path only after the encoder
// succeeded and every write, the flush, the sync (Settings::sync) and the close did, so a
// failed save (a full disk, say) leaves an earlier file of that name
// untouched and no temporary file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "formats/catalogue.h"
#include "pipeline/animation.h"
#include "pipeline/bitmap.h"
#include "records/records.h"
#include "settings/colour.h"
#include "settings/settings.h"

namespace pixlane {

// Smallest icon side FreeImage's icon writer takes.
inline constexpr int kSmallestIcon = 16;

// For ico output: an icon the writer would refuse (not square, or smaller
// than 16) is centred on a fully transparent 32-bit square canvas of side
// max(width, height, 16). Other formats, and icons the writer takes: input.
Bitmap fit_icon(Bitmap in, const BatchPlan& plan);

// The width and height fit_icon gives a `width` × `height` picture.
struct PictureSize {
    int width = 0;
    int height = 0;
};
PictureSize fitted_icon_size(const BatchPlan& plan, int width, int height);

// Brings the bitmap to the output depth. With automatic depth (the flag set,
// or an output depth of 0) the depth is first chosen from the format's list
// by job.source_depth (the bitmap's own depth when that is 0) and stored in
// job.output_depth.
//   96, 48, 32, 24  RGBF, RGB16, 32-bit, 24-bit
//   16              5-5-5 for ico and tga, 5-6-5 otherwise
//   8               grey for j2k, jp2, jpg, jxr and pgm; otherwise a
//                   Wu-quantised 256-colour palette from 24 bits
//   4               FreeImage's 4-bit conversion
//   1               Floyd-Steinberg dither
//   other           no bitmap (the save then fails)
// A bitmap already in the target form is returned as it is.
Bitmap convert_depth(Bitmap in, const BatchPlan& plan, FrameFacts& frame);

// The depth convert_depth will give a frame loaded at `source_depth`.
int target_depth(const BatchPlan& plan, int source_depth);

// A 32-bit bitmap laid over an opaque `colour` (24 bits), for outputs that
// cannot keep its alpha; any other bitmap as it is.
Bitmap lay_over(Bitmap in, Rgb colour);

// The overwrite policies of Settings::overwrite.
inline constexpr int kOverwriteReplace = 0;
inline constexpr int kOverwriteSkip = 1;
inline constexpr int kOverwriteRename = 2;
inline constexpr int kOverwriteNewer = 3; // replaced unless it is as new as its input

// True when the file `output` exists and was modified no earlier (to the
// second) than `input`: with kOverwriteNewer it is left alone, as make
// leaves a target that is up to date.
bool output_is_current(const std::string& output, const std::string& input);

enum class Placement { Written, Skipped, Failed };

// Gives a complete temporary file its output name under the overwrite
// policy: replaced, left alone (the temporary file is removed; Skipped), or
// the first free "name (2).ext", "name (3).ext", … (`output_path` becomes
// the name written). Under kOverwriteNewer an output as new as `input`
// (given) is left alone. Failed keeps errno.
Placement place_output(const std::string& temporary, std::string& output_path, int overwrite,
                       const std::string& input = {});

// Removes the temporary files that runs no longer going left in `folder`
// (not its subfolders): plain files whose name carries another run's mark
// (temporary_name) when that run's process is gone. Returns how many.
int remove_leftover_temporaries(const std::string& folder);

// Forgets the numbers place_output gave under "rename" (a run starts with
// what is on the disk).
void forget_output_numbers();

// `path` with " (n)" before the extension of its file name.
std::string numbered_name(const std::string& path, int n);

// What the save did with a frame.
struct SaveReport {
    // Converted: under output_path (which the overwrite policy may have
    // numbered); Skipped: the name existed and was left alone; Pending:
    // complete under temporary_path (BatchPlan::defer_outputs); Failed:
    // `failure` says why.
    FrameStatus status = FrameStatus::Failed;
    std::string output_path;
    std::string temporary_path;
    std::optional<Failure> failure;
    // The file must stop at once (no memory for the writer's buffer).
    bool abort = false;
};

// Writes the bitmap to `output_path` with the batch's save type and flags,
// through a temporary name (ASCII, in the folder of the output path).
// Fails, writing nothing, when the bitmap's depth is not one the format
// allows (so no writer ever sees a depth it cannot take). With
// plan.defer_outputs the frame stays under its temporary name.
SaveReport save_frame(const Bitmap& bitmap, const Settings& s, const BatchPlan& plan,
                      const std::string& output_path);

// A frame save_frame left Pending (plan.defer_outputs) placed under its
// output name as save_frame places it without deferring: Converted, Skipped
// or Failed (the temporary file removed). Any other report as it is.
SaveReport place_saved(SaveReport report, int overwrite);

// The bytes save_frame would write for the bitmap, made by the same writer
// into memory: nothing touches the disk. Why not, when the save would fail
// before or in the writer.
std::variant<std::string, Failure> encode_frame(const Bitmap& bitmap, const Settings& s,
                                                const BatchPlan& plan);

// One animated output (gif, webp or png): the frames stream into the
// format's encoder, which writes a temporary file in the output's folder;
// finish() places it under the output name as save_frame places a frame,
// and a file given up (an encoder that failed, a file that stopped, the
// object leaving scope unfinished) leaves nothing behind.
class AnimationOutput {
  public:
    AnimationOutput(const Settings& s, const BatchPlan& plan);
    ~AnimationOutput();
    AnimationOutput(const AnimationOutput&) = delete;
    AnimationOutput& operator=(const AnimationOutput&) = delete;

    // Opens the temporary file and the encoder for frames of info's size;
    // why not, when that fails.
    std::optional<Failure> begin(const std::string& output_path, const AnimationInfo& info);
    // The next frame (any depth FreeImage can take to 32 bits), shown for
    // `delay_ms`. False when the file failed; finish() then says why.
    bool add(const Bitmap& frame, int delay_ms);
    // Completes and places the file: Converted, Skipped (overwrite policy),
    // Pending (plan.defer_outputs) or Failed.
    SaveReport finish();

  private:
    void discard();

    const Settings& m_settings;
    const BatchPlan& m_plan;
    std::string m_output_path;
    std::string m_temporary;
    platform::OutputFile m_file;
    std::unique_ptr<AnimationEncoder> m_encoder;
    std::optional<Failure> m_failure;
};

// Receives the path of every temporary file just before it is created (the
// worker process tells its supervisor, which removes what a crash leaves).
void set_temporary_file_observer(std::function<void(const std::string& path)> observer);
void announce_temporary_file(const std::string& path);

// The writer save_frame uses for an output extension and depth.
SaveRoute save_route(std::string_view ext, int depth, const Settings& s);

// The save flag word of the output format from the settings record (0 for
// formats without options and unknown extensions).
int save_flags(std::string_view ext, const Settings& s);

// The format's bits-per-pixel setting (`BMP BPP` ... `XPM BPP`); 0 means
// automatic. 0 for an unknown extension.
int depth_setting(std::string_view ext, const Settings& s);

// Sets the format fields of the plan for output extension `ext` (lower
// case): output extension, save type, output depth, save flags and
// automatic depth. False, and the plan unchanged, for an extension that is
// not an output format.
bool set_batch_output(BatchPlan& plan, std::string_view ext, const Settings& s);

} // namespace pixlane
