// The window manager's close request for the main window while a progress
// dialog runs: GTK drops it under the dialog's grab, so the window's close
// box would do nothing. While a CloseBoxWhileBusy lives, the request is
// passed on as window.Close(), which asks the dialog's break question.
#pragma once

#include <wx/toplevel.h>

namespace pixlane {

class CloseBoxWhileBusy {
  public:
    explicit CloseBoxWhileBusy(wxTopLevelWindow* window);
    ~CloseBoxWhileBusy(); // GTK's own handling again
    CloseBoxWhileBusy(const CloseBoxWhileBusy&) = delete;
    CloseBoxWhileBusy& operator=(const CloseBoxWhileBusy&) = delete;

    wxTopLevelWindow* window() const { return m_window; }

  private:
    wxTopLevelWindow* m_window;
};

// Sends `window` the close request a window manager sends when its close
// box is pressed (tests drive the real path with it; X11 only).
void send_close_request(wxTopLevelWindow& window);

} // namespace pixlane
