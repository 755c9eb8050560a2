#include "run/preview.h"

#include <algorithm>
#include <charconv>
#include <variant>

#include "pipeline/frame_source.h"
#include "pipeline/save.h"
#include "platform/platform.h"
#include "run/convert_file.h"
#include "run/wire_records.h"
#include "settings/serialize.h"
#include "util/c_handle.h"

namespace pixlane {
namespace {

using Memory = std::unique_ptr<FIMEMORY, CDeleter<FreeImage_CloseMemory>>;

// The encoded bytes read back by FreeImage; null when it cannot.
Bitmap decode(const std::string& bytes) {
    // FreeImage reads the buffer only; its interface takes it unconst.
    Memory memory(FreeImage_OpenMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                       static_cast<DWORD>(bytes.size())));
    if (!memory) {
        return {};
    }
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFileTypeFromMemory(memory.get(), 0);
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) {
        return {};
    }
    return adopt(FreeImage_LoadFromMemory(fif, memory.get(), 0));
}

std::string number(std::int64_t v) { return std::to_string(v); }

bool parse(const std::string& text, std::int64_t& out) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc{} && end == text.data() + text.size();
}

bool parse(const std::string& text, int& out) {
    std::int64_t v = 0;
    if (!parse(text, v) || v < INT32_MIN || v > INT32_MAX) {
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

} // namespace

RgbaPicture rgba_of(FIBITMAP* dib) {
    RgbaPicture out;
    if (!dib) {
        return out;
    }
    Bitmap standard;
    if (FreeImage_GetImageType(dib) == FIT_RGBF || FreeImage_GetImageType(dib) == FIT_RGBAF) {
        standard = adopt(FreeImage_ToneMapping(dib, FITMO_REINHARD05));
        dib = standard.get();
    }
    Bitmap converted = adopt(FreeImage_ConvertTo32Bits(dib));
    if (!converted) {
        return out;
    }
    out.width = static_cast<int>(FreeImage_GetWidth(converted.get()));
    out.height = static_cast<int>(FreeImage_GetHeight(converted.get()));
    out.pixels.resize(std::size_t{4} * out.width * out.height);
    char* to = out.pixels.data();
    for (int y = out.height - 1; y >= 0; --y) {
        const BYTE* row = FreeImage_GetScanLine(converted.get(), y);
        for (int x = 0; x < out.width; ++x, row += 4) {
            *to++ = static_cast<char>(row[FI_RGBA_RED]);
            *to++ = static_cast<char>(row[FI_RGBA_GREEN]);
            *to++ = static_cast<char>(row[FI_RGBA_BLUE]);
            *to++ = static_cast<char>(row[FI_RGBA_ALPHA]);
        }
    }
    return out;
}

std::variant<FrameSource*, Failure> PreviewFrames::open(const std::string& path) {
    std::string key = platform::file_identity(path);
    key += ' ';
    key += std::to_string(platform::file_size(path));
    key += ' ';
    key += std::to_string(platform::modification_time(path).value_or(0));
    key += ' ';
    key += path;
    if (m_source && key == m_key) {
        return m_source.get();
    }
    m_source.reset();
    auto opened = open_frames(path);
    if (auto* failure = std::get_if<Failure>(&opened)) {
        return std::move(*failure);
    }
    m_source = std::move(std::get<std::unique_ptr<FrameSource>>(opened));
    m_key = std::move(key);
    return m_source.get();
}

Preview make_preview(const PreviewRequest& request, const WatermarkFont* font, std::string* encoded,
                     PreviewFrames* frames) {
    Preview out;
    PreviewFrames once;
    auto opened = (frames ? *frames : once).open(request.task.input_path);
    if (auto* failure = std::get_if<Failure>(&opened)) {
        out.error = failure->reason.empty() ? "the file could not be read" : failure->reason;
        return out;
    }
    FrameSource& source = *std::get<FrameSource*>(opened);
    const Settings& s = request.settings;
    out.frame_count = source.frame_count();
    out.frame = request.frame >= 0
                    ? std::min(request.frame, out.frame_count - 1)
                    : first_converted_frame(s, out.frame_count, request.task.frame_pick);
    Bitmap loaded = source.frame(out.frame);
    out.original = rgba_of(loaded.get());
    ConvertedFrame converted =
        convert_frame(s, request.plan, request.task, source, out.frame, font, std::move(loaded));
    out.output_path = converted.output_path;
    out.width = converted.facts.width;
    out.height = converted.facts.height;
    out.depth = converted.facts.output_depth;
    if (converted.failure) {
        out.error = converted.failure->reason;
        return out;
    }
    if (!converted.animated) {
        auto bytes = encode_frame(converted.picture, s, request.plan);
        if (auto* failure = std::get_if<Failure>(&bytes)) {
            out.error = failure->reason;
            return out;
        }
        const std::string& written = std::get<std::string>(bytes);
        out.encoded_size = static_cast<std::int64_t>(written.size());
        if (Bitmap back = decode(written)) {
            out.result = rgba_of(back.get());
            out.result_decoded = out.result.width > 0;
        }
        if (encoded) {
            *encoded = written;
        }
    }
    if (!out.result_decoded) {
        out.result = rgba_of(converted.picture.get());
    }
    return out;
}

namespace wire {

Message preview_request_message(const PreviewRequest& request) {
    Message settings;
    for (auto& [name, value] : settings_to_pairs(request.settings)) {
        settings.push_back(std::move(name));
        settings.push_back(std::move(value));
    }
    return {"preview", pack(settings), pack(plan_message(request.plan)),
            pack(task_message(request.task)), number(request.frame)};
}

std::optional<PreviewRequest> read_preview_request(const Message& m) {
    if (m.size() != 5 || m[0] != "preview") {
        return std::nullopt;
    }
    auto settings = unpack(m[1]);
    auto plan_fields = unpack(m[2]);
    auto task_fields = unpack(m[3]);
    if (!settings || settings->size() % 2 != 0 || !plan_fields || !task_fields) {
        return std::nullopt;
    }
    PreviewRequest r;
    SettingPairs pairs;
    for (std::size_t i = 0; i + 1 < settings->size(); i += 2) {
        pairs.emplace_back((*settings)[i], (*settings)[i + 1]);
    }
    settings_from_pairs(r.settings, pairs);
    auto plan = read_plan(*plan_fields);
    auto task = read_task(*task_fields);
    if (!plan || !task || !parse(m[4], r.frame)) {
        return std::nullopt;
    }
    r.plan = std::move(*plan);
    r.task = std::move(*task);
    return r;
}

Message preview_message(const Preview& p) {
    return {"preview",
            p.error,
            number(p.frame_count),
            number(p.frame),
            number(p.original.width),
            number(p.original.height),
            p.original.pixels,
            number(p.result.width),
            number(p.result.height),
            p.result.pixels,
            p.result_decoded ? "1" : "0",
            p.output_path,
            number(p.width),
            number(p.height),
            number(p.depth),
            number(p.encoded_size)};
}

std::optional<Preview> read_preview(const Message& m) {
    if (m.size() != 16 || m[0] != "preview") {
        return std::nullopt;
    }
    Preview p;
    p.error = m[1];
    p.original.pixels = m[6];
    p.result.pixels = m[9];
    p.result_decoded = m[10] == "1";
    p.output_path = m[11];
    const bool numbers = parse(m[2], p.frame_count) && parse(m[3], p.frame) &&
                         parse(m[4], p.original.width) && parse(m[5], p.original.height) &&
                         parse(m[7], p.result.width) && parse(m[8], p.result.height) &&
                         parse(m[12], p.width) && parse(m[13], p.height) && parse(m[14], p.depth) &&
                         parse(m[15], p.encoded_size);
    // Pictures whose pixels do not fill their size are not shown.
    const auto sound = [](const RgbaPicture& picture) {
        return picture.width >= 0 && picture.height >= 0 &&
               picture.pixels.size() == std::size_t{4} * static_cast<std::size_t>(picture.width) *
                                            static_cast<std::size_t>(picture.height);
    };
    if (!numbers || !sound(p.original) || !sound(p.result)) {
        return std::nullopt;
    }
    return p;
}

} // namespace wire

PreviewService::PreviewService(WorkerLimits limits, std::string program, Done done,
                               int replace_after_ms)
    : m_supervisor(m_start_settings, m_start_plan, limits, std::move(program)),
      m_done(std::move(done)), m_replace_after_ms(replace_after_ms), m_thread([this] { serve(); }) {
}

PreviewService::~PreviewService() {
    {
        std::lock_guard guard(m_lock);
        m_closing = true;
        m_waiting.reset();
    }
    m_changed.notify_all();
    m_supervisor.abort();
    m_thread.join();
}

std::uint64_t PreviewService::request(PreviewRequest request) {
    std::uint64_t id = 0;
    {
        std::lock_guard guard(m_lock);
        m_waiting = std::move(request);
        id = ++m_last_id;
        if (m_started_ms >= 0 && !m_replaced &&
            platform::elapsed_ms() - m_started_ms >= m_replace_after_ms) {
            m_replaced = true;
            m_supervisor.interrupt();
        }
    }
    m_changed.notify_all();
    return id;
}

void PreviewService::serve() {
    for (;;) {
        PreviewRequest request;
        std::uint64_t id = 0;
        {
            std::unique_lock guard(m_lock);
            m_changed.wait(guard, [this] { return m_closing || m_waiting.has_value(); });
            if (m_closing) {
                return;
            }
            request = std::move(*m_waiting);
            m_waiting.reset();
            id = m_last_id;
            m_started_ms = platform::elapsed_ms();
            m_replaced = false;
            m_supervisor.resume();
        }
        auto answer = m_supervisor.ask(wire::preview_request_message(request));
        Preview preview;
        if (auto* why = std::get_if<std::string>(&answer)) {
            preview.error = "the worker process stopped: ";
            preview.error += *why;
        } else if (auto read = wire::read_preview(std::get<wire::Message>(answer))) {
            preview = std::move(*read);
        } else {
            preview.error = "the worker process gave an answer that could not be read";
        }
        {
            std::lock_guard guard(m_lock);
            m_started_ms = -1;
            if (m_closing) {
                return;
            }
            if (m_replaced) {
                continue; // a newer request waits; this one has no answer
            }
        }
        if (m_done) {
            m_done(id, std::move(preview));
        }
    }
}

WorkerLimits preview_limits(WorkerLimits run_limits, int seconds) {
    run_limits.wall_seconds_per_file = std::min(run_limits.wall_seconds_per_file, seconds);
    run_limits.cpu_seconds_per_file = std::min(run_limits.cpu_seconds_per_file, seconds);
    return run_limits;
}

} // namespace pixlane
