// The decisions of the main window, kept apart from the window code so they
// run without a display: the layout formula, the recent output folders, the
// output-format items, the clipboard text, the delete-selection rule, the
// geometry kept at exit and the handling of dropped paths.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pipeline/input_list.h"
#include "records/records.h"
#include "settings/settings.h"

namespace pixlane {

// --- layout ---------------------------------------------------------------

// The smallest inner size of the main window, pixels.
inline constexpr int kMinimumInnerWidth = 510;
inline constexpr int kMinimumInnerHeight = 330;

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

// Where the controls go. The container sits directly below the toolbar; the
// other rectangles are relative to it.
struct MainLayout {
    Rect container;
    Rect file_list;
    int list_column_width = 0;
    Rect folder_label;
    Rect folder_field;
    Rect folder_button;
    Rect format_label;
    Rect format_field;
    Rect format_button;
    Rect convert_button;
};

// The design's heights of the two fields and the size of their buttons.
inline constexpr int kFieldHeight = 21;
inline constexpr int kFieldButtonSize = 24;

// The layout for inner width `w` and `k`, the inner height less the heights
// of menu bar, toolbar and status bar (pixels). With the design's field
// height and button size this is the formula as drawn; a toolkit whose
// drop-down lists need more height gives `field_height` (and
// `button_size`): each field row then grows upwards by the difference, so
// the bottom margin and the gaps between rows stay, the list shortens, and
// each button is centred on its field.
MainLayout main_window_layout(int w, int k, int field_height = kFieldHeight,
                              int button_size = kFieldButtonSize);

// --- recent output folders ----------------------------------------------

// The tab-separated fields 1..number of a Recent Out Folders text, each
// trimmed of blanks (empty fields kept).
std::vector<std::string> recent_fields(std::string_view recent, int number);

// Recent Out Folders after `folder` is pushed: the folder first, then the
// old non-empty fields that differ from it without regard to case, at most
// `number` entries in all, tab-separated. An empty folder changes nothing.
std::string push_recent_folder(std::string_view recent, std::string_view folder, int number);

// The items of the output-folder field after a refresh, and the item to
// select: the one equal (case-sensitive) to `output_folder`, else the first;
// -1 when there is no item. nullopt when `recent` is empty: the field is
// left as it is.
struct FolderItems {
    std::vector<std::string> items;
    int selected = -1;
};
std::optional<FolderItems> recent_folder_items(std::string_view recent, int number,
                                               std::string_view output_folder);

// --- output formats -------------------------------------------------------

// One item of an output-format list: "PNG" or "PNG (Portable Network
// Graphics)", and its index in the output extension list.
struct FormatItem {
    std::string text;
    int index = 0;
};
std::vector<FormatItem> format_items(bool descriptions);
// Position of the item whose extension equals `format` (any case); 0 when
// none does.
int format_selection(const std::vector<FormatItem>& items, std::string_view format);

// --- edit commands --------------------------------------------------------

// The clipboard text of the selected paths: each followed by CR LF, then the
// trailing CRs and LFs stripped. Empty when nothing is selected.
std::string copy_text(const std::vector<std::string>& selected_paths);

// Delete with `selected` (ascending row numbers) in a list of `count` rows:
// the rows go one by one, always the first selected one, so the k-th
// removal takes the row now at selected[k] - k. Afterwards the row at the
// position of the last removal is selected, or the last row when that
// position is past the end; -1 when the list is empty or nothing was
// selected.
struct DeletePlan {
    std::vector<int> removals; // row numbers at the moment of each removal
    int select_after = -1;
};
DeletePlan delete_plan(const std::vector<int>& selected, int count);

// --- geometry -------------------------------------------------------------

struct WindowGeometry {
    bool maximised = false;
    bool minimised = false;
    int x = 0; // outer position
    int y = 0;
    int width = 0; // inner size
    int height = 0;
};
// What the settings keep of the window at exit: maximised sets IsMaximized
// only, minimised changes nothing, otherwise IsMaximized 0 and the position
// and size.
void capture_geometry(Settings& s, const WindowGeometry& g);

// The position and inner size the window opens with: the stored ones held
// to a screen of `screen_width` × `screen_height` (a size at least the
// window's minimum and at most the screen, a position that keeps the window
// on the screen), so a damaged or foreign config.ini can neither make a
// window of 30000 pixels nor put it out of reach.
WindowGeometry restored_geometry(const Settings& s, int screen_width, int screen_height);

// --- drops ----------------------------------------------------------------

// Handles paths dropped on the window, in order: a folder (its path ending
// with "/") becomes the input folder and its tree is imported into the
// list by `import_folder`; then every path is offered to the list, which
// takes accepted files only. `between` runs after each path (the window
// repaints there). Returns the number of entries added.
int handle_drop(const std::vector<std::string>& paths, std::string& input_folder, InputList& list,
                const std::function<void(const std::string& folder)>& import_folder,
                const std::function<void()>& between);

// `text` as one word of a POSIX shell: in single quotes unless it is made
// of characters no shell treats specially.
std::string shell_quoted(std::string_view text);

// The console command that converts what the window's Convert would: the
// output extension and folder, every option that differs from the command
// line's defaults (settings no option reaches go to `not_kept`), then the
// inputs: the imported folder when the list holds subfolders of it,
// otherwise every file of the list.
std::string console_command(const Settings& s, const std::string& extension,
                            const std::string& output_folder, const InputList& list,
                            const std::string& input_folder, std::vector<std::string>& not_kept);

// The output folder the first file added to a window with an empty
// output-folder field chooses: the input folder (after a folder import), or
// else the folder of the file itself, ending with "/".
std::string first_output_folder(const std::string& input_folder, const std::string& path);

} // namespace pixlane
