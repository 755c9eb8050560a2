#include "ui/preferences_ui.h"

#include <wx/colordlg.h>
#include <wx/dcmemory.h>
#include <wx/display.h>
#include <wx/filedlg.h>
#include <wx/fontdlg.h>
#include <wx/panel.h>
#include <wx/scrolwin.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/valtext.h>

#include "config/config.h"
#include "platform/platform.h"
#include "ui/help_logic.h"
#include "ui/images_ui.h"
#include "ui/main_window_ui.h"
#include "ui/message_boxes_ui.h"
#include "util/strings.h"

namespace pixlane {
namespace {

wxString wx(const std::string& s) { return wxString::FromUTF8(s); }
std::string utf8(const wxString& s) { return std::string(s.utf8_str()); }

constexpr int kInnerWidth = 600;
constexpr int kInnerHeight = 350;
constexpr int kTreeWidth = 140;
constexpr int kTreeRoom = 40;
constexpr int kMargin = 8;
constexpr int kListWidth = 210;
constexpr int kNumberWidth = 80;
constexpr int kUnitWidth = 100;
constexpr int kSliderWidth = 110;
constexpr int kBoxWidth = 56;
constexpr int kRowGap = 4;

wxColour to_wx(Rgb c) { return wxColour(c.r, c.g, c.b); }
Rgb from_wx(const wxColour& c) { return {c.Red(), c.Green(), c.Blue()}; }

// A filled rectangle with a dark edge.
wxBitmap swatch(Rgb c, int width, int height) {
    wxBitmap bitmap(width, height, 24);
    wxMemoryDC dc(bitmap);
    dc.SetPen(wxPen(wxColour(64, 64, 64)));
    dc.SetBrush(wxBrush(to_wx(c)));
    dc.DrawRectangle(0, 0, width, height);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

} // namespace

struct PreferencesDialog::Row {
    const PrefRow* pref = nullptr;
    std::vector<ListItem> items;
    wxSizer* line = nullptr;   // the row's line of controls
    wxSizer* holder = nullptr; // the sizer holding the line
    RowControls c;
    bool shown = true;
    bool enabled = true;
};

PreferencesDialog* PreferencesDialog::open(MainWindow& window, Session& app, WindowImages& images) {
    auto* dialog = new PreferencesDialog(window, app, images);
    dialog->show_page(take_start_page(window.preferences_start_page));
    dialog->CentreOnParent();
    dialog->Show();
    window.Disable();
    dialog->m_tree->SetFocus();
    return dialog;
}

PreferencesDialog* PreferencesDialog::find(const wxWindow& parent) {
    for (wxWindow* child : parent.GetChildren()) {
        if (auto* dialog = dynamic_cast<PreferencesDialog*>(child); dialog && !dialog->m_closing) {
            return dialog;
        }
    }
    return nullptr;
}

PreferencesDialog::PreferencesDialog(MainWindow& window, Session& app, WindowImages& images)
    : wxDialog(&window, wxID_ANY, wx(app.language.text("Preferences", "Title")), wxDefaultPosition,
               wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      m_window(window), m_app(app), m_images(images), m_edited(app.settings) {
    m_prefs = preference_rows(m_app.language);
    build();
    for (auto& row : m_rows) {
        row->items = list_items(*row->pref, m_app.settings, m_app.language, m_images.themes);
        const ControlValue v = load_control(*row->pref, row->items, m_app.settings);
        refill(*row, v.selection);
        show_value(*row, v);
    }
    fit_size();
    apply_rules();
}

void PreferencesDialog::fit_list(wxControl& list) {
    // A list is as wide as its widest item needs, and never narrower than
    // the column of lists.
    list.InvalidateBestSize();
    list.SetMinSize(wxSize(std::max(kListWidth, list.GetBestSize().GetWidth()), -1));
}

void PreferencesDialog::fit_size() {
    // The dialog keeps its width unless a row, hidden or shown, needs more
    // (long labels and list items of a translation), and its height unless
    // the tallest page needs more, as far as the screen allows.
    int widest = 0;
    std::vector<RowHeight> heights;
    for (const auto& row : m_rows) {
        int width = 0;
        int height = 0;
        for (const wxSizerItem* item : row->line->GetChildren()) {
            if (const wxWindow* w = item->GetWindow()) {
                width += w->GetEffectiveMinSize().GetWidth() + item->GetBorder();
                height = std::max(height, w->GetEffectiveMinSize().GetHeight());
            }
        }
        widest = std::max(widest, width);
        const auto panel = std::find_if(m_panels.begin(), m_panels.end(), [&](const Panel& p) {
            return p.window->GetSizer() == row->holder;
        });
        heights.push_back(
            {row->pref->page,
             panel == m_panels.end() ? -1 : static_cast<int>(panel - m_panels.begin()),
             height + kRowGap});
    }
    const int scrollbar = wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this);
    const int needed =
        m_tree->GetMinSize().GetWidth() + 3 * kMargin + widest + std::max(scrollbar, 0);
    const int display = wxDisplay::GetFromWindow(&m_window);
    const wxRect area = wxDisplay(display == wxNOT_FOUND ? 0 : display).GetClientArea();
    const int decoration = std::max(0, GetSize().GetHeight() - GetClientSize().GetHeight());
    SetClientSize(std::max(kInnerWidth, needed),
                  dialog_inner_height(kInnerHeight, m_chrome, tallest_page_height(heights),
                                      area.GetHeight() - decoration));
    Layout();
}

PreferencesDialog::~PreferencesDialog() {
    // The controls go first: their last events must not reach the rows.
    m_closing = true;
    DestroyChildren();
}

void PreferencesDialog::build() {
    const LanguageTable& language = m_app.language;
    auto* top = new wxBoxSizer(wxVERTICAL);
    auto* middle = new wxBoxSizer(wxHORIZONTAL);

    m_tree = new wxTreeCtrl(this, wxID_ANY, wxDefaultPosition, wxSize(kTreeWidth, -1),
                            wxTR_HIDE_ROOT | wxTR_SINGLE | wxTR_NO_LINES | wxTR_NO_BUTTONS |
                                wxTR_FULL_ROW_HIGHLIGHT | wxBORDER_SUNKEN);
    const wxTreeItemId root = m_tree->AddRoot(wxString());
    for (std::size_t i = 0; i < kPreferencesPages.size(); ++i) {
        m_items[i] = m_tree->AppendItem(
            root, wx(language.text("Preferences", std::string(kPreferencesPages[i]))));
    }
    // The tree grows when a page name needs more than its width (the room
    // beside the text holds the items' indent and the frame).
    int widest_page = 0;
    for (const wxTreeItemId& item : m_items) {
        widest_page =
            std::max(widest_page, m_tree->GetTextExtent(m_tree->GetItemText(item)).GetWidth());
    }
    m_tree->SetMinSize(wxSize(std::max(kTreeWidth, widest_page + kTreeRoom), -1));
    m_tree->Bind(wxEVT_TREE_SEL_CHANGED, [this](wxTreeEvent& e) {
        for (std::size_t i = 0; i < m_items.size(); ++i) {
            if (m_items[i] == e.GetItem() && static_cast<int>(i) != m_page) {
                show_page(static_cast<int>(i));
            }
        }
    });
    middle->Add(m_tree, 0, wxEXPAND | wxLEFT | wxTOP, kMargin);

    auto* right = new wxBoxSizer(wxVERTICAL);
    auto* strip = new wxPanel(this, wxID_ANY);
    strip->SetBackgroundColour(*wxWHITE);
    m_header = new wxStaticText(strip, wxID_ANY, wxString());
    wxFont bold = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    bold.SetPointSize(10);
    bold.SetWeight(wxFONTWEIGHT_BOLD);
    m_header->SetFont(bold);
    m_header->SetForegroundColour(*wxBLACK);
    auto* strip_sizer = new wxBoxSizer(wxHORIZONTAL);
    strip_sizer->Add(m_header, 1, wxALIGN_CENTER_VERTICAL | wxALL, 6);
    strip->SetSizer(strip_sizer);
    right->Add(strip, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, kMargin);

    // The pages; a page with sub-panels keeps its first rows and lets each
    // panel scroll, any other page scrolls as a whole.
    std::array<wxSizer*, kPreferencesPages.size()> page_sizers{};
    for (std::size_t p = 0; p < kPreferencesPages.size(); ++p) {
        const bool sub_panels = std::any_of(m_prefs.begin(), m_prefs.end(), [&](const PrefRow& r) {
            return r.page == static_cast<int>(p) && r.key != nullptr && r.key->prefs.panel;
        });
        wxWindow* page = nullptr;
        if (sub_panels) {
            page = new wxPanel(this, wxID_ANY);
        } else {
            auto* scrolled =
                new wxScrolledWindow(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxVSCROLL);
            scrolled->SetScrollRate(0, 10);
            page = scrolled;
        }
        page_sizers[p] = new wxBoxSizer(wxVERTICAL);
        page->SetSizer(page_sizers[p]);
        page->Hide();
        m_pages[p] = page;
        right->Add(page, 1, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, kMargin);
    }
    for (const PrefRow& pref : m_prefs) {
        const auto p = static_cast<std::size_t>(pref.page);
        wxWindow* parent = m_pages[p];
        wxSizer* sizer = page_sizers[p];
        const std::optional<When> condition =
            pref.key != nullptr ? pref.key->prefs.panel : std::optional<When>{};
        if (!pref.format.empty() || condition) {
            const auto same = [&](const Panel& panel) {
                if (panel.first->page != pref.page) {
                    return false;
                }
                if (!pref.format.empty()) {
                    return panel.first->format == pref.format;
                }
                const auto& other = panel.first->key->prefs.panel;
                return panel.first->format.empty() && other && other->field == condition->field &&
                       other->values == condition->values;
            };
            auto found = std::find_if(m_panels.begin(), m_panels.end(), same);
            if (found == m_panels.end()) {
                wxWindow* panel = nullptr;
                if (condition) {
                    auto* scrolled = new wxScrolledWindow(parent, wxID_ANY, wxDefaultPosition,
                                                          wxDefaultSize, wxVSCROLL);
                    scrolled->SetScrollRate(0, 10);
                    panel = scrolled;
                    sizer->Add(panel, 1, wxEXPAND);
                } else {
                    panel = new wxPanel(parent, wxID_ANY);
                    sizer->Add(panel, 0, wxEXPAND);
                }
                panel->SetSizer(new wxBoxSizer(wxVERTICAL));
                m_panels.push_back({panel, &pref});
                found = m_panels.end() - 1;
            }
            parent = found->window;
            sizer = parent->GetSizer();
        }
        auto row = std::make_unique<Row>();
        row->pref = &pref;
        build_row(*row, parent, sizer);
        m_rows.push_back(std::move(row));
    }
    // One column of labels, as wide as the widest.
    int label_width = 0;
    for (const auto& row : m_rows) {
        label_width = std::max(label_width, row->c.label->GetBestSize().GetWidth());
    }
    for (const auto& row : m_rows) {
        row->c.label->SetMinSize(wxSize(label_width, -1));
    }
    middle->Add(right, 1, wxEXPAND);
    top->Add(middle, 1, wxEXPAND);

    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    auto* defaults = new wxButton(this, wxID_ANY, wx(language.text("Dialog", "Defaults")));
    auto* help = new wxButton(this, wxID_HELP, wx(language.text("Dialog", "Help")));
    auto* ok = new wxButton(this, wxID_OK, wx(language.text("Dialog", "OK")));
    auto* cancel = new wxButton(this, wxID_CANCEL, wx(language.text("Dialog", "Cancel")));
    buttons->Add(defaults, 0, wxRIGHT, kMargin);
    buttons->Add(help, 0);
    buttons->AddStretchSpacer();
    buttons->Add(ok, 0, wxRIGHT, kMargin);
    buttons->Add(cancel, 0);
    top->Add(buttons, 0, wxEXPAND | wxALL, kMargin);
    m_chrome = strip->GetBestSize().GetHeight() + 2 * kMargin + buttons->CalcMin().GetHeight() +
               2 * kMargin;
    defaults->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { press_defaults(); });
    // The page's part of the manual, in the browser.
    help->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        platform::shell_open(manual_target(
            platform::program_folder(),
            [](const std::string& p) { return platform::is_plain_file(p); },
            manual_page_of(kPreferencesPages[static_cast<std::size_t>(m_page)])));
    });
    ok->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { press_ok(); });
    cancel->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { press_cancel(); });
    SetEscapeId(wxID_CANCEL);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { press_cancel(); });

    SetSizer(top);
    SetClientSize(kInnerWidth, kInnerHeight);
}

void PreferencesDialog::build_row(Row& row, wxWindow* parent, wxSizer* sizer) {
    const PrefRow& pref = *row.pref;
    auto* line = new wxBoxSizer(wxHORIZONTAL);
    RowControls& c = row.c;
    c.label = new wxStaticText(parent, wxID_ANY, wx(pref.label), wxDefaultPosition, wxDefaultSize,
                               wxST_ELLIPSIZE_END);
    line->Add(c.label, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, kRowGap);
    const auto add = [line](wxWindow* w, int gap = kRowGap) {
        line->Add(w, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, gap);
    };
    const auto browse_button = [&] {
        c.browse = new wxButton(parent, wxID_ANY, wxS("..."), wxDefaultPosition, wxDefaultSize,
                                wxBU_EXACTFIT);
        add(c.browse);
    };
    const auto text_field = [&](int width, long style = 0) {
        c.text = new wxTextCtrl(parent, wxID_ANY, wxString(), wxDefaultPosition, wxSize(width, -1),
                                style);
        add(c.text);
    };
    switch (pref.control) {
    case Control::InputFormat:
    case Control::OutputFormat:
    case Control::ColourList:
        c.combo = new wxBitmapComboBox(parent, wxID_ANY, wxString(), wxDefaultPosition,
                                       wxSize(kListWidth, -1), 0, nullptr, wxCB_READONLY);
        add(c.combo);
        c.combo->Bind(wxEVT_COMBOBOX, [this, &row](wxCommandEvent&) { changed(row); });
        if (pref.control == Control::ColourList) {
            browse_button();
            c.browse->Bind(wxEVT_BUTTON, [this, &row](wxCommandEvent&) { pick_list_colour(row); });
        }
        break;
    case Control::List:
    case Control::Depth:
    case Control::Language:
    case Control::Theme:
    case Control::FontList:
        c.choice = new wxChoice(parent, wxID_ANY, wxDefaultPosition, wxSize(kListWidth, -1));
        add(c.choice);
        c.choice->Bind(wxEVT_CHOICE, [this, &row](wxCommandEvent&) { changed(row); });
        if (pref.control == Control::FontList) {
            browse_button();
            c.browse->Bind(wxEVT_BUTTON, [this, &row](wxCommandEvent&) { pick_font(row); });
        }
        break;
    case Control::Check:
        c.check = new wxCheckBox(parent, wxID_ANY, wxString());
        add(c.check);
        c.check->Bind(wxEVT_CHECKBOX, [this, &row](wxCommandEvent&) { changed(row); });
        break;
    case Control::Number: {
        text_field(kNumberWidth);
        c.text->SetValidator(wxTextValidator(wxFILTER_DIGITS));
        break;
    }
    case Control::Text: text_field(kListWidth); break;
    case Control::ImagePath:
        text_field(kListWidth);
        browse_button();
        c.browse->Bind(wxEVT_BUTTON, [this, &row](wxCommandEvent&) { pick_image(row); });
        break;
    case Control::Date: text_field(kNumberWidth + kUnitWidth + kRowGap); break;
    case Control::Slider:
    case Control::Gamma: {
        c.slider = new wxSlider(parent, wxID_ANY, pref.range.min, pref.range.min, pref.range.max,
                                wxDefaultPosition, wxSize(kSliderWidth, -1));
        add(c.slider);
        c.text = new wxTextCtrl(parent, wxID_ANY, wxString(), wxDefaultPosition,
                                wxSize(kBoxWidth, -1), wxTE_PROCESS_ENTER);
        add(c.text, 0);
        c.spin = new wxSpinButton(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                  wxSP_VERTICAL | wxSP_ARROW_KEYS);
        c.spin->SetRange(pref.range.min, pref.range.max);
        add(c.spin);
        c.slider->Bind(wxEVT_SLIDER, [this, &row](wxCommandEvent&) { slider_moved(row); });
        c.text->Bind(wxEVT_TEXT, [this, &row](wxCommandEvent&) { box_typed(row, false); });
        c.text->Bind(wxEVT_TEXT_ENTER, [this, &row](wxCommandEvent&) { box_typed(row, true); });
        c.text->Bind(wxEVT_KILL_FOCUS, [this, &row](wxFocusEvent& e) {
            box_typed(row, true);
            e.Skip();
        });
        c.spin->Bind(wxEVT_SPIN, [this, &row](wxSpinEvent&) { spin_pressed(row); });
        break;
    }
    case Control::Colour:
        c.browse = new wxBitmapButton(parent, wxID_ANY, swatch({}, 34, 12));
        add(c.browse);
        text_field(kNumberWidth, wxTE_READONLY);
        c.browse->Bind(wxEVT_BUTTON, [this, &row](wxCommandEvent&) { pick_colour(row); });
        break;
    default: break;
    }
    if (c.text != nullptr && c.slider == nullptr && pref.control != Control::Colour) {
        c.text->Bind(wxEVT_TEXT, [this, &row](wxCommandEvent&) { changed(row); });
    }
    if (!pref.units.empty()) {
        c.unit = new wxChoice(parent, wxID_ANY);
        for (const ListItem& unit : pref.units) {
            c.unit->Append(wx(unit.text));
        }
        c.unit->SetMinSize(wxSize(std::max(kUnitWidth, c.unit->GetBestSize().GetWidth()), -1));
        add(c.unit);
        c.unit->Bind(wxEVT_CHOICE, [this, &row](wxCommandEvent&) { changed(row); });
    }
    sizer->Add(line, 0, wxEXPAND | wxBOTTOM, kRowGap);
    row.line = line;
    row.holder = sizer;
}

void PreferencesDialog::refill(Row& row, int selection) {
    RowControls& c = row.c;
    if (c.choice != nullptr) {
        c.choice->Clear();
        for (const ListItem& item : row.items) {
            c.choice->Append(wx(item.text));
        }
        c.choice->SetSelection(selection);
        fit_list(*c.choice);
    } else if (c.combo != nullptr) {
        c.combo->Clear();
        const bool colours = row.pref->control == Control::ColourList;
        const auto it = m_images.maps.set_a.find("New");
        const wxBitmap icon =
            colours ? wxBitmap()
                    : to_bitmap(it == m_images.maps.set_a.end() ? nullptr
                                                                : m_images.images.find(it->second),
                                16);
        for (const ListItem& item : row.items) {
            c.combo->Append(wx(item.text), colours ? swatch(item.colour, 16, 16) : icon);
        }
        c.combo->SetSelection(selection);
        fit_list(*c.combo);
    }
}

ControlValue PreferencesDialog::read(const Row& row) const {
    const RowControls& c = row.c;
    ControlValue v;
    if (c.choice != nullptr) {
        v.selection = c.choice->GetSelection();
    }
    if (c.combo != nullptr) {
        v.selection = c.combo->GetSelection();
    }
    if (c.check != nullptr) {
        v.checked = c.check->GetValue();
    }
    if (c.text != nullptr) {
        v.text = utf8(c.text->GetValue());
    }
    if (c.slider != nullptr) {
        v.value = c.slider->GetValue();
    }
    if (c.unit != nullptr) {
        v.unit_selection = c.unit->GetSelection();
    }
    return v;
}

void PreferencesDialog::show_value(Row& row, const ControlValue& v) {
    RowControls& c = row.c;
    if (c.choice != nullptr) {
        c.choice->SetSelection(v.selection);
    }
    if (c.combo != nullptr) {
        c.combo->SetSelection(v.selection);
    }
    if (c.check != nullptr) {
        c.check->SetValue(v.checked);
    }
    if (c.text != nullptr) {
        c.text->ChangeValue(wx(v.text));
    }
    if (c.slider != nullptr) {
        c.slider->SetValue(v.value);
        c.spin->SetValue(v.value);
    }
    if (c.unit != nullptr) {
        c.unit->SetSelection(v.unit_selection);
    }
    if (row.pref->control == Control::Colour) {
        static_cast<wxBitmapButton*>(c.browse)->SetBitmap(swatch(parse_colour(v.text), 34, 12));
    }
}

void PreferencesDialog::changed(Row& row) {
    if (m_closing) {
        return;
    }
    store_control(*row.pref, row.items, read(row), m_edited);
    apply_rules();
}

void PreferencesDialog::apply_rules() {
    bool relayout = false;
    for (auto& row : m_rows) {
        const RowState state = row_state(*row->pref, m_edited);
        if (state.shown != row->shown) {
            row->holder->Show(row->line, state.shown);
            row->shown = state.shown;
            relayout = true;
        }
        if (state.enabled != row->enabled) {
            for (wxSizerItem* item : row->line->GetChildren()) {
                if (wxWindow* w = item->GetWindow(); w != nullptr && w != row->c.label) {
                    w->Enable(state.enabled);
                }
            }
            row->enabled = state.enabled;
        }
    }
    for (const Panel& panel : m_panels) {
        const bool shown = panel_shown(*panel.first, m_edited);
        if (panel.window->IsShown() != shown) {
            panel.window->Show(shown);
            relayout = true;
        }
    }
    if (relayout || !IsShown()) {
        for (const Panel& panel : m_panels) {
            panel.window->Layout();
            if (auto* scrolled = dynamic_cast<wxScrolledWindow*>(panel.window)) {
                scrolled->FitInside();
            }
        }
        for (wxWindow* page : m_pages) {
            page->Layout();
            if (auto* scrolled = dynamic_cast<wxScrolledWindow*>(page)) {
                scrolled->FitInside();
            }
        }
    }
}

void PreferencesDialog::show_page(int page) {
    if (page < 0 || page >= static_cast<int>(m_pages.size())) {
        return;
    }
    m_page = page;
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        m_pages[i]->Show(static_cast<int>(i) == page);
    }
    m_header->SetLabel(
        wx(m_app.language.text("Preferences", std::string(kPreferencesPages[page]))));
    if (m_tree->GetSelection() != m_items[page]) {
        m_tree->SelectItem(m_items[page]);
    }
    Layout();
    m_pages[page]->Layout();
    if (auto* scrolled = dynamic_cast<wxScrolledWindow*>(m_pages[page])) {
        scrolled->FitInside();
    }
}

wxString PreferencesDialog::header_title() const { return m_header->GetLabel(); }

PreferencesDialog::Row* PreferencesDialog::row_of(std::string_view group, std::string_view key) {
    for (auto& row : m_rows) {
        const SettingKey* k = row->pref->key;
        if (k != nullptr && iequals(k->group, group) && iequals(k->key, key)) {
            return row.get();
        }
    }
    return nullptr;
}

const PreferencesDialog::RowControls* PreferencesDialog::controls(std::string_view group,
                                                                  std::string_view key) const {
    Row* row = const_cast<PreferencesDialog*>(this)->row_of(group, key);
    return row ? &row->c : nullptr;
}

bool PreferencesDialog::row_shown(std::string_view group, std::string_view key) const {
    Row* row = const_cast<PreferencesDialog*>(this)->row_of(group, key);
    if (row == nullptr || !row->shown) {
        return false;
    }
    for (const Panel& panel : m_panels) {
        if (panel.window == row->c.label->GetParent()) {
            return panel.window->IsShown();
        }
    }
    return true;
}

// --- slider pairs -------------------------------------------------------

void PreferencesDialog::slider_moved(Row& row) {
    const int value = row.c.slider->GetValue();
    row.c.text->ChangeValue(wx(spin_text(row.pref->range, value)));
    row.c.spin->SetValue(value);
    changed(row);
}

void PreferencesDialog::box_typed(Row& row, bool final) {
    if (m_closing) {
        return;
    }
    const auto edit = typed_into_spin(row.pref->range, utf8(row.c.text->GetValue()), final);
    if (!edit) {
        return;
    }
    row.c.slider->SetValue(edit->value);
    row.c.spin->SetValue(edit->value);
    if (edit->rewrite) {
        row.c.text->ChangeValue(wx(*edit->rewrite));
        row.c.text->SetInsertionPointEnd();
    }
    changed(row);
}

void PreferencesDialog::spin_pressed(Row& row) {
    const int value = std::clamp(row.c.spin->GetValue(), row.pref->range.min, row.pref->range.max);
    row.c.slider->SetValue(value);
    row.c.text->ChangeValue(wx(spin_text(row.pref->range, value)));
    changed(row);
}

// --- browse buttons -----------------------------------------------------

void PreferencesDialog::pick_colour(Row& row) {
    const Rgb current = parse_colour(utf8(row.c.text->GetValue()));
    wxColourData data;
    data.SetColour(to_wx(current));
    wxColourDialog chooser(this, &data);
    if (chooser.ShowModal() != wxID_OK) {
        return;
    }
    const Rgb picked = from_wx(chooser.GetColourData().GetColour());
    if (picked == current) {
        return;
    }
    ControlValue v = read(row);
    v.text = colour_text(picked);
    show_value(row, v);
    changed(row);
}

void PreferencesDialog::pick_list_colour(Row& row) {
    const int at = row.c.combo->GetSelection();
    const Rgb current = at >= 0 && at < static_cast<int>(row.items.size())
                            ? row.items[static_cast<std::size_t>(at)].colour
                            : Rgb{};
    wxColourData data;
    data.SetColour(to_wx(current));
    wxColourDialog chooser(this, &data);
    if (chooser.ShowModal() != wxID_OK) {
        return;
    }
    const Rgb picked = from_wx(chooser.GetColourData().GetColour());
    // The colour joins the list at once, so it stays after a Cancel.
    const SettingKey* source = find_setting(row.pref->key->group, row.pref->key->prefs.items);
    std::string* list = source ? text_field(m_app.settings, source->field) : nullptr;
    if (list == nullptr) {
        return;
    }
    const int index = add_colour(*list, picked);
    *text_field(m_edited, source->field) = *list;
    row.items = list_items(*row.pref, m_app.settings, m_app.language, m_images.themes);
    refill(row, index);
    changed(row);
}

void PreferencesDialog::pick_font(Row& row) {
    const SettingKey& key = *row.pref->key;
    Row* size_row = row_of(key.group, "Font Size");
    Row* style_row = row_of(key.group, "Font Style");
    const int at = row.c.choice->GetSelection();
    const std::string name = at >= 0 && at < static_cast<int>(row.items.size())
                                 ? row.items[static_cast<std::size_t>(at)].tag
                                 : std::string();
    long size = 0;
    if (size_row != nullptr) {
        size_row->c.text->GetValue().ToLong(&size);
    }
    wxFontData data;
    data.SetInitialFont(
        wxFont(wxFontInfo(size > 0 ? static_cast<int>(size) : 10).FaceName(wx(name))));
    wxFontDialog chooser(this, data);
    if (chooser.ShowModal() != wxID_OK) {
        return;
    }
    const wxFont font = chooser.GetFontData().GetChosenFont();
    const SettingKey* source = find_setting(key.group, key.prefs.items);
    std::string* list = source ? text_field(m_app.settings, source->field) : nullptr;
    if (list == nullptr) {
        return;
    }
    const int index = add_font(*list, utf8(font.GetFaceName()));
    if (index < 0) {
        return;
    }
    *text_field(m_edited, source->field) = *list;
    row.items = list_items(*row.pref, m_app.settings, m_app.language, m_images.themes);
    refill(row, index);
    changed(row);
    if (size_row != nullptr) {
        size_row->c.text->ChangeValue(wxString::Format("%d", font.GetPointSize()));
        changed(*size_row);
    }
    if (style_row != nullptr) {
        style_row->c.choice->SetSelection(font_style_of(font.GetWeight() >= wxFONTWEIGHT_BOLD,
                                                        font.GetStyle() == wxFONTSTYLE_ITALIC));
        changed(*style_row);
    }
}

void PreferencesDialog::pick_image(Row& row) {
    const std::string current = utf8(row.c.text->GetValue());
    wxFileDialog chooser(this, wx(m_app.language.text("Dialog", "Select Watermark Image")),
                         wx(platform::folder_of(current)), wx(platform::file_name_of(current)),
                         wx(watermark_image_filter(m_app.language)),
                         wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (chooser.ShowModal() == wxID_OK) {
        row.c.text->SetValue(chooser.GetPath());
    }
}

// --- the three buttons --------------------------------------------------

void PreferencesDialog::press_ok() {
    if (m_closing) {
        return;
    }
    Settings edited = m_app.settings;
    for (const auto& row : m_rows) {
        store_control(*row->pref, row->items, read(*row), edited);
    }
    m_window.ui_refresh_request = commit_preferences(m_app.settings, std::move(edited));
    save_configuration(m_app.settings);
    m_window.apply_interface_changes(
        format_selection(format_items(true), m_app.settings.output_format));
    close();
}

void PreferencesDialog::press_cancel() { close(); }

void PreferencesDialog::press_defaults() {
    if (m_closing) {
        return;
    }
    WxMessageBoxes own(m_app.language, this);
    MessageBoxes& boxes = m_boxes != nullptr ? *m_boxes : own;
    const Settings before = m_app.settings;
    const wxRect desktop = wxDisplay(0u).GetGeometry();
    if (!reset_to_defaults_confirmed(
            m_app.settings, boxes,
            ConfigContext{platform::now_local(), desktop.GetWidth(), desktop.GetHeight()})) {
        return;
    }
    m_window.ui_refresh_request = refresh_request(before, m_app.settings);
    m_window.apply_interface_changes(
        format_selection(format_items(true), m_app.settings.output_format));
    close();
}

void PreferencesDialog::close() {
    if (m_closing) {
        return;
    }
    m_closing = true;
    Hide();
    m_window.Enable();
    Destroy();
    m_window.Raise();
    m_window.SetFocus();
}

} // namespace pixlane
