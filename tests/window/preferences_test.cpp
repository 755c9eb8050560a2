// The Preferences dialog on a virtual display, over a real main window. The
// rules behind it are tested without a display in
// tests/unit/preferences_logic_test.cpp; these check the wiring.
#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/display.h>
#include <wx/image.h>
#include <wx/scrolwin.h>
#include <wx/toolbar.h>

#include <cairo.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "config/config.h"
#include "support/preferences_support.h"
#include "support/test_support.h"
#include "support/window_support.h"
#include "ui/main_window_ui.h"
#include "ui/preferences_ui.h"

namespace pixlane {
namespace {

using test::pump;

// Answers every question with `yes`, counting them.
class Answer final : public MessageBoxes {
  public:
    explicit Answer(bool yes) : m_yes(yes) {}
    void show_error(const std::string&) override {}
    void show_warning(const std::string&) override {}
    bool ask(Question q) override {
        asked += q == Question::ResetToDefaults;
        return m_yes;
    }
    int asked = 0;

  private:
    bool m_yes;
};

class PreferencesDialogTest : public test::MainWindowFixture {
  protected:
    void SetUp() override {
        m_app.settings.config_path = m_dir / "config.ini";
        prepare();
    }
    MainWindow& window() { return m_window != nullptr ? *m_window : make_window(200); }
    // Runs a main-window command and returns the dialog it opened.
    PreferencesDialog& open(int command = kCmdPreferences) {
        window();
        run(command);
        pump(200);
        PreferencesDialog* dialog = PreferencesDialog::find(window());
        EXPECT_NE(dialog, nullptr);
        return *dialog;
    }
    bool dialog_open() { return PreferencesDialog::find(window()) != nullptr; }
    static void type(wxTextCtrl* box, const char* text) { box->SetValue(text); }
    static void end_edit(wxTextCtrl* box) {
        wxFocusEvent lost(wxEVT_KILL_FOCUS, box->GetId());
        lost.SetEventObject(box);
        box->ProcessWindowEvent(lost);
    }
    static void choose(wxChoice* list, int item) {
        list->SetSelection(item);
        wxCommandEvent e(wxEVT_CHOICE, list->GetId());
        e.SetEventObject(list);
        e.SetInt(item);
        list->ProcessWindowEvent(e);
    }
    static void tick(wxCheckBox* check, bool on) {
        check->SetValue(on);
        wxCommandEvent e(wxEVT_CHECKBOX, check->GetId());
        e.SetEventObject(check);
        e.SetInt(on);
        check->ProcessWindowEvent(e);
    }

    test::TempDir m_dir;
};

TEST_F(PreferencesDialogTest, OpensOnGeneralFromTheMenuAndOnOutputFromTheFormatButton) {
    PreferencesDialog& first = open(kCmdOutFormat);
    // As wide as its widest row needs, at least 600 pixels.
    EXPECT_GE(first.GetClientSize().GetWidth(), 600);
    // At least 350 pixels high, more when the tallest page needs it.
    EXPECT_GE(first.GetClientSize().GetHeight(), 350);
    EXPECT_EQ(first.GetTitle(), "Preferences...");
    EXPECT_EQ(first.current_page(), kOutputPage);
    EXPECT_EQ(first.header_title(), "Output");
    EXPECT_TRUE(first.page_window(kOutputPage)->IsShown());
    EXPECT_FALSE(first.page_window(0)->IsShown());
    EXPECT_FALSE(window().IsEnabled());
    EXPECT_EQ(window().preferences_start_page, 0);
    // Escape acts as Cancel.
    wxKeyEvent escape(wxEVT_CHAR_HOOK);
    escape.m_keyCode = WXK_ESCAPE;
    first.ProcessWindowEvent(escape);
    pump(200);
    EXPECT_FALSE(dialog_open());
    EXPECT_TRUE(window().IsEnabled());

    PreferencesDialog& second = open(kCmdPreferences);
    EXPECT_EQ(second.current_page(), 0);
    EXPECT_EQ(second.header_title(), "General");
    second.tree()->SelectItem(second.tree()->GetNextSibling(second.tree()->GetFirstVisibleItem()));
    EXPECT_EQ(second.current_page(), 1);
    EXPECT_EQ(second.header_title(), "Interface");
    second.press_cancel();
    pump(200);
}

TEST_F(PreferencesDialogTest, EverySettingSurvivesOkAndTheNextStart) {
    const Settings rich = test::edited_settings(preference_rows(m_app.language), m_app.settings,
                                                m_app.language, m_images.themes);
    m_app.settings = rich;
    open().press_ok();
    pump(200);
    EXPECT_FALSE(dialog_open());
    EXPECT_EQ(test::differences(rich, m_app.settings), std::vector<std::string>{});
    // config.ini was saved, and gives the record back but for the load
    // options of types the converter does not read, which it never writes.
    Settings loaded;
    loaded.config_path = m_app.settings.config_path;
    ASSERT_TRUE(load_configuration(loaded, ConfigContext{}));
    for (const std::string& key : test::differences(rich, loaded)) {
        const SettingKey* row = find_setting("Input", key.substr(key.find('/') + 1));
        EXPECT_TRUE(key.starts_with("Input/") && row && row->format != "gif") << key;
    }
    EXPECT_EQ(window().format_field()->GetValue().BeforeFirst(' '), "XPM");
}

TEST_F(PreferencesDialogTest, SliderBoxesClampAndTheGammaShowsTwoDecimals) {
    PreferencesDialog& dialog = open(kCmdOutFormat);
    const auto* quality = dialog.controls("Output", "JPG Quality");
    ASSERT_NE(quality, nullptr);
    type(quality->text, "150");
    EXPECT_EQ(quality->text->GetValue(), "100");
    EXPECT_EQ(quality->slider->GetValue(), 100);
    type(quality->text, "0");
    EXPECT_EQ(quality->text->GetValue(), "1");
    EXPECT_EQ(quality->slider->GetValue(), 1);

    const auto* gamma = dialog.controls("Adjustment", "Image Gamma");
    type(gamma->text, "2.5");
    EXPECT_EQ(gamma->slider->GetValue(), 250);
    end_edit(gamma->text);
    EXPECT_EQ(gamma->text->GetValue(), "2.50");
    type(gamma->text, "12");
    EXPECT_EQ(gamma->text->GetValue(), "9.99");
    EXPECT_EQ(gamma->slider->GetValue(), 999);
    // The slider sets the box.
    const auto* brightness = dialog.controls("Adjustment", "Image Brightness");
    brightness->slider->SetValue(-30);
    wxCommandEvent moved(wxEVT_SLIDER, brightness->slider->GetId());
    moved.SetEventObject(brightness->slider);
    brightness->slider->ProcessWindowEvent(moved);
    EXPECT_EQ(brightness->text->GetValue(), "-30");

    dialog.press_ok();
    pump(200);
    EXPECT_EQ(m_app.settings.jpg_quality, 1);
    EXPECT_FLOAT_EQ(m_app.settings.image_gamma, 9.99f);
    EXPECT_EQ(m_app.settings.image_brightness, -30);
    EXPECT_EQ(m_app.settings.do_image_color_correction, 1);
}

TEST_F(PreferencesDialogTest, ChecksAndListsSwitchTheirRowsAndPanels) {
    m_app.settings.output_format = "png";
    PreferencesDialog& dialog = open();
    const auto* rotation = dialog.controls("Transform", "Do Image Rotation");
    const auto* angle = dialog.controls("Transform", "Image Rotation");
    EXPECT_FALSE(angle->slider->IsEnabled());
    tick(rotation->check, true);
    EXPECT_TRUE(angle->slider->IsEnabled());
    EXPECT_TRUE(angle->text->IsEnabled());

    EXPECT_FALSE(dialog.row_shown("Frame", "Solid Left"));
    choose(dialog.controls("Frame", "Do Frame")->choice, 1);
    EXPECT_TRUE(dialog.row_shown("Frame", "Solid Left"));

    choose(dialog.controls("Watermark", "Do Watermark")->choice, 2);
    EXPECT_TRUE(dialog.row_shown("Watermark", "Image Opacity"));
    EXPECT_FALSE(dialog.row_shown("Watermark", "Font"));
    EXPECT_FALSE(dialog.row_shown("Watermark", "Image Scale"));

    EXPECT_TRUE(dialog.row_shown("Output", "PNG Compression"));
    EXPECT_FALSE(dialog.row_shown("Output", "JPG Quality"));
    auto* format = dialog.controls("Output", "Format")->combo;
    format->SetSelection(9); // JPG
    wxCommandEvent picked(wxEVT_COMBOBOX, format->GetId());
    picked.SetEventObject(format);
    format->ProcessWindowEvent(picked);
    EXPECT_TRUE(dialog.row_shown("Output", "JPG Quality"));
    EXPECT_FALSE(dialog.row_shown("Output", "PNG Compression"));
    // On this screen the longest pages and the watermark's panels need no
    // scrolling: the dialog is as tall as they are.
    choose(dialog.controls("Watermark", "Do Watermark")->choice, 1);
    for (int page : {4, 5, 7}) {
        dialog.show_page(page);
        pump(50);
        const wxWindow* area = page == 7 ? dialog.controls("Watermark", "Font")->label->GetParent()
                                         : dialog.page_window(page);
        EXPECT_LE(area->GetVirtualSize().GetHeight(), area->GetClientSize().GetHeight()) << page;
    }
    dialog.press_cancel();
    pump(200);
    EXPECT_EQ(m_app.settings.do_frame, 0);
    EXPECT_EQ(m_app.settings.output_format, "png");
}

TEST_F(PreferencesDialogTest, OkWithAnotherIconSizeRebuildsTheToolbar) {
    EXPECT_EQ(window().GetToolBar()->GetToolBitmapSize(), wxSize(32, 32));
    PreferencesDialog& dialog = open();
    dialog.show_page(1);
    choose(dialog.controls("Interface", "UI Size")->choice, 4);
    dialog.press_ok();
    pump(200);
    EXPECT_EQ(m_app.settings.ui_size, 4);
    EXPECT_EQ(window().ui_refresh_request, 0);
    EXPECT_EQ(window().GetToolBar()->GetToolBitmapSize(), wxSize(64, 64));
    EXPECT_NE(test::read_file(m_app.settings.config_path).find("\r\nUI Size = 4\r\n"),
              std::string::npos);
}

TEST_F(PreferencesDialogTest, DefaultsAnsweredNoThenCancelLeavesTheRecord) {
    m_app.settings.jpg_quality = 40;
    m_app.settings.ui_size = 1;
    const Settings before = m_app.settings;
    PreferencesDialog& dialog = open();
    type(dialog.controls("Advanced", "Filename Mask")->text, "changed");
    Answer no(false);
    dialog.set_message_boxes(&no);
    dialog.press_defaults();
    EXPECT_EQ(no.asked, 1);
    EXPECT_TRUE(dialog_open());
    dialog.press_cancel();
    pump(200);
    EXPECT_EQ(test::differences(before, m_app.settings), std::vector<std::string>{});

    // Yes resets, saves and closes; the toolbar follows the default size.
    Answer yes(true);
    PreferencesDialog& again = open();
    again.set_message_boxes(&yes);
    again.press_defaults();
    pump(200);
    EXPECT_FALSE(dialog_open());
    EXPECT_EQ(m_app.settings.jpg_quality, 95);
    EXPECT_EQ(m_app.settings.config_path, before.config_path);
    EXPECT_EQ(window().GetToolBar()->GetToolBitmapSize(), wxSize(32, 32));
    EXPECT_NE(test::read_file(m_app.settings.config_path).find("JPG Quality = 95"),
              std::string::npos);
}

TEST_F(PreferencesDialogTest, ClosingTheMainWindowTakesTheOpenDialogAlong) {
    open(kCmdOutFormat);
    window().Close(); // as SIGTERM does
    pump(200);
    m_window = nullptr;
    EXPECT_TRUE(wxTopLevelWindows.IsEmpty());
}

// Labels of the shown controls below `root` that stand, whole or in part,
// outside `view` (screen coordinates); a scrolled window narrows the view
// to its own rectangle.
void collect_outside(const wxWindow& root, const wxRect& view, std::vector<std::string>& outside) {
    for (const wxWindow* w : root.GetChildren()) {
        if (!w->IsShown() || w->IsTopLevel()) {
            continue;
        }
        const wxRect rect = w->GetScreenRect();
        if (!w->GetChildren().empty()) {
            collect_outside(
                *w,
                dynamic_cast<const wxScrolledWindow*>(w) != nullptr ? view.Intersect(rect) : view,
                outside);
        } else if (!view.Contains(rect)) {
            outside.push_back(w->GetLabel().utf8_string());
        }
    }
}

// Every page on the screen: the white header strip holds the page's title
// in dark letters, the dialog stands on the screen, and every row of the
// page is in sight; only when the screen is too short for the tallest page
// does the dialog take the screen's height and the page scroll. With
// PIXLANE_PREFERENCES_SHOTS set to a folder each page is saved there as
// page<N>.png (Frame and Watermark with their panels). The suite runs again
// on a small screen and at twice the scale.
TEST_F(PreferencesDialogTest, EveryPageOnTheScreenHasItsHeaderAndItsRows) {
    const char* folder = std::getenv("PIXLANE_PREFERENCES_SHOTS");
    m_app.settings.do_frame = 1;
    m_app.settings.do_watermark = 1;
    m_app.settings.output_format = "jpg";
    for (int page = 0; page < static_cast<int>(kPreferencesPages.size()); ++page) {
        window().preferences_start_page = page;
        PreferencesDialog& dialog = open();
        pump(300);
        ASSERT_EQ(dialog.current_page(), page);
        const wxPoint at = dialog.GetScreenPosition();
        const wxSize size = dialog.GetSize();
        wxBitmap bitmap(size);
        {
            wxScreenDC screen;
            // The root window's surface keeps a snapshot of its first use.
            if (auto* cr = static_cast<cairo_t*>(screen.GetHandle())) {
                cairo_surface_mark_dirty(cairo_get_target(cr));
            }
            wxMemoryDC memory(bitmap);
            memory.Blit(0, 0, size.GetWidth(), size.GetHeight(), &screen, at.x, at.y);
        }
        const wxImage shot = bitmap.ConvertToImage();
        if (folder != nullptr) {
            const std::string path = std::string(folder) + "/page" + std::to_string(page) + ".png";
            EXPECT_TRUE(shot.SaveFile(path, wxBITMAP_TYPE_PNG)) << path;
        }
        const wxRect strip(dialog.header_strip()->GetScreenPosition() - at,
                           dialog.header_strip()->GetSize());
        int white = 0, dark = 0;
        for (int y = strip.GetTop(); y <= strip.GetBottom(); ++y) {
            for (int x = strip.GetLeft(); x <= strip.GetRight(); ++x) {
                const int sum = shot.GetRed(x, y) + shot.GetGreen(x, y) + shot.GetBlue(x, y);
                white += sum == 3 * 255;
                dark += sum < 150;
            }
        }
        EXPECT_GT(white, strip.GetWidth() * strip.GetHeight() * 3 / 4) << page;
        EXPECT_GT(dark, 20) << page;

        const wxRect screen = wxDisplay(0u).GetClientArea();
        EXPECT_TRUE(screen.Contains(dialog.GetScreenRect())) << page;
        wxWindow& shown = *dialog.page_window(page);
        std::vector<std::string> outside;
        collect_outside(shown, shown.GetScreenRect(), outside);
        if (!outside.empty()) {
            EXPECT_GE(dialog.GetSize().GetHeight(), screen.GetHeight())
                << page << ": \"" << outside.front() << "\" is cut on a screen that has room";
        }
        dialog.press_cancel();
        pump(100);
    }
}

} // namespace
} // namespace pixlane
