#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>

#include <map>
#include <string>

#include "platform/platform.h"
#include "support/test_support.h"
#include "ui/builtin_images.h"
#include "ui/theme.h"

namespace pixlane {
namespace {

TEST(ThemeValueTest, ReadsTheValueRules) {
    const std::string crlf = "[Theme]\r\nName=Hand Drawn\r\n[Icons]\r\nNew = \tnew\t\r\n"
                             "Exit=a=b\r\nOpenFolder=folder\r\nCopy=\r\nLast=end";
    struct Case {
        std::string_view text, section, key, value;
    } cases[] = {
        {crlf, "Theme", "Name", "Hand Drawn"},
        {crlf, "theme", "NAME", "Hand Drawn"}, // section and key in any case
        {crlf, "Icons", "New", "new"},         // blanks trimmed, tabs removed
        {crlf, "Icons", "Exit", "a"},          // up to the next "="
        {crlf, "Icons", "Open", "folder"},     // a line that begins with the key
        {crlf, "Icons", "Copy", ""},
        {crlf, "Icons", "Last", "end"},                      // the last line without CR LF
        {crlf, "Theme", "New", ""},                          // not inside its section
        {crlf, "Buttons", "New", ""},                        // no such section
        {"[Theme]\nName=Hand Drawn\n", "Theme", "Name", ""}, // LF-only: no values
    };
    for (const auto& c : cases) {
        EXPECT_EQ(read_theme_value(c.text, c.section, c.key), c.value) << c.section << "/" << c.key;
    }
}

TEST(ThemeValueTest, EntryNamesAndToolbarSizes) {
    EXPECT_EQ(theme_entry_name("new", 32), "new_32.png");
    EXPECT_EQ(theme_entry_name("open.PNG", 64), "open.PNG");
    EXPECT_EQ(theme_entry_name("icons/open.png", 16), "icons/open.png");
    const std::pair<int, int> sizes[] = {{0, 16}, {1, 24}, {2, 32}, {3, 48},
                                         {4, 64}, {5, 16}, {-1, 16}};
    for (auto [ui_size, pixels] : sizes) {
        EXPECT_EQ(toolbar_icon_size(ui_size), pixels) << ui_size;
    }
}

// A zip package of named entries.
void write_zip(const std::string& path, const std::map<std::string, std::string>& entries) {
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    ASSERT_EQ(archive_write_open_filename(a, path.c_str()), ARCHIVE_OK);
    for (const auto& [name, bytes] : entries) {
        archive_entry* e = archive_entry_new();
        archive_entry_set_pathname(e, name.c_str());
        archive_entry_set_size(e, static_cast<la_int64_t>(bytes.size()));
        archive_entry_set_filetype(e, AE_IFREG);
        archive_entry_set_perm(e, 0644);
        archive_write_header(a, e);
        archive_write_data(a, bytes.data(), bytes.size());
        archive_entry_free(e);
    }
    archive_write_close(a);
    archive_write_free(a);
}

std::string png(std::string_view name) { return std::string(embedded_image(name)); }

class ThemePackageTest : public ::testing::Test {
  protected:
    test::TempDir m_dir;
    IconMaps m_maps = make_icon_maps();

    int width_of(const ImageSets& sets, int number) {
        const RgbaImage* image = sets.find(number);
        return image ? image->width : 0;
    }
};

TEST_F(ThemePackageTest, BuiltInImagesFillEverySlot) {
    ImageSets sets;
    load_builtin_images(sets, m_maps);
    EXPECT_EQ(sets.slots.size(), 3u + 22u + 22u);
    EXPECT_EQ(width_of(sets, m_maps.buttons.at("Convert")), 64);
    EXPECT_EQ(width_of(sets, m_maps.buttons.at("InFolder")), 48);
    EXPECT_EQ(width_of(sets, m_maps.set_b.at("About")), 16);
    EXPECT_EQ(sets.about_banner.width, 360);
    EXPECT_EQ(sets.about_banner.height, 40);
}

TEST_F(ThemePackageTest, LoadsEntriesBySizeSuffixAndPngNames) {
    const std::string cfg = "[Theme]\r\nName=Test\r\n[Buttons]\r\nConvert=big\r\n"
                            "[Icons]\r\nNew=new\r\nExit=open.PNG\r\n";
    write_zip(m_dir / "t.zip", {{"theme.cfg", cfg},
                                {"new_16.png", png("about_banner.png")},   // 360 wide
                                {"new_64.png", png("button_convert.png")}, // 64 wide
                                {"open.PNG", png("button_infiles.png")},   // 48 wide
                                {"big_16.png", png("button_infolder.png")}});
    ImageSets sets;
    load_builtin_images(sets, m_maps);
    std::string theme = "t";
    ASSERT_TRUE(load_image_sets(sets, m_maps, theme, 4, list_themes(m_dir.path()), m_dir.path(),
                                SetChoice{}));
    EXPECT_EQ(width_of(sets, m_maps.set_a.at("New")), 360); // menus: new_16.png
    EXPECT_EQ(width_of(sets, m_maps.set_b.at("New")), 64);  // UI Size 4: new_64.png
    EXPECT_EQ(width_of(sets, m_maps.set_a.at("Exit")), 48); // open.PNG at every size
    EXPECT_EQ(width_of(sets, m_maps.set_b.at("Exit")), 48);
    EXPECT_EQ(width_of(sets, m_maps.buttons.at("Convert")), 48); // buttons read at 16
    EXPECT_EQ(width_of(sets, m_maps.set_a.at("Copy")), 16);      // no value: built-in kept
}

TEST_F(ThemePackageTest, LfOnlyConfigReplacesNothing) {
    write_zip(m_dir / "lf.zip", {{"theme.cfg", "[Theme]\nName=LF\n[Icons]\nNew=new\n"},
                                 {"new_16.png", png("about_banner.png")}});
    const ThemeList themes = list_themes(m_dir.path());
    EXPECT_EQ(themes.names.at("lf"), "");
    ImageSets sets;
    load_builtin_images(sets, m_maps);
    std::string theme = "lf";
    EXPECT_TRUE(load_image_sets(sets, m_maps, theme, 0, themes, m_dir.path(), SetChoice{}));
    EXPECT_EQ(width_of(sets, m_maps.set_a.at("New")), 16);
}

TEST_F(ThemePackageTest, ListingAndTheMissingPackage) {
    std::string far_name = "[Theme]\r\n" + std::string(260, ';') + "\r\nName=Far\r\n";
    write_zip(m_dir / "a.zip", {{"theme.cfg", "[Theme]\r\nName=Hand Drawn\r\n"}});
    write_zip(m_dir / "b.zip", {{"theme.cfg", far_name}});
    write_zip(m_dir / "c.zip", {{"theme.cfg", "[Theme]\r\nName=Last\r\n[Icons]\r\nNew=n\r\n"},
                                {"n_16.png", png("button_infiles.png")}});
    test::write_file(m_dir / "empty.zip", "");
    test::write_file(m_dir / "notes.txt", "not a package");
    platform::make_folder(m_dir / "folder.zip");
    const ThemeList themes = list_themes(m_dir.path());
    const std::map<std::string, std::string> expected = {
        {"a", "Hand Drawn"}, {"b", ""}, {"c", "Last"}, {"empty", ""}};
    EXPECT_EQ(themes.names, expected);
    EXPECT_EQ(themes.last_found, "empty");

    // A deleted package: the one found last is taken, and named in UI Theme.
    ImageSets sets;
    load_builtin_images(sets, m_maps);
    std::string theme = "gone";
    EXPECT_FALSE(load_image_sets(sets, m_maps, theme, 0, themes, m_dir.path(), SetChoice{}));
    EXPECT_EQ(theme, "empty");
    ThemeList only_c;
    only_c.names = {{"c", "Last"}};
    only_c.last_found = "c";
    theme = "gone";
    EXPECT_TRUE(load_image_sets(sets, m_maps, theme, 0, only_c, m_dir.path(), SetChoice{}));
    EXPECT_EQ(theme, "c");
    EXPECT_EQ(width_of(sets, m_maps.set_a.at("New")), 48);
}

TEST_F(ThemePackageTest, ThePackageOfTheBuildIsComplete) {
    const std::string folder = std::string(PIXLANE_BINARY_DIR) + "/gfx/";
    const ThemeList themes = list_themes(folder);
    ASSERT_EQ(themes.names.count("handdrawn"), 1u);
    EXPECT_EQ(themes.names.at("handdrawn"), "Hand Drawn");
    for (int ui_size = 0; ui_size < 5; ++ui_size) {
        ImageSets sets;
        std::string theme = "handdrawn";
        ASSERT_TRUE(load_image_sets(sets, m_maps, theme, ui_size, themes, folder, SetChoice{}));
        EXPECT_EQ(sets.slots.size(), 3u + 22u + 22u) << ui_size; // every key has its picture
        EXPECT_EQ(width_of(sets, m_maps.set_b.at("Updates")), toolbar_icon_size(ui_size));
        EXPECT_EQ(width_of(sets, m_maps.set_a.at("Updates")), 16);
        EXPECT_EQ(width_of(sets, m_maps.buttons.at("Convert")), 64);
    }
}

} // namespace
} // namespace pixlane
