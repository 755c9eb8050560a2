// The update check in the window. The fetch runs on a thread of its own, so
// the window keeps painting and answering while it waits (at most the
// timeout); the answer comes back through the event queue and is shown
// over the main window.
#pragma once

#include <wx/event.h>
#include <wx/window.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

#include "run/session.h"
#include "ui/update_logic.h"

namespace pixlane {

class UpdateChecker final : public wxEvtHandler {
  public:
    using Report = std::function<void(UpdateVerdict)>;
    static constexpr int kTimeoutMs = 10000;

    // `app` and `parent` outlive the checker.
    UpdateChecker(Session& app, wxWindow* parent);
    // Lets go of a fetch under way: it is cancelled and its answer dropped;
    // nothing waits for it.
    ~UpdateChecker() override;
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    // The start-up offer: when Update Range and Update Date say it is due,
    // asks whether to check (Yes starts the check) and sets Update Date to
    // now whatever the answer.
    void offer();
    // The on-demand check: starts the fetch unless one is under way.
    void check();
    bool running() const { return m_running; }

    // Where the answer goes; by default the message boxes (connection
    // problem, the new-version question that opens the product page, or
    // the no-update note).
    void set_report(Report report) { m_report = std::move(report); }
    void set_timeout_ms(int ms) { m_timeout_ms = ms; }

  private:
    void show(UpdateVerdict verdict);

    Session& m_app;
    wxWindow* m_parent;
    Report m_report;
    // What a fetch's thread shares with its checker, which may go first.
    struct Fetch {
        std::mutex lock;
        UpdateChecker* owner = nullptr; // null once the checker has gone
        std::atomic<bool> cancel{false};
    };

    int m_timeout_ms = kTimeoutMs;
    bool m_running = false;
    std::shared_ptr<Fetch> m_fetch;
};

} // namespace pixlane
