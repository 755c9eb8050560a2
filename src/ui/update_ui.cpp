#include "ui/update_ui.h"

#include <wx/msgdlg.h>

#include "base/product.h"
#include "platform/platform.h"
#include "ui/message_boxes_ui.h"

namespace pixlane {
namespace {

wxString wx(const std::string& s) { return wxString::FromUTF8(s); }

} // namespace

UpdateChecker::UpdateChecker(Session& app, wxWindow* parent) : m_app(app), m_parent(parent) {}

UpdateChecker::~UpdateChecker() {
    m_cancel = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // An answer already queued goes with the handler's pending events.
}

void UpdateChecker::offer() {
    const Date now = platform::now_local();
    if (!update_offer_due(now, m_app.settings.update_date, m_app.settings.update_range)) {
        return;
    }
    const bool yes = WxMessageBoxes(m_app.language, m_parent).ask(Question::CheckForUpdates);
    m_app.settings.update_date = now;
    if (yes) {
        check();
    }
}

void UpdateChecker::check() {
    if (m_running) {
        return;
    }
    if (m_thread.joinable()) {
        m_thread.join(); // the last fetch has ended: its answer came back
    }
    m_running = true;
    m_thread = std::thread([this, url = update_file_url(), agent = title_text(),
                            timeout = m_timeout_ms] {
        const UpdateVerdict verdict = check_for_update(url, agent, timeout, &m_cancel);
        if (!m_cancel) {
            CallAfter([this, verdict] {
                m_running = false;
                show(verdict);
            });
        }
    });
}

void UpdateChecker::show(UpdateVerdict verdict) {
    if (m_report) {
        m_report(verdict);
        return;
    }
    const LanguageTable& language = m_app.language;
    WxMessageBoxes boxes(language, m_parent);
    switch (verdict) {
    case UpdateVerdict::ConnectionProblem:
        boxes.show_error(language.text("Msg", "Internet connection problems"));
        break;
    case UpdateVerdict::NewVersion:
        if (boxes.ask(Question::NewUpdate)) {
            platform::shell_open(product_page_url());
        }
        break;
    case UpdateVerdict::NoUpdate:
        wxMessageBox(wx(language.text("Msg", "No Update Text")),
                     wx(language.text("Msg", "No Update")), wxOK | wxICON_INFORMATION, m_parent);
        break;
    }
}

} // namespace pixlane
