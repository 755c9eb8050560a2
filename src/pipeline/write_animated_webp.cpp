// Animated WebP through libwebp's animation encoder. It keeps the frames it
// has encoded (compressed) and the last picture or two; the file is
// assembled and written by finish().

#include <webp/encode.h>
#include <webp/mux.h>

#include "pipeline/animation.h"
#include "util/c_handle.h"

namespace pixlane {
namespace {

using AnimEncoderHandle = std::unique_ptr<WebPAnimEncoder, CDeleter<WebPAnimEncoderDelete>>;

// A picture whose pixels libwebp allocated, freed with it.
class Picture {
  public:
    Picture() { m_ok = WebPPictureInit(&m_picture) != 0; }
    ~Picture() { WebPPictureFree(&m_picture); }
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;
    bool ok() const { return m_ok; }
    WebPPicture* get() { return &m_picture; }

  private:
    WebPPicture m_picture{};
    bool m_ok = false;
};

// The assembled file, freed by libwebp.
class Assembled {
  public:
    Assembled() { WebPDataInit(&m_data); }
    ~Assembled() { WebPDataClear(&m_data); }
    Assembled(const Assembled&) = delete;
    Assembled& operator=(const Assembled&) = delete;
    WebPData* get() { return &m_data; }

  private:
    WebPData m_data{};
};

class WebpEncoder final : public AnimationEncoder {
  public:
    WebpEncoder(platform::OutputFile& file, const AnimationInfo& info, int quality)
        : m_file(file), m_info(info) {
        WebPAnimEncoderOptions options;
        if (!WebPAnimEncoderOptionsInit(&options) || !WebPConfigInit(&m_config)) {
            return;
        }
        options.anim_params.loop_count = info.plays;
        options.allow_mixed = 0;
        m_config.lossless = quality >= 100 ? 1 : 0;
        m_config.quality = quality >= 100 ? 75.0F : static_cast<float>(quality);
        m_config.exact = m_config.lossless; // transparent pixels keep their colours
        if (!WebPValidateConfig(&m_config)) {
            return;
        }
        m_encoder.reset(WebPAnimEncoderNew(info.width, info.height, &options));
    }

    bool add(const AnimationFrame& frame, int delay_ms) override {
        if (!m_encoder || frame.width != m_info.width || frame.height != m_info.height) {
            return false;
        }
        Picture picture;
        if (!picture.ok()) {
            return false;
        }
        picture.get()->use_argb = 1;
        picture.get()->width = frame.width;
        picture.get()->height = frame.height;
        if (!WebPPictureImportBGRA(picture.get(), frame.top_row, static_cast<int>(frame.stride))) {
            return false;
        }
        if (!WebPAnimEncoderAdd(m_encoder.get(), picture.get(), m_timestamp, &m_config)) {
            return false;
        }
        m_timestamp += delay_ms < 0 ? 0 : delay_ms;
        ++m_frames;
        return true;
    }

    bool finish() override {
        if (!m_encoder || m_frames == 0 ||
            !WebPAnimEncoderAdd(m_encoder.get(), nullptr, m_timestamp, nullptr)) {
            return false;
        }
        Assembled data;
        if (!WebPAnimEncoderAssemble(m_encoder.get(), data.get())) {
            return false;
        }
        m_encoder.reset();
        return m_file.write(data.get()->bytes, data.get()->size);
    }

  private:
    platform::OutputFile& m_file;
    AnimationInfo m_info;
    WebPConfig m_config{};
    AnimEncoderHandle m_encoder;
    int m_timestamp = 0;
    int m_frames = 0;
};

} // namespace

std::unique_ptr<AnimationEncoder> webp_animation(platform::OutputFile& file,
                                                 const AnimationInfo& info, int quality) {
    return std::make_unique<WebpEncoder>(file, info, quality);
}

} // namespace pixlane
