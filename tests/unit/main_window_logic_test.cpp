#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "config/config.h"
#include "formats/catalogue.h"
#include "platform/platform.h"
#include "settings/ini.h"
#include "support/test_support.h"
#include "ui/main_window_logic.h"

namespace pixlane {
namespace {

TEST(MainLayoutTest, FormulaAtTwoSizes) {
    struct Case {
        int w, k;
        Rect list, folder_field, folder_button, format_label, convert;
    } cases[] = {
        {510,
         330,
         {10, 10, 380, 221},
         {10, 251, 380, 21},
         {396, 250, 24, 24},
         {10, 276, 380, 20},
         {400, 10, 100, 100}},
        {800,
         600,
         {10, 10, 670, 491},
         {10, 521, 670, 21},
         {686, 520, 24, 24},
         {10, 546, 380, 20},
         {690, 10, 100, 100}},
    };
    for (const auto& c : cases) {
        const MainLayout l = main_window_layout(c.w, c.k);
        EXPECT_EQ(l.container, (Rect{0, 0, c.w, c.k - 10}));
        EXPECT_EQ(l.file_list, c.list);
        EXPECT_EQ(l.list_column_width, c.w - 160);
        EXPECT_EQ(l.folder_field, c.folder_field);
        EXPECT_EQ(l.folder_button, c.folder_button);
        EXPECT_EQ(l.format_label, c.format_label);
        EXPECT_EQ(l.convert_button, c.convert);
    }
}

TEST(MainLayoutTest, TallerFieldsGrowUpwards) {
    const MainLayout l = main_window_layout(510, 330, 35, 33);
    EXPECT_EQ(l.format_field, (Rect{10, 277, 380, 35})); // still ends 18 above the bottom
    EXPECT_EQ(l.format_label, (Rect{10, 262, 380, 20}));
    EXPECT_EQ(l.folder_field, (Rect{10, 223, 380, 35}));
    EXPECT_EQ(l.folder_label, (Rect{10, 208, 380, 20}));
    EXPECT_EQ(l.file_list, (Rect{10, 10, 380, 193}));     // 5 above the label, as drawn
    EXPECT_EQ(l.folder_button, (Rect{396, 224, 33, 33})); // centred on its field
    EXPECT_EQ(l.format_button, (Rect{396, 278, 33, 33}));
    EXPECT_EQ(l.convert_button, (Rect{400, 10, 100, 100}));
    // Smaller values than the design's are not used.
    EXPECT_EQ(main_window_layout(510, 330, 15, 10).format_field, (Rect{10, 291, 380, 21}));
}

TEST(RecentFoldersTest, PushRule) {
    struct Case {
        std::string recent, folder;
        int number;
        std::string expected;
    } cases[] = {
        // The same folder in another case goes; the newest comes first.
        {"/a/\t/x/out/\t/b/\t/c/\t/d/", "/X/Out/", 5, "/X/Out/\t/a/\t/b/\t/c/\t/d/"},
        {"/a/\t/b/\t/c/\t/d/\t/e/", "/n/", 5, "/n/\t/a/\t/b/\t/c/\t/d/"},
        {"/a/\t/b/", "/n/", 1, "/n/"},
        {"", "/n/", 5, "/n/"},
        {" /a/ \t\t/b/", "/n/", 5, "/n/\t/a/\t/b/"}, // fields trimmed, empty ones skipped
        {"/a/\t/b/\t/c/", "/n/", 2, "/n/\t/a/"},     // only fields 1..N are read
        {"/a/", "", 5, "/a/"},                       // an empty folder changes nothing
    };
    for (const auto& c : cases) {
        EXPECT_EQ(push_recent_folder(c.recent, c.folder, c.number), c.expected) << c.recent;
    }
}

TEST(RecentFoldersTest, RefreshRule) {
    EXPECT_FALSE(recent_folder_items("", 5, "/a/")); // field left as it is
    struct Case {
        std::string recent;
        int number;
        std::string output;
        std::vector<std::string> items;
        int selected;
    } cases[] = {
        {"/a/\t/b/\t/c/", 5, "/b/", {"/a/", "/b/", "/c/"}, 1},
        {"/a/\t/b/\t/c/", 5, "/B/", {"/a/", "/b/", "/c/"}, 0}, // exact match only
        {"/a/\t/b/\t/c/", 2, "/c/", {"/a/", "/b/"}, 0},
        {"/a/\t \t/c/", 5, "/c/", {"/a/", "/c/"}, 1},
        {"\t", 5, "", {}, -1},
    };
    for (const auto& c : cases) {
        const auto got = recent_folder_items(c.recent, c.number, c.output);
        ASSERT_TRUE(got) << c.recent;
        EXPECT_EQ(got->items, c.items) << c.recent;
        EXPECT_EQ(got->selected, c.selected) << c.recent;
    }
}

TEST(FormatFieldTest, ItemsAndSelection) {
    const auto plain = format_items(false);
    ASSERT_EQ(plain.size(), output_catalogue().size());
    const std::size_t png = static_cast<std::size_t>(
        std::find(kOutputExtensions.begin(), kOutputExtensions.end(), "png") -
        kOutputExtensions.begin());
    EXPECT_EQ(plain[png].text, "PNG");
    EXPECT_EQ(plain[png].index, static_cast<int>(png));
    const auto described = format_items(true);
    EXPECT_EQ(described[png].text.rfind("PNG (", 0), 0u);
    EXPECT_EQ(described[png].text.back(), ')');
    EXPECT_EQ(format_selection(described, "tiff"), 19);
    EXPECT_EQ(format_selection(described, "TIFF"), 19);
    EXPECT_EQ(format_selection(described, "nope"), 0);
}

TEST(EditCommandsTest, CopyText) {
    EXPECT_EQ(copy_text({}), "");
    EXPECT_EQ(copy_text({"/a.gif"}), "/a.gif");
    EXPECT_EQ(copy_text({"/a.gif", "/b.gif"}), "/a.gif\r\n/b.gif");
    EXPECT_EQ(copy_text({"/a.gif\n", "\r\n"}), "/a.gif"); // every trailing line end stripped
}

TEST(EditCommandsTest, DeleteSelectionRule) {
    struct Case {
        std::vector<int> selected;
        int count;
        std::vector<int> removals;
        int select_after;
    } cases[] = {
        {{4}, 5, {4}, 3},             // the last of five: the new last is selected
        {{1}, 5, {1}, 1},             // the row that moved up into its place
        {{0, 2, 3}, 5, {0, 1, 1}, 1}, // each removal takes the first selected row
        {{3, 4}, 5, {3, 3}, 2},
        {{0, 1, 2}, 3, {0, 0, 0}, -1}, // nothing left
        {{}, 3, {}, -1},               // nothing selected
    };
    for (const auto& c : cases) {
        const DeletePlan plan = delete_plan(c.selected, c.count);
        EXPECT_EQ(plan.removals, c.removals);
        EXPECT_EQ(plan.select_after, c.select_after);
    }
}

TEST(GeometryTest, RoundTripThroughConfigIni) {
    struct Case {
        const char* name;
        WindowGeometry window;
        std::uint8_t save_position;
        // Expected after save and load: IsMaximized, X, Y, Width, Height.
        int maximised, x, y, width, height;
    } cases[] = {
        {"normal", {false, false, 40, 50, 700, 500}, 1, 0, 40, 50, 700, 500},
        {"maximised", {true, false, 0, 0, 1280, 1000}, 1, 1, 100, 120, 600, 400},
        {"minimised", {false, true, -32000, -32000, 0, 0}, 1, 0, 100, 120, 600, 400},
        // Save Window Position 0: the group is written without keys, so the
        // next start opens at the defaults.
        {"not saved", {false, false, 40, 50, 700, 500}, 0, 0, 100, 100, 510, 330},
    };
    for (const auto& c : cases) {
        test::TempDir dir;
        Settings before;
        before.config_path = dir / "config.ini";
        before.x = 11, before.y = 22, before.width = 533, before.height = 344;
        ASSERT_TRUE(save_configuration(before));
        Settings s = before;
        s.x = 100, s.y = 120, s.width = 600, s.height = 400, s.is_maximized = 0;
        s.save_window_position = c.save_position;
        capture_geometry(s, c.window);
        ASSERT_TRUE(save_configuration(s));
        Settings after;
        after.config_path = s.config_path;
        ASSERT_TRUE(load_configuration(after, ConfigContext{0, 1280, 1024}));
        EXPECT_EQ(after.is_maximized, c.maximised) << c.name;
        EXPECT_EQ(after.x, c.x) << c.name;
        EXPECT_EQ(after.y, c.y) << c.name;
        EXPECT_EQ(after.width, c.width) << c.name;
        EXPECT_EQ(after.height, c.height) << c.name;
    }
}

TEST(GeometryTest, TheRestoredWindowFitsTheScreen) {
    constexpr int kScreenW = 1280;
    constexpr int kScreenH = 800;
    const struct {
        const char* name;
        std::int32_t x, y, width, height;
    } cases[] = {
        {"as stored", 40, 50, 700, 500},
        {"huge", 0, 0, 30000, 30000},
        {"negative size", 10, 10, -2147483647 - 1, -5},
        {"off to the right and below", 5000, 4000, 600, 400},
        {"off to the left and above", -3000, -2000, 600, 400},
        {"near the int limit", 2147483647, 2147483647, 2147483647, 2147483647},
    };
    for (const auto& c : cases) {
        Settings s;
        s.x = c.x, s.y = c.y, s.width = c.width, s.height = c.height;
        const WindowGeometry g = restored_geometry(s, kScreenW, kScreenH);
        EXPECT_GE(g.width, kMinimumInnerWidth) << c.name;
        EXPECT_GE(g.height, kMinimumInnerHeight) << c.name;
        EXPECT_LE(g.width, kScreenW) << c.name;
        EXPECT_LE(g.height, kScreenH) << c.name;
        EXPECT_GE(g.x, 0) << c.name;
        EXPECT_GE(g.y, 0) << c.name;
        EXPECT_LE(g.x + g.width, kScreenW) << c.name;
        EXPECT_LE(g.y + g.height, kScreenH) << c.name;
    }
    // A geometry that fits is kept as it is.
    Settings s;
    s.x = 40, s.y = 50, s.width = 700, s.height = 500;
    const WindowGeometry g = restored_geometry(s, kScreenW, kScreenH);
    EXPECT_EQ(std::tie(g.x, g.y, g.width, g.height), std::tie(s.x, s.y, s.width, s.height));
}

// The console command of the window's settings: every word survives the
// shell, and settings left at the console's defaults add no option.
TEST(ConsoleCommandTest, WordsSurviveTheShellAndDefaultsAddNothing) {
    for (const std::string word : {"/in/a-1.gif", "/out put/", "it's", "$(x) *", ""}) {
        const auto r = test::run("/bin/sh", {"-c", "printf %s " + shell_quoted(word)});
        EXPECT_EQ(r.out, word);
    }
    Settings s;
    reset_to_defaults(s, DefaultsForm::CommandLine, 0, 0, 0);
    test::TempDir dir;
    test::write_file(dir / "a.gif", "GIF89a....");
    InputList list;
    list.add(dir / "a.gif", dir.path());
    std::vector<std::string> not_kept;
    EXPECT_EQ(console_command(s, "png", "/out/", list, dir.path(), not_kept),
              "pixlane -c png -o /out/ -i " + shell_quoted(dir / "a.gif"));
    EXPECT_TRUE(not_kept.empty());
}

TEST(DropTest, FolderImportsItsTreeAndOtherFilesAreOffered) {
    test::TempDir dir;
    platform::make_folder(dir / "in");
    platform::make_folder(dir / "in/sub");
    test::write_file(dir / "in/a.gif", "GIF89a....");
    test::write_file(dir / "in/sub/b.GIF", "GIF89a....");
    test::write_file(dir / "in/notes.txt", "text");
    test::write_file(dir / "photo.png", "png");
    test::write_file(dir / "c.gif", "GIF89a....");

    std::string input_folder;
    InputList list;
    std::vector<std::string> imported;
    int pauses = 0;
    const auto import = [&](const std::string& folder) {
        imported.push_back(folder);
        scan_folder(list, folder, folder);
    };
    const auto pause = [&] { ++pauses; };

    EXPECT_EQ(handle_drop({dir / "photo.png"}, input_folder, list, import, pause), 0);
    EXPECT_TRUE(imported.empty());
    EXPECT_EQ(input_folder, "");

    EXPECT_EQ(handle_drop({dir / "in", dir / "c.gif", dir / "in/a.gif"}, input_folder, list, import,
                          pause),
              3);
    EXPECT_EQ(imported, std::vector<std::string>{dir / "in/"});
    EXPECT_EQ(input_folder, dir / "in/");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.entries()[1].path, dir / "in/sub/b.GIF");
    EXPECT_EQ(list.entries()[1].relative_subfolder, "sub/");
    EXPECT_EQ(pauses, 4);
}

} // namespace
} // namespace pixlane
