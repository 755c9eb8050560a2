#include "ui/small_windows_ui.h"

#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>

#include <algorithm>

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

    // The links start at 90 pixels, or behind the longer label when a
    // translation makes it reach further.
    auto* web =
        new wxStaticText(this, wxID_ANY, wx(language.text("About", "Website")), wxPoint(20, 136));
    auto* email =
        new wxStaticText(this, wxID_ANY, wx(language.text("About", "Email")), wxPoint(20, 162));
    const int links =
        std::max(90, 30 + std::max(web->GetSize().GetWidth(), email->GetSize().GetWidth()));
    m_web = blue_link(this, vendor_root_url(), vendor_root_url(), wxPoint(links, 136));
    m_email = blue_link(this, std::string(kSupportAddress), support_mailto(kSupportAddress),
                        wxPoint(links, 162));

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
    // One row, every control centred on the window's middle line; the
    // labels and the button are as wide as their texts, and the window
    // grows when a translation needs more than its 370 pixels.
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    const auto add = [row](wxWindow* control, int gap) {
        row->Add(control, 0, wxALIGN_CENTER_VERTICAL | wxLEFT, gap);
    };
    add(new wxStaticText(this, wxID_ANY, wx(language.text("Custom-Converter", "From"))), 10);
    m_from = new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxSize(100, -1),
                            wxTE_PROCESS_ENTER);
    add(m_from, 10);
    add(new wxStaticText(this, wxID_ANY, wx(language.text("Custom-Converter", "To"))), 10);
    m_to = new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxSize(100, -1),
                          wxTE_PROCESS_ENTER);
    add(m_to, 10);
    m_search = new wxButton(this, wxID_OK, wx(language.text("Custom-Converter", "Search")),
                            wxDefaultPosition, wxDefaultSize, wxBU_EXACTFIT);
    m_search->SetMinSize(wxSize(std::max(62, m_search->GetBestSize().GetWidth() + 8), -1));
    add(m_search, 5);
    SetSizer(row);
    SetClientSize(std::max(370, row->CalcMin().GetWidth() + 8), 60);
    Layout();
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
    m_check = new wxCheckBox(this, wxID_ANY, wx(language.text("Uninstall", "Uninstall Text")),
                             wxPoint(20, 22));
    m_check->SetValue(true);
    // 300 pixels wide, or as wide as a longer caption needs; Next stays at
    // the right.
    const int width = std::max(300, 30 + m_check->GetSize().GetWidth());
    SetClientSize(width, 100);
    m_next = new wxButton(this, wxID_OK, wx(language.text("Uninstall", "Next")),
                          wxPoint(width - 100, 60), wxSize(80, 28));
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
