#include <gtest/gtest.h>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/test_support.h"
#include "support/zip_builder.h"
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
                                {"new_16.png", test::solid_png(256, 256)}, // the widest taken
                                {"new_64.png", png("button_convert.png")}, // 64 wide
                                {"open.PNG", png("button_infiles.png")},   // 48 wide
                                {"big_16.png", png("button_infolder.png")}});
    ImageSets sets;
    load_builtin_images(sets, m_maps);
    std::string theme = "t";
    ASSERT_TRUE(load_image_sets(sets, m_maps, theme, 4, list_themes(m_dir.path()), m_dir.path(),
                                SetChoice{}));
    EXPECT_EQ(width_of(sets, m_maps.set_a.at("New")), 256); // menus: new_16.png
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
    const ThemeLoad empty =
        load_image_sets(sets, m_maps, theme, 0, themes, m_dir.path(), SetChoice{});
    EXPECT_FALSE(empty);
    ASSERT_TRUE(empty.refused);
    EXPECT_EQ(empty.refused->package, m_dir / "empty.zip");
    EXPECT_EQ(theme, "empty");
    ThemeList only_c;
    only_c.names = {{"c", "Last"}};
    only_c.last_found = "c";
    theme = "gone";
    EXPECT_TRUE(load_image_sets(sets, m_maps, theme, 0, only_c, m_dir.path(), SetChoice{}));
    EXPECT_EQ(theme, "c");
    EXPECT_EQ(width_of(sets, m_maps.set_a.at("New")), 48);
}

// theme.cfg naming `value` for every button and icon key.
std::string config_naming(const std::string& buttons, const std::string& icons) {
    std::string cfg = "[Theme]\r\nName=Hostile\r\n[Buttons]\r\n";
    for (std::string_view key : kButtonKeys) {
        cfg += std::string(key) + "=" + buttons + "\r\n";
    }
    cfg += "[Icons]\r\n";
    for (std::string_view key : kIconKeys) {
        cfg += std::string(key) + "=" + icons + "\r\n";
    }
    return cfg;
}

// Packages a careless or hostile hand may drop into gfx/: the window must
// start on its built-in pictures, quickly and without taking the memory.
TEST_F(ThemePackageTest, HostilePackagesAreRefusedWithTheBuiltInImagesKept) {
    constexpr std::uint64_t kTiB = std::uint64_t{1} << 40;
    constexpr std::uint64_t kBomb = std::uint64_t{8} << 20;
    const std::string cfg = config_naming("x", "x");

    test::ZipEntry tib_png = test::stored_entry("x_16.png", "not sixteen bytes");
    tib_png.zip64 = true;
    tib_png.size = tib_png.compressed = kTiB;
    test::ZipEntry tib_cfg = test::deflated_entry("theme.cfg", cfg);
    tib_cfg.zip64 = true;
    tib_cfg.size = kTiB;
    test::ZipEntry gig_cfg = test::stored_entry("theme.cfg", "[Theme]\r\n");
    gig_cfg.size = gig_cfg.compressed = 0xCCCCCCCCu;
    test::ZipEntry lying_bomb = test::zero_bomb_entry("x_64.png", kBomb);
    lying_bomb.size = 100;
    const std::string good = test::solid_png(48, 48);

    struct Case {
        std::string what;
        std::string zip;
        std::string reason; // a part of the refusal
    } cases[] = {
        {"an entry declaring 1 TiB",
         test::zip_archive({test::stored_entry("theme.cfg", cfg), tib_png}), "damaged"},
        {"theme.cfg declaring 1 TiB", test::zip_archive({tib_cfg}), "damaged"},
        {"theme.cfg declaring 3.4 GB", test::zip_archive({gig_cfg}), "damaged"},
        {"a PNG inflating to 8 MiB",
         test::zip_archive(
             {test::stored_entry("theme.cfg", cfg), test::zero_bomb_entry("x_16.png", kBomb)}),
         "x_16.png holds more than 1 MiB"},
        {"a PNG declaring 100 bytes, inflating to 8 MiB",
         test::zip_archive({test::stored_entry("theme.cfg", cfg), lying_bomb}),
         "x_64.png holds more than 1 MiB"},
        {"theme.cfg inflating to 8 MiB",
         test::zip_archive({test::zero_bomb_entry("theme.cfg", kBomb)}),
         "theme.cfg holds more than 64 KiB"},
        {"a PNG declaring 100000×100000",
         test::zip_archive({test::stored_entry("theme.cfg", cfg),
                            test::stored_entry("x_16.png", test::header_only_png(100000, 100000))}),
         "x_16.png is 100000×100000 pixels, more than 256×256"},
        {"valid 3000×3000 PNGs after a good one",
         test::zip_archive({test::stored_entry("theme.cfg", config_naming("good.png", "x")),
                            test::stored_entry("good.png", good),
                            test::stored_entry("x_16.png", test::solid_png(3000, 3000)),
                            test::stored_entry("x_64.png", test::solid_png(3000, 3000))}),
         "x_16.png is 3000×3000 pixels"},
        {"a PNG one pixel too wide",
         test::zip_archive({test::stored_entry("theme.cfg", cfg),
                            test::stored_entry("x_16.png", test::solid_png(257, 16))}),
         "257×16 pixels"},
    };
    ImageSets builtin;
    load_builtin_images(builtin, m_maps);
    const auto same_as_builtin = [&](const ImageSets& sets) {
        return std::equal(sets.slots.begin(), sets.slots.end(), builtin.slots.begin(),
                          builtin.slots.end(), [](const auto& a, const auto& b) {
                              return a.first == b.first && a.second.rgba == b.second.rgba;
                          });
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempDir dir;
        test::write_file(dir / "evil.zip", c.zip);
        const test::ChildRun run = test::run_in_child(
            [&] {
                WindowImages images;
                std::string theme = "evil";
                std::string lines;
                for (const ThemeRefusal& r : prepare_window_images(images, theme, 4, dir.path())) {
                    lines += r.package + ": " + r.reason + "\n";
                }
                return lines + (same_as_builtin(images.images) ? "built-in kept" : "replaced");
            },
            20);
        ASSERT_TRUE(run.finished) << "died or hung after " << run.seconds << " s";
        EXPECT_LT(run.peak_growth_kib, 64L << 10) << "peak grew by KiB";
        EXPECT_LT(run.seconds, 5.0);
        const std::string line = dir / "evil.zip" + ": ";
        EXPECT_EQ(run.text.rfind(line, 0), 0u) << run.text;
        EXPECT_NE(run.text.find(c.reason), std::string::npos) << run.text;
        EXPECT_EQ(std::count(run.text.begin(), run.text.end(), '\n'), 1) << run.text;
        EXPECT_TRUE(run.text.ends_with("built-in kept")) << run.text;
    }
}

TEST_F(ThemePackageTest, PackagesOverTheirSizeAreNeitherListedNorRead) {
    ASSERT_TRUE(test::write_sparse_file(m_dir / "big.zip", "PK\x03\x04",
                                        static_cast<std::int64_t>(kThemePackageMaxBytes) + 1));
    write_zip(m_dir / "fine.zip", {{"theme.cfg", "[Theme]\r\nName=Fine\r\n"}});
    const ThemeList themes = list_themes(m_dir.path());
    EXPECT_EQ(themes.names, (std::map<std::string, std::string>{{"fine", "Fine"}}));
    EXPECT_EQ(themes.last_found, "fine");
    ASSERT_NE(themes.refusal_of(m_dir / "big.zip"), nullptr);
    EXPECT_EQ(themes.refusal_of(m_dir / "big.zip")->reason, "the package holds more than 8 MiB");
    ImageSets sets;
    std::string theme = "big";
    const ThemeLoad load =
        load_image_sets(sets, m_maps, theme, 0, themes, m_dir.path(), SetChoice{});
    EXPECT_FALSE(load);
    EXPECT_EQ(theme, "big");
    ASSERT_TRUE(load.refused);
    EXPECT_EQ(load.refused->package, m_dir / "big.zip");
}

TEST(PngHeaderTest, SizesAreReadFromTheHeaderAlone) {
    const std::string header_only = test::header_only_png(100000, 3);
    const auto size = png_header_size(header_only);
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 100000u);
    EXPECT_EQ(size->height, 3u);
    EXPECT_FALSE(decode_png(header_only, kThemeImageMaxSide));
    EXPECT_FALSE(png_header_size(header_only.substr(0, 20)));
    EXPECT_FALSE(png_header_size("GIF89a and more than twenty-four bytes"));
    const auto decoded = decode_png(test::solid_png(7, 5), kThemeImageMaxSide);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 7);
    EXPECT_EQ(decoded->height, 5);
    EXPECT_EQ(decoded->rgba.size(), std::size_t{7} * 5 * 4);
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
