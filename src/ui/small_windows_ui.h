// The small windows: About, find-a-converter and the uninstall page. Each
// is built afresh when it opens; every link goes through the shell.
#pragma once

#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/dialog.h>
#include <wx/hyperlink.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "base/language.h"
#include "ui/theme.h"

namespace pixlane {

// Title, the banner, the program's name and version with a notice, the web
// and e-mail links, OK. Enter and Escape act as OK.
class AboutDialog final : public wxDialog {
  public:
    AboutDialog(wxWindow* parent, const LanguageTable& language, const ImageSets& images);

    wxHyperlinkCtrl* web_link() const { return m_web; }
    wxHyperlinkCtrl* email_link() const { return m_email; }
    wxStaticText* title_line() const { return m_title; }

  private:
    wxHyperlinkCtrl* m_web = nullptr;
    wxHyperlinkCtrl* m_email = nullptr;
    wxStaticText* m_title = nullptr;
};

// From and To fields and Search, which opens the vendor's search page for
// the two names; an unusable name gives a warning and the window stays.
class FindConverterDialog final : public wxDialog {
  public:
    FindConverterDialog(wxWindow* parent, const LanguageTable& language);

    wxTextCtrl* from_field() const { return m_from; }
    wxTextCtrl* to_field() const { return m_to; }
    wxButton* search_button() const { return m_search; }

  private:
    void search();

    const LanguageTable& m_language;
    wxTextCtrl* m_from = nullptr;
    wxTextCtrl* m_to = nullptr;
    wxButton* m_search = nullptr;
};

// The check box "Full Uninstall - Visit Uninstall Center" and Next. Next
// with the box checked opens the uninstall page; either way, and on the
// close box, the modal run ends.
class UninstallPage final : public wxDialog {
  public:
    explicit UninstallPage(const LanguageTable& language);

    wxCheckBox* check_box() const { return m_check; }
    wxButton* next_button() const { return m_next; }

  private:
    wxCheckBox* m_check = nullptr;
    wxButton* m_next = nullptr;
};

} // namespace pixlane
