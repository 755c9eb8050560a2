// The standard message boxes with wxWidgets.
#pragma once

#include <wx/dialog.h>
#include <wx/window.h>

#include "base/language.h"

namespace pixlane {

// Error and warning boxes and the Yes/No questions, titled and worded from
// group Msg of the language table, over `parent` (may be nullptr).
// Escape ends `dialog` as Cancel would, also when it has no Cancel button.
void escape_cancels(wxDialog& dialog);

class WxMessageBoxes final : public MessageBoxes {
  public:
    explicit WxMessageBoxes(const LanguageTable& language, wxWindow* parent = nullptr)
        : m_language(language), m_parent(parent) {}
    void set_parent(wxWindow* parent) { m_parent = parent; }

    void show_error(const std::string& message) override;
    void show_warning(const std::string& message) override;
    bool ask(Question q) override;

  private:
    const LanguageTable& m_language;
    wxWindow* m_parent;
};

} // namespace pixlane
