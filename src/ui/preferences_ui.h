// The Preferences dialog: a page tree, a white header with the page's title,
// the nine pages built from the settings table and Defaults / OK / Cancel.
// It builds and wires the controls; what they show and store, and every
// rule, is in ui/preferences_logic.h.
#pragma once

#include <wx/bmpcbox.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/slider.h>
#include <wx/spinbutt.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/treectrl.h>

#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "base/language.h"
#include "run/session.h"
#include "ui/preferences_logic.h"
#include "ui/theme.h"

namespace pixlane {

class MainWindow;

class PreferencesDialog final : public wxDialog {
  public:
    // Builds and fills the dialog hidden, shows it on the main window's
    // Preferences start page (which goes back to 0) and disables the main
    // window until the dialog closes. The dialog destroys itself then.
    static PreferencesDialog* open(MainWindow& window, Session& app, WindowImages& images);
    // The open dialog over `parent`; nullptr when there is none.
    static PreferencesDialog* find(const wxWindow& parent);
    ~PreferencesDialog() override;

    // The controls of one row, for the tests; unused pointers are null.
    struct RowControls {
        wxStaticText* label = nullptr;
        wxChoice* choice = nullptr;        // lists without pictures, depth lists
        wxBitmapComboBox* combo = nullptr; // format and colour lists
        wxCheckBox* check = nullptr;
        wxTextCtrl* text = nullptr; // number, text, path, date, colour and slider boxes
        wxSlider* slider = nullptr;
        wxSpinButton* spin = nullptr;
        wxChoice* unit = nullptr;
        wxButton* browse = nullptr; // "..." and the colour swatch button
    };
    const RowControls* controls(std::string_view group, std::string_view key) const;
    bool row_shown(std::string_view group, std::string_view key) const;

    int current_page() const { return m_page; }
    void show_page(int page);
    wxString header_title() const;
    wxWindow* header_strip() const { return m_header->GetParent(); }
    wxWindow* page_window(int page) const { return m_pages[static_cast<std::size_t>(page)]; }
    wxTreeCtrl* tree() const { return m_tree; }

    // The Defaults question goes to `boxes` instead of a message box.
    void set_message_boxes(MessageBoxes* boxes) { m_boxes = boxes; }

    // The three buttons.
    void press_ok();
    void press_cancel();
    void press_defaults();

  private:
    struct Row;

    PreferencesDialog(MainWindow& window, Session& app, WindowImages& images);

    void build();
    void build_row(Row& row, wxWindow* parent, wxSizer* sizer);
    ControlValue read(const Row& row) const;
    void show_value(Row& row, const ControlValue& v);
    void refill(Row& row, int selection);
    void fit_list(wxControl& list);
    void fit_size();
    void changed(Row& row);
    void apply_rules();
    void slider_moved(Row& row);
    void box_typed(Row& row, bool final);
    void spin_pressed(Row& row);
    void pick_colour(Row& row);
    void pick_list_colour(Row& row);
    void pick_font(Row& row);
    void pick_image(Row& row);
    Row* row_of(std::string_view group, std::string_view key);
    void close();

    MainWindow& m_window;
    Session& m_app;
    WindowImages& m_images;
    MessageBoxes* m_boxes = nullptr;
    std::vector<PrefRow> m_prefs;
    std::vector<std::unique_ptr<Row>> m_rows;
    Settings m_edited; // the record with the values the controls show, for the rules
    wxTreeCtrl* m_tree = nullptr;
    std::array<wxTreeItemId, kPreferencesPages.size()> m_items;
    wxStaticText* m_header = nullptr;
    std::array<wxWindow*, kPreferencesPages.size()> m_pages{};
    struct Panel {
        wxWindow* window;
        const PrefRow* first; // a row of the panel: its format or condition
    };
    std::vector<Panel> m_panels;
    int m_page = 0;
    int m_chrome = 0; // the height around a page: header, margins, buttons
    bool m_closing = false;
};

} // namespace pixlane
