// The decisions of the Preview window, apart from its window code: which
// file and settings a preview is asked for, where each picture goes and
// the lines below them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/language.h"
#include "pipeline/input_list.h"
#include "records/records.h"
#include "settings/settings.h"
#include "ui/main_window_logic.h"

namespace pixlane {

// From run/preview.h, which brings FreeImage's header: window code includes
// it after every wxWidgets header.
struct Preview;
struct PreviewRequest;

// The list row a preview shows: the first selected one, else the first
// row; -1 when the list is empty.
int preview_row(int first_selected, int row_count);

// What the window has chosen when a preview is asked for.
struct PreviewChoice {
    std::string extension;     // the output format field
    std::string output_folder; // the output folder field; empty: the input's folder
    std::uint32_t frame_pick = 0;
    int frame = -1; // below 0: the frame GIF Frame Loading picks
};

// The request for `entry`, row `row` of the list, named as the next run
// would name it when every file before it converts (%n% and %rnd% from
// `counters`); nullopt for an extension that is not an output format.
std::optional<PreviewRequest> preview_request(const Settings& s, const NamingCounters& counters,
                                              const InputEntry& entry, int row,
                                              const PreviewChoice& choice);

// Where a width × height picture goes in an area: scaled to fit it (aspect
// ratio kept), or at its own size with `actual_size`; centred either way.
Rect picture_place(int width, int height, const Rect& area, bool actual_size);

// The lines below the pictures: the output name, "W × H × D" and the size
// in bytes ("?" when only a conversion tells it).
struct PreviewLines {
    std::string name;
    std::string dimensions;
    std::string size;
    std::string frame; // "Frame k of n"
};
PreviewLines preview_lines(const LanguageTable& language, const Preview& preview);

} // namespace pixlane
