// The checks a run makes before it starts, returned as values: the console
// run's checks in their fixed order (with the debug listing handed to a
// sink line by line) and the interactive run's checks. Nothing here prints.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "decorations/watermark.h"
#include "records/records.h"
#include "run/console_request.h"
#include "settings/keys.h"
#include "settings/settings.h"

namespace pixlane {

// A check that failed: a message key and its argument. The console run's
// keys are its messages ("Invalid input file"; "Invalid value" with the
// option's word, "width", as argument); the interactive run's keys are those
// of the language group Msg ("Empty output folder"; "Invalid output folder"
// with the folder as %s1%).
struct Fault {
    std::string key;
    std::string argument = {};
    bool operator==(const Fault&) const = default;
};

// The console's text after "Error: ": "Invalid width value" for
// {"Invalid value", "width"}, otherwise the key.
std::string console_message(const Fault& fault);

// Receives the lines of the debug listing; may be empty.
using ListingSink = std::function<void(const std::string& line)>;

// A setting's value as the listing shows it: keywords in lower case, flags
// as 0 or 1, floats with two decimals, texts as stored.
std::string listed_value(const Settings& s, const SettingKey& row);

// The console run's checks after parsing, in order, with the listing:
// input (file or folder, resolved against the working folder), output
// folder, input type and output extension (defaults filled in), the output
// format's settings, then every listed setting of the key table with its
// check. Resolves the request's input path and folders; loads the
// watermark font into `font` when a text watermark is on.
// The first part: resolves the input (file or folder, against the working
// folder) and the output folder, fills in the default input type and
// output extension and checks the conversion, listing each.
std::optional<Fault> resolve_console_request(ConsoleRequest& request, const ListingSink& listing);
// The second part: the input and output format's settings, then every
// listed setting of the key table with its check; loads the watermark font
// into `font` when a text watermark is on.
std::optional<Fault> check_console_settings(const Settings& s, const ConsoleRequest& request,
                                            const ListingSink& listing,
                                            std::unique_ptr<WatermarkFont>& font);
// Both, in that order.
std::optional<Fault> check_console_run(Settings& s, ConsoleRequest& request,
                                       const ListingSink& listing,
                                       std::unique_ptr<WatermarkFont>& font);

// The interactive run's checks, in order: an empty input list, an empty
// output folder, a folder that does not exist (a trailing separator is
// added to `output_folder` first), resize width and height 0, the watermark
// font (loaded into `font`) and the watermark image.
std::optional<Fault> check_interactive_run(const Settings& s, std::size_t input_count,
                                           std::string& output_folder,
                                           std::unique_ptr<WatermarkFont>& font);

// Whether an input argument names a file: reading back from its end a "."
// comes before any "/" or blank, is not the first character of the last
// component, and is followed by at least one character.
bool has_extension(const std::string& input);

} // namespace pixlane
