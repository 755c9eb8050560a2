#include "ui/window_app.h"

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/init.h>
#include <wx/log.h>
#include <wx/timer.h>
#include <wx/weakref.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "base/product.h"
#include "platform/handover.h"
#include "ui/help_commands_ui.h"
#include "ui/images_ui.h"
#include "ui/main_window_ui.h"
#include "ui/message_boxes_ui.h"
#include "ui/small_windows_ui.h"

namespace pixlane {
namespace {

// The application object of the window mode. Start-up and the event loop
// are driven from run_main_window, not from OnInit.
class PixlaneApp final : public wxApp {
  public:
    bool OnInit() override { return true; }
};

bool env_set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// SIGTERM, SIGINT and SIGHUP close the window the ordinary way (geometry
// kept, config.ini saved); a timer of the event loop looks at the flag. A
// second one while the first is handled ends the process at once.
volatile std::sig_atomic_t g_stop_signal = 0;
void request_close(int sig) {
    if (g_stop_signal != 0) {
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    g_stop_signal = sig;
}
constexpr int kSignalPollMs = 100;

// Ends the innermost open dialog as Cancel would; false when none is open.
// GTK's own message boxes run a loop of their own and are answered
// through GTK; every other dialog through its modal loop. A progress
// dialog ended so stops its work after the file in hand.
bool cancel_innermost_dialog() {
    bool answered = false;
    GList* windows = gtk_window_list_toplevels();
    for (GList* at = windows; at != nullptr; at = at->next) {
        if (GTK_IS_MESSAGE_DIALOG(at->data) && gtk_widget_get_visible(GTK_WIDGET(at->data))) {
            gtk_dialog_response(GTK_DIALOG(at->data), GTK_RESPONSE_CANCEL);
            answered = true;
        }
    }
    g_list_free(windows);
    if (answered) {
        return true;
    }
    wxDialog* innermost = nullptr;
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        if (dialog != nullptr && dialog->IsModal()) {
            innermost = dialog; // the list keeps the order they were made in
        }
    }
    if (innermost == nullptr) {
        return false;
    }
    innermost->EndModal(wxID_CANCEL);
    return true;
}

// True while a dialog of the window's own or of GTK is open.
bool a_dialog_is_open() {
    bool open = false;
    GList* windows = gtk_window_list_toplevels();
    for (GList* at = windows; at != nullptr; at = at->next) {
        open = open || (GTK_IS_DIALOG(at->data) && gtk_widget_get_visible(GTK_WIDGET(at->data)) &&
                        gtk_window_get_modal(GTK_WINDOW(at->data)));
    }
    g_list_free(windows);
    for (wxWindow* window : wxTopLevelWindows) {
        auto* dialog = dynamic_cast<wxDialog*>(window);
        open = open || (dialog != nullptr && dialog->IsModal());
    }
    return open;
}

// Paths for the list from the command line and from later starts: added
// once no dialog is open, one batch at a time.
class HandedPaths {
  public:
    HandedPaths(MainWindow* window, std::vector<std::string> first)
        : m_window(window), m_waiting(std::move(first)),
          m_inbox(platform::PathInbox::open(platform::handover_path(title_text()))) {}

    void tick() {
        if (m_inbox) {
            for (auto& paths : m_inbox->take()) {
                m_waiting.insert(m_waiting.end(), paths.begin(), paths.end());
            }
        }
        if (m_waiting.empty() || m_adding || !m_window || a_dialog_is_open()) {
            return;
        }
        m_adding = true;
        m_window->CallAfter([this, window = m_window, paths = std::move(m_waiting)] {
            window->Raise();
            window->drop_files(paths);
            m_adding = false;
        });
        m_waiting.clear();
    }

  private:
    wxWeakRef<MainWindow> m_window;
    std::vector<std::string> m_waiting;
    std::optional<platform::PathInbox> m_inbox;
    bool m_adding = false;
};

bool g_started = false;

} // namespace
} // namespace pixlane

// The macro also defines wxGetApp(), which this program never calls.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wunused-function"
#endif
wxIMPLEMENT_APP_NO_MAIN(pixlane::PixlaneApp);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

namespace pixlane {

std::optional<ScreenSize> start_window_toolkit() {
    if (!env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY")) {
        std::fprintf(stderr,
                     "%s: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                     "not set); give arguments for the console, see --help.\n",
                     title_text().c_str());
        return std::nullopt;
    }
    static char name[] = "pixlane";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    bool started = false;
    {
        // The toolkit's own complaint would be a second line.
        wxLogNull quiet;
        started = wxEntryStart(argc, argv) && wxTheApp != nullptr && wxTheApp->CallOnInit();
    }
    if (!started) {
        if (wxTheApp != nullptr) {
            wxEntryCleanup();
        }
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "%s: cannot open the window: the display %s does not answer.\n",
                     title_text().c_str(),
                     env_set("DISPLAY") ? display : std::getenv("WAYLAND_DISPLAY"));
        return std::nullopt;
    }
    g_started = true;
    const wxRect area = wxDisplay(0u).GetGeometry();
    return ScreenSize{area.GetWidth(), area.GetHeight()};
}

int run_main_window(Session& app) {
    WindowImages images;
    report_theme_refusals(
        prepare_window_images(images, app.settings.ui_theme, app.settings.ui_size, theme_folder()));
    auto* window = new MainWindow(app, images);
    wxTheApp->SetTopWindow(window);
    WxMessageBoxes boxes(app.language, window);
    g_stop_signal = 0;
    std::signal(SIGTERM, request_close);
    std::signal(SIGINT, request_close);
    std::signal(SIGHUP, request_close);
    // The timer belongs to the application, not to the window it closes: it
    // keeps ticking inside any dialog's loop and after the window is gone.
    wxTimer signals(wxTheApp);
    bool close_sent = false;
    HandedPaths handed(window, app.console.window_paths);
    const auto on_tick = [&close_sent, &handed](wxTimerEvent&) {
        handed.tick();
        if (g_stop_signal == 0 || close_sent) {
            return;
        }
        // One dialog a tick, innermost first, until none is open; then the
        // window closes as its close box would.
        if (cancel_innermost_dialog()) {
            return;
        }
        if (wxWindow* top = wxTheApp->GetTopWindow()) {
            close_sent = true;
            top->Close();
        }
    };
    wxTheApp->Bind(wxEVT_TIMER, on_tick, signals.GetId());
    signals.Start(kSignalPollMs);
    window->finish();
    // The update offer comes once the window is up, over it.
    window->CallAfter([window] { window->help().offer_update_check(); });
    wxTheApp->OnRun();
    signals.Stop();
    wxTheApp->Unbind(wxEVT_TIMER, on_tick, signals.GetId());
    return kExitOk;
}

int run_uninstall_page(Session& app) {
    UninstallPage page(app.language);
    page.ShowModal();
    return kExitOk;
}

void stop_window_toolkit() {
    if (g_started) {
        wxTheApp->OnExit();
        wxEntryCleanup();
        g_started = false;
    }
}

} // namespace pixlane

// The window module's entry table (see WindowEntry).
extern "C" __attribute__((visibility("default"))) const pixlane::WindowEntry*
pixlane_window_entry() {
    static const pixlane::WindowEntry entry = {
        pixlane::start_window_toolkit, pixlane::run_main_window, pixlane::run_uninstall_page,
        pixlane::run_screenshot_mode, pixlane::stop_window_toolkit};
    return &entry;
}
