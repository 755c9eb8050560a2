// The conversion progress dialog without a toolkit: its layout, and what it
// shows after each poll of the progress record. The dialog renders it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/language.h"
#include "decorations/watermark.h"
#include "records/records.h"
#include "run/checks.h"
#include "settings/settings.h"

namespace pixlane {

// `text` cut to `m` characters when longer: the first h and the last h
// characters with "..." between, h = (m - 3) / 2.
std::string shorten_path(const std::string& text, int m);

// The interactive run's preparation: the checks run in their order
// (`folder` gains its trailing separator, a text watermark's font is loaded
// into `font`), and when they pass the plan takes the output folder and the
// format fields of `ext`.
std::optional<Fault> prepare_interactive_run(const Settings& s, BatchPlan& plan,
                                             std::size_t input_count, std::string& folder,
                                             const std::string& ext,
                                             std::unique_ptr<WatermarkFont>& font);

// The dialog's inner size and control positions.
struct ProgressLayout {
    static constexpr int kWidth = 300;
    static constexpr int kHeight = 130;
    static constexpr int kLineWidth = 280;
    bool show_time = false; // five files or more
    int bar_y = 50;         // 60 with the time line, 50 without
    int bar_range = 1;      // count + 1
};

ProgressLayout progress_layout(int count);

// Character width from the width of the text "abc123:\-" (9 characters);
// 7 when it cannot be measured (0 or less).
int character_width(int measured_text_width);

// What the dialog shows.
struct ProgressView {
    std::string title;
    std::string file_line;
    std::string time_line;
    int bar = 0;
    bool ok_enabled = false;
    std::string status; // the main window's status text; empty while running
};

class ConversionProgress {
  public:
    // `count` entries to convert; `char_width` from character_width().
    ConversionProgress(const LanguageTable& language, int count, int char_width);

    const ProgressLayout& layout() const { return m_layout; }
    const ProgressView& view() const { return m_view; }
    int max_chars() const { return m_max_chars; }

    // A poll while the worker runs; true when the view changed.
    bool update(const ProgressSnapshot& snapshot);
    // The user answered Yes to the break question.
    // The time line gives no estimate from then on.
    void cancel() {
        m_cancelled = true;
        m_view.time_line.clear();
    }
    bool cancelled() const { return m_cancelled; }
    // The worker ended with `converted` files converted.
    void finish(int converted);
    bool finished() const { return m_finished; }

  private:
    std::string progress(int index) const;

    const LanguageTable& m_language;
    int m_count;
    int m_char_width;
    int m_max_chars;
    int m_last_index = 0;
    bool m_cancelled = false;
    bool m_finished = false;
    ProgressLayout m_layout;
    ProgressView m_view;
};

} // namespace pixlane

namespace pixlane {

// What the import and export progress dialog runs.
enum class ListWork { FolderImport, ListImport, Export };

// The main window's status text when the work has ended with `count`
// entries added or saved, or was broken.
std::string list_work_status(const LanguageTable& language, ListWork work, int count, bool broken);

// An export name without extension gets ".txt".
std::string export_file_name(const std::string& chosen);

// The bar's maximum: entries of the folder itself, line feeds of a list
// file, or the rows to export.
int folder_bar_maximum(const std::string& folder);
int list_bar_maximum(const std::string& list_file);

} // namespace pixlane
