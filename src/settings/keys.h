// The one table of settings. Each row declares a setting once: its config.ini
// group and key, its type, the field of the record, how config.ini persists
// it, its command-line option with value class, keyword table and the field
// the option also sets, and how the Preferences dialog edits it. Defaults,
// config.ini, the option table, profiles, the debug listing and the
// Preferences pages all walk this table.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "settings/keywords.h"
#include "settings/settings.h"

namespace pixlane {

enum class FieldType : std::uint8_t {
    Flag,       // 8-bit, 0 or 1
    Choice,     // small enumeration (8 or 32 bits by the field)
    Int,        // signed integer (width by the field)
    Float,      // 32-bit floating point
    Text,       // UTF-8 text
    Colour,     // six hexadecimal digits RRGGBB
    ColourList, // comma-separated colours
    Date,       // seconds since 1970 of the local wall clock
};

// A field of the settings record, by its storage width.
using FieldRef = std::variant<std::uint8_t Settings::*, std::int32_t Settings::*, float Settings::*,
                              std::string Settings::*>;

// How config.ini treats a key.
enum class Persist : std::uint8_t {
    Always,         // read and written
    ReadOnly,       // carried-over key: read, never written
    WindowPosition, // written only when Save Window Position is on
    InputOption,    // written when `format` is in the input extension list
    OutputOption,   // written when `format` is in the output extension list
};

// Value class of a command-line option.
enum class OptionClass : std::uint8_t {
    None,    // no option
    Flag,    // no value; presence stores `flag_value`
    Integer, // integer reader ($hex, %binary, sign, stops at the first misfit)
    Decimal, // floating-point number
    Keyword, // word of keyword table `keywords`
    Text,    // text, with the double-quote rules
};

// A field set together with an option's value ("also sets").
struct AlsoSets {
    FieldRef field;
    std::int32_t value;
};

// A row is listed (and checked) while another setting has this value.
struct ListedWhen {
    FieldRef field;
    std::int32_t value;
};

// What a run checks of a row's value whenever the row is listed. A fault
// names the row's option ("Invalid width value" for --WIDTH).
enum class Check : std::uint8_t {
    None,
    Range,          // from range_min to range_max inclusive; floats compared as 32-bit floats
    NotZero,        // anything but 0
    ResizeSide,     // a resize target side: resize_side_allowed()
    FormatDepth,    // 0 (automatic) or a bit depth the catalogue allows for `format`
    WatermarkFont,  // after this row: the watermark font must load
    WatermarkImage, // after this row: the watermark image file must have a size above 0
};

// How the Preferences dialog edits a row. Rows of the groups that are its
// pages (General, Interface, Input, Output, Transform, Adjustment, Frame,
// Watermark, Advanced) get a control; Auto picks it from the row itself.
enum class Control : std::uint8_t {
    Auto,         // flag: Check; choice: List; int: Depth with a FormatDepth check,
                  // Slider with a Range check, else Number; float: Number; text: Text;
                  // colour: Colour; colour list: None; date: Date
    None,         // not edited (derived, or the entries of another row's list)
    List,         // drop-down list; item k stores k (or the keyword table's values)
    Check,        // check box; checked stores 1
    Number,       // digits, with a unit list beside them
    Text,         // free text, stored trimmed and without tabs and line breaks
    Slider,       // slider with a spin box, from `min` to `max`
    Gamma,        // slider in hundredths, the box showing two decimals
    Colour,       // swatch button and hexadecimal field
    ColourList,   // colours of the row named by `items`, with a browse button
    FontList,     // fonts of the row named by `items`, with a browse button
    ImagePath,    // text with a browse button for an image file
    Date,         // date and time
    Depth,        // "Auto" and the allowed depths of the row's format
    Unit,         // the unit list beside the row before this one
    Language,     // "auto", "en" or an installed language's code
    Theme,        // theme packages; stores the package name
    InputFormat,  // the input extension list; stores the extension
    OutputFormat, // the output extension list; stores the extension
};

// Holds while the value v of `field` has bit v set in `values`.
struct When {
    FieldRef field;
    std::uint32_t values;
};
template <class... V> constexpr std::uint32_t bits(V... v) { return ((1u << v) | ...); }

struct PrefsRow {
    Control control = Control::Auto;
    std::string_view label = {}; // Preferences key of the label; empty: the setting's key
    // List: comma-separated Preferences keys of the items, storing 0, 1, ...;
    // empty: one item per value of the keyword table. Colour and font lists:
    // the key of the row (same group) whose entries they offer.
    std::string_view items = {};
    std::string_view unit = {}; // Preferences key of a number's one unit
    std::int32_t min = 0;       // slider range; none given: the Range check's
    std::int32_t max = 0;
    std::optional<When> panel = {};        // in the sub-panel shown while this holds
    std::optional<When> shown_when = {};   // the row itself
    std::optional<When> enabled_when = {}; // the row's controls
};

struct SettingKey {
    std::string_view group;
    std::string_view key;
    FieldType type;
    FieldRef field;
    Persist persist = Persist::Always;
    std::string_view format = {}; // extension, for input/output option rows
    std::string_view option = {}; // e.g. "--JPG-QUALITY"; empty: no option
    OptionClass option_class = OptionClass::None;
    Keywords keywords = Keywords::None; // keyword table of Keyword options and of the listing
    std::int32_t flag_value = 1;        // value a Flag option stores
    std::optional<AlsoSets> also_sets = {};
    std::string_view profile_option = {};         // profile key when it differs from `option`
    std::optional<std::int32_t> cli_default = {}; // command-line default when it differs
    // The debug listing. Rows of a format (`format` set) are listed for that
    // format, under `listing` or else their key and ": "; other rows only
    // with a `listing` label, always or while `listed_when` holds.
    std::string_view listing = {};
    std::optional<ListedWhen> listed_when = {};
    std::string_view listing_join = {}; // the next row's value follows on this line after it
    // A setting added after the first release is listed only when it differs
    // from its command-line default, so the listing of an option set that
    // existed before stays as it was (scripts compare listings).
    bool listed_if_changed = false;
    Check check = Check::None;
    // The documented range: checked by the run with Check::Range, otherwise
    // only warned about when an option gives a value outside it.
    double range_min = 0;
    double range_max = 0;
    PrefsRow prefs = {}; // the Preferences dialog
};

// Every setting, grouped as config.ini writes them.
std::span<const SettingKey> setting_keys();

// The row of group/key, matched without regard to case; nullptr if none.
const SettingKey* find_setting(std::string_view group, std::string_view key);

// The row whose command-line option is `option` (upper case, with "--").
const SettingKey* find_option(std::string_view option);

// The row whose profile key is `name` (upper case, with "--").
const SettingKey* find_profile_option(std::string_view name);

// Whether a resize target side is allowed: above 0, or 0 with the aspect
// ratio kept while the other side is set (the side then follows it).
// Negative sides never are.
bool resize_side_allowed(std::int32_t side, std::int32_t other, bool keep_aspect_ratio);

// Field access by reference, whatever its width.
std::int32_t get_int(const Settings& s, const FieldRef& f);   // texts read 0
void set_int(Settings& s, const FieldRef& f, std::int64_t v); // stored in the field's width
std::string* text_field(Settings& s, const FieldRef& f);      // nullptr for numbers
const std::string* text_field(const Settings& s, const FieldRef& f);

} // namespace pixlane
