// The decisions of the Preferences dialog without a toolkit: its pages and
// rows as the settings table describes them, what each control shows for a
// settings record and what it stores back, the enable and visibility rules,
// the slider boxes' clamping, colour names, the browse buttons' additions
// and what OK and Defaults ask of the main window. The dialog renders it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/language.h"
#include "settings/colour.h"
#include "settings/keys.h"
#include "settings/settings.h"
#include "ui/theme.h"

namespace pixlane {

// --- pages ----------------------------------------------------------------

// The pages in tree order; each also names the settings group it edits.
inline constexpr std::array<std::string_view, 9> kPreferencesPages = {
    "General",    "Interface", "Input",     "Output",  "Transform",
    "Adjustment", "Frame",     "Watermark", "Advanced"};
inline constexpr int kOutputPage = 3;

// The page of a settings group; -1 for groups no page edits.
int page_of_group(std::string_view group);

// The page the dialog opens on, and the start page set back to 0, so only
// the caller that asked for another page gets it. Out-of-range pages give 0.
int take_start_page(int& start_page);

// --- rows -----------------------------------------------------------------

// One item of a list: its text, the number it stores, and for the lists
// that store a text or show a colour, that text or colour.
struct ListItem {
    std::string text;
    std::int32_t value = 0;
    std::string tag; // theme package, extension, font name
    Rgb colour;      // colour lists
};

struct SliderRange {
    int min = 0;
    int max = 0;
    bool hundredths = false; // gamma: the box shows value / 100 with two decimals
};

// One row of a page: the label at the left and its control. `key` is null
// for a row that only shows something (pcx's one compression).
struct PrefRow {
    const SettingKey* key = nullptr;
    const SettingKey* unit_key = nullptr; // the unit list is a choice stored here
    Control control = Control::None;      // never Auto
    int page = 0;
    std::string format; // per-format panel of Input and Output; empty: none
    std::string label;
    std::vector<ListItem> units; // unit list: its one unit, or the choices of unit_key
    std::vector<ListItem> items; // list items that do not depend on the record
    SliderRange range;
};

// The control a table row gets (Auto resolved); None for rows no page edits.
Control resolved_control(const SettingKey& row);

// Every row of every page, in table order, texts from `language`.
std::vector<PrefRow> preference_rows(const LanguageTable& language);

// The row of a setting among `rows`; nullptr when it has none.
const PrefRow* find_row(const std::vector<PrefRow>& rows, std::string_view group,
                        std::string_view key);

// The items of a list row for a record: the fixed items, or the colours,
// fonts or themes the record and `themes` offer.
std::vector<ListItem> list_items(const PrefRow& row, const Settings& s,
                                 const LanguageTable& language, const ThemeList& themes);

// --- load and store -------------------------------------------------------

// What a control shows. Which fields count depends on the control kind.
struct ControlValue {
    int selection = -1;      // lists (-1: none)
    int unit_selection = -1; // a choice unit list
    bool checked = false;    // checks
    std::string text;        // numbers, texts, colours, dates, slider boxes
    int value = 0;           // sliders (gamma in hundredths)
};

ControlValue load_control(const PrefRow& row, const std::vector<ListItem>& items,
                          const Settings& s);
// Stores what the control shows into `s`. A list without a selection
// leaves its setting (a depth list stores 0); an unreadable date too.
void store_control(const PrefRow& row, const std::vector<ListItem>& items, const ControlValue& v,
                   Settings& s);

// --- rules ----------------------------------------------------------------

bool holds(const When& when, const Settings& s);

struct RowState {
    bool shown = true;
    bool enabled = true;
};
// The row's own rules over the values the controls show (`edited`); its
// panel is shown or hidden as a whole (panel_shown).
RowState row_state(const PrefRow& row, const Settings& edited);
// A per-format panel is shown when its format is the one selected; a
// sub-panel while its condition holds.
bool panel_shown(const PrefRow& row, const Settings& edited);

// --- slider boxes ---------------------------------------------------------

// The box's text for a slider value (gamma: "2.50").
std::string spin_text(const SliderRange& r, int value);

// Typing into a slider's box: the value for box and slider, clamped, and
// the text the box must show instead when it differs from the typed one.
// While typing (`final` false) a text that is no number yet ("", "-", and
// for gamma "0." and the like) changes nothing and is left as it is, and
// "2.5" keeps its form; at the end of the edit every text is written back.
struct SpinEdit {
    int value = 0;
    std::optional<std::string> rewrite;
};
std::optional<SpinEdit> typed_into_spin(const SliderRange& r, std::string_view text, bool final);

// --- colours, fonts, dates, files -----------------------------------------

// The name of a colour: one of the table of named colours, else
// Preferences/Color + " #" + its six digits.
std::string colour_name(const LanguageTable& language, Rgb c);

// The entries of a colour list text (each read as a colour) and of a font
// list text (trimmed, empty entries left out).
std::vector<Rgb> colour_entries(std::string_view list);
std::vector<std::string> font_entries(std::string_view list);

// A colour picked through a colour list's browse button: appended to the
// list text behind a comma unless it is already there. The position of the
// colour among colour_entries afterwards.
int add_colour(std::string& list, Rgb c);
// A font picked through the font browse button: its name without commas is
// appended to the font list text behind a comma unless a trimmed entry
// equals it. The position among font_entries afterwards; -1 for a name
// that is empty without its commas.
int add_font(std::string& list, std::string_view name);
// The Font Style item of a chosen font.
int font_style_of(bool bold, bool italic);

// Dates as the date field shows them, "yyyy/mm/dd hh:ii" (local wall clock,
// no time zone), and read back; nullopt for a text that is no such date.
std::string date_text(Date d);
std::optional<Date> parse_date_text(std::string_view text);

// The filter of the watermark image chooser, entries separated by "|".
std::string watermark_image_filter(const LanguageTable& language);

// --- size -----------------------------------------------------------------

// The height of one row of controls and where it stands: its page and the
// panel holding it (-1 on the page itself).
struct RowHeight {
    int page = 0;
    int panel = -1;
    int height = 0;
};

// The height the tallest page needs with every row shown: a page's own rows
// stack, and of its panels (which the settings show one at a time) the
// tallest counts.
int tallest_page_height(const std::vector<RowHeight>& rows);

// The dialog's inner height: its usual height, or more when the tallest
// page needs it (`chrome`: the header, margins and buttons around a page),
// but never more than `screen` allows; a page scrolls only then.
int dialog_inner_height(int usual, int chrome, int tallest_page, int screen);

// --- OK and Defaults ------------------------------------------------------

// Brightness, contrast, gamma or invert away from neutral.
bool colour_correction_needed(const Settings& s);

// The UI refresh request: 1 when the theme changes (it wins), 2 when only
// the icon size does, else 0.
int refresh_request(const Settings& before, const Settings& after);

// OK: `edited` holds every control's value over the record as it was; the
// derived Do Image Color Correction is set and the record takes it. The
// refresh request for the main window.
int commit_preferences(Settings& s, Settings edited);

} // namespace pixlane
