#include "ui/progress_logic.h"

#include <gtest/gtest.h>

#include <optional>

#include "formats/catalogue.h"
#include "run/checks.h"

namespace pixlane {
namespace {

const LanguageTable& builtin() {
    static LanguageTable table;
    static const bool loaded = (table.load_builtin(), true);
    (void)loaded;
    return table;
}

TEST(ShortenPath, KeepsBothEndsAroundThreeDots) {
    const std::string hundred = std::string(18, 'x') + std::string(64, 'm') + std::string(18, 'y');
    EXPECT_EQ(shorten_path(hundred, 40), std::string(18, 'x') + "..." + std::string(18, 'y'));
    EXPECT_EQ(shorten_path("short", 40), "short");
    EXPECT_EQ(shorten_path("abcdefgh", 7), "ab...gh");
    // Cut between characters, never inside one.
    EXPECT_EQ(shorten_path("\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", 7),
              "\u00e9\u00e9...\u00e9\u00e9");
}

TEST(ProgressLayoutTest, TimeLineFromFiveFiles) {
    struct Row {
        int count;
        bool show_time;
        int bar_y;
    };
    for (const Row& r : {Row{4, false, 50}, Row{5, true, 60}, Row{1, false, 50}}) {
        const ProgressLayout l = progress_layout(r.count);
        EXPECT_EQ(l.show_time, r.show_time) << r.count;
        EXPECT_EQ(l.bar_y, r.bar_y) << r.count;
        EXPECT_EQ(l.bar_range, r.count + 1) << r.count;
    }
    EXPECT_EQ(character_width(0), 7);
    EXPECT_EQ(character_width(63), 7);
    EXPECT_EQ(character_width(80), 8);
}

TEST(ConversionProgressTest, PollsShowIndexPathAndTimeThenTheEnd) {
    const LanguageTable& lang = builtin();
    ConversionProgress p(lang, 10, 7);
    EXPECT_EQ(p.max_chars(), 40);
    EXPECT_EQ(p.view().title, "Converting");
    EXPECT_EQ(p.view().time_line, "Time Remaining: Unknown");
    EXPECT_FALSE(p.update({0, "", 0, 0, 10, true}));
    ASSERT_TRUE(p.update({3, "/in/c.gif", 0, 0, 10, true}));
    EXPECT_EQ(p.view().title, "Converting (3/10)");
    EXPECT_EQ(p.view().file_line, "/in/c.gif");
    EXPECT_EQ(p.view().time_line, "Time Remaining: Unknown"); // no duration yet
    EXPECT_EQ(p.view().bar, 3);
    EXPECT_FALSE(p.update({3, "/in/c.gif", 1000, 0, 10, true})); // same index: nothing new
    ASSERT_TRUE(p.update({4, std::string(50, 'p'), 1000, 0, 10, true}));
    EXPECT_EQ(p.view().file_line, std::string(18, 'p') + "..." + std::string(18, 'p'));
    EXPECT_EQ(p.view().time_line, "Time Remaining: 00:00:07");
    EXPECT_FALSE(p.view().ok_enabled);
    p.finish(9);
    EXPECT_EQ(p.view().status, "Conversion complete");
    EXPECT_EQ(p.view().title, "Conversion complete (4/10)");
    EXPECT_EQ(p.view().file_line, "Files converted: 9 of 10");
    EXPECT_EQ(p.view().time_line, "Time Remaining: 00:00:00");
    EXPECT_EQ(p.view().bar, 11);
    EXPECT_TRUE(p.view().ok_enabled);
}

TEST(ConversionProgressTest, ACancelledRunEndsStopped) {
    const LanguageTable& lang = builtin();
    ConversionProgress p(lang, 10, 7);
    p.update({1, "a.gif", 0, 0, 10, true});
    p.update({2, "b.gif", 3000, 0, 10, true});
    EXPECT_EQ(p.view().time_line, "Time Remaining: 00:00:27");
    p.cancel();
    // No estimate once stopped: the files left will not be converted.
    p.update({3, "c.gif", 3000, 0, 10, true});
    EXPECT_EQ(p.view().time_line, "");
    p.finish(1);
    EXPECT_EQ(p.view().time_line, "");
    EXPECT_EQ(p.view().status, "Conversion stopped");
    EXPECT_EQ(p.view().title, "Conversion stopped (3/10)");
    EXPECT_EQ(p.view().file_line, "Conversion stopped");
    EXPECT_TRUE(p.view().ok_enabled);
}

TEST(InteractiveChecks, FaultsInTheirOrderWithTheirMessages) {
    const LanguageTable& lang = builtin();
    Settings s;
    std::unique_ptr<WatermarkFont> font;
    struct Row {
        std::size_t inputs;
        std::string folder;
        const char* starts;
    };
    const Row rows[] = {
        {0, "/tmp", "No input file(s) found."},
        {1, "", "The output folder's field is empty."},
        {1, "/no/such/folder",
         "The following output folder is invalid or doesn't exist:\r\n/no/such/folder/\r\n"},
    };
    for (const Row& r : rows) {
        std::string folder = r.folder;
        const std::optional<Fault> f = check_interactive_run(s, r.inputs, folder, font);
        ASSERT_TRUE(f.has_value()) << r.starts;
        const std::string message = substitute(lang.text("Msg", f->key), f->argument);
        EXPECT_EQ(message.rfind(r.starts, 0), 0u) << message;
    }
}

// Animated output takes the formats that animate; the others are refused
// before the run, with the window's message.
TEST(InteractiveChecks, AnimatedOutputNeedsAFormatThatAnimates) {
    Settings s;
    s.animated_output = 1;
    std::unique_ptr<WatermarkFont> font;
    for (const OutputFormat& format : output_catalogue()) {
        BatchPlan plan;
        std::string folder = "/tmp";
        const std::optional<Fault> f =
            prepare_interactive_run(s, plan, 1, folder, std::string(format.extension), font);
        EXPECT_EQ(f.has_value(), !format.has(kAnimates)) << format.extension;
        if (f) {
            EXPECT_EQ(substitute(builtin().text("Msg", f->key), f->argument),
                      "Animated output needs the output format GIF, WEBP or PNG!");
        }
    }
}

TEST(ListWork, FinalStatusAndExportName) {
    const LanguageTable& lang = builtin();
    EXPECT_EQ(list_work_status(lang, ListWork::FolderImport, 3, false),
              "Import complete, new files added: 3");
    EXPECT_EQ(list_work_status(lang, ListWork::ListImport, 0, true), "Import stopped");
    EXPECT_EQ(list_work_status(lang, ListWork::Export, 2, false),
              "Export complete, entries saved: 2");
    EXPECT_EQ(list_work_status(lang, ListWork::Export, 1, true), "Export stopped");
    EXPECT_EQ(export_file_name("/tmp/name"), "/tmp/name.txt");
    EXPECT_EQ(export_file_name("/tmp/name.lst"), "/tmp/name.lst");
    EXPECT_EQ(export_file_name("/tmp/a.b/name"), "/tmp/a.b/name.txt");
}

} // namespace
} // namespace pixlane
