// The main window: menu bar, toolbar, the file list with the output-folder
// and output-format fields, the Convert button and the status bar. It does
// layout and event wiring; the decisions are in ui/main_window_logic.h.
#pragma once

#include <wx/bmpbuttn.h>
#include <wx/bmpcbox.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/panel.h>
#include <wx/stattext.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "run/session.h"
#include "ui/main_window_logic.h"
#include "ui/theme.h"

namespace pixlane {

// Command identifiers of menus, toolbar buttons and shortcuts.
enum CommandId : int {
    kCmdNew = wxID_HIGHEST + 1,
    kCmdAdd,
    kCmdOutFolder,
    kCmdImportFiles,
    kCmdExportFiles,
    kCmdExit,
    kCmdCopy,
    kCmdDelete,
    kCmdSelectAll,
    kCmdConvert,
    kCmdCustomConverter,
    kCmdPreferences,
    kCmdHelp,
    kCmdEmail,
    kCmdWeb,
    kCmdUpdates,
    kCmdAbout,
    kCmdOutFormat,
    kCmdSaveProfile,
    kCmdCopyCommand,
    kCmdPreview,
};

class ConversionDialog;
class PreviewWindow;
struct PreviewRequest;
class HelpCommands;
class ListWorkDialog;
enum class ListWork;

class MainWindow final : public wxFrame {
  public:
    // Builds the window hidden at (X, Y) with inner size Width x Height and
    // every control, menu, toolbar and shortcut. `app` and `images` outlive
    // the window.
    MainWindow(Session& app, WindowImages& images);
    ~MainWindow() override;

    // Binds the layout, maximises when IsMaximized is 1, fills both fields,
    // runs New and shows the window.
    void finish();

    // The layout formula over the current inner size, with the height the
    // toolkit's drop-down lists and buttons need.
    void layout();
    MainLayout current_layout() const;
    // Posts a size event, so the layout runs when the loop takes it.
    void request_layout();

    void set_status_text(const std::string& text);
    // Recent Out Folders with `folder` pushed first.
    void push_recent_folder(const std::string& folder);
    // Refills the output-folder field from Recent Out Folders (an empty
    // text leaves it as it is) and selects the output folder or the first.
    void refresh_output_folder_field();
    // After the Preferences dialog's OK: rebuilds what the UI refresh
    // request asks for, selects the output format at `format_position`
    // and refreshes the folder field when its size no longer matches.
    void apply_interface_changes(int format_position);
    // Opens the Preferences dialog on `preferences_start_page`.
    void open_preferences();
    // Paths dropped from a file manager, given on the command line or
    // handed over by a later start.
    void drop_files(const std::vector<std::string>& paths);
    static void let_events_through();
    // Runs the folder import (the job's input folder), the list import (its
    // input path) or the export (to its input path) in the progress dialog,
    // the bar going to `maximum`.
    void run_list_work(ListWork work, int maximum);
    // The window's state for the settings at exit.
    WindowGeometry geometry() const;

    // Opens the Preview window on the selected row (the first when none is
    // selected), or shows that row in the open one.
    void open_preview();
    // The open Preview window, else null.
    PreviewWindow* preview_window() const { return m_preview; }
    // The executable the Preview window starts as its worker process.
    std::string worker_program;

    // Pages and requests the Preferences dialog reads and sets.
    int preferences_start_page = 0;
    int ui_refresh_request = 0; // 0 none, 1 images, menus and toolbars, 2 toolbar icons

    wxListCtrl* file_list() const { return m_list; }
    wxBitmapComboBox* folder_field() const { return m_folder_field; }
    wxBitmapComboBox* format_field() const { return m_format_field; }
    wxWindow* container() const { return m_panel; }
    wxWindow* convert_button() const { return m_convert; }
    wxWindow* folder_button() const { return m_folder_button; }
    wxWindow* format_button() const { return m_format_button; }
    wxWindow* folder_label() const { return m_folder_label; }
    wxWindow* format_label() const { return m_format_label; }
    // The progress dialog while a conversion runs, else null.
    ConversionDialog* conversion_dialog() const { return m_conversion; }
    ListWorkDialog* list_work_dialog() const { return m_list_work; }
    // The Help menu, find-a-converter and the update check.
    HelpCommands& help() { return *m_help; }

  private:
    std::string text(const char* group, const char* key) const;
    wxBitmap menu_icon(std::string_view key) const;
    wxBitmap toolbar_icon(std::string_view key) const;
    wxBitmap button_image(std::string_view key) const;

    // A row for an entry the list took.
    void append_row(const std::string& path);
    void build_menus();
    void build_toolbar();
    void apply_images();
    void fill_format_field();
    bool list_has_focus() const;

    void on_command(wxCommandEvent& event);
    void on_close(wxCloseEvent& event);
    void on_list_right_click(wxListEvent& event);
    void on_list_double_click();
    // The preview request for `frame` of the row the Preview window shows.
    std::optional<PreviewRequest> preview_request_for(int frame) const;
    // Tells an open Preview window that the settings or the output format changed.
    void preview_settings_changed();

    void command_new();
    void command_select_output_folder();
    void command_copy();
    void command_delete();
    void command_select_all();
    void open_input_chooser();
    void add_input_files();
    void add_input_folder();
    void not_available(const char* menu_key);
    void start_conversion_run();
    void import_list();
    void export_list();
    // The window's settings as a console profile; the console command that
    // converts what Convert would, on the clipboard.
    void save_profile();
    void copy_command_line();
    std::string chosen_extension() const;
    std::string chosen_output_folder() const;

    Session& m_app;
    WindowImages& m_images;
    wxMenu* m_context_menu = nullptr;
    wxPanel* m_panel = nullptr;
    wxListCtrl* m_list = nullptr;
    wxStaticText* m_folder_label = nullptr;
    wxBitmapComboBox* m_folder_field = nullptr;
    wxBitmapButton* m_folder_button = nullptr;
    wxStaticText* m_format_label = nullptr;
    wxBitmapComboBox* m_format_field = nullptr;
    wxBitmapButton* m_format_button = nullptr;
    wxBitmapButton* m_convert = nullptr;
    ConversionDialog* m_conversion = nullptr;
    ListWorkDialog* m_list_work = nullptr;
    std::vector<int> m_format_indices; // output extension index of each format item
    std::unique_ptr<HelpCommands> m_help;
    bool m_context_menu_open = false;
    PreviewWindow* m_preview = nullptr;
    // A double-click that activated a row (it opens the Preview window, not
    // the input chooser).
    bool m_row_activated = false;
    std::uint32_t m_preview_frame_pick = 0; // draws the RANDOM frame the preview shows
};

} // namespace pixlane
