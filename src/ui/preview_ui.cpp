#include "ui/preview_ui.h"

#include <wx/dcbuffer.h>
#include <wx/image.h>
#include <wx/sizer.h>

#include <algorithm>
#include <cstdlib>

// FreeImage's header after every wxWidgets header.
#include "run/preview.h"
#include "ui/preview_logic.h"

namespace pixlane {
namespace {

wxString wx(const std::string& s) { return wxString::FromUTF8(s); }

constexpr int kGap = 8;
constexpr int kCaptionHeight = 20;

// An RGBA picture as a wxImage (the image takes copies of the bytes).
wxImage image_of(const RgbaPicture& p) {
    if (p.width <= 0 || p.height <= 0) {
        return {};
    }
    const std::size_t count = std::size_t{static_cast<unsigned>(p.width)} * p.height;
    auto* rgb = static_cast<unsigned char*>(std::malloc(count * 3));
    auto* alpha = static_cast<unsigned char*>(std::malloc(count));
    if (!rgb || !alpha) {
        std::free(rgb);
        std::free(alpha);
        return {};
    }
    const auto* from = reinterpret_cast<const unsigned char*>(p.pixels.data());
    for (std::size_t i = 0; i < count; ++i) {
        rgb[3 * i] = from[4 * i];
        rgb[3 * i + 1] = from[4 * i + 1];
        rgb[3 * i + 2] = from[4 * i + 2];
        alpha[i] = from[4 * i + 3];
    }
    return wxImage(p.width, p.height, rgb, alpha); // takes both buffers
}

} // namespace

// The two pictures side by side, each with its caption, over a chequered
// ground that shows transparency.
class PreviewWindow::Pictures final : public wxPanel {
  public:
    Pictures(wxWindow* parent, std::string left, std::string right)
        : wxPanel(parent, wxID_ANY), m_captions{std::move(left), std::move(right)} {
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        SetMinSize(wxSize(480, 260));
        Bind(wxEVT_PAINT, [this](wxPaintEvent&) { paint(); });
        Bind(wxEVT_SIZE, [this](wxSizeEvent& e) {
            m_scaled[0] = m_scaled[1] = wxBitmap();
            Refresh();
            e.Skip();
        });
    }

    void set(const RgbaPicture& left, const RgbaPicture& right) {
        m_images[0] = image_of(left);
        m_images[1] = image_of(right);
        m_scaled[0] = m_scaled[1] = wxBitmap();
        Refresh();
    }
    void set_actual_size(bool on) {
        m_actual = on;
        m_scaled[0] = m_scaled[1] = wxBitmap();
        Refresh();
    }

  private:
    Rect half(int k) const {
        const wxSize size = GetClientSize();
        const int w = (size.GetWidth() - 3 * kGap) / 2;
        return {kGap + k * (w + kGap), kCaptionHeight, w,
                std::max(0, size.GetHeight() - kCaptionHeight - kGap)};
    }

    void paint() {
        wxAutoBufferedPaintDC dc(this);
        dc.SetBackground(wxBrush(GetBackgroundColour()));
        dc.Clear();
        for (int k = 0; k < 2; ++k) {
            const Rect area = half(k);
            dc.DrawText(wx(m_captions[k]), area.x, 2);
            dc.SetClippingRegion(area.x, area.y, area.width, area.height);
            chequer(dc, area);
            const wxImage& image = m_images[k];
            if (image.IsOk()) {
                const Rect at = picture_place(image.GetWidth(), image.GetHeight(), area, m_actual);
                if (!m_scaled[k].IsOk() || m_scaled[k].GetWidth() != at.width ||
                    m_scaled[k].GetHeight() != at.height) {
                    m_scaled[k] =
                        wxBitmap(at.width == image.GetWidth() && at.height == image.GetHeight()
                                     ? image
                                     : image.Scale(at.width, at.height, wxIMAGE_QUALITY_NORMAL));
                }
                dc.DrawBitmap(m_scaled[k], at.x, at.y, true);
            }
            dc.DestroyClippingRegion();
        }
    }

    static void chequer(wxDC& dc, const Rect& area) {
        constexpr int kSquare = 8;
        dc.SetPen(*wxTRANSPARENT_PEN);
        for (int y = 0; y < area.height; y += kSquare) {
            for (int x = 0; x < area.width; x += kSquare) {
                const bool dark = ((x + y) / kSquare) % 2 != 0;
                dc.SetBrush(wxBrush(dark ? wxColour(204, 204, 204) : wxColour(255, 255, 255)));
                dc.DrawRectangle(area.x + x, area.y + y, kSquare, kSquare);
            }
        }
    }

    std::string m_captions[2];
    wxImage m_images[2];
    wxBitmap m_scaled[2];
    bool m_actual = false;
};

PreviewWindow::PreviewWindow(wxWindow* parent, const LanguageTable& language, Source source,
                             const std::string& program)
    : wxFrame(parent, wxID_ANY, wx(language.text("Dialog", "Preview Title")), wxDefaultPosition,
              wxSize(900, 560),
              wxDEFAULT_FRAME_STYLE | wxFRAME_FLOAT_ON_PARENT | wxFRAME_TOOL_WINDOW),
      m_language(language), m_source(std::move(source)), m_shown(std::make_unique<Preview>()) {
    auto* panel = new wxPanel(this, wxID_ANY);
    m_pictures = new Pictures(panel, language.text("Dialog", "Preview Original"),
                              language.text("Dialog", "Preview Result"));
    m_actual = new wxCheckBox(panel, wxID_ANY, wx(language.text("Dialog", "Preview Actual Size")));
    m_slider = new wxSlider(panel, wxID_ANY, 0, 0, 1);
    m_slider->Disable();
    m_frame = new wxStaticText(panel, wxID_ANY, wxString());
    m_name = new wxStaticText(panel, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                              wxST_ELLIPSIZE_MIDDLE);
    m_dimensions = new wxStaticText(panel, wxID_ANY, wxString());
    m_size = new wxStaticText(panel, wxID_ANY, wxString());
    m_message = new wxStaticText(panel, wxID_ANY, wxString());

    auto* controls = new wxBoxSizer(wxHORIZONTAL);
    controls->Add(m_actual, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 12);
    controls->Add(m_slider, 1, wxALIGN_CENTER_VERTICAL | wxRIGHT, 8);
    controls->Add(m_frame, 0, wxALIGN_CENTER_VERTICAL);
    auto* facts = new wxBoxSizer(wxHORIZONTAL);
    facts->Add(m_dimensions, 0, wxRIGHT, 24);
    facts->Add(m_size, 0, wxRIGHT, 24);
    facts->Add(m_message, 1);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(m_pictures, 1, wxEXPAND);
    column->Add(controls, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, kGap);
    column->Add(m_name, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, kGap);
    column->Add(facts, 0, wxEXPAND | wxALL, kGap);
    panel->SetSizer(column);
    auto* whole = new wxBoxSizer(wxVERTICAL);
    whole->Add(panel, 1, wxEXPAND);
    SetSizer(whole);
    SetMinSize(wxSize(520, 380));

    m_actual->Bind(wxEVT_CHECKBOX,
                   [this](wxCommandEvent&) { m_pictures->set_actual_size(m_actual->GetValue()); });
    m_slider->Bind(wxEVT_SLIDER, [this](wxCommandEvent&) { ask(m_slider->GetValue()); });
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_ESCAPE) {
            Close();
            return;
        }
        e.Skip();
    });

    m_service = std::make_unique<PreviewService>(
        preview_limits(WorkerLimits::from_environment()), program,
        [this](std::uint64_t id, Preview preview) {
            // From the service's thread: handed to the event loop. A window
            // destroyed first drops the event with its queue.
            CallAfter([this, id, p = std::make_shared<Preview>(std::move(preview))] {
                answered(id, std::move(*p));
            });
        });
}

PreviewWindow::~PreviewWindow() { m_service.reset(); }

void PreviewWindow::file_changed() { ask(-1); }

void PreviewWindow::settings_changed() {
    ask(m_shown->frame_count > 0 ? m_slider->GetValue() : -1);
}

void PreviewWindow::ask(int frame) {
    std::optional<PreviewRequest> request = m_source(frame);
    if (!request) {
        return;
    }
    m_wanted = m_service->request(std::move(*request));
    m_message->SetLabelText(wx(m_language.text("Dialog", "Preview Working")));
}

void PreviewWindow::answered(std::uint64_t id, Preview preview) {
    if (id <= m_answered) {
        return; // an older request answered after a newer one
    }
    m_answered = id;
    *m_shown = std::move(preview);
    if (m_shown->frame_count > 0) {
        m_slider->SetRange(0, std::max(1, m_shown->frame_count - 1));
        m_slider->SetValue(m_shown->frame);
        m_slider->Enable(m_shown->frame_count > 1);
    }
    m_pictures->set(m_shown->original, m_shown->result);
    const PreviewLines lines = preview_lines(m_language, *m_shown);
    m_frame->SetLabel(m_shown->frame_count > 0 ? wx(lines.frame) : wxString());
    const bool made = m_shown->error.empty();
    m_name->SetLabelText(made ? wx(lines.name) : wxString());
    m_dimensions->SetLabel(made ? wx(lines.dimensions) : wxString());
    m_size->SetLabel(made ? wx(lines.size) : wxString());
    m_message->SetLabelText(
        made ? wxString()
             : wx(substitute(m_language.text("Dialog", "Preview Failed"), m_shown->error)));
    if (!settled()) {
        m_message->SetLabelText(wx(m_language.text("Dialog", "Preview Working")));
    }
    Layout();
}

std::string PreviewWindow::message() const {
    return std::string(m_message->GetLabelText().utf8_str());
}
std::string PreviewWindow::name_line() const {
    return std::string(m_name->GetLabelText().utf8_str());
}
std::string PreviewWindow::size_line() const {
    return std::string(m_size->GetLabelText().utf8_str());
}

} // namespace pixlane
