#include "ui/main_window_ui.h"

#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/clipbrd.h>
#include <wx/dataobj.h>
#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/dnd.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/menu.h>
#include <wx/statusbr.h>
#include <wx/timer.h>
#include <wx/toolbar.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>

#include "base/product.h"
#include "formats/catalogue.h"
#include "formats/extensions.h"
#include "platform/platform.h"
#include "settings/option_values.h"
#include "ui/help_commands_ui.h"
#include "ui/images_ui.h"
#include "ui/message_boxes_ui.h"
#include "ui/preferences_ui.h"
#include "ui/preview_logic.h"
#include "ui/preview_ui.h"
#include "ui/progress_dialog_ui.h"

// FreeImage's header after every wxWidgets header.
#include "run/preview.h"

namespace pixlane {
namespace {

wxString wx(const std::string& s) { return wxString::FromUTF8(s); }
std::string utf8(const wxString& s) { return std::string(s.utf8_str()); }

// One command of the menus: its identifier, icon key, Menu text key and
// shortcut text.
struct MenuRow {
    int id; // 0: separator
    const char* icon;
    const char* key;
    const char* shortcut;
};

struct MenuSpec {
    const char* title_key;
    std::vector<MenuRow> rows;
};

const std::vector<MenuSpec>& menu_table() {
    static const std::vector<MenuSpec> table = {
        {"File",
         {{kCmdNew, "New", "New", "Ctrl+N"},
          {0, nullptr, nullptr, nullptr},
          {kCmdAdd, "Add", "Select Input Files", nullptr},
          {kCmdOutFolder, "OutFolder", "Select Output Folder", nullptr},
          {0, nullptr, nullptr, nullptr},
          {kCmdImportFiles, "ImportFiles", "Import Input Files", nullptr},
          {kCmdExportFiles, "ExportFiles", "Export Input Files", nullptr},
          {0, nullptr, nullptr, nullptr},
          {kCmdSaveProfile, "ExportFiles", "Save Profile", nullptr},
          {kCmdCopyCommand, "Copy", "Copy Command Line", nullptr},
          {0, nullptr, nullptr, nullptr},
          {kCmdExit, "Exit", "Exit", "Alt+X"}}},
        {"Edit",
         {{kCmdCopy, "Copy", "Copy", "Ctrl+C"},
          {kCmdDelete, "Delete", "Delete", "Ctrl+Del"},
          {0, nullptr, nullptr, nullptr},
          {kCmdSelectAll, "SelectAll", "Select All", "Ctrl+A"}}},
        {"Converter",
         {{kCmdConvert, "Convert", "Convert", "F5"},
          {kCmdPreview, "Convert", "Preview", "Ctrl+P"},
          {0, nullptr, nullptr, nullptr},
          {kCmdCustomConverter, "CustomConverter", "Custom Converter", nullptr},
          {0, nullptr, nullptr, nullptr},
          {kCmdPreferences, "Preferences", "Preferences", nullptr}}},
        {"Help",
         {{kCmdHelp, "Help", "Manual", "F1"},
          {0, nullptr, nullptr, nullptr},
          {kCmdEmail, "Email", "Send Feedback", nullptr},
          {kCmdWeb, "Web", "Visit Homepage", nullptr},
          {kCmdUpdates, "Updates", "Check For New Version", nullptr},
          {0, nullptr, nullptr, nullptr},
          {kCmdAbout, "About", "About", nullptr}}},
    };
    return table;
}

// The toolbar, in order; 0 is a separator.
constexpr int kToolbar[] = {kCmdNew,         kCmdAdd,   kCmdOutFolder, 0,
                            kCmdPreferences, 0,         kCmdConvert,   0,
                            kCmdHelp,        kCmdEmail, kCmdWeb,       kCmdUpdates};

const MenuRow* find_row(int id) {
    for (const auto& menu : menu_table()) {
        for (const auto& row : menu.rows) {
            if (row.id == id) {
                return &row;
            }
        }
    }
    return nullptr;
}

// Files and folders dropped from a file manager.
class FileDrop final : public wxFileDropTarget {
  public:
    explicit FileDrop(MainWindow& window) : m_window(window) {}
    bool OnDropFiles(wxCoord, wxCoord, const wxArrayString& names) override {
        std::vector<std::string> paths;
        for (const auto& name : names) {
            paths.push_back(utf8(name));
        }
        // Imported once the drop has ended: a folder opens a modal dialog.
        m_window.CallAfter([&window = m_window, paths] { window.drop_files(paths); });
        return true;
    }

  private:
    MainWindow& m_window;
};

// The small window that offers Add Input File and Add Input Folder.
class InputChooser final : public wxDialog {
  public:
    enum Choice { kFiles = 1, kFolder = 2 };

    InputChooser(wxWindow* parent, const LanguageTable& language, const wxBitmap& files,
                 const wxBitmap& folder)
        : wxDialog(parent, wxID_ANY, wx(language.text("Menu", "Select Input Files")),
                   wxDefaultPosition, wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
        SetClientSize(270, 160);
        auto* first = new wxBitmapButton(this, kFiles, files, wxPoint(37, 20), wxSize(80, 80));
        new wxBitmapButton(this, kFolder, folder, wxPoint(153, 20), wxSize(80, 80));
        // Captions longer than a line (in a translation) break into two.
        for (const auto& [key, x] :
             {std::pair{"Select Input File", 12}, {"Select Input Folder", 128}}) {
            auto* caption =
                new wxStaticText(this, wxID_ANY, wx(language.text("Menu", key)), wxPoint(x, 108),
                                 wxSize(130, 40), wxALIGN_CENTRE_HORIZONTAL | wxST_NO_AUTORESIZE);
            caption->Wrap(130);
        }
        Bind(wxEVT_BUTTON, [this](wxCommandEvent& e) { EndModal(e.GetId()); });
        escape_cancels(*this);
        CentreOnParent();
        first->SetFocus();
    }
};

// The stored geometry held to the screen (all monitors together).
WindowGeometry opening_geometry(const Settings& s) {
    const wxSize screen = wxGetDisplaySize();
    return restored_geometry(s, screen.GetWidth(), screen.GetHeight());
}

// A theme chosen in the preferences that was refused gets its line.
void report_load(const ThemeLoad& load) {
    if (load.refused) {
        report_theme_refusals({*load.refused});
    }
}

} // namespace

MainWindow::MainWindow(Session& app, WindowImages& images)
    : wxFrame(nullptr, wxID_ANY, wx(title_text()),
              wxPoint(opening_geometry(app.settings).x, opening_geometry(app.settings).y),
              wxDefaultSize, wxDEFAULT_FRAME_STYLE),
      worker_program(platform::program_path()), m_app(app), m_images(images),
      m_help(std::make_unique<HelpCommands>(*this, app, images)),
      m_preview_frame_pick(new_frame_pick()) {
    SetDropTarget(new FileDrop(*this));

    build_menus();
    build_toolbar();
    CreateStatusBar(1);
    SetStatusText(wxString());

    m_panel = new wxPanel(this, wxID_ANY);
    m_list = new wxListCtrl(m_panel, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                            wxLC_REPORT | wxBORDER_SUNKEN);
    m_list->InsertColumn(0, wx(text("General", "Filename")));
    m_list->SetDropTarget(new FileDrop(*this));
    m_folder_label = new wxStaticText(m_panel, wxID_ANY, wx(text("General", "Output Folder")));
    m_folder_field = new wxBitmapComboBox(m_panel, wxID_ANY, wxString(), wxDefaultPosition,
                                          wxDefaultSize, 0, nullptr, wxCB_READONLY);
    m_folder_button = new wxBitmapButton(m_panel, kCmdOutFolder, menu_icon("OutFolder"),
                                         wxDefaultPosition, wxSize(24, 24), wxBU_EXACTFIT);
    m_folder_button->SetToolTip(wx(text("Menu", "Select Output Folder")));
    m_format_label = new wxStaticText(m_panel, wxID_ANY, wx(text("General", "Output Format")));
    m_format_field = new wxBitmapComboBox(m_panel, wxID_ANY, wxString(), wxDefaultPosition,
                                          wxDefaultSize, 0, nullptr, wxCB_READONLY);
    m_format_button = new wxBitmapButton(m_panel, kCmdOutFormat, menu_icon("OutFormat"),
                                         wxDefaultPosition, wxSize(24, 24), wxBU_EXACTFIT);
    m_format_button->SetToolTip(wx(text("Menu", "Output Format Options")));
    m_convert = new wxBitmapButton(m_panel, kCmdConvert, button_image("Convert"), wxDefaultPosition,
                                   wxSize(100, 100));
    m_convert->SetToolTip(wx(text("Menu", "Convert")));

    Bind(wxEVT_MENU, &MainWindow::on_command, this);
    Bind(wxEVT_TOOL, &MainWindow::on_command, this);
    Bind(wxEVT_BUTTON, &MainWindow::on_command, this);
    Bind(wxEVT_CLOSE_WINDOW, &MainWindow::on_close, this);
    m_list->Bind(wxEVT_LIST_ITEM_RIGHT_CLICK, &MainWindow::on_list_right_click, this);
    // A left double-click anywhere in the list: on a row it opens the
    // Preview window (the list activates the row while the click goes
    // on), below the rows the input chooser.
    for (wxWindow* part : m_list->GetChildren()) {
        part->Bind(wxEVT_LEFT_DCLICK, [this](wxMouseEvent& e) {
            m_row_activated = false;
            e.Skip();
            CallAfter([this] { on_list_double_click(); });
        });
    }
    m_list->Bind(wxEVT_LIST_ITEM_ACTIVATED, [this](wxListEvent&) { m_row_activated = true; });
    // The open Preview window follows the selection (the list keeps the focus).
    m_list->Bind(wxEVT_LIST_ITEM_SELECTED, [this](wxListEvent&) {
        CallAfter([this] {
            if (m_preview != nullptr) {
                m_preview->file_changed();
            }
        });
    });
    m_folder_field->Bind(wxEVT_COMBOBOX, [this](wxCommandEvent&) {
        m_app.window.output_folder = utf8(m_folder_field->GetValue());
    });
    m_format_field->Bind(wxEVT_COMBOBOX, [this](wxCommandEvent&) {
        const int at = m_format_field->GetSelection();
        if (at >= 0 && at < static_cast<int>(m_format_indices.size())) {
            m_app.settings.output_format =
                std::string(kOutputExtensions[static_cast<std::size_t>(m_format_indices[at])]);
        }
        preview_settings_changed();
    });
    m_app.input_list.on_added = [this](const InputEntry& entry) { append_row(entry.path); };
    // Width x Height is the area between the toolbar and the status bar (the
    // bars' heights vary with the desktop theme), set once the bars exist.
    SetMinClientSize(wxSize(kMinimumInnerWidth, kMinimumInnerHeight));
    const WindowGeometry opening = opening_geometry(m_app.settings);
    SetClientSize(opening.width, opening.height);
}

MainWindow::~MainWindow() {
    m_app.input_list.on_added = nullptr;
    delete m_context_menu;
}

std::string MainWindow::text(const char* group, const char* key) const {
    return m_app.language.text(group, key);
}

wxBitmap MainWindow::menu_icon(std::string_view key) const {
    const auto it = m_images.maps.set_a.find(key);
    return to_bitmap(it == m_images.maps.set_a.end() ? nullptr : m_images.images.find(it->second),
                     16);
}

wxBitmap MainWindow::toolbar_icon(std::string_view key) const {
    const auto it = m_images.maps.set_b.find(key);
    return to_bitmap(it == m_images.maps.set_b.end() ? nullptr : m_images.images.find(it->second),
                     toolbar_icon_size(m_app.settings.ui_size));
}

wxBitmap MainWindow::button_image(std::string_view key) const {
    const auto it = m_images.maps.buttons.find(key);
    return to_bitmap(it == m_images.maps.buttons.end() ? nullptr
                                                       : m_images.images.find(it->second));
}

namespace {

// GTK 3 leaves a menu item's picture out unless the item asks for it.
void show_icon(wxMenuItem* item) {
    GtkWidget* widget = item->GetMenuItem();
    if (widget != nullptr &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(widget), "always-show-image") != nullptr) {
        g_object_set(widget, "always-show-image", TRUE, nullptr);
    }
}

} // namespace

void MainWindow::build_menus() {
    auto* bar = new wxMenuBar;
    for (const auto& spec : menu_table()) {
        auto* menu = new wxMenu;
        for (const auto& row : spec.rows) {
            if (row.id == 0) {
                menu->AppendSeparator();
                continue;
            }
            std::string label = text("Menu", row.key);
            if (row.shortcut) {
                label += std::string("\t") + row.shortcut;
            }
            auto* item = new wxMenuItem(menu, row.id, wx(label));
            item->SetBitmap(menu_icon(row.icon));
            menu->Append(item);
            show_icon(item);
        }
        bar->Append(menu, wx(text("Menu", spec.title_key)));
    }
    wxMenuBar* old = GetMenuBar();
    SetMenuBar(bar);
    delete old;

    delete m_context_menu;
    m_context_menu = new wxMenu;
    for (int id : {int(kCmdCopy), int(kCmdDelete), 0, int(kCmdSelectAll)}) {
        if (id == 0) {
            m_context_menu->AppendSeparator();
            continue;
        }
        const MenuRow* row = find_row(id);
        auto* item =
            new wxMenuItem(m_context_menu, id, wx(text("Menu", row->key) + "\t" + row->shortcut));
        item->SetBitmap(menu_icon(row->icon));
        m_context_menu->Append(item);
        show_icon(item);
    }
}

void MainWindow::build_toolbar() {
    if (wxToolBar* old = GetToolBar()) {
        SetToolBar(nullptr);
        old->Destroy();
    }
    wxToolBar* bar = CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT | wxTB_NODIVIDER);
    const int size = toolbar_icon_size(m_app.settings.ui_size);
    bar->SetToolBitmapSize(wxSize(size, size));
    for (int id : kToolbar) {
        if (id == 0) {
            bar->AddSeparator();
            continue;
        }
        const MenuRow* row = find_row(id);
        const wxString tip = wx(text("Menu", row->key));
        bar->AddTool(id, tip, toolbar_icon(row->icon), tip);
    }
    bar->Realize();
}

void MainWindow::apply_images() {
    m_folder_button->SetBitmap(menu_icon("OutFolder"));
    m_format_button->SetBitmap(menu_icon("OutFormat"));
    m_convert->SetBitmap(button_image("Convert"));
    for (unsigned i = 0; i < m_folder_field->GetCount(); ++i) {
        m_folder_field->SetItemBitmap(i, menu_icon("FavFolder"));
    }
    for (unsigned i = 0; i < m_format_field->GetCount(); ++i) {
        m_format_field->SetItemBitmap(i, menu_icon("New"));
    }
}

void MainWindow::finish() {
    Bind(wxEVT_SIZE, [this](wxSizeEvent&) { layout(); });

    if (m_app.settings.is_maximized == 1) {
        Maximize(true);
    }
    if (m_app.settings.recent_out_folders.empty()) {
        m_folder_field->Append(wxString(), menu_icon("FavFolder"));
    }
    fill_format_field();
    command_new();
    Show(true);
    layout();
    request_layout();
}

void MainWindow::fill_format_field() {
    m_format_field->Clear();
    m_format_indices.clear();
    const auto items = format_items(true);
    const wxBitmap icon = menu_icon("New");
    for (const auto& item : items) {
        m_format_field->Append(wx(item.text), icon);
        m_format_indices.push_back(item.index);
    }
    m_format_field->SetSelection(format_selection(items, m_app.settings.output_format));
}

MainLayout MainWindow::current_layout() const {
    const wxSize inner = GetClientSize();
    const int field = m_folder_field->GetBestSize().GetHeight();
    const int button = std::max(m_folder_button->GetBestSize().GetWidth(),
                                m_folder_button->GetBestSize().GetHeight());
    return main_window_layout(inner.GetWidth(), inner.GetHeight(), field, button);
}

void MainWindow::layout() {
    const MainLayout l = current_layout();
    const auto place = [](wxWindow* w, const Rect& r) { w->SetSize(r.x, r.y, r.width, r.height); };
    place(m_panel, l.container);
    place(m_list, l.file_list);
    m_list->SetColumnWidth(0, l.list_column_width);
    place(m_folder_label, l.folder_label);
    place(m_folder_field, l.folder_field);
    place(m_folder_button, l.folder_button);
    place(m_format_label, l.format_label);
    place(m_format_field, l.format_field);
    place(m_format_button, l.format_button);
    place(m_convert, l.convert_button);
    Refresh();
}

void MainWindow::request_layout() { PostSizeEvent(); }

void MainWindow::set_status_text(const std::string& status) { SetStatusText(wx(status)); }

void MainWindow::append_row(const std::string& path) {
    m_list->InsertItem(m_list->GetItemCount(), wx(path));
    // With an empty output-folder field the first file added chooses it.
    wxString shown = m_folder_field->GetValue();
    if (shown.Trim(true).Trim(false).IsEmpty()) {
        m_app.window.output_folder = first_output_folder(m_app.window.input_folder, path);
        push_recent_folder(m_app.window.output_folder);
        refresh_output_folder_field();
    }
}

void MainWindow::push_recent_folder(const std::string& folder) {
    m_app.settings.recent_out_folders = pixlane::push_recent_folder(
        m_app.settings.recent_out_folders, folder, m_app.settings.out_folders_number);
}

void MainWindow::refresh_output_folder_field() {
    const auto items =
        recent_folder_items(m_app.settings.recent_out_folders, m_app.settings.out_folders_number,
                            m_app.window.output_folder);
    if (!items) {
        return;
    }
    m_folder_field->Clear();
    const wxBitmap icon = menu_icon("FavFolder");
    for (const auto& item : items->items) {
        m_folder_field->Append(wx(item), icon);
    }
    if (items->selected >= 0) {
        m_folder_field->SetSelection(items->selected);
    }
}

void MainWindow::apply_interface_changes(int format_position) {
    if (ui_refresh_request == 2) {
        report_load(load_image_sets(m_images.images, m_images.maps, m_app.settings.ui_theme,
                                    m_app.settings.ui_size, m_images.themes, m_images.folder,
                                    SetChoice{false, false, true}));
        build_toolbar();
        request_layout();
        ui_refresh_request = 0;
    }
    if (ui_refresh_request == 1) {
        report_load(load_image_sets(m_images.images, m_images.maps, m_app.settings.ui_theme,
                                    m_app.settings.ui_size, m_images.themes, m_images.folder,
                                    SetChoice{}));
        build_menus();
        build_toolbar();
        apply_images();
        request_layout();
        ui_refresh_request = 0;
    }
    if (format_position >= 0 && format_position < static_cast<int>(m_format_field->GetCount())) {
        m_format_field->SetSelection(format_position);
    }
    if (static_cast<int>(m_folder_field->GetCount()) != m_app.settings.out_folders_number) {
        refresh_output_folder_field();
    }
    preview_settings_changed();
}

// Between two added files the window repaints and takes input (a long
// selection never freezes it); handlers of user input stay queued.
void MainWindow::let_events_through() {
    if (wxEventLoopBase* loop = wxEventLoopBase::GetActive()) {
        loop->YieldFor(wxEVT_CATEGORY_UI);
    }
}

void MainWindow::drop_files(const std::vector<std::string>& paths) {
    // A dropped folder is imported as Add Input Folder imports one: with the
    // progress dialog, which can break it.
    const auto import_folder = [this](const std::string& folder) {
        run_list_work(ListWork::FolderImport, folder_bar_maximum(folder));
    };
    handle_drop(paths, m_app.window.input_folder, m_app.input_list, import_folder,
                let_events_through);
    request_layout();
}

WindowGeometry MainWindow::geometry() const {
    WindowGeometry g;
    g.maximised = IsMaximized();
    g.minimised = IsIconized();
    const wxPoint at = GetPosition();
    const wxSize inner = GetClientSize();
    g.x = at.x;
    g.y = at.y;
    g.width = inner.GetWidth();
    g.height = inner.GetHeight();
    return g;
}

bool MainWindow::list_has_focus() const {
    const wxWindow* focus = wxWindow::FindFocus();
    // The list's context menu takes the focus while it is open.
    return m_context_menu_open ||
           (focus != nullptr && (focus == m_list || focus->GetParent() == m_list));
}

void MainWindow::on_close(wxCloseEvent& event) {
    if (m_conversion != nullptr && event.CanVeto()) {
        // The progress dialog asks whether to break the run.
        event.Veto();
        m_conversion->request_close();
        return;
    }
    if (m_list_work != nullptr && event.CanVeto()) {
        event.Veto();
        m_list_work->request_close();
        return;
    }
    capture_geometry(m_app.settings, geometry());
    Destroy();
}

void MainWindow::on_list_right_click(wxListEvent&) {
    if (m_list->GetSelectedItemCount() > 0) {
        m_context_menu_open = true;
        PopupMenu(m_context_menu);
        // Its command may still be on its way.
        CallAfter([this] { m_context_menu_open = false; });
    }
}

void MainWindow::on_command(wxCommandEvent& event) {
    switch (event.GetId()) {
    case kCmdNew: command_new(); break;
    case kCmdAdd: open_input_chooser(); break;
    case kCmdOutFolder: command_select_output_folder(); break;
    case kCmdImportFiles: import_list(); break;
    case kCmdExportFiles: export_list(); break;
    case kCmdSaveProfile: save_profile(); break;
    case kCmdCopyCommand: copy_command_line(); break;
    case kCmdExit: Close(); break;
    case kCmdCopy: command_copy(); break;
    case kCmdDelete: command_delete(); break;
    case kCmdSelectAll: command_select_all(); break;
    case kCmdConvert: start_conversion_run(); break;
    case kCmdPreferences: open_preferences(); break;
    case kCmdPreview: open_preview(); break;
    case kCmdOutFormat:
        preferences_start_page = kOutputPage;
        open_preferences();
        break;
    default:
        if (!m_help->run(event.GetId())) {
            event.Skip();
        }
        break;
    }
}

void MainWindow::not_available(const char* menu_key) {
    std::string name = text("Menu", menu_key);
    while (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    set_status_text(name + ": not available yet");
}

void MainWindow::command_new() {
    if (m_preview != nullptr) {
        m_preview->Close(); // its file leaves the list
    }
    refresh_output_folder_field();
    m_app.window = WindowPlaces{};
    m_app.counters = new_naming_counters();
    m_app.input_list.clear();
    m_list->DeleteAllItems();
    m_folder_field->SetSelection(wxNOT_FOUND);
    set_status_text(text("General", "Ready"));
    m_list->SetFocus();
}

void MainWindow::command_select_output_folder() {
    const std::string field = utf8(m_folder_field->GetValue());
    const std::string start =
        field.empty() ? m_app.window.output_folder : platform::folder_of(field);
    // Without "must exist" the chooser offers Create Folder: an output
    // folder is often a new one.
    wxDirDialog dialog(this, wx(text("Dialog", "Select Output Folder")), wx(start),
                       wxDD_DEFAULT_STYLE);
    if (dialog.ShowModal() == wxID_OK) {
        const std::string chosen = utf8(dialog.GetPath());
        if (!chosen.empty() && platform::is_folder(chosen)) {
            const std::string folder = platform::with_separator(chosen);
            push_recent_folder(folder);
            m_app.window.output_folder = folder;
            refresh_output_folder_field();
        }
    }
    request_layout();
}

void MainWindow::command_copy() {
    if (!list_has_focus() || m_list->GetItemCount() == 0) {
        return;
    }
    std::vector<std::string> paths;
    for (long i = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i >= 0;
         i = m_list->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        paths.push_back(utf8(m_list->GetItemText(i)));
    }
    const std::string copied = copy_text(paths);
    if (!copied.empty() && wxTheClipboard->Open()) {
        wxTheClipboard->Clear();
        wxTheClipboard->SetData(new wxTextDataObject(wx(copied)));
        wxTheClipboard->Close();
    }
}

void MainWindow::command_delete() {
    if (!list_has_focus()) {
        return;
    }
    std::vector<int> selected;
    for (long i = m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED); i >= 0;
         i = m_list->GetNextItem(i, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) {
        selected.push_back(static_cast<int>(i));
    }
    const DeletePlan plan = delete_plan(selected, m_list->GetItemCount());
    for (int row : plan.removals) {
        m_app.input_list.remove(utf8(m_list->GetItemText(row)));
        m_list->DeleteItem(row);
    }
    if (plan.select_after >= 0) {
        m_list->SetItemState(plan.select_after, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                             wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    }
}

void MainWindow::command_select_all() {
    if (!list_has_focus() || m_list->GetItemCount() == 0) {
        return;
    }
    for (long i = 0; i < m_list->GetItemCount(); ++i) {
        m_list->SetItemState(i, 0, wxLIST_STATE_SELECTED);
    }
    for (long i = 0; i < m_list->GetItemCount(); ++i) {
        m_list->SetItemState(i, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    }
}

void MainWindow::open_input_chooser() {
    InputChooser chooser(this, m_app.language, button_image("InFiles"), button_image("InFolder"));
    const int choice = chooser.ShowModal();
    chooser.Hide();
    if (choice == InputChooser::kFiles) {
        add_input_files();
    } else if (choice == InputChooser::kFolder) {
        add_input_folder();
    }
    Raise();
    SetFocus();
}

void MainWindow::add_input_files() {
    const std::string start = m_app.window.list_path.empty()
                                  ? m_app.window.input_folder
                                  : platform::folder_of(m_app.window.list_path);
    wxFileDialog dialog(this, wx(text("Dialog", "Select Input Files")), wx(start), wxString(),
                        wx(open_file_filter(m_app.language)),
                        wxFD_OPEN | wxFD_MULTIPLE | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) {
        return;
    }
    wxArrayString chosen;
    dialog.GetPaths(chosen);
    m_app.window.input_folder = platform::with_separator(utf8(dialog.GetDirectory()));
    for (const auto& path : chosen) {
        m_app.input_list.add(utf8(path), m_app.window.input_folder);
        let_events_through();
    }
    // The next list dialog does not start among the entries just added.
    m_app.window.list_path.clear();
    request_layout();
}

void MainWindow::add_input_folder() {
    const std::string start = m_app.window.input_folder.empty() && !m_app.window.list_path.empty()
                                  ? platform::folder_of(m_app.window.list_path)
                                  : m_app.window.input_folder;
    wxDirDialog dialog(this, wx(text("Dialog", "Select Input Folder")), wx(start),
                       wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) {
        return;
    }
    const std::string chosen = utf8(dialog.GetPath());
    if (chosen.empty() || !platform::is_folder(chosen)) {
        return;
    }
    m_app.window.input_folder = platform::with_separator(chosen);
    run_list_work(ListWork::FolderImport, folder_bar_maximum(m_app.window.input_folder));
}

} // namespace pixlane

namespace pixlane {

void MainWindow::start_conversion_run() {
    std::string folder = chosen_output_folder();
    const std::string ext = chosen_extension();
    set_status_text(text("General", "Preparing"));
    std::unique_ptr<WatermarkFont> font;
    BatchPlan plan;
    // The field's text is the output folder from now on, also when a check
    // fails; once the checks pass, with its separator. The recent folders
    // refreshed below select it.
    m_app.window.output_folder = folder;
    const std::optional<Fault> fault =
        prepare_interactive_run(m_app.settings, plan, m_app.input_list.size(), folder, ext, font);
    if (fault) {
        set_status_text(text("Msg", "Conversion is not complete"));
        WxMessageBoxes(m_app.language, this)
            .show_warning(substitute(text("Msg", fault->key.c_str()), fault->argument));
        return;
    }
    m_app.window.output_folder = folder;
    const std::string before = m_app.settings.recent_out_folders;
    push_recent_folder(folder);
    if (m_app.settings.recent_out_folders != before) {
        refresh_output_folder_field();
    }
    set_status_text(text("General", "Converting"));
    ConversionDialog dialog(this, m_app, std::move(plan), std::move(font),
                            [this](const std::string& status) { set_status_text(status); });
    m_conversion = &dialog;
    dialog.run();
    m_conversion = nullptr;
    // The list dialogs start where the run left off: in the folder of the
    // last file it took up.
    if (std::string last = m_app.progress.snapshot().current_input; !last.empty()) {
        m_app.window.list_path = std::move(last);
    }
    Raise();
    SetFocus();
}

} // namespace pixlane

namespace pixlane {

namespace {

// Calls `tick` from the event loop (a modal dialog's too) while it runs.
class Ticker final : public wxTimer {
  public:
    explicit Ticker(std::function<void()> tick) : m_tick(std::move(tick)) {}
    void Notify() override { m_tick(); }

  private:
    std::function<void()> m_tick;
};

} // namespace

void MainWindow::run_list_work(ListWork work, int maximum) {
    // The worker adds entries on its thread; their rows follow on this one
    // a slice of time at a time, so a folder of 200,000 files leaves the
    // window (and the break question) free between them. The work ends when
    // every entry has its row; a break drops the entries still without one.
    struct Waiting {
        std::mutex lock;
        std::deque<std::string> paths;
    };
    auto waiting = std::make_shared<Waiting>();
    auto on_added = m_app.input_list.on_added;
    m_app.input_list.on_added = [waiting](const InputEntry& entry) {
        std::lock_guard guard(waiting->lock);
        waiting->paths.push_back(entry.path);
    };
    static constexpr auto kSlice = std::chrono::milliseconds(25);
    static constexpr std::size_t kRowsPerLook = 200;
    const auto add_rows = [this, waiting] {
        const auto start = std::chrono::steady_clock::now();
        std::vector<std::string> paths;
        bool frozen = false;
        do {
            {
                std::lock_guard guard(waiting->lock);
                const std::size_t n = std::min(kRowsPerLook, waiting->paths.size());
                paths.assign(
                    std::make_move_iterator(waiting->paths.begin()),
                    std::make_move_iterator(waiting->paths.begin() + static_cast<long>(n)));
                waiting->paths.erase(waiting->paths.begin(),
                                     waiting->paths.begin() + static_cast<long>(n));
            }
            if (!paths.empty() && !frozen) {
                m_list->Freeze();
                frozen = true;
            }
            for (const auto& path : paths) {
                append_row(path);
            }
        } while (!paths.empty() && std::chrono::steady_clock::now() - start < kSlice);
        if (frozen) {
            m_list->Thaw();
        }
    };
    Ticker rows(add_rows);
    rows.Start(50);
    RowFeed feed;
    feed.waiting = [waiting] {
        std::lock_guard guard(waiting->lock);
        return !waiting->paths.empty();
    };
    feed.drop_waiting = [this, waiting] {
        std::lock_guard guard(waiting->lock);
        const std::size_t n = waiting->paths.size();
        waiting->paths.clear();
        m_app.input_list.drop_last(n);
        return n;
    };
    {
        ListWorkDialog dialog(
            this, m_app, work, maximum,
            [this](const std::string& status) { set_status_text(status); }, feed);
        m_list_work = &dialog;
        dialog.run();
        m_list_work = nullptr;
    }
    rows.Stop();
    m_app.input_list.on_added = on_added;
    request_layout();
    Raise();
    SetFocus();
}

void MainWindow::import_list() {
    const std::string filter =
        text("Dialog", "Text Files") + "|*.txt;*.lst|" + text("Dialog", "All Files") + " (*.*)|*.*";
    wxFileDialog dialog(this, wx(text("Dialog", "Import Input Files")),
                        wx(platform::folder_of(m_app.window.list_path)), wxS("list.txt"),
                        wx(filter), wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) {
        return;
    }
    const std::string chosen = utf8(dialog.GetPath());
    if (platform::file_size(chosen) <= 0) {
        return;
    }
    m_app.window.list_path = chosen;
    run_list_work(ListWork::ListImport, list_bar_maximum(chosen));
}

std::string MainWindow::chosen_extension() const {
    const int at = m_format_field->GetSelection();
    if (at >= 0 && at < static_cast<int>(m_format_indices.size())) {
        return std::string(kOutputExtensions[static_cast<std::size_t>(m_format_indices[at])]);
    }
    return m_app.settings.output_format;
}

std::string MainWindow::chosen_output_folder() const {
    wxString field = m_folder_field->GetValue();
    field.Trim(true).Trim(false);
    return utf8(field);
}

void MainWindow::save_profile() {
    wxFileDialog dialog(this, wx(text("Menu", "Save Profile")), wxString(), wxS("pixlane.ini"),
                        wxS("INI (*.ini)|*.ini"), wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
    if (dialog.ShowModal() != wxID_OK || dialog.GetPath().empty()) {
        return;
    }
    const std::string path = utf8(dialog.GetPath());
    Settings defaults;
    reset_to_defaults(defaults, DefaultsForm::CommandLine, m_app.settings.custom_timestamp, 0, 0);
    std::vector<std::string> not_kept;
    std::string command = "pixlane --profile=";
    command += shell_quoted(path);
    command += " -c ";
    command += chosen_extension();
    command += " -i INPUT -o OUTPUT";
    const std::string profile = profile_text(m_app.settings, defaults, command, not_kept);
    if (!platform::replace_file(path, profile)) {
        WxMessageBoxes(m_app.language, this).show_error(path + ": " + std::strerror(errno));
        return;
    }
    set_status_text(path);
}

void MainWindow::copy_command_line() {
    std::vector<std::string> not_kept;
    const std::string command =
        console_command(m_app.settings, chosen_extension(), chosen_output_folder(),
                        m_app.input_list, m_app.window.input_folder, not_kept);
    if (wxTheClipboard->Open()) {
        wxTheClipboard->SetData(new wxTextDataObject(wx(command)));
        wxTheClipboard->Close();
    }
}

void MainWindow::export_list() {
    if (m_list->GetItemCount() == 0) {
        WxMessageBoxes(m_app.language, this).show_warning(text("Msg", "Empty input files"));
        return;
    }
    const std::string filter =
        text("Dialog", "Text Files") + "|*.txt;*.lst|" + text("Dialog", "All Files") + " (*.*)|*.*";
    wxFileDialog dialog(this, wx(text("Dialog", "Export Input Files")),
                        wx(platform::folder_of(m_app.window.list_path)), wxS("list.txt"),
                        wx(filter), wxFD_SAVE);
    if (dialog.ShowModal() != wxID_OK || dialog.GetPath().empty()) {
        return;
    }
    const std::string name = export_file_name(utf8(dialog.GetPath()));
    if (platform::file_size(name) > 0 &&
        !WxMessageBoxes(m_app.language, this).ask(Question::OverwriteFile)) {
        return;
    }
    m_app.window.list_path = name;
    run_list_work(ListWork::Export, m_list->GetItemCount());
}

} // namespace pixlane

namespace pixlane {

void MainWindow::open_preferences() { PreferencesDialog::open(*this, m_app, m_images); }

void MainWindow::on_list_double_click() {
    if (m_row_activated) {
        m_row_activated = false;
        open_preview();
        return;
    }
    open_input_chooser();
}

std::optional<PreviewRequest> MainWindow::preview_request_for(int frame) const {
    const auto& entries = m_app.input_list.entries();
    const int row = preview_row(
        static_cast<int>(m_list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)),
        static_cast<int>(std::min<std::size_t>(entries.size(), m_list->GetItemCount())));
    if (row < 0) {
        return std::nullopt;
    }
    PreviewChoice choice;
    choice.extension = chosen_extension();
    choice.output_folder = chosen_output_folder();
    choice.frame_pick = m_preview_frame_pick;
    choice.frame = frame;
    return preview_request(m_app.settings, m_app.counters, entries[static_cast<std::size_t>(row)],
                           row, choice);
}

void MainWindow::open_preview() {
    if (m_app.input_list.size() == 0) {
        return;
    }
    if (m_preview == nullptr) {
        m_preview = new PreviewWindow(
            this, m_app.language, [this](int frame) { return preview_request_for(frame); },
            worker_program);
        m_preview->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
            m_preview = nullptr;
            e.Skip();
        });
        m_preview->Show();
    }
    m_preview->file_changed();
    m_preview->Raise();
}

void MainWindow::preview_settings_changed() {
    if (m_preview != nullptr) {
        m_preview->settings_changed();
    }
}

} // namespace pixlane
