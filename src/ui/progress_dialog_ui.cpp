#include "ui/progress_dialog_ui.h"

#include "ui/busy_close_ui.h"
#include "ui/message_boxes_ui.h"

namespace pixlane {

namespace {

// The break question, asked while the worker waits before its next item;
// `asking` is set meanwhile, so polls and a second close leave it alone.
bool ask_with_worker_held(Session& app, wxWindow* parent, Question question, bool& asking) {
    asking = true;
    app.progress.pause();
    const bool yes = WxMessageBoxes(app.language, parent).ask(question);
    app.progress.resume();
    asking = false;
    return yes;
}

// Escape does what the close box does (the break question while the work
// runs); other keys go their way.
void escape_asks(wxKeyEvent& event, const std::function<void()>& close) {
    if (event.GetKeyCode() == WXK_ESCAPE) {
        close();
    } else {
        event.Skip();
    }
}

} // namespace
namespace {

wxString wx(const std::string& s) { return wxString::FromUTF8(s); }

} // namespace

ConversionDialog::ConversionDialog(wxWindow* parent, Session& app, BatchPlan plan,
                                   std::unique_ptr<WatermarkFont> font,
                                   std::function<void(const std::string&)> status)
    : wxDialog(parent, wxID_ANY, wx(app.language.text("Dialog", "Convert Progress")),
               wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      m_app(app), m_plan(std::move(plan)), m_font(std::move(font)), m_status(std::move(status)),
      m_timer(this) {
    const int count = static_cast<int>(app.input_list.size());
    SetClientSize(ProgressLayout::kWidth, ProgressLayout::kHeight);
    const int measured = GetTextExtent(wxS("abc123:\\-")).GetWidth();
    m_model = std::make_unique<ConversionProgress>(app.language, count, character_width(measured));
    const ProgressLayout& l = m_model->layout();
    // One line whatever the font: a path still too wide loses its middle.
    m_file_line = new wxStaticText(this, wxID_ANY, wxString(), wxPoint(10, 13), wxSize(280, 20),
                                   wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_MIDDLE);
    m_time_line = new wxStaticText(this, wxID_ANY, wx(m_model->view().time_line), wxPoint(10, 33),
                                   wxSize(280, 20), wxST_NO_AUTORESIZE);
    m_time_line->Show(l.show_time);
    m_bar = new wxGauge(this, wxID_ANY, l.bar_range, wxPoint(10, l.bar_y), wxSize(280, 20),
                        wxGA_HORIZONTAL | wxGA_SMOOTH);
    m_ok = new wxButton(this, wxID_OK, wx(app.language.text("Dialog", "OK")), wxPoint(110, 95),
                        wxSize(80, 25));
    m_ok->Disable();
    m_ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (!m_run) {
            EndModal(wxID_OK);
        }
    });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { request_close(); });
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) { escape_asks(e, [this] { request_close(); }); });
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { poll(); });
    CentreOnParent();
}

ConversionDialog::~ConversionDialog() {
    m_timer.Stop();
    if (m_run) {
        m_run->stop(); // the run's destructor waits for the file in hand
    }
}

int ConversionDialog::run() {
    m_run = std::make_unique<ConversionRun>(m_app.settings, m_plan, m_app.counters, m_app.progress,
                                            m_app.input_list, std::move(m_font),
                                            RunOptions::from_environment(), RunHooks{}, false);
    m_timer.Start(15);
    const CloseBoxWhileBusy close_box(dynamic_cast<wxTopLevelWindow*>(GetParent()));
    return ShowModal();
}

void ConversionDialog::poll() {
    if (!m_run || m_asking) {
        return;
    }
    if (m_run->finished()) {
        // The last files may have ended between two polls: the end shows
        // the index the worker reached.
        const ProgressSnapshot last = m_app.progress.snapshot();
        m_model->update(last);
        m_run.reset();
        m_timer.Stop();
        if (last.out_of_space) {
            m_model->cancel(); // the run stopped itself after that file
        }
        m_model->finish(last.count);
        render();
        m_status(m_model->view().status);
        m_ok->Enable();
        m_ok->SetFocus();
        if (last.out_of_space) {
            WxMessageBoxes(m_app.language, this)
                .show_warning(m_app.language.text("Msg", "No space left"));
        }
        return;
    }
    if (m_model->update(m_app.progress.snapshot())) {
        render();
    }
}

void ConversionDialog::render() {
    const ProgressView& v = m_model->view();
    SetTitle(wx(v.title));
    m_file_line->SetLabel(wx(v.file_line));
    m_time_line->SetLabel(wx(v.time_line));
    m_bar->SetValue(v.bar);
}

void ConversionDialog::request_close() {
    if (!m_run) {
        EndModal(wxID_OK);
        return;
    }
    if (m_asking) {
        return;
    }
    const bool yes = ask_with_worker_held(m_app, this, Question::BreakConversion, m_asking);
    if (yes && m_run) {
        m_model->cancel();
        m_run->stop();
    }
}

} // namespace pixlane

namespace pixlane {

ListWorkDialog::ListWorkDialog(wxWindow* parent, Session& app, ListWork work, int maximum,
                               std::function<void(const std::string&)> status, RowFeed rows)
    : wxDialog(parent, wxID_ANY,
               wx(app.language.text("Dialog", work == ListWork::Export ? "Export Progress"
                                                                       : "Import Progress")),
               wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      m_app(app), m_work(work), m_status(std::move(status)), m_rows(std::move(rows)),
      m_timer(this) {
    SetClientSize(300, 40);
    m_bar = new wxGauge(this, wxID_ANY, maximum > 0 ? maximum : 1, wxPoint(10, 10), wxSize(280, 20),
                        wxGA_HORIZONTAL | wxGA_SMOOTH);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { request_close(); });
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) { escape_asks(e, [this] { request_close(); }); });
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { poll(); });
    CentreOnParent();
}

ListWorkDialog::~ListWorkDialog() {
    m_timer.Stop();
    if (m_run) {
        m_run->stop();
    }
}

int ListWorkDialog::run() {
    const WindowPlaces& places = m_app.window;
    const ImportRequest request =
        m_work == ListWork::FolderImport
            ? ImportRequest{ImportKind::Folder, {}, places.input_folder}
        : m_work == ListWork::ListImport
            ? ImportRequest{ImportKind::List, places.list_path, places.input_folder}
            : ImportRequest{ImportKind::Export, places.list_path, {}};
    m_run = std::make_unique<ImportRun>(request, m_app.input_list, m_app.progress);
    m_timer.Start(15);
    const CloseBoxWhileBusy close_box(dynamic_cast<wxTopLevelWindow*>(GetParent()));
    return ShowModal();
}

void ListWorkDialog::poll() {
    if (m_ended) {
        // The finished dialog has stayed up for 0.7 s.
        m_timer.Stop();
        EndModal(wxID_OK);
        return;
    }
    if (!m_run || m_asking) {
        return;
    }
    const ProgressSnapshot now = m_app.progress.snapshot();
    if (m_run->finished() && (m_broken || !m_rows.waiting())) {
        m_run.reset();
        const std::size_t dropped = m_broken ? m_rows.drop_waiting() : 0;
        m_bar->SetValue(std::min(now.index, m_bar->GetRange()));
        m_status(list_work_status(m_app.language, m_work, now.count - static_cast<int>(dropped),
                                  m_broken));
        m_ended = true;
        m_timer.Start(700, wxTIMER_ONE_SHOT);
        return;
    }
    if (now.index > m_shown) {
        m_shown = now.index;
        m_bar->SetValue(std::min(m_shown, m_bar->GetRange()));
    }
}

void ListWorkDialog::request_close() {
    if (!m_run) {
        if (m_ended) {
            m_timer.Stop();
            EndModal(wxID_OK);
        }
        return;
    }
    if (m_asking) {
        return;
    }
    const bool yes = ask_with_worker_held(
        m_app, this, m_work == ListWork::Export ? Question::BreakExport : Question::BreakImport,
        m_asking);
    if (yes) {
        break_work();
    }
}

void ListWorkDialog::break_work() {
    if (m_run) {
        m_broken = true;
        m_run->stop();
    }
}

} // namespace pixlane
