// The Help menu's windows and links, the update check's answer while the
// window keeps working, and the screenshot mode, on the virtual display.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <wx/app.h>
#include <wx/hyperlink.h>
#include <wx/timer.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <set>
#include <thread>

#include "platform/platform.h"
#include "support/loopback_server.h"
#include "support/test_support.h"
#include "support/window_support.h"
#include "ui/help_commands_ui.h"
#include "ui/main_window_ui.h"
#include "ui/small_windows_ui.h"

namespace pixlane {
namespace {

using Clock = std::chrono::steady_clock;

// Calls `step` from the event loop (a modal window's too) every 20 ms until
// it returns true.
class Stepper final : public wxTimer {
  public:
    explicit Stepper(std::function<bool()> step) : m_step(std::move(step)) { Start(20); }
    void Notify() override {
        if (m_step()) {
            Stop();
        }
    }

  private:
    std::function<bool()> m_step;
};

void click(wxWindow* button) {
    wxCommandEvent event(wxEVT_BUTTON, button->GetId());
    event.SetEventObject(button);
    button->ProcessWindowEvent(event);
}

void follow(wxHyperlinkCtrl* link) {
    wxHyperlinkEvent event(link, link->GetId(), link->GetURL());
    link->ProcessWindowEvent(event);
}

class HelpWindowTest : public test::MainWindowFixture {
  protected:
    void SetUp() override {
        ::setenv("PIXLANE_VENDOR_HOST", "vendor.test", 1);
        prepare();
        m_app.settings.x = m_app.settings.y = 20;
        make_window(200);
    }
    void TearDown() override {
        MainWindowFixture::TearDown();
        ::unsetenv("PIXLANE_VENDOR_HOST");
    }
    template <class Dialog> Dialog* open_dialog() const {
        return dynamic_cast<Dialog*>(m_window->help().open_dialog());
    }

    test::ShellOpenRecorder m_recorder;
};

TEST_F(HelpWindowTest, AboutShowsTheProgramAndOpensItsLinksThroughTheShell) {
    bool seen = false;
    Stepper stepper([&] {
        auto* about = open_dialog<AboutDialog>();
        if (about == nullptr) {
            return false;
        }
        seen = true;
        EXPECT_EQ(about->GetTitle(), "About...");
        EXPECT_EQ(about->GetClientSize(), wxSize(360, 240));
        EXPECT_EQ(about->title_line()->GetLabel(), "Pixlane 2.8");
        follow(about->web_link());
        follow(about->email_link());
        EXPECT_TRUE(about->IsShown()); // the links leave it open
        click(about->FindWindow(wxID_OK));
        return true;
    });
    run(kCmdAbout);
    ASSERT_TRUE(seen);
    EXPECT_EQ(m_window->help().open_dialog(), nullptr);
    const auto targets = m_recorder.targets(2); // in either order: each has its own process
    EXPECT_EQ(std::set<std::string>(targets.begin(), targets.end()),
              (std::set<std::string>{"https://vendor.test", "mailto:support@tarnwell.example"}));
}

TEST_F(HelpWindowTest, FindAConverterSearchesAndTheHelpLinksOpen) {
    Stepper stepper([&] {
        auto* finder = open_dialog<FindConverterDialog>();
        if (finder == nullptr) {
            return false;
        }
        EXPECT_EQ(finder->GetTitle(), "Find a File Converter");
        finder->from_field()->SetValue(".PNG");
        finder->to_field()->SetValue("Jpeg Image");
        click(finder->search_button());
        return true;
    });
    run(kCmdCustomConverter);
    EXPECT_EQ(m_recorder.targets(1),
              std::vector<std::string>{"https://vendor.test/find/png-jpegimage/"});
    run(kCmdEmail);
    EXPECT_EQ(m_recorder.targets(2).back(),
              "mailto:support@tarnwell.example?subject=Pixlane 2.8 Feedback");
    run(kCmdWeb);
    EXPECT_EQ(m_recorder.targets(3).back(), "https://vendor.test/pixlane/");
    run(kCmdHelp);
    EXPECT_EQ(platform::file_name_of(m_recorder.targets(4).back()), "pixlane.chm");
}

TEST_F(HelpWindowTest, TheUpdateCheckAnswersWhileTheWindowKeepsWorking) {
    struct Case {
        std::string reply;
        bool silent;
        UpdateVerdict verdict;
    };
    const Case cases[] = {
        {test::LoopbackServer::ok_reply("281"), false, UpdateVerdict::NewVersion},
        {"", true, UpdateVerdict::ConnectionProblem},
    };
    for (const auto& c : cases) {
        test::LoopbackServer server(c.reply, c.silent);
        ::setenv("PIXLANE_VENDOR_HOST", server.host().c_str(), 1);
        UpdateChecker& updates = m_window->help().updates();
        std::optional<UpdateVerdict> verdict;
        updates.set_report([&](UpdateVerdict v) { verdict = v; });
        updates.set_timeout_ms(1500);
        int ticks = 0;
        Stepper counter([&] { return ++ticks, false; });
        const auto start = Clock::now();
        run(kCmdUpdates);
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100)); // the menu returns at once
        while (!verdict && Clock::now() - start < std::chrono::seconds(5)) {
            test::pump(20);
        }
        const auto took = Clock::now() - start;
        EXPECT_EQ(verdict, c.verdict) << c.reply;
        EXPECT_EQ(server.requests().size(), 1u);
        if (c.silent) {
            EXPECT_GE(took, std::chrono::milliseconds(1500));
            EXPECT_GT(ticks, 30); // the event loop ran all the while
        }
    }
}

TEST_F(HelpWindowTest, ClosingTheWindowDoesNotWaitForACheck) {
    test::LoopbackServer server("", true);
    ::setenv("PIXLANE_VENDOR_HOST", server.host().c_str(), 1);
    run(kCmdUpdates);
    test::pump(100);
    ASSERT_TRUE(m_window->help().updates().running());
    const auto start = Clock::now();
    delete m_window; // its checker goes with it; the fetch is let go
    m_window = nullptr;
    test::pump(100);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

TEST_F(HelpWindowTest, TheUninstallPageOpensTheCentreOnlyWhenChecked) {
    for (const bool checked : {false, true}) {
        UninstallPage page(m_app.language);
        EXPECT_EQ(page.GetClientSize(), wxSize(300, 100));
        EXPECT_TRUE(page.check_box()->GetValue());
        Stepper stepper([&] {
            if (!page.IsShown()) {
                return false;
            }
            page.check_box()->SetValue(checked);
            click(page.next_button());
            return true;
        });
        page.ShowModal();
    }
    EXPECT_EQ(m_recorder.targets(2, 1000),
              std::vector<std::string>{"https://vendor.test/pixlane/uninstall.html"});
}

// Width and height of a baseline JPEG, from its frame header.
wxSize jpeg_size(const std::string& bytes) {
    for (std::size_t i = 2; i + 9 < bytes.size();) {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
        if (byte(i) != 0xFF) {
            break;
        }
        if (byte(i + 1) == 0xC0) {
            return {byte(i + 7) << 8 | byte(i + 8), byte(i + 5) << 8 | byte(i + 6)};
        }
        i += 2 + (byte(i + 2) << 8 | byte(i + 3));
    }
    return {};
}

TEST(ScreenshotModeTest, WritesTheCaptureAndItsThumbnail) {
    test::TempDir dir;
    const std::map<std::string, std::string> env = {{"XDG_RUNTIME_DIR", dir.path()},
                                                    {"XDG_CONFIG_HOME", dir / "config"}};
    platform::make_folder(dir / "shots");
    const test::RunResult r = test::run(test::pixlane_exe(), {"-T", dir / "shots"}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    const wxSize big = jpeg_size(test::read_file(dir / "shots/pixlane1.jpg"));
    const wxSize small = jpeg_size(test::read_file(dir / "shots/pixlane1x.jpg"));
    EXPECT_GE(big.GetWidth(), 510);
    EXPECT_GE(big.GetHeight(), 330);
    EXPECT_EQ(small,
              wxSize(180, static_cast<int>(std::lround(180.0 * big.GetHeight() / big.GetWidth()))));
    EXPECT_FALSE(platform::exists(dir / "config")); // config.ini neither read nor written

    // A folder that does not exist: nothing, and the program ends.
    const test::RunResult missing = test::run(test::pixlane_exe(), {"-T", dir / "none"}, env);
    EXPECT_EQ(missing.status, 0);
    EXPECT_FALSE(platform::exists(dir / "none"));
}

// A stop signal while a message box of the window is open (the start-up
// update question) closes it as Cancel would, saves config.ini and ends
// the program with status 0.
TEST(WindowSignalTest, AStopSignalDuringAMessageBoxEndsTheProgramCleanly) {
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        test::TempDir dir;
        platform::make_folders(dir / "config/Tarnwell/pixlane");
        const std::string config = dir / "config/Tarnwell/pixlane/config.ini";
        // An update check long due: the question comes as the window opens.
        test::write_file(config,
                         "\xEF\xBB\xBF\r\n[General]\r\nUpdate Date = 1\r\nUpdate Range = 0\r\n");
        const std::map<std::string, std::string> env = {{"XDG_RUNTIME_DIR", dir.path()},
                                                        {"XDG_CONFIG_HOME", dir / "config"},
                                                        {"PIXLANE_VENDOR_HOST", "127.0.0.1:9"}};
        const test::RunResult r = test::run(test::pixlane_exe(), {}, env, {}, [sig](pid_t pid) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            ::kill(pid, sig);
            // A program that hangs is ended so the test can fail; one that
            // ended is left for the caller to reap.
            for (int k = 0; k < 100; ++k) {
                siginfo_t info{};
                if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) ==
                        0 &&
                    info.si_pid == pid) {
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            ::kill(pid, SIGKILL);
        });
        EXPECT_EQ(r.status, 0) << sig << ": " << r.err;
        // Saved at the end: the question's date moved on.
        EXPECT_EQ(test::read_file(config).find("Update Date = 1\r\n"), std::string::npos) << sig;
    }
}

} // namespace
} // namespace pixlane
