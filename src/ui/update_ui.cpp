#include "ui/update_ui.h"

#include <wx/msgdlg.h>

#include <thread>

#include "base/product.h"
#include "platform/platform.h"
#include "ui/message_boxes_ui.h"

namespace pixlane {
namespace {

wxString wx(const std::string& s) { return wxString::FromUTF8(s); }

} // namespace

UpdateChecker::UpdateChecker(Session& app, wxWindow* parent) : m_app(app), m_parent(parent) {}

UpdateChecker::~UpdateChecker() {
    if (m_fetch) {
        std::lock_guard guard(m_fetch->lock);
        m_fetch->owner = nullptr;
        m_fetch->cancel = true;
    }
    // An answer already queued goes with the handler's pending events.
}

void UpdateChecker::offer() {
    const auto ask = [this] {
        return WxMessageBoxes(m_app.language, m_parent).ask(Question::CheckForUpdates);
    };
    if (offer_update_check(m_app.settings, platform::now_local(), ask)) {
        check();
    }
}

void UpdateChecker::check() {
    if (m_running) {
        return;
    }
    m_running = true;
    m_fetch = std::make_shared<Fetch>();
    m_fetch->owner = this;
    std::thread([fetch = m_fetch, url = update_file_url(), agent = title_text(),
                 timeout = m_timeout_ms] {
        const UpdateVerdict verdict = check_for_update(url, agent, timeout, &fetch->cancel);
        std::lock_guard guard(fetch->lock);
        if (UpdateChecker* owner = fetch->owner) {
            owner->CallAfter([owner, verdict] {
                owner->m_running = false;
                owner->show(verdict);
            });
        }
    }).detach();
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
