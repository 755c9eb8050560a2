// The main window on a real (virtual) display: the test binary runs under
// xvfb-run. Kept to a few pointed checks; the decisions behind them are
// tested without a display in tests/unit/main_window_logic_test.cpp.
#include <gtest/gtest.h>

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/image.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <thread>

#include "formats/catalogue.h"
#include "platform/platform.h"
#include "support/test_support.h"
#include "support/window_support.h"
#include "ui/busy_close_ui.h"
#include "ui/main_window_ui.h"
#include "ui/progress_dialog_ui.h"
#include "ui/window_app.h"

namespace pixlane {
namespace {

using test::Poller;
using test::pump;

class MainWindowTest : public test::MainWindowFixture {
  protected:
    void SetUp() override {
        m_app.settings.ui_size = 2;
        prepare();
    }
    MainWindow& open(int x, int y, int width, int height) {
        m_app.settings.x = x;
        m_app.settings.y = y;
        m_app.settings.width = width;
        m_app.settings.height = height;
        return make_window(300);
    }
    std::vector<long> selected_rows() const {
        std::vector<long> rows;
        const wxListCtrl* list = m_window->file_list();
        for (long i = list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i >= 0;
             i = list->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
            rows.push_back(i);
        }
        return rows;
    }
};

Rect rect_of(const wxWindow* w) {
    const wxPoint at = w->GetPosition();
    const wxSize size = w->GetSize();
    return {at.x, at.y, size.GetWidth(), size.GetHeight()};
}

TEST_F(MainWindowTest, TitleAndControlsWhereTheLayoutPutsThem) {
    MainWindow& window = open(30, 40, 510, 330);
    EXPECT_EQ(window.GetTitle(), "Pixlane 2.8");
    EXPECT_EQ(window.GetMenuBar()->GetMenuCount(), 4u);
    EXPECT_EQ(window.GetToolBar()->GetToolsCount(), 12u);
    EXPECT_EQ(window.GetToolBar()->GetToolBitmapSize(), wxSize(32, 32));
    EXPECT_EQ(window.GetMenuBar()->GetLabel(kCmdDelete), "Delete\tCtrl+Del");
    EXPECT_EQ(window.GetMenuBar()->GetLabel(kCmdExit), "Exit\tAlt+X");
    EXPECT_TRUE(window.GetMenuBar()->FindItem(kCmdUpdates)->GetBitmap().IsOk());
    EXPECT_EQ(window.GetStatusBar()->GetStatusText(), "Ready");
    for (const wxSize inner : {wxSize(510, 330), wxSize(820, 560)}) {
        window.SetClientSize(inner);
        pump();
        ASSERT_EQ(window.GetClientSize(), inner);
        const MainLayout l = window.current_layout();
        // The formula, with the fields as high as the toolkit draws them.
        EXPECT_EQ(l.file_list.height, inner.GetHeight() - 109 - 2 * (l.folder_field.height - 21));
        EXPECT_EQ(l.convert_button, (Rect{inner.GetWidth() - 110, 10, 100, 100}));
        EXPECT_EQ(rect_of(window.container()), l.container);
        EXPECT_EQ(rect_of(window.file_list()), l.file_list);
        EXPECT_EQ(window.file_list()->GetColumnWidth(0), l.list_column_width);
        EXPECT_EQ(rect_of(window.convert_button()), l.convert_button);
        const auto at = [](const wxWindow* w) { return w->GetPosition(); };
        EXPECT_EQ(at(window.folder_label()), wxPoint(l.folder_label.x, l.folder_label.y));
        EXPECT_EQ(at(window.folder_field()), wxPoint(l.folder_field.x, l.folder_field.y));
        EXPECT_EQ(at(window.folder_button()), wxPoint(l.folder_button.x, l.folder_button.y));
        EXPECT_EQ(at(window.format_label()), wxPoint(l.format_label.x, l.format_label.y));
        EXPECT_EQ(at(window.format_field()), wxPoint(l.format_field.x, l.format_field.y));
        EXPECT_EQ(at(window.format_button()), wxPoint(l.format_button.x, l.format_button.y));
        EXPECT_EQ(rect_of(window.folder_field()), l.folder_field);
        EXPECT_EQ(rect_of(window.format_button()), l.format_button);
    }
    // The geometry the settings keep at exit.
    const WindowGeometry g = window.geometry();
    EXPECT_FALSE(g.maximised);
    EXPECT_EQ(g.x, 30);
    EXPECT_EQ(g.y, 40);
    EXPECT_EQ(g.width, 820);
    EXPECT_EQ(g.height, 560);
}

// The window's pixels as the screen shows them.
wxImage screenshot(const wxWindow& window) {
    const wxPoint at = window.GetScreenPosition();
    const wxSize size = window.GetSize();
    wxBitmap shot(size);
    {
        wxScreenDC screen;
        wxMemoryDC memory(shot);
        memory.Blit(0, 0, size.GetWidth(), size.GetHeight(), &screen, at.x, at.y);
    }
    return shot.ConvertToImage();
}

// Mean absolute channel difference between `image` drawn at (x, y) over
// the window background and the screenshot, on its opaque pixels.
double difference(const wxImage& shot, const RgbaImage& image, int x, int y) {
    double sum = 0;
    int n = 0;
    for (int j = 0; j < image.height; ++j) {
        for (int i = 0; i < image.width; ++i) {
            const auto* p = &image.rgba[(static_cast<std::size_t>(j) * image.width + i) * 4];
            if (p[3] < 250 || x + i >= shot.GetWidth() || y + j >= shot.GetHeight()) {
                continue;
            }
            sum += std::abs(shot.GetRed(x + i, y + j) - p[0]) +
                   std::abs(shot.GetGreen(x + i, y + j) - p[1]) +
                   std::abs(shot.GetBlue(x + i, y + j) - p[2]);
            n += 3;
        }
    }
    return n ? sum / n : 255.0;
}

TEST_F(MainWindowTest, ScreenshotShowsTheConvertImageAndTheList) {
    MainWindow& window = open(0, 0, 640, 400);
    const std::string examples = std::string(PIXLANE_SOURCE_DIR) + "/examples/";
    window.drop_files({examples});
    pump(500);
    ASSERT_GE(window.file_list()->GetItemCount(), 2);
    const wxImage shot = screenshot(window);
    if (const char* path = std::getenv("PIXLANE_SCREENSHOT")) {
        ASSERT_TRUE(shot.SaveFile(path, wxBITMAP_TYPE_PNG)) << path;
    }

    // The Convert picture sits inside its button: the best offset matches.
    const RgbaImage* convert = m_images.images.find(m_images.maps.buttons.at("Convert"));
    ASSERT_NE(convert, nullptr);
    const wxPoint button =
        window.convert_button()->GetScreenPosition() - window.GetScreenPosition();
    double best = 255;
    for (int dy = 0; dy <= 100 - convert->height; ++dy) {
        for (int dx = 0; dx <= 100 - convert->width; ++dx) {
            best = std::min(best, difference(shot, *convert, button.x + dx, button.y + dy));
        }
    }
    EXPECT_LT(best, 12.0);

    // The list's first row holds dark text on a light background.
    const wxPoint list = window.file_list()->GetScreenPosition() - window.GetScreenPosition();
    wxRect row;
    ASSERT_TRUE(window.file_list()->GetItemRect(0, row));
    int dark = 0;
    for (int y = row.y; y < row.y + row.height; ++y) {
        for (int x = row.x; x < row.x + std::min(row.width, 300); ++x) {
            const int px = list.x + x, py = list.y + y;
            dark += shot.GetRed(px, py) + shot.GetGreen(px, py) + shot.GetBlue(px, py) < 200;
        }
    }
    EXPECT_GT(dark, 30);
}

TEST_F(MainWindowTest, EditCommandsActOnlyWhileTheListHasTheFocus) {
    MainWindow& window = open(0, 0, 600, 400);
    test::TempDir dir;
    std::vector<std::string> paths;
    for (const char* name : {"a.gif", "b.gif", "c.gif", "d.gif", "e.gif"}) {
        test::write_file(dir / name, "GIF89a....");
        paths.push_back(dir / name);
    }
    window.drop_files(paths);
    pump();
    ASSERT_EQ(window.file_list()->GetItemCount(), 5);
    if (wxTheClipboard->Open()) {
        wxTheClipboard->SetData(new wxTextDataObject("before"));
        wxTheClipboard->Close();
    }
    const auto clipboard = [] {
        wxTextDataObject data;
        if (wxTheClipboard->Open()) {
            wxTheClipboard->GetData(data);
            wxTheClipboard->Close();
        }
        return std::string(data.GetText().utf8_str());
    };

    window.format_field()->SetFocus();
    pump(200);
    ASSERT_EQ(wxWindow::FindFocus(), window.format_field());
    run(kCmdSelectAll);
    run(kCmdCopy);
    EXPECT_TRUE(selected_rows().empty());
    EXPECT_EQ(clipboard(), "before");

    window.file_list()->SetFocus();
    pump(200);
    run(kCmdSelectAll);
    EXPECT_EQ(selected_rows().size(), 5u);
    run(kCmdCopy);
    EXPECT_EQ(clipboard(), paths[0] + "\r\n" + paths[1] + "\r\n" + paths[2] + "\r\n" + paths[3] +
                               "\r\n" + paths[4]);

    // Deleting the last entry, alone selected, leaves the new last selected.
    for (long i = 0; i < 4; ++i) {
        window.file_list()->SetItemState(i, 0, wxLIST_STATE_SELECTED);
    }
    run(kCmdDelete);
    EXPECT_EQ(window.file_list()->GetItemCount(), 4);
    EXPECT_EQ(selected_rows(), std::vector<long>{3});
    EXPECT_EQ(m_app.input_list.size(), 4u);
    EXPECT_FALSE(m_app.input_list.contains(paths[4]));

    // The list's context menu runs the same commands, chosen as a click does.
    bool chosen = false;
    Poller choose([&chosen] {
        GList* windows = gtk_window_list_toplevels();
        for (GList* at = windows; at != nullptr && !chosen; at = at->next) {
            GtkWidget* menu = gtk_bin_get_child(GTK_BIN(at->data));
            if (menu == nullptr || !GTK_IS_MENU(menu) || !gtk_widget_get_visible(menu)) {
                continue;
            }
            // Copy, Delete, a separator, Select All.
            GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
            if (g_list_length(items) == 4) {
                gtk_menu_shell_activate_item(GTK_MENU_SHELL(menu),
                                             GTK_WIDGET(g_list_nth_data(items, 1)), TRUE);
                chosen = true;
            }
            g_list_free(items);
        }
        g_list_free(windows);
        return chosen;
    });
    // The open menu holds the focus, not the list.
    window.format_field()->SetFocus();
    pump(200);
    wxListEvent click(wxEVT_LIST_ITEM_RIGHT_CLICK, window.file_list()->GetId());
    click.SetEventObject(window.file_list());
    window.file_list()->ProcessWindowEvent(click);
    pump(200);
    EXPECT_TRUE(chosen);
    EXPECT_EQ(window.file_list()->GetItemCount(), 3);
    EXPECT_EQ(m_app.input_list.size(), 3u);
}

TEST_F(MainWindowTest, DropOfAFolderImportsItsTreeAndANonGifAddsNothing) {
    MainWindow& window = open(0, 0, 600, 400);
    test::TempDir dir;
    platform::make_folder(dir / "tree");
    platform::make_folder(dir / "tree/sub");
    test::write_file(dir / "tree/a.gif", "GIF89a....");
    test::write_file(dir / "tree/sub/b.gif", "GIF89a....");
    test::write_file(dir / "photo.jpg", "jpeg");
    window.drop_files({dir / "photo.jpg"});
    EXPECT_EQ(window.file_list()->GetItemCount(), 0);
    window.drop_files({dir / "tree"});
    ASSERT_EQ(window.file_list()->GetItemCount(), 2);
    EXPECT_EQ(window.file_list()->GetItemText(1), wxString::FromUTF8(dir / "tree/sub/b.gif"));
    EXPECT_EQ(m_app.window.input_folder, dir / "tree/");
    run(kCmdNew);
    EXPECT_EQ(window.file_list()->GetItemCount(), 0);
    EXPECT_EQ(m_app.input_list.size(), 0u);
}

TEST_F(MainWindowTest, RecentFoldersFillTheFieldAndNewClearsItsText) {
    m_app.settings.recent_out_folders = "/one/\t/two/";
    MainWindow& window = open(0, 0, 600, 400);
    EXPECT_EQ(window.folder_field()->GetCount(), 2u);
    EXPECT_EQ(window.folder_field()->GetValue(), ""); // after New
    window.push_recent_folder("/three/");
    m_app.window.output_folder = "/two/";
    window.refresh_output_folder_field();
    EXPECT_EQ(window.folder_field()->GetCount(), 3u);
    EXPECT_EQ(window.folder_field()->GetString(0), "/three/");
    EXPECT_EQ(window.folder_field()->GetValue(), "/two/");
    // The format field lists every output format and shows the [Output] Format.
    EXPECT_EQ(window.format_field()->GetCount(), output_catalogue().size());
    EXPECT_EQ(window.format_field()->GetValue().BeforeFirst(' '), "BMP");
}

// Files under `root` by relative path, with their bytes.
std::map<std::string, std::string> files_under(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) {
            files[std::filesystem::relative(e.path(), root).string()] =
                test::read_file(e.path().string());
        }
    }
    return files;
}

class ConversionRunTest : public MainWindowTest {
  protected:
    // Presses Convert and waits for the dialog's OK, then presses it; the
    // dialog's final view.
    ProgressView convert() {
        ProgressView seen;
        const auto started = std::chrono::steady_clock::now();
        Poller poller([&] {
            ConversionDialog* dialog = m_window->conversion_dialog();
            if (dialog == nullptr) {
                return std::chrono::steady_clock::now() - started > std::chrono::seconds(5);
            }
            if (!dialog->ok_button()->IsEnabled()) {
                return false;
            }
            seen = dialog->model().view();
            seen.title = std::string(dialog->GetTitle().utf8_str());
            wxCommandEvent click(wxEVT_BUTTON, wxID_OK);
            click.SetEventObject(dialog->ok_button());
            dialog->ok_button()->ProcessWindowEvent(click);
            return true;
        });
        run(kCmdConvert);
        return seen;
    }
    // The output folder as the folder chooser sets it.
    void choose_folder(const std::string& folder) {
        m_window->push_recent_folder(folder);
        m_app.window.output_folder = folder;
        m_window->refresh_output_folder_field();
    }
    std::string status() const {
        return std::string(m_window->GetStatusBar()->GetStatusText().utf8_str());
    }
};

TEST_F(ConversionRunTest, AFolderImportAndAnExportReportTheirCounts) {
    MainWindow& window = open(0, 0, 600, 400);
    test::TempDir dir;
    platform::make_folder(dir / "in");
    platform::make_folder(dir / "in/sub");
    test::write_file(dir / "in/a.gif", "GIF89a....");
    test::write_file(dir / "in/sub/b.gif", "GIF89a....");
    m_app.window.input_folder = dir / "in/";
    window.run_list_work(ListWork::FolderImport, folder_bar_maximum(dir / "in/"));
    pump(100);
    EXPECT_EQ(window.file_list()->GetItemCount(), 2);
    EXPECT_EQ(status(), "Import complete, new files added: 2");
    m_app.window.list_path = export_file_name(dir / "list");
    window.run_list_work(ListWork::Export, window.file_list()->GetItemCount());
    EXPECT_EQ(status(), "Export complete, entries saved: 2");
    EXPECT_FALSE(test::read_file(dir / "list.txt").empty());
}

TEST_F(ConversionRunTest, ABrokenFolderImportKeepsTheEntriesAdded) {
    MainWindow& window = open(0, 0, 600, 400);
    test::TempDir dir;
    platform::make_folder(dir / "in");
    for (int i = 0; i < 3000; ++i) {
        test::write_file(dir / ("in/" + std::to_string(10000 + i) + ".gif"), "GIF89a....");
    }
    m_app.window.input_folder = dir / "in/";
    // Yes to the break question at the dialog's first chance.
    window.CallAfter([&window] {
        if (ListWorkDialog* dialog = window.list_work_dialog()) {
            dialog->break_work();
        }
    });
    window.run_list_work(ListWork::FolderImport, folder_bar_maximum(dir / "in/"));
    pump(100);
    EXPECT_EQ(status(), "Import stopped");
    EXPECT_LT(m_app.input_list.size(), 3000u);
    EXPECT_EQ(window.file_list()->GetItemCount(), static_cast<int>(m_app.input_list.size()));
}

// Escape in a progress dialog and the main window's close box ask the break
// question, as the dialog's close box does; Yes keeps the entries added so
// far and leaves the window open.
TEST_F(ConversionRunTest, EscapeOrTheWindowsCloseBoxAsksTheBreakQuestion) {
    MainWindow& window = open(0, 0, 600, 400);
    for (const bool escape : {true, false}) {
        test::TempDir dir;
        platform::make_folder(dir / "in");
        for (int i = 0; i < 3000; ++i) {
            test::write_file(dir / ("in/" + std::to_string(10000 + i) + ".gif"), "GIF89a....");
        }
        m_app.window.input_folder = dir / "in/";
        bool asked = false;
        Poller answer([&asked] {
            GList* windows = gtk_window_list_toplevels();
            for (GList* at = windows; at != nullptr; at = at->next) {
                if (GTK_IS_MESSAGE_DIALOG(at->data) &&
                    gtk_widget_get_visible(GTK_WIDGET(at->data))) {
                    asked = true;
                    gtk_dialog_response(GTK_DIALOG(at->data), GTK_RESPONSE_YES);
                }
            }
            g_list_free(windows);
            return asked;
        });
        window.CallAfter([this, &window, escape] {
            if (ListWorkDialog* dialog = window.list_work_dialog(); dialog && escape) {
                wxKeyEvent key(wxEVT_CHAR_HOOK);
                key.m_keyCode = WXK_ESCAPE;
                dialog->ProcessWindowEvent(key);
            } else {
                // As a window manager sends it; the import waits for the
                // request's way through the display.
                m_app.progress.pause();
                send_close_request(window);
            }
        });
        window.run_list_work(ListWork::FolderImport, folder_bar_maximum(dir / "in/"));
        pump(100);
        EXPECT_TRUE(asked) << escape;
        EXPECT_EQ(status(), "Import stopped") << escape;
        EXPECT_EQ(window.file_list()->GetItemCount(), static_cast<int>(m_app.input_list.size()));
        EXPECT_TRUE(window.IsShown());
        m_app.input_list.clear();
        window.file_list()->DeleteAllItems();
    }
}

TEST_F(ConversionRunTest, TwoFilesTheFirstFailingEndsOneOfTwo) {
    ::setenv("PIXLANE_IN_PROCESS", "1", 1);
    m_app.settings.output_format = "png";
    MainWindow& window = open(0, 0, 600, 400);
    test::TempDir dir;
    platform::make_folder(dir / "in");
    platform::make_folder(dir / "out");
    test::write_file(dir / "in/a.gif", "this is no picture");
    test::write_file(dir / "in/b.gif",
                     test::read_file(std::string(PIXLANE_SOURCE_DIR) + "/examples/still.gif"));
    window.drop_files({dir / "in"});
    ASSERT_EQ(window.file_list()->GetItemCount(), 2);
    choose_folder(dir / "out/");
    const ProgressView end = convert();
    EXPECT_EQ(end.file_line, "Files converted: 1 of 2");
    EXPECT_EQ(end.title, "Conversion complete (2/2)");
    EXPECT_EQ(status(), "Conversion complete");
    EXPECT_EQ(files_under(dir / "out").size(), 1u);
}

TEST_F(ConversionRunTest, TheFieldShowsTheOutputFolderAsTheRunTookIt) {
    ::setenv("PIXLANE_IN_PROCESS", "1", 1);
    m_app.settings.output_format = "png";
    test::TempDir dir;
    platform::make_folder(dir / "other");
    platform::make_folder(dir / "chosen");
    // Recent folders as an older settings file may hold them: without
    // their separators.
    m_app.settings.recent_out_folders = dir / "other" + "\t" + dir / "chosen";
    MainWindow& window = open(0, 0, 600, 400);
    test::write_file(dir / "b.gif",
                     test::read_file(std::string(PIXLANE_SOURCE_DIR) + "/examples/still.gif"));
    // The first file added chose its own folder; the user picks another.
    window.drop_files({dir / "b.gif"});
    EXPECT_EQ(window.folder_field()->GetValue(), wxString::FromUTF8(dir.path()));
    window.folder_field()->SetSelection(
        window.folder_field()->FindString(wxString::FromUTF8(dir / "chosen")));
    wxCommandEvent pick(wxEVT_COMBOBOX, window.folder_field()->GetId());
    pick.SetEventObject(window.folder_field());
    window.folder_field()->ProcessWindowEvent(pick);
    EXPECT_EQ(convert().file_line, "Files converted: 1 of 1");
    EXPECT_TRUE(platform::exists(dir / "chosen/b.png"));
    // The run put the folder first among the recent ones, with its
    // separator, and the field shows that entry.
    EXPECT_EQ(window.folder_field()->GetString(0), wxString::FromUTF8(dir / "chosen/"));
    EXPECT_EQ(window.folder_field()->GetValue(), wxString::FromUTF8(dir / "chosen/"));
}

TEST_F(ConversionRunTest, AFolderConvertedInTheWindowEqualsTheConsolesOutput) {
    ::setenv("PIXLANE_IN_PROCESS", "1", 1);
    m_app.settings.output_format = "png";
    MainWindow& window = open(0, 0, 600, 400);
    test::TempDir dir;
    const std::string examples = std::string(PIXLANE_SOURCE_DIR) + "/examples";
    window.drop_files({examples});
    ASSERT_GE(window.file_list()->GetItemCount(), 3);
    platform::make_folder(dir / "window");
    choose_folder(dir / "window/");
    const ProgressView end = convert();
    const int count = window.file_list()->GetItemCount();
    EXPECT_EQ(end.file_line,
              "Files converted: " + std::to_string(count) + " of " + std::to_string(count));
    platform::make_folder(dir / "console");
    const test::RunResult console =
        test::run_pixlane({"-q", "-i", examples + "/", "-o", dir / "console", "-c", "png"});
    ASSERT_EQ(console.status, 0) << console.out << console.err;
    const auto ours = files_under(dir / "window");
    EXPECT_GE(ours.size(), static_cast<std::size_t>(count)); // an animation gives a file per frame
    EXPECT_TRUE(ours == files_under(dir / "console"));
}

// File > Copy Command Line gives a console command that writes the bytes
// Convert wrote, for settings the window changed from the console's
// defaults; the saved profile holds the same settings.
TEST_F(ConversionRunTest, TheCopiedCommandLineConvertsWhatConvertDid) {
    ::setenv("PIXLANE_IN_PROCESS", "1", 1);
    Settings& s = m_app.settings;
    s.output_format = "png";
    s.do_image_resize = 1;
    s.image_width = 20;
    s.image_height = 0;
    s.keep_aspect_ratio = 1;
    s.do_image_greyscale = 1;
    s.filename_mask = "%filename% small.%ext%";
    MainWindow& window = open(0, 0, 600, 400);
    test::TempDir dir;
    window.drop_files({std::string(PIXLANE_SOURCE_DIR) + "/examples"});
    platform::make_folder(dir / "out put");
    choose_folder(dir / "out put/");
    convert();
    const auto converted = files_under(dir / "out put");
    ASSERT_FALSE(converted.empty());
    run(kCmdCopyCommand);
    wxTextDataObject data;
    ASSERT_TRUE(wxTheClipboard->Open());
    wxTheClipboard->GetData(data);
    wxTheClipboard->Close();
    const std::string command(data.GetText().utf8_str());
    EXPECT_NE(command.find("--greyscale"), std::string::npos) << command;
    std::filesystem::remove_all(dir / "out put");
    platform::make_folder(dir / "out put");
    const auto r = test::run_shell(command + " -q");
    ASSERT_EQ(r.status, 0) << command << "\n" << r.out << r.err;
    EXPECT_TRUE(files_under(dir / "out put") == converted) << command;
}

// Starts the executable on this display with a private settings folder,
// gives it `ms` to open its window, then asks it to close (SIGTERM).
int run_and_close(const std::string& config_home, const std::string& runtime, int ms) {
    const pid_t pid = fork();
    if (pid == 0) {
        ::setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        const std::string exe = test::pixlane_exe();
        ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(WindowRunTest, TheNextStartRestoresGeometryRecentFoldersAndFormat) {
    test::TempDir home;
    test::TempDir runtime;
    const std::string file = home / "Tarnwell/pixlane/config.ini";
    // The first start: the window centred on the 1280 x 1024 desktop.
    ASSERT_EQ(run_and_close(home.path(), runtime.path(), 2500), 0);
    std::string text = test::read_file(file);
    EXPECT_NE(text.find("\r\nX = 385\r\nY = 347\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nUI Theme = handdrawn\r\n"), std::string::npos);

    const auto replace = [&text](const std::string& from, const std::string& to) {
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    };
    replace("\r\nWidth = 510\r\nHeight = 330\r\nX = 385\r\nY = 347\r\n",
            "\r\nWidth = 640\r\nHeight = 420\r\nX = 20\r\nY = 30\r\n");
    replace("\r\n[Output]\r\nFormat = bmp\r\n", "\r\n[Output]\r\nFormat = png\r\n");
    replace("\r\nRecent Out Folders = \r\n", "\r\nRecent Out Folders = /out/a/\t/out/b/\r\n");
    replace("\r\nUI Theme = handdrawn\r\n", "\r\nUI Theme = removed\r\n");
    test::write_file(file, text);
    ASSERT_EQ(run_and_close(home.path(), runtime.path(), 2500), 0);
    const std::string again = test::read_file(file);
    EXPECT_NE(again.find("\r\nWidth = 640\r\nHeight = 420\r\nX = 20\r\nY = 30\r\n"),
              std::string::npos)
        << again;
    EXPECT_NE(again.find("\r\n[Output]\r\nFormat = png\r\n"), std::string::npos);
    EXPECT_NE(again.find("\r\nRecent Out Folders = /out/a/\t/out/b/\r\n"), std::string::npos);
    // A missing theme package gives way to the one found last.
    EXPECT_NE(again.find("\r\nUI Theme = handdrawn\r\n"), std::string::npos);
}

// Files named on the command line join the list of the window that opens,
// and a later start hands its files to that window and ends: the first file
// added to the empty list chooses the output folder, which config.ini keeps.
TEST(WindowRunTest, FilesFromTheCommandLineAndFromALaterStartJoinTheList) {
    test::TempDir files;
    const std::string sample =
        test::read_file(std::string(PIXLANE_SOURCE_DIR) + "/examples/still.gif");
    platform::make_folders(files / "first");
    platform::make_folders(files / "second");
    test::write_file(files / "first/a.gif", sample);
    test::write_file(files / "second/b.gif", sample);
    struct Case {
        std::vector<std::string> window_args;
        std::vector<std::string> later_args; // empty: no later start
        std::string output_folder;
    };
    const Case cases[] = {
        {{files / "first/a.gif"}, {}, files / "first/"},
        {{}, {files / "second/b.gif"}, files / "second/"},
    };
    for (const auto& c : cases) {
        test::TempDir home;
        const std::map<std::string, std::string> env = {{"XDG_RUNTIME_DIR", home.path()},
                                                        {"XDG_CONFIG_HOME", home.path()}};
        test::RunResult later;
        const auto window = test::run(test::pixlane_exe(), c.window_args, env, {}, [&](pid_t pid) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            if (!c.later_args.empty()) {
                later = test::run(test::pixlane_exe(), c.later_args, env);
                std::this_thread::sleep_for(std::chrono::milliseconds(800));
            }
            ::kill(pid, SIGTERM);
        });
        EXPECT_EQ(window.status, 0) << window.err;
        if (!c.later_args.empty()) {
            EXPECT_EQ(later.status, 0) << later.err;
        }
        const std::string config = test::read_file(home / "Tarnwell/pixlane/config.ini");
        EXPECT_NE(config.find("\r\nRecent Out Folders = " + c.output_folder + "\r\n"),
                  std::string::npos)
            << config;
    }
}

} // namespace
} // namespace pixlane

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!pixlane::start_window_toolkit()) {
        return 1;
    }
    wxImage::AddHandler(new wxPNGHandler);
    const int status = RUN_ALL_TESTS();
    pixlane::stop_window_toolkit();
    return status;
}
