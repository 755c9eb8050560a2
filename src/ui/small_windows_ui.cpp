#include "ui/small_windows_ui.h"

#include <wx/panel.h>
#include <wx/statbmp.h>

#include "base/product.h"
#include "formats/catalogue.h"
#include "platform/platform.h"
#include "ui/help_logic.h"
#include "ui/images_ui.h"
#include "ui/message_boxes_ui.h"

namespace pixlane {
namespace {

wxString wx(std::string_view s) { return wxString::FromUTF8(s.data(), s.size()); }
std::string utf8(const wxString& s) { return std::string(s.utf8_str()); }

constexpr long kSmallWindowStyle = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;
std::string about_notice() {
    return "Batch conversion of GIF images into " + std::to_string(output_catalogue().size()) +
           " formats.";
}

wxHyperlinkCtrl* blue_link(wxWindow* parent, const std::string& label, const std::string& target,
                           const wxPoint& at) {
    auto* link = new wxHyperlinkCtrl(parent, wxID_ANY, wx(label), wx(target), at, wxDefaultSize,
                                     wxHL_ALIGN_LEFT | wxNO_BORDER);
    link->SetNormalColour(*wxBLUE);
    link->SetVisitedColour(*wxBLUE);
    link->SetHoverColour(*wxBLUE);
    return link;
}

} // namespace

AboutDialog::AboutDialog(wxWindow* parent, const LanguageTable& language, const ImageSets& images)
    : wxDialog(parent, wxID_ANY, wx(language.text("About", "Title")), wxDefaultPosition,
               wxDefaultSize, kSmallWindowStyle) {
    SetClientSize(360, 240);
    new wxStaticBitmap(this, wxID_ANY, to_bitmap(&images.about_banner), wxPoint(0, 0),
                       wxSize(360, 40));

    auto* area = new wxPanel(this, wxID_ANY, wxPoint(10, 50), wxSize(340, 70), wxBORDER_SIMPLE);
    m_title = new wxStaticText(area, wxID_ANY, wx(title_text()), wxPoint(0, 14), wxSize(338, -1),
                               wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
    m_title->SetFont(m_title->GetFont().Bold());
    new wxStaticText(area, wxID_ANY, wx(about_notice()), wxPoint(0, 40), wxSize(338, -1),
                     wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);

    new wxStaticText(this, wxID_ANY, wx(language.text("About", "Website")), wxPoint(20, 136));
    m_web = blue_link(this, vendor_root_url(), vendor_root_url(), wxPoint(90, 136));
    new wxStaticText(this, wxID_ANY, wx(language.text("About", "Email")), wxPoint(20, 162));
    m_email = blue_link(this, std::string(kSupportAddress), support_mailto(kSupportAddress),
                        wxPoint(90, 162));

    auto* ok = new wxButton(this, wxID_OK, wx(language.text("Dialog", "OK")), wxPoint(140, 200),
                            wxSize(80, 28));
    ok->SetDefault();
    SetEscapeId(wxID_OK);
    // The links open through the shell, never the toolkit's own browser call.
    Bind(wxEVT_HYPERLINK,
         [](wxHyperlinkEvent& event) { platform::shell_open(utf8(event.GetURL())); });
    CentreOnParent();
    ok->SetFocus();
}

FindConverterDialog::FindConverterDialog(wxWindow* parent, const LanguageTable& language)
    : wxDialog(parent, wxID_ANY, wx(language.text("Custom-Converter", "Title")), wxDefaultPosition,
               wxDefaultSize, kSmallWindowStyle),
      m_language(language) {
    SetClientSize(370, 60);
    // One row, every control centred on the window's middle line.
    const auto centre = [](wxWindow* control) {
        control->Move(control->GetPosition().x, (60 - control->GetSize().GetHeight()) / 2);
    };
    centre(new wxStaticText(this, wxID_ANY, wx(language.text("Custom-Converter", "From")),
                            wxPoint(10, 0)));
    m_from = new wxTextCtrl(this, wxID_ANY, wxString(), wxPoint(55, 0), wxSize(100, -1),
                            wxTE_PROCESS_ENTER);
    centre(m_from);
    centre(new wxStaticText(this, wxID_ANY, wx(language.text("Custom-Converter", "To")),
                            wxPoint(165, 0)));
    m_to = new wxTextCtrl(this, wxID_ANY, wxString(), wxPoint(195, 0), wxSize(100, -1),
                          wxTE_PROCESS_ENTER);
    centre(m_to);
    m_search = new wxButton(this, wxID_OK, wx(language.text("Custom-Converter", "Search")),
                            wxPoint(300, 0), wxSize(62, -1));
    centre(m_search);
    m_search->SetDefault();
    escape_cancels(*this);
    m_search->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { search(); });
    Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { search(); });
    CentreOnParent();
    m_from->SetFocus();
}

void FindConverterDialog::search() {
    const auto path = converter_search_path(utf8(m_from->GetValue()), utf8(m_to->GetValue()));
    if (!path) {
        WxMessageBoxes(m_language, this).show_warning(m_language.text("Msg", "Empty extensions"));
        return;
    }
    // Ending the modal run hides the window before the page opens.
    EndModal(wxID_OK);
    platform::shell_open(vendor_url(*path));
}

UninstallPage::UninstallPage(const LanguageTable& language)
    : wxDialog(nullptr, wxID_ANY, wx(language.text("Uninstall", "Title")), wxDefaultPosition,
               wxDefaultSize, kSmallWindowStyle) {
    SetClientSize(300, 100);
    m_check = new wxCheckBox(this, wxID_ANY, wx(language.text("Uninstall", "Uninstall Text")),
                             wxPoint(20, 22));
    m_check->SetValue(true);
    m_next = new wxButton(this, wxID_OK, wx(language.text("Uninstall", "Next")), wxPoint(200, 60),
                          wxSize(80, 28));
    m_next->SetDefault();
    m_next->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (m_check->GetValue()) {
            platform::shell_open(uninstall_url());
        }
        EndModal(wxID_OK);
    });
    CentreOnScreen();
    m_next->SetFocus();
}

} // namespace pixlane
