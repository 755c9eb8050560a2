// The Preview window on the virtual display, driven by keys and clicks: what
// it shows is the file a conversion writes, its slider reaches every frame,
// and a worker that crashes leaves it standing with a message.
#include <gtest/gtest.h>

#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/listctrl.h>
#include <wx/uiaction.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "support/test_support.h"
#include "support/window_support.h"
#include "ui/main_window_ui.h"
#include "ui/preview_ui.h"

// FreeImage's header after every wxWidgets header.
#include "pipeline/save.h"
#include "run/convert_file.h"
#include "run/preview.h"
#include "support/preview_support.h"

namespace pixlane {
namespace {

using test::pump;
using test::TempDir;

constexpr int kFrames = 4;

class PreviewWindowTest : public test::MainWindowFixture {
  protected:
    void SetUp() override {
        m_app.settings.x = 20;
        m_app.settings.y = 20;
        m_app.settings.width = 640;
        m_app.settings.height = 400;
        m_app.settings.output_format = "png";
        m_app.settings.png_bpp = 32;
        prepare();
    }
    void TearDown() override {
        ::unsetenv("PIXLANE_WORKER_FAULTS");
        MainWindowFixture::TearDown();
    }
    // The window with `names` (patterned animations in `in`) in its list and
    // `out` as its output folder.
    MainWindow& open_with(const TempDir& in, const TempDir& out,
                          const std::vector<std::string>& names) {
        MainWindow& window = make_window(300);
        window.worker_program = test::pixlane_exe();
        for (const auto& name : names) {
            test::write_file(in / name, test::patterned_gif(40, 30, kFrames));
            m_app.input_list.add(in / name, in.path());
        }
        window.push_recent_folder(out.path());
        m_app.window.output_folder = out.path();
        window.refresh_output_folder_field();
        pump(100);
        return window;
    }
    // Lets the toolkit work until the preview window answered its newest
    // request and `ready` holds (a minute at most, for a hung worker).
    PreviewWindow* wait_for(const std::function<bool(const Preview&)>& ready) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < end) {
            pump(20);
            PreviewWindow* preview = m_window->preview_window();
            if (preview != nullptr && preview->settled() && ready(preview->shown())) {
                return preview;
            }
        }
        return m_window->preview_window();
    }
    // The files a conversion of every frame writes, in frame order.
    std::vector<std::string> convert_every_frame(const std::string& input, const TempDir& out) {
        Settings s = m_app.settings;
        s.gif_frame_loading = kFramesAll;
        BatchPlan plan;
        plan.output_folder = out.path();
        set_batch_output(plan, "png", s);
        FileTask task;
        task.input_path = input;
        std::vector<std::string> paths;
        for (const auto& frame : convert_file(s, plan, task).frame_results) {
            paths.push_back(frame.output_path);
        }
        return paths;
    }
};

TEST_F(PreviewWindowTest, ShowsTheWrittenFileAndItsSlider) {
    m_app.settings.gif_frame_loading = kFramesMiddle;
    TempDir in, out, every;
    MainWindow& window = open_with(in, out, {"anim.gif"});
    wxUIActionSimulator keys;
    window.Raise();
    window.file_list()->SetFocus();
    pump(100);
    keys.Char('p', wxMOD_CONTROL);
    PreviewWindow* preview = wait_for([](const Preview& p) { return p.frame_count > 0; });
    ASSERT_NE(preview, nullptr);
    ASSERT_EQ(preview->shown().error, "");
    // The middle frame first, named and sized as the run writes it.
    EXPECT_EQ(preview->shown().frame, 1);
    const Settings s = m_app.settings;
    BatchPlan plan;
    plan.output_folder = out.path();
    set_batch_output(plan, "png", s);
    FileTask task;
    task.input_path = in / "anim.gif";
    const FileOutcome outcome = convert_file(s, plan, task);
    ASSERT_TRUE(outcome.ok());
    const std::string written = outcome.frame_results.at(0).output_path;
    EXPECT_EQ(preview->name_line(), written);
    EXPECT_EQ(preview->size_line(), std::to_string(test::read_file(written).size()) + " bytes");
    EXPECT_TRUE(preview->shown().result.pixels == test::rgba_of_file(written).pixels);

    // Home, then Right: every frame in turn, each the file its conversion writes.
    const std::vector<std::string> frames = convert_every_frame(in / "anim.gif", every);
    ASSERT_EQ(frames.size(), std::size_t{kFrames});
    preview->frame_slider()->SetFocus();
    pump(100);
    for (int k = 0; k < kFrames; ++k) {
        keys.Char(k == 0 ? WXK_HOME : WXK_RIGHT);
        preview = wait_for([k](const Preview& p) { return p.frame == k; });
        ASSERT_EQ(preview->shown().frame, k);
        EXPECT_TRUE(preview->shown().result.pixels == test::rgba_of_file(frames[k]).pixels) << k;
    }

    // Another output format redraws with its name and size.
    m_app.settings.jpg_quality = 80;
    window.format_field()->SetSelection(format_selection(format_items(true), "jpg"));
    wxCommandEvent changed(wxEVT_COMBOBOX, window.format_field()->GetId());
    window.format_field()->ProcessWindowEvent(changed);
    preview = wait_for([](const Preview& p) { return p.output_path.ends_with(".jpg"); });
    EXPECT_TRUE(preview->name_line().ends_with("anim.jpg"));
    EXPECT_EQ(preview->shown().depth, 24);
}

TEST_F(PreviewWindowTest, ACrashingFileLeavesAMessageAndTheNextRowWorks) {
    ::setenv("PIXLANE_WORKER_FAULTS", "crash=a_crash.gif", 1);
    TempDir in, out;
    MainWindow& window = open_with(in, out, {"a_crash.gif", "b_good.gif"});
    // A double-click on the first row.
    wxRect row;
    ASSERT_TRUE(window.file_list()->GetItemRect(0, row));
    window.Raise();
    pump(100);
    wxUIActionSimulator mouse;
    mouse.MouseMove(window.file_list()->ClientToScreen(row.GetPosition() + wxPoint(20, 4)));
    pump(50);
    mouse.MouseDblClick();
    PreviewWindow* preview = wait_for([](const Preview& p) { return !p.error.empty(); });
    ASSERT_NE(preview, nullptr);
    EXPECT_NE(preview->message().find("crashed with signal"), std::string::npos)
        << preview->message();
    EXPECT_TRUE(preview->IsShown());
    EXPECT_TRUE(window.IsShown());
    // Another row selected: a fresh worker shows it.
    window.file_list()->SetItemState(0, 0, wxLIST_STATE_SELECTED);
    window.file_list()->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    preview = wait_for([](const Preview& p) { return p.error.empty() && p.frame_count > 0; });
    EXPECT_TRUE(preview->name_line().ends_with("b_good[1].png")) << preview->name_line();
    EXPECT_EQ(preview->message(), "");
}

// Rings of a smooth colour ramp that move outwards from frame to frame.
std::string rings(int width, int height, int frames) {
    test::GifSpec s;
    s.width = width;
    s.height = height;
    for (int i = 0; i < 256; ++i) {
        const auto c = static_cast<test::Rgb>(i);
        s.global_palette.push_back((c << 16) | ((64 + c / 2) << 8) | (255 - c));
    }
    for (int k = 0; k < frames; ++k) {
        test::GifFrame f = test::solid_frame(0, 0, width, height, 0);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const double r = std::hypot(x - width / 2.0, y - height / 2.0);
                const int v = (static_cast<int>(r * 3) + 24 * k) % 512;
                f.indices[static_cast<std::size_t>(y * width + x)] =
                    static_cast<std::uint8_t>(v < 256 ? v : 511 - v);
            }
        }
        s.frames.push_back(std::move(f));
    }
    return test::encode_gif(s);
}

// With PIXLANE_PREVIEW_SCREENSHOT set: the README's picture of the window,
// a resized and watermarked frame as a jpg.
TEST_F(PreviewWindowTest, Screenshot) {
    const char* target = std::getenv("PIXLANE_PREVIEW_SCREENSHOT");
    if (target == nullptr) {
        GTEST_SKIP() << "PIXLANE_PREVIEW_SCREENSHOT is not set";
    }
    m_app.settings.output_format = "jpg";
    m_app.settings.do_image_resize = 1;
    m_app.settings.image_width = 240;
    m_app.settings.do_watermark = kWatermarkText;
    m_app.settings.font_size = 18;
    TempDir in, out;
    MainWindow& window = make_window(300);
    window.worker_program = test::pixlane_exe();
    test::write_file(in / "sample.gif", rings(320, 240, 6));
    m_app.input_list.add(in / "sample.gif", in.path());
    window.push_recent_folder(out.path());
    m_app.window.output_folder = out.path();
    window.refresh_output_folder_field();
    window.open_preview();
    PreviewWindow* preview = wait_for([](const Preview& p) { return p.frame_count > 0; });
    ASSERT_NE(preview, nullptr);
    preview->SetSize(860, 480);
    pump(500);
    const wxRect outer = preview->GetScreenRect();
    wxBitmap shot(outer.GetSize(), 24);
    {
        wxScreenDC screen;
        wxMemoryDC memory(shot);
        memory.Blit(0, 0, outer.GetWidth(), outer.GetHeight(), &screen, outer.x, outer.y);
    }
    ASSERT_TRUE(shot.ConvertToImage().SaveFile(target, wxBITMAP_TYPE_PNG));
}

} // namespace
} // namespace pixlane
