// The modal conversion progress dialog: starts the conversion on a worker
// thread and renders ui/progress_logic.h from a 15 ms timer.
#pragma once

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <functional>
#include <memory>
#include <string>

#include "run/conversion.h"
#include "run/session.h"
#include "ui/progress_logic.h"

namespace pixlane {

class ConversionDialog final : public wxDialog {
  public:
    // `status` sets the main window's status text at the end.
    ConversionDialog(wxWindow* parent, Session& app, BatchPlan plan,
                     std::unique_ptr<WatermarkFont> font,
                     std::function<void(const std::string&)> status);
    ~ConversionDialog() override;

    // Runs the conversion and the dialog until OK is pressed.
    int run();
    // Asks the break question while the worker runs; ends the dialog when
    // it has ended.
    void request_close();
    const ConversionProgress& model() const { return *m_model; }
    wxButton* ok_button() const { return m_ok; }

  private:
    void poll();
    void render();

    Session& m_app;
    BatchPlan m_plan;
    std::unique_ptr<WatermarkFont> m_font;
    std::function<void(const std::string&)> m_status;
    std::unique_ptr<ConversionProgress> m_model;
    std::unique_ptr<ConversionRun> m_run;
    wxStaticText* m_file_line = nullptr;
    wxStaticText* m_time_line = nullptr;
    wxGauge* m_bar = nullptr;
    wxButton* m_ok = nullptr;
    wxTimer m_timer;
    bool m_asking = false;
};

} // namespace pixlane

namespace pixlane {

// The small import and export progress dialog: runs the folder, list or
// export worker and follows its index; the final status goes to `status`.
// The rows an import's entries still wait for in the window's list: the
// work ends only when none waits, and a broken import drops the entries
// still waiting (the last ones of the list), so the list keeps what it shows.
struct RowFeed {
    std::function<bool()> waiting = [] { return false; };
    std::function<std::size_t()> drop_waiting = [] { return std::size_t{0}; };
};

class ListWorkDialog final : public wxDialog {
  public:
    ListWorkDialog(wxWindow* parent, Session& app, ListWork work, int maximum,
                   std::function<void(const std::string&)> status, RowFeed rows = {});
    ~ListWorkDialog() override;

    int run();
    void request_close();
    // The Yes answer to the break question: the worker stops before its
    // next entry and the work ends as broken.
    void break_work();

  private:
    void poll();

    Session& m_app;
    ListWork m_work;
    std::function<void(const std::string&)> m_status;
    RowFeed m_rows;
    std::unique_ptr<ImportRun> m_run;
    wxGauge* m_bar = nullptr;
    wxTimer m_timer;
    int m_shown = 0;
    bool m_broken = false;
    bool m_asking = false;
    bool m_ended = false;
};

} // namespace pixlane
