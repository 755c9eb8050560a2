// The screenshot mode: the main window in a fixed demonstration state,
// captured into two JPEG files.
#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/timer.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/product.h"
#include "draw/jpeg_file.h"
#include "platform/platform.h"
#include "records/records.h"
#include "ui/help_logic.h"
#include "ui/images_ui.h"
#include "ui/main_window_ui.h"
#include "ui/window_app.h"
#include "util/escape.h"

namespace pixlane {
namespace {

wxString wx(std::string_view s) { return wxString::FromUTF8(s.data(), s.size()); }

constexpr int kShowMs = 500;
constexpr int kJpegQuality = 90; // 9 on a scale of 0 to 10
constexpr int kTextPoints = 8;

// Puts the window into its demonstration state.
void fill_window(MainWindow& window, const WindowImages& images) {
    wxListCtrl* list = window.file_list();
    const auto samples = screenshot_samples(
        [](std::size_t count) { return static_cast<std::size_t>(new_random_value()) % count; });
    for (const auto& path : samples) {
        list->InsertItem(list->GetItemCount(), wx(path));
    }
    list->EnsureVisible(5);
    const auto icon = images.maps.set_a.find("FavFolder");
    const int at = window.folder_field()->Append(
        wx(kScreenshotOutputFolder),
        to_bitmap(icon == images.maps.set_a.end() ? nullptr : images.images.find(icon->second),
                  16));
    window.folder_field()->SetSelection(at);
    window.format_field()->SetFocus();
    window.folder_field()->SetFocus();
    window.convert_button()->SetFocus();
}

// The window with its frame as the screen shows it, the web address drawn
// near its bottom right corner.
wxImage capture(const wxWindow& window) {
    const wxRect outer = window.GetScreenRect();
    wxBitmap shot(outer.GetSize(), 24);
    wxMemoryDC memory(shot);
    {
        wxScreenDC screen;
        memory.Blit(0, 0, outer.GetWidth(), outer.GetHeight(), &screen, outer.GetX(), outer.GetY());
    }
    memory.SetFont(wxFont(wxFontInfo(kTextPoints).FaceName("Tahoma").AntiAliased(true)));
    memory.SetTextForeground(*wxBLACK);
    memory.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    const wxString text = wx(kWebAddress);
    const wxSize extent = memory.GetTextExtent(text);
    const Point at = screenshot_text_position({outer.GetWidth(), outer.GetHeight()},
                                              {extent.GetWidth(), extent.GetHeight()});
    memory.DrawText(text, at.x, at.y);
    memory.SelectObject(wxNullBitmap);
    return shot.ConvertToImage();
}

bool save(const wxImage& image, const std::string& path) {
    const std::size_t size = static_cast<std::size_t>(image.GetWidth()) * image.GetHeight() * 3;
    if (write_jpeg_file(path, image.GetData(), size, image.GetWidth(), image.GetHeight(),
                        kJpegQuality)) {
        return true;
    }
    const int error = errno;
    std::fprintf(stderr, "%s: cannot write %s: %s\n", title_text().c_str(), escaped(path).c_str(),
                 std::strerror(error));
    return false;
}

} // namespace

int run_screenshot_mode(Session& app, const std::string& given) {
    const std::string folder = screenshot_folder(given, platform::program_folder());
    if (!platform::is_folder(folder)) {
        return kExitOk;
    }
    WindowImages images;
    report_theme_refusals(
        prepare_window_images(images, app.settings.ui_theme, app.settings.ui_size, theme_folder()));
    auto* window = new MainWindow(app, images);
    wxTheApp->SetTopWindow(window);
    window->Move(400, 400);
    window->SetClientSize(kMinimumInnerWidth, kMinimumInnerHeight);
    window->Raise();
    window->finish();
    fill_window(*window, images);

    // Half a second of the event loop, so everything is laid out and drawn.
    bool closed = false;
    wxGUIEventLoop loop;
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&loop](wxTimerEvent&) { loop.Exit(); });
    window->Bind(wxEVT_CLOSE_WINDOW, [&](wxCloseEvent& event) {
        closed = true;
        loop.Exit();
        event.Skip();
    });
    timer.StartOnce(kShowMs);
    loop.Run();
    if (closed) {
        return kExitOk;
    }
    window->Update();

    const wxImage shot = capture(*window);
    const PictureSize small = thumbnail_size({shot.GetWidth(), shot.GetHeight()});
    const bool ok =
        save(shot, folder + "pixlane1.jpg") &&
        save(shot.Scale(small.width, small.height, wxIMAGE_QUALITY_HIGH), folder + "pixlane1x.jpg");
    window->Destroy();
    return ok ? kExitOk : kExitError;
}

} // namespace pixlane
