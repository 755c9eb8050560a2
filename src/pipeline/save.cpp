#include "pipeline/save.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "formats/catalogue.h"
#include "naming/mask.h"
#include "pipeline/opacity.h"
#include "pipeline/writers.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "settings/keys.h"
#include "util/strings.h"

namespace pixlane {
namespace {

// Output formats whose 8-bit form is grey rather than a palette.
bool grey_at_8(std::string_view ext) { return has_quirk(ext, kGreyAt8); }

bool five_five_five(std::string_view ext) { return has_quirk(ext, kRgb555At16); }

FREE_IMAGE_TYPE type_for(int depth) {
    return depth == 96 ? FIT_RGBF : depth == 48 ? FIT_RGB16 : FIT_BITMAP;
}

// True when the bitmap already has the form convert_depth would give it.
bool in_target_form(FIBITMAP* dib, int target, std::string_view ext) {
    if (static_cast<int>(FreeImage_GetBPP(dib)) != target ||
        FreeImage_GetImageType(dib) != type_for(target)) {
        return false;
    }
    if (target == 16) {
        const bool is_565 = FreeImage_GetGreenMask(dib) == FI16_565_GREEN_MASK;
        return is_565 != five_five_five(ext);
    }
    if (target == 8 && grey_at_8(ext)) {
        return FreeImage_GetColorType(dib) == FIC_MINISBLACK;
    }
    return true;
}

// The bitmap converted to 24 bits when it is deeper than 32 bits.
Bitmap at_most_32(Bitmap in) {
    if (!in || bpp_of(in) <= 32) {
        return in;
    }
    return adopt(FreeImage_ConvertTo24Bits(in.get()));
}

Bitmap to_8_bits(Bitmap in, std::string_view ext) {
    if (grey_at_8(ext)) {
        in = at_most_32(std::move(in));
        if (!in) {
            return in;
        }
        // FreeImage_ConvertTo8Bits keeps the colours of a palette image
        // (1, 4 or 8 bits); greyscale maps them to grey levels.
        return adopt(bpp_of(in) <= 8 ? FreeImage_ConvertToGreyscale(in.get())
                                     : FreeImage_ConvertTo8Bits(in.get()));
    }
    if (bpp_of(in) != 24) {
        in = adopt(FreeImage_ConvertTo24Bits(in.get()));
        if (!in) {
            return in;
        }
    }
    return adopt(FreeImage_ColorQuantizeEx(in.get(), FIQ_WUQUANT, 256, 0, nullptr));
}

// --- temporary files ---------------------------------------------------------

// A name of ASCII letters in the folder of `output_path` that no file has.
std::string unused_temporary_path(const std::string& output_path, std::string_view ext) {
    const std::string folder = platform::folder_of(output_path);
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string path = folder + temporary_name(ext);
        if (!platform::exists(path)) {
            return path;
        }
    }
    return {};
}

// --- routing ---------------------------------------------------------------------

// True when the bitmap's depth and pixel type are ones the format allows:
// no writer is handed anything else (FreeImage's WebP writer, for one,
// crashes on a depth other than 24 and 32).
bool fits_format(FIBITMAP* dib, std::string_view ext) {
    const int bpp = static_cast<int>(FreeImage_GetBPP(dib));
    return depth_allowed(ext, bpp) && FreeImage_GetImageType(dib) == type_for(bpp) &&
           FreeImage_GetWidth(dib) > 0 && FreeImage_GetHeight(dib) > 0;
}

} // namespace

PictureSize fitted_icon_size(const BatchPlan& plan, int width, int height) {
    if (!has_quirk(plan.output_extension, kIconCanvas) ||
        (width == height && width >= kSmallestIcon)) {
        return {width, height};
    }
    const int side = std::max({width, height, kSmallestIcon});
    return {side, side};
}

Bitmap fit_icon(Bitmap in, const BatchPlan& plan) {
    if (!in) {
        return in;
    }
    const int width = width_of(in);
    const int height = height_of(in);
    const PictureSize fitted = fitted_icon_size(plan, width, height);
    if (fitted.width == width && fitted.height == height) {
        return in;
    }
    const int side = fitted.width;
    if (bpp_of(in) != 32 || FreeImage_GetImageType(in.get()) != FIT_BITMAP) {
        in = adopt(FreeImage_ConvertTo32Bits(at_most_32(std::move(in)).get()));
        if (!in) {
            return in;
        }
    }
    // A new bitmap is all zeros: black, fully transparent.
    Bitmap canvas = adopt(FreeImage_Allocate(side, side, 32, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                             FI_RGBA_BLUE_MASK));
    if (!canvas ||
        !FreeImage_Paste(canvas.get(), in.get(), (side - width) / 2, (side - height) / 2, 256)) {
        return Bitmap{};
    }
    return canvas;
}

int target_depth(const BatchPlan& plan, int source_depth) {
    return plan.automatic_depth || plan.output_depth == 0
               ? automatic_depth(plan.output_extension, source_depth)
               : plan.output_depth;
}

Bitmap lay_over(Bitmap in, Rgb colour) {
    if (!in || bpp_of(in) != 32 || FreeImage_GetImageType(in.get()) != FIT_BITMAP) {
        return in;
    }
    if (!FreeImage_HasPixels(in.get())) {
        return Bitmap{};
    }
    // The blend of the library's compositing (its rounding included), done
    // in the pass that drops alpha; a frame known to be opaque is only copied.
    const int width = width_of(in);
    const int height = height_of(in);
    Bitmap out = adopt(FreeImage_Allocate(width, height, 24, FI_RGBA_RED_MASK, FI_RGBA_GREEN_MASK,
                                          FI_RGBA_BLUE_MASK));
    if (!out) {
        return out;
    }
    const bool opaque = known_opacity(in.get()) == Opacity::Opaque;
    const unsigned under[3] = {colour.b, colour.g, colour.r};
    static_assert(FI_RGBA_BLUE == 0 && FI_RGBA_GREEN == 1 && FI_RGBA_RED == 2);
    for (int y = 0; y < height; ++y) {
        const BYTE* from = FreeImage_GetScanLine(in.get(), y);
        BYTE* to = FreeImage_GetScanLine(out.get(), y);
        if (opaque) {
            for (int x = 0; x < width; ++x, from += 4, to += 3) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
            }
            continue;
        }
        for (int x = 0; x < width; ++x, from += 4, to += 3) {
            const unsigned alpha = from[FI_RGBA_ALPHA];
            if (alpha == 255) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
            } else if (alpha == 0) {
                to[0] = static_cast<BYTE>(under[0]);
                to[1] = static_cast<BYTE>(under[1]);
                to[2] = static_cast<BYTE>(under[2]);
            } else {
                for (int c = 0; c < 3; ++c) {
                    to[c] = static_cast<BYTE>((alpha * from[c] + (255 - alpha) * under[c]) >> 8);
                }
            }
        }
    }
    FreeImage_CloneMetadata(out.get(), in.get());
    return out;
}

Bitmap convert_depth(Bitmap in, const BatchPlan& plan, FrameFacts& frame) {
    if (!in) {
        return in;
    }
    const std::string& ext = plan.output_extension;
    const int target = target_depth(plan, frame.source_depth > 0 ? frame.source_depth : bpp_of(in));
    frame.output_depth = target;
    if (in_target_form(in.get(), target, ext)) {
        return in;
    }
    switch (target) {
    case 96: return adopt(FreeImage_ConvertToRGBF(in.get()));
    case 48: return adopt(FreeImage_ConvertToRGB16(in.get()));
    case 32: {
        // Alpha comes only from a palette's transparency table or an alpha
        // channel; every other source gives alpha 255 (whatever the
        // metadata copied along says).
        const FREE_IMAGE_TYPE type = FreeImage_GetImageType(in.get());
        const bool has_alpha = (bpp_of(in) <= 8 && FreeImage_IsTransparent(in.get())) ||
                               type == FIT_RGBA16 || type == FIT_RGBAF;
        Bitmap out = adopt(FreeImage_ConvertTo32Bits(in.get()));
        set_opacity(out.get(), has_alpha ? Opacity::Unknown : Opacity::Opaque);
        return out;
    }
    case 24: return adopt(FreeImage_ConvertTo24Bits(in.get()));
    case 16:
        in = at_most_32(std::move(in));
        if (!in) {
            return in;
        }
        return adopt(five_five_five(ext) ? FreeImage_ConvertTo16Bits555(in.get())
                                         : FreeImage_ConvertTo16Bits565(in.get()));
    case 8: return to_8_bits(std::move(in), ext);
    case 4: return adopt(FreeImage_ConvertTo4Bits(in.get()));
    case 1: return adopt(FreeImage_Dither(in.get(), FID_FS));
    default: return Bitmap{};
    }
}

SaveRoute save_route(std::string_view ext, int depth, const Settings& s) {
    if (ext == "bmp" && depth == 8 && s.bmp_color_table == kColourTableExact) {
        return SaveRoute::ExactBmp;
    }
    const OutputFormat* format = output_entry(ext);
    return format ? format->route : SaveRoute::FreeImage;
}

namespace {
std::function<void(const std::string&)> g_temporary_observer;
} // namespace

void set_temporary_file_observer(std::function<void(const std::string& path)> observer) {
    g_temporary_observer = std::move(observer);
}

void announce_temporary_file(const std::string& path) {
    // Frames of one file may be saved on several threads; the observer
    // hears one at a time.
    static std::mutex announcing;
    if (g_temporary_observer) {
        std::lock_guard guard(announcing);
        g_temporary_observer(path);
    }
}

namespace {

// Why the bitmap cannot go to the plan's format at all; nothing when it can.
std::optional<std::string> unsaveable(const Bitmap& bitmap, const OutputFormat* format) {
    if (!bitmap || !format) {
        return "nothing to save";
    }
    if (!fits_format(bitmap.get(), format->extension)) {
        return "the picture's depth is not one of the format's";
    }
    return std::nullopt;
}

// The format's writer over an open file: the one path every frame takes to
// its bytes, on disk or in memory.
WriteResult write_with_format(const Bitmap& bitmap, const OutputFormat& format, const Settings& s,
                              const BatchPlan& plan, platform::OutputFile& file) {
    const SaveRoute route = save_route(format.extension, bpp_of(bitmap), s);
    return writer_for(route)({bitmap.get(), format, plan, s}, file);
}

} // namespace

SaveReport save_frame(const Bitmap& bitmap, const Settings& s, const BatchPlan& plan,
                      const std::string& output_path) {
    SaveReport report;
    report.output_path = output_path;
    auto failed = [&](std::string why, bool out_of_space = false) {
        report.status = FrameStatus::Failed;
        report.failure = Failure{std::move(why), out_of_space};
        return report;
    };
    const OutputFormat* format = output_entry(plan.output_extension);
    if (output_path.empty()) {
        return failed("nothing to save");
    }
    if (auto why = unsaveable(bitmap, format)) {
        return failed(std::move(*why));
    }
    const std::string temporary = unused_temporary_path(output_path, format->extension);
    if (temporary.empty()) {
        return failed("no free temporary name in " + platform::folder_of(output_path));
    }
    report.temporary_path = temporary;
    announce_temporary_file(temporary);
    platform::OutputFile file;
    const auto device_full = [](int error) { return error == ENOSPC || error == EDQUOT; };
    if (!file.create(temporary)) {
        const int error = file.error();
        return failed("cannot create " + temporary + ": " + std::strerror(error),
                      device_full(error));
    }
    // The output path is touched only by the rename of a complete file:
    // every write checked, flushed, synced and closed first.
    const WriteResult result = write_with_format(bitmap, *format, s, plan, file);
    const bool written = result == WriteResult::Written && file.finish(s.sync == kSyncFile);
    report.abort = result == WriteResult::OutOfMemory;
    if (file.error() != 0) {
        const int error = file.error();
        file = platform::OutputFile{}; // closed before it is removed
        platform::remove_file(temporary);
        return failed("cannot write " + temporary + ": " + std::strerror(error),
                      device_full(error));
    }
    if (!written) {
        file = platform::OutputFile{};
        platform::remove_file(temporary);
        return failed("the " + std::string(format->extension) + " writer failed");
    }
    report.status = FrameStatus::Pending;
    if (plan.defer_outputs) {
        return report;
    }
    file = platform::OutputFile{};
    return place_saved(std::move(report), s.overwrite);
}

SaveReport place_saved(SaveReport report, int overwrite) {
    if (report.status != FrameStatus::Pending) {
        return report;
    }
    const std::string& temporary = report.temporary_path;
    switch (place_output(temporary, report.output_path, overwrite)) {
    case Placement::Written: report.status = FrameStatus::Converted; break;
    case Placement::Skipped: report.status = FrameStatus::Skipped; break;
    case Placement::Failed: {
        const int error = errno;
        platform::remove_file(temporary);
        report.status = FrameStatus::Failed;
        report.failure = Failure{"cannot rename " + temporary + " to " + report.output_path + ": " +
                                 std::strerror(error)};
        break;
    }
    }
    return report;
}

std::variant<std::string, Failure> encode_frame(const Bitmap& bitmap, const Settings& s,
                                                const BatchPlan& plan) {
    const OutputFormat* format = output_entry(plan.output_extension);
    if (auto why = unsaveable(bitmap, format)) {
        return Failure{std::move(*why)};
    }
    platform::OutputFile file;
    file.create_in_memory();
    const WriteResult result = write_with_format(bitmap, *format, s, plan, file);
    if (result != WriteResult::Written || !file.finish()) {
        std::string why = "the ";
        why += format->extension;
        why += " writer failed";
        return Failure{std::move(why)};
    }
    return file.bytes();
}

AnimationOutput::AnimationOutput(const Settings& s, const BatchPlan& plan)
    : m_settings(s), m_plan(plan) {}

AnimationOutput::~AnimationOutput() { discard(); }

void AnimationOutput::discard() {
    m_encoder.reset();
    if (!m_temporary.empty()) {
        m_file = platform::OutputFile{}; // closed before it is removed
        platform::remove_file(m_temporary);
        m_temporary.clear();
    }
}

namespace {
bool device_full(int error) { return error == ENOSPC || error == EDQUOT; }
} // namespace

std::optional<Failure> AnimationOutput::begin(const std::string& output_path,
                                              const AnimationInfo& info) {
    m_output_path = output_path;
    const std::string& ext = m_plan.output_extension;
    if (!has_quirk(ext, kAnimates) || output_path.empty()) {
        return m_failure = Failure{"the " + ext + " writer cannot animate"};
    }
    const std::string temporary = unused_temporary_path(output_path, ext);
    if (temporary.empty()) {
        return m_failure = Failure{"no free temporary name in " + platform::folder_of(output_path)};
    }
    announce_temporary_file(temporary);
    if (!m_file.create(temporary)) {
        const int error = m_file.error();
        return m_failure = Failure{"cannot create " + temporary + ": " + std::strerror(error),
                                   device_full(error)};
    }
    m_temporary = temporary;
    if (ext == "gif") {
        m_encoder = gif_animation(m_file, info);
    } else if (ext == "webp") {
        m_encoder = webp_animation(m_file, info, m_settings.webp_quality);
    } else {
        m_encoder = png_animation(m_file, info, png_options(m_plan.save_flags));
    }
    return std::nullopt;
}

bool AnimationOutput::add(const Bitmap& frame, int delay_ms) {
    if (m_failure || !m_encoder) {
        return false;
    }
    Bitmap converted;
    FIBITMAP* dib = frame.get();
    if (dib && (FreeImage_GetImageType(dib) != FIT_BITMAP || FreeImage_GetBPP(dib) != 32)) {
        converted = adopt(FreeImage_ConvertTo32Bits(dib));
        dib = converted.get();
    }
    if (!dib) {
        m_failure = Failure{"a frame could not be brought to 32 bits"};
        return false;
    }
    AnimationFrame f;
    f.width = static_cast<int>(FreeImage_GetWidth(dib));
    f.height = static_cast<int>(FreeImage_GetHeight(dib));
    f.top_row = FreeImage_GetScanLine(dib, f.height - 1);
    f.stride = -static_cast<std::ptrdiff_t>(FreeImage_GetPitch(dib));
    if (m_encoder->add(f, delay_ms)) {
        return true;
    }
    const int error = m_file.error();
    m_failure = error != 0 ? Failure{"cannot write " + m_temporary + ": " + std::strerror(error),
                                     device_full(error)}
                           : Failure{"the " + m_plan.output_extension + " writer failed"};
    return false;
}

SaveReport AnimationOutput::finish() {
    SaveReport report;
    report.output_path = m_output_path;
    report.temporary_path = m_temporary;
    if (!m_failure && m_encoder) {
        const bool encoded = m_encoder->finish();
        m_encoder.reset();
        const int error = m_file.error();
        if (error != 0) {
            m_failure = Failure{"cannot write " + m_temporary + ": " + std::strerror(error),
                                device_full(error)};
        } else if (!encoded || !m_file.finish(m_settings.sync == kSyncFile)) {
            const int late = m_file.error();
            m_failure = late != 0
                            ? Failure{"cannot write " + m_temporary + ": " + std::strerror(late),
                                      device_full(late)}
                            : Failure{"the " + m_plan.output_extension + " writer failed"};
        }
    }
    if (m_failure || (!m_encoder && m_temporary.empty())) {
        if (!m_failure) {
            m_failure = Failure{"nothing to save"};
        }
        discard();
        report.status = FrameStatus::Failed;
        report.failure = m_failure;
        return report;
    }
    const std::string temporary = m_temporary;
    m_temporary.clear(); // complete: no longer ours to remove
    m_file = platform::OutputFile{};
    if (m_plan.defer_outputs) {
        report.status = FrameStatus::Pending;
        return report;
    }
    switch (place_output(temporary, report.output_path, m_settings.overwrite)) {
    case Placement::Written: report.status = FrameStatus::Converted; break;
    case Placement::Skipped: report.status = FrameStatus::Skipped; break;
    case Placement::Failed: {
        const int error = errno;
        platform::remove_file(temporary);
        report.status = FrameStatus::Failed;
        report.failure = Failure{"cannot rename " + temporary + " to " + report.output_path + ": " +
                                 std::strerror(error)};
        break;
    }
    }
    return report;
}

std::string numbered_name(const std::string& path, int n) {
    const std::size_t name = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= name) {
        dot = path.size();
    }
    return path.substr(0, dot) + " (" + std::to_string(n) + ")" + path.substr(dot);
}

int remove_leftover_temporaries(const std::string& folder) {
    const RunOwner self = run_owner();
    int removed = 0;
    for (const auto& entry : platform::list_folder(folder)) {
        if (entry.is_folder || entry.is_link) {
            continue;
        }
        const std::optional<RunOwner> owner = temporary_owner(entry.name);
        if (!owner || *owner == self ||
            platform::process_running(static_cast<pid_t>(owner->pid), owner->started)) {
            continue;
        }
        const std::string path = platform::join(folder, entry.name);
        if (platform::is_plain_file(path) && platform::remove_file(path)) {
            ++removed;
        }
    }
    return removed;
}

namespace {
std::mutex g_numbers_lock;
std::unordered_map<std::string, int> g_next_number; // per output name, for "rename"
} // namespace

void forget_output_numbers() {
    std::lock_guard guard(g_numbers_lock);
    g_next_number.clear();
}

bool output_is_current(const std::string& output, const std::string& input) {
    const auto made = platform::modification_time(output);
    const auto source = platform::modification_time(input);
    return made && source && *made >= *source;
}

Placement place_output(const std::string& temporary, std::string& output_path, int overwrite,
                       const std::string& input) {
    if (overwrite == kOverwriteNewer && !input.empty() && output_is_current(output_path, input)) {
        // An earlier file of this batch may have written it meanwhile.
        platform::remove_file(temporary);
        return Placement::Skipped;
    }
    // An output older than its input is replaced; a current one was left
    // alone before it was made.
    if (overwrite != kOverwriteReplace && overwrite != kOverwriteNewer &&
        platform::exists(output_path)) {
        if (overwrite == kOverwriteSkip) {
            platform::remove_file(temporary);
            return Placement::Skipped;
        }
        // The number after the last one given to this name starts the
        // search, so thousands of outputs of one name cost no more than one
        // look each; every candidate is still looked at on the disk.
        std::lock_guard guard(g_numbers_lock);
        int& next = g_next_number.try_emplace(output_path, 2).first->second;
        for (int n = next;; ++n) {
            std::string candidate = numbered_name(output_path, n);
            if (!platform::exists(candidate)) {
                next = n + 1;
                output_path = std::move(candidate);
                break;
            }
        }
    }
    return platform::rename_file(temporary, output_path) ? Placement::Written : Placement::Failed;
}

int save_flags(std::string_view ext, const Settings& s) {
    if (ext == "bmp") {
        return s.bmp_compression == 1 ? BMP_SAVE_RLE : BMP_DEFAULT;
    }
    if (ext == "exr") {
        constexpr int kExr[] = {EXR_NONE, EXR_ZIP, EXR_PIZ, EXR_PXR24, EXR_B44};
        return s.exr_compression >= 0 && s.exr_compression < 5 ? kExr[s.exr_compression] : 0;
    }
    if (ext == "jpg") {
        constexpr int kChroma[] = {JPEG_SUBSAMPLING_444, JPEG_SUBSAMPLING_422, JPEG_SUBSAMPLING_420,
                                   JPEG_SUBSAMPLING_411};
        constexpr int kSaveAs[] = {0, JPEG_BASELINE, JPEG_OPTIMIZE, JPEG_PROGRESSIVE};
        int flags = s.jpg_quality;
        if (s.jpg_chroma >= 0 && s.jpg_chroma < 4) {
            flags |= kChroma[s.jpg_chroma];
        }
        if (s.jpg_save_as >= 0 && s.jpg_save_as < 4) {
            flags |= kSaveAs[s.jpg_save_as];
        }
        return flags;
    }
    if (ext == "jxr") {
        return JXR_LOSSLESS;
    }
    if (ext == "png") {
        constexpr int kPng[] = {PNG_Z_NO_COMPRESSION, PNG_Z_BEST_SPEED, PNG_Z_DEFAULT_COMPRESSION,
                                PNG_Z_BEST_COMPRESSION};
        int flags = s.png_compression >= 0 && s.png_compression < 4 ? kPng[s.png_compression] : 0;
        return s.png_interlaced ? flags | PNG_INTERLACED : flags;
    }
    if (ext == "tga") {
        return s.tga_compression == 1 ? TARGA_SAVE_RLE : 0;
    }
    if (ext == "tiff") {
        constexpr int kTiff[] = {TIFF_NONE,     TIFF_CCITTFAX3, TIFF_CCITTFAX4,
                                 TIFF_PACKBITS, TIFF_DEFLATE,   TIFF_ADOBE_DEFLATE,
                                 TIFF_LZW,      TIFF_JPEG,      TIFF_LOGLUV};
        int flags =
            s.tiff_compression >= 0 && s.tiff_compression < 9 ? kTiff[s.tiff_compression] : 0;
        return s.tiff_color_mode == 1 ? flags | TIFF_CMYK : flags;
    }
    if (ext == "webp") {
        return s.webp_quality == 100 ? WEBP_LOSSLESS : s.webp_quality;
    }
    return 0;
}

int depth_setting(std::string_view ext, const Settings& s) {
    const SettingKey* row = find_setting("Output", to_upper(ext) + " BPP");
    return row && row->format == ext ? get_int(s, row->field) : 0;
}

bool set_batch_output(BatchPlan& plan, std::string_view ext, const Settings& s) {
    const OutputFormat* format = output_entry(ext);
    if (!format) {
        return false;
    }
    plan.output_extension = std::string(format->extension);
    plan.save_type = format->save_type;
    plan.output_depth = depth_setting(ext, s);
    plan.automatic_depth = plan.output_depth == 0;
    plan.save_flags = save_flags(ext, s);
    return true;
}

} // namespace pixlane
