// Helpers of the window tests (they run on a virtual display).
#pragma once

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/timer.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "run/session.h"
#include "ui/main_window_ui.h"
#include "ui/theme.h"

namespace pixlane::test {

// Lets the toolkit work for `ms` milliseconds.
inline void pump(int ms = 300) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        wxTheApp->Yield(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// Calls `step` every 20 ms from the event loop (a modal dialog's too) until
// it returns true.
class Poller final : public wxTimer {
  public:
    explicit Poller(std::function<bool()> step, int ms = 20) : m_step(std::move(step)) {
        Start(ms);
    }
    void Notify() override {
        if (m_step()) {
            Stop();
        }
    }

  private:
    std::function<bool()> m_step;
};

// A main window over a session of its own, destroyed after each test.
class MainWindowFixture : public ::testing::Test {
  protected:
    // The built-in language and the toolbar images of the settings as they
    // are now (a test changes the theme or the size first).
    void prepare() {
        m_app.language.load_builtin();
        prepare_window_images(m_images, m_app.settings.ui_theme, m_app.settings.ui_size,
                              std::string(PIXLANE_BINARY_DIR) + "/gfx/");
    }
    MainWindow& make_window(int settle_ms) {
        m_window = new MainWindow(m_app, m_images);
        m_window->finish();
        pump(settle_ms);
        return *m_window;
    }
    // A menu or toolbar command, as the window receives it.
    void run(int command) {
        wxCommandEvent event(wxEVT_MENU, command);
        m_window->ProcessWindowEvent(event);
    }
    void TearDown() override {
        if (m_window != nullptr) {
            m_window->Destroy();
            m_window = nullptr;
        }
        pump(100);
    }

    Session m_app;
    WindowImages m_images;
    MainWindow* m_window = nullptr;
};

} // namespace pixlane::test
