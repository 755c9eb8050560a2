#include "pipeline/frame_source.h"

#include "pipeline/gif_load.h"

namespace pixlane {
namespace {

class GifFrames final : public FrameSource {
  public:
    int frame_count() const override { return m_gif.frame_count(); }
    Bitmap frame(int index) override { return m_gif.frame(index); }
    Bitmap take_frame(int index) override { return m_gif.take_frame(index); }
    int delay_ms(int index) const override {
        const auto& frames = m_gif.layout().frames;
        return index >= 0 && index < static_cast<int>(frames.size())
                   ? frames[static_cast<std::size_t>(index)].delay_cs * 10
                   : 0;
    }
    int loop_count() const override { return m_gif.layout().loop_count; }

    GifAnimation m_gif;
};

} // namespace

std::variant<std::unique_ptr<FrameSource>, Failure> open_frames(const std::string& path) {
    auto gif = std::make_unique<GifFrames>();
    if (auto opened = gif->m_gif.open(path); !opened) {
        return std::move(*opened.failure);
    }
    return gif;
}

} // namespace pixlane
