#include "ui/message_boxes_ui.h"

#include <wx/msgdlg.h>

namespace pixlane {
namespace {

wxString wx(const std::string& text) { return wxString::FromUTF8(text); }

} // namespace

void WxMessageBoxes::show_error(const std::string& message) {
    wxMessageBox(wx(message), wx(m_language.text("Msg", "Error")), wxOK | wxICON_ERROR, m_parent);
}

void WxMessageBoxes::show_warning(const std::string& message) {
    wxMessageBox(wx(message), wx(m_language.text("Msg", "Warning")), wxOK | wxICON_WARNING,
                 m_parent);
}

bool WxMessageBoxes::ask(Question q) {
    const QuestionText t = question_text(q);
    const long icon = t.warning_icon ? wxICON_WARNING : wxICON_QUESTION;
    return wxMessageBox(wx(m_language.text("Msg", t.message_key)),
                        wx(m_language.text("Msg", t.title_key)), wxYES_NO | icon,
                        m_parent) == wxYES;
}

void escape_cancels(wxDialog& dialog) {
    dialog.Bind(wxEVT_CHAR_HOOK, [&dialog](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE && dialog.IsModal()) {
            dialog.EndModal(wxID_CANCEL);
        } else {
            event.Skip();
        }
    });
}

} // namespace pixlane
