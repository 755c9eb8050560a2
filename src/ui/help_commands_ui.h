// The main window's Help menu and its find-a-converter command: User
// Manual (F1), Send Feedback, the homepage, the update check and About,
// and the start-up update offer.
#pragma once

#include <wx/dialog.h>
#include <wx/frame.h>

#include "run/session.h"
#include "ui/theme.h"
#include "ui/update_ui.h"

namespace pixlane {

class HelpCommands {
  public:
    // `main`, `app` and `images` outlive the object.
    HelpCommands(wxFrame& main, Session& app, WindowImages& images);

    // Runs a Help menu command or Custom Converter; false for any other
    // command identifier.
    bool run(int command);
    // The update offer of the start-up.
    void offer_update_check() { m_updates.offer(); }

    UpdateChecker& updates() { return m_updates; }
    // The About or find-a-converter window while it is open, else null.
    wxDialog* open_dialog() const { return m_open; }

  private:
    // Shows `dialog` modally over the main window, which then gets the focus.
    void show(wxDialog& dialog);

    wxFrame& m_main;
    Session& m_app;
    WindowImages& m_images;
    UpdateChecker m_updates;
    wxDialog* m_open = nullptr;
};

} // namespace pixlane
