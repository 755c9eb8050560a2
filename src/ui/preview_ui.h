// The Preview window: the chosen frame of a file as loaded (left) and as the
// conversion would write it (right), each fitted to its half or at its own
// size, a slider over the frames and, below, the output name, the size and
// depth written and the encoded size. Every preview is made in a supervised
// worker process on a thread of its own; the window only shows pixels.
#pragma once

#include <wx/checkbox.h>
#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/slider.h>
#include <wx/stattext.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/language.h"

namespace pixlane {

struct Preview;
struct PreviewRequest;
class PreviewService;

class PreviewWindow final : public wxFrame {
  public:
    // The request for a frame (below 0: the one GIF Frame Loading picks)
    // of the file the main window has chosen; nullopt when there is none.
    using Source = std::function<std::optional<PreviewRequest>(int frame)>;

    // `program` is the executable started as the worker process.
    PreviewWindow(wxWindow* parent, const LanguageTable& language, Source source,
                  const std::string& program);
    ~PreviewWindow() override;

    // Another file: asks for the frame the setting picks.
    void file_changed();
    // Other settings or another output format: asks again for the frame shown.
    void settings_changed();

    // What the window shows now (for the tests).
    const Preview& shown() const { return *m_shown; }
    // True when the newest request has been answered.
    bool settled() const { return m_answered == m_wanted; }
    wxSlider* frame_slider() const { return m_slider; }
    wxCheckBox* actual_size_box() const { return m_actual; }
    std::string message() const;
    std::string name_line() const;
    std::string size_line() const;

  private:
    void ask(int frame);
    void answered(std::uint64_t id, Preview preview);

    const LanguageTable& m_language;
    Source m_source;
    class Pictures;
    Pictures* m_pictures = nullptr;
    wxCheckBox* m_actual = nullptr;
    wxSlider* m_slider = nullptr;
    wxStaticText* m_frame = nullptr;
    wxStaticText* m_name = nullptr;
    wxStaticText* m_dimensions = nullptr;
    wxStaticText* m_size = nullptr;
    wxStaticText* m_message = nullptr;
    std::unique_ptr<Preview> m_shown;
    std::uint64_t m_wanted = 0;
    std::uint64_t m_answered = 0;
    // Last: its thread calls back into the window until it is gone.
    std::unique_ptr<PreviewService> m_service;
};

} // namespace pixlane
