// Every text of the main window, the progress dialogs and the Preferences
// pages fits its control in every installed language: the controls are
// built in each language and each text's extent, as the toolkit measures it
// in the control's font, is compared with the control's rectangle.
#include <gtest/gtest.h>

#include <wx/bmpcbox.h>
#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dcclient.h>
#include <wx/hyperlink.h>
#include <wx/scrolwin.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/treectrl.h>

#include <memory>
#include <string>
#include <vector>

#include "base/translations.h"
#include "support/test_support.h"
#include "support/window_support.h"
#include "ui/main_window_ui.h"
#include "ui/preferences_ui.h"
#include "ui/progress_dialog_ui.h"
#include "ui/small_windows_ui.h"

namespace pixlane {
namespace {

using test::pump;

const std::string kLocale = std::string(PIXLANE_BINARY_DIR) + "/locale/";

// Room a control keeps around its text: the box of a check box, the arrow
// of a list, the frame of a button.
constexpr int kCheckRoom = 20;
constexpr int kListRoom = 24;
constexpr int kButtonRoom = 6;

wxSize extent(const wxWindow& w, const wxString& text) {
    wxClientDC dc(const_cast<wxWindow*>(&w));
    dc.SetFont(w.GetFont());
    return dc.GetMultiLineTextExtent(text);
}

// The widest item of a list, measured in the list's font.
int widest_item(const wxItemContainerImmutable& list, const wxWindow& w) {
    int widest = 0;
    for (unsigned i = 0; i < list.GetCount(); ++i) {
        widest = std::max(widest, extent(w, list.GetString(i)).GetWidth());
    }
    return widest;
}

// Texts of `root` and every shown window below it that do not fit their
// control, or controls that leave their parent's width, as lines to report.
void collect_cut_texts(const wxWindow& root, const std::string& where,
                       std::vector<std::string>& cut) {
    for (const wxWindow* w : root.GetChildren()) {
        if (!w->IsShown() || w->IsTopLevel()) {
            continue;
        }
        const wxSize size = w->GetSize();
        int needed = 0;
        wxString text;
        if (const auto* label = dynamic_cast<const wxStaticText*>(w)) {
            text = label->GetLabel();
            const wxSize e = extent(*w, text);
            needed = e.GetWidth();
            if (e.GetHeight() > size.GetHeight() + 1) {
                cut.push_back(where + ": \"" + text.utf8_string() + "\" is taller than its label");
            }
        } else if (const auto* check = dynamic_cast<const wxCheckBox*>(w)) {
            text = check->GetLabel();
            needed = text.empty() ? 0 : extent(*w, text).GetWidth() + kCheckRoom;
        } else if (dynamic_cast<const wxBitmapButton*>(w) == nullptr &&
                   dynamic_cast<const wxButton*>(w) != nullptr) {
            text = dynamic_cast<const wxButton*>(w)->GetLabel();
            needed = extent(*w, text).GetWidth() + kButtonRoom;
        } else if (const auto* combo = dynamic_cast<const wxBitmapComboBox*>(w)) {
            needed = widest_item(*combo, *w) + kListRoom + combo->GetBitmapSize().GetWidth();
            text = combo->GetCount() > 0 ? combo->GetString(0) : wxString();
        } else if (const auto* choice = dynamic_cast<const wxChoice*>(w)) {
            needed = widest_item(*choice, *w) + kListRoom;
            text = choice->GetCount() > 0 ? choice->GetString(0) : wxString();
        } else if (const auto* tree = dynamic_cast<const wxTreeCtrl*>(w)) {
            wxTreeItemIdValue cookie;
            for (wxTreeItemId item = tree->GetFirstChild(tree->GetRootItem(), cookie); item.IsOk();
                 item = tree->GetNextChild(tree->GetRootItem(), cookie)) {
                wxRect rect;
                if (tree->GetBoundingRect(item, rect, true) &&
                    rect.GetRight() >= tree->GetClientSize().GetWidth()) {
                    cut.push_back(where + ": tree item \"" + tree->GetItemText(item).utf8_string() +
                                  "\" is cut");
                }
            }
        }
        if (needed > size.GetWidth()) {
            cut.push_back(where + ": \"" + text.utf8_string() + "\" needs " +
                          std::to_string(needed) + " pixels, has " +
                          std::to_string(size.GetWidth()));
        }
        const wxWindow* parent = w->GetParent();
        if (parent != nullptr &&
            w->GetPosition().x + size.GetWidth() > parent->GetClientSize().GetWidth()) {
            cut.push_back(where + ": a control with \"" + text.utf8_string() +
                          "\" runs past the right edge");
        }
        collect_cut_texts(*w, where, cut);
    }
    // A text must not be covered by a control beside it: the line through
    // the middle of its letters meets no other control. (A field below may
    // reach into a label's box, as the main window's fields do.)
    std::vector<const wxWindow*> shown;
    for (const wxWindow* w : root.GetChildren()) {
        if (w->IsShown() && !w->IsTopLevel()) {
            shown.push_back(w);
        }
    }
    for (const wxWindow* label : shown) {
        if (dynamic_cast<const wxStaticText*>(label) == nullptr || label->GetLabel().empty()) {
            continue;
        }
        const wxSize e = extent(*label, label->GetLabel());
        const wxRect box = label->GetRect();
        const wxRect letters(box.x, box.y + box.height / 2, std::min(e.GetWidth(), box.width), 1);
        for (const wxWindow* other : shown) {
            if (other != label && other->GetRect().Intersects(letters)) {
                cut.push_back(where + ": \"" + label->GetLabel().utf8_string() +
                              "\" is covered by another control");
            }
        }
    }
}

// Shows every row and panel below `root` (the pages hide what the current
// settings do not use), then lays them out from the top down, so that each
// is measured where it would stand.
void show_everything(wxWindow& root) {
    if (wxSizer* sizer = root.GetSizer()) {
        sizer->ShowItems(true);
    }
    for (wxWindow* child : root.GetChildren()) {
        if (!child->IsTopLevel()) {
            show_everything(*child);
        }
    }
}
void lay_out(wxWindow& root) {
    if (auto* scrolled = dynamic_cast<wxScrolledWindow*>(&root)) {
        scrolled->FitInside();
    }
    root.Layout();
    for (wxWindow* child : root.GetChildren()) {
        if (!child->IsTopLevel()) {
            lay_out(*child);
        }
    }
}

class LayoutTest : public ::testing::Test {
  protected:
    std::vector<std::string> cut_texts(const std::string& code) {
        Session app;
        app.settings.config_path = m_dir / "config.ini";
        load_language(app.language, code, kLocale);
        WindowImages images;
        prepare_window_images(images, app.settings.ui_theme, app.settings.ui_size,
                              std::string(PIXLANE_BINARY_DIR) + "/gfx/");
        std::vector<std::string> cut;
        auto* window = new MainWindow(app, images);
        window->finish();
        pump(100);
        collect_cut_texts(*window, code + " main window", cut);

        wxCommandEvent command(wxEVT_MENU, kCmdPreferences);
        window->ProcessWindowEvent(command);
        pump(100);
        if (PreferencesDialog* dialog = PreferencesDialog::find(*window)) {
            collect_cut_texts(*dialog, code + " Preferences", cut);
            for (std::size_t p = 0; p < kPreferencesPages.size(); ++p) {
                dialog->show_page(static_cast<int>(p));
                show_everything(*dialog->page_window(static_cast<int>(p)));
                lay_out(*dialog->page_window(static_cast<int>(p)));
                collect_cut_texts(*dialog->page_window(static_cast<int>(p)),
                                  code + " Preferences " + std::string(kPreferencesPages[p]), cut);
            }
            dialog->press_cancel();
        } else {
            cut.push_back(code + ": no Preferences dialog");
        }
        pump(50);
        {
            ConversionDialog conversion(window, app, BatchPlan{}, nullptr, {});
            conversion.Show();
            pump(50);
            collect_cut_texts(conversion, code + " conversion progress", cut);
        }
        for (ListWork work : {ListWork::FolderImport, ListWork::Export}) {
            ListWorkDialog list(window, app, work, 10, {});
            list.Show();
            collect_cut_texts(list, code + " list progress", cut);
        }
        {
            AboutDialog about(window, app.language, images.images);
            collect_cut_texts(about, code + " About", cut);
            FindConverterDialog find(window, app.language);
            collect_cut_texts(find, code + " find a converter", cut);
            UninstallPage uninstall(app.language);
            collect_cut_texts(uninstall, code + " uninstall page", cut);
        }
        window->Destroy();
        pump(50);
        return cut;
    }

    test::TempDir m_dir;
};

TEST_F(LayoutTest, EveryTextFitsItsControlInEveryLanguage) {
    const auto choices = installed_languages(kLocale);
    ASSERT_GT(choices.size(), 1u) << "no translations beside the build in " << kLocale;
    for (const LanguageChoice& choice : choices) {
        for (const std::string& line : cut_texts(choice.code)) {
            ADD_FAILURE() << line;
        }
    }
}

} // namespace
} // namespace pixlane
