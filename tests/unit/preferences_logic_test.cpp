#include <gtest/gtest.h>

#include "formats/catalogue.h"
#include "support/preferences_support.h"
#include "ui/preferences_logic.h"

namespace pixlane {
namespace {

class PreferencesLogicTest : public ::testing::Test {
  protected:
    void SetUp() override {
        language.load_builtin();
        rows = preference_rows(language);
        themes.names = {{"beta", "Beta"}, {"Alpha", "Alpha theme"}, {"empty", ""}};
    }
    const PrefRow& row(std::string_view group, std::string_view key) const {
        const PrefRow* r = find_row(rows, group, key);
        EXPECT_NE(r, nullptr) << group << "/" << key;
        return *r;
    }
    std::vector<std::string> item_texts(const PrefRow& r, const Settings& s) const {
        std::vector<std::string> texts;
        for (const auto& item : list_items(r, s, language, themes)) {
            texts.push_back(item.text);
        }
        return texts;
    }

    LanguageTable language;
    std::vector<PrefRow> rows;
    ThemeList themes;
};

TEST_F(PreferencesLogicTest, EverySettingTheConsoleTakesHasAControlOnItsPage) {
    for (const SettingKey& key : setting_keys()) {
        const bool console = !key.option.empty();
        const PrefRow* r = find_row(rows, key.group, key.key);
        const bool as_unit = std::any_of(rows.begin(), rows.end(),
                                         [&](const PrefRow& p) { return p.unit_key == &key; });
        if (console) {
            EXPECT_TRUE(r != nullptr || as_unit) << key.group << "/" << key.key;
        }
        if (r != nullptr) {
            EXPECT_EQ(kPreferencesPages[static_cast<std::size_t>(r->page)], key.group);
            EXPECT_EQ(r->label.find("%NO_STRING"), std::string::npos) << key.key;
        }
    }
    // The switches the console sets through other options have theirs too.
    EXPECT_EQ(row("Frame", "Do Frame").control, Control::List);
    EXPECT_EQ(row("Watermark", "Do Watermark").control, Control::List);
    // Fields the dialog derives or only offers as a list's entries have none.
    for (const char* key : {"Do Image Color Correction", "Font Colors", "Fonts", "CFG"}) {
        EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                                [&](const PrefRow& p) { return p.key && p.key->key == key; }),
                  0)
            << key;
    }
}

TEST_F(PreferencesLogicTest, EveryControlRoundTripsAndStoresWhatItShows) {
    Settings defaults;
    const Settings edited = test::edited_settings(rows, defaults, language, themes);
    // Every control with a choice stored something other than the default.
    for (const PrefRow& r : rows) {
        if (r.key == nullptr || list_items(r, defaults, language, themes).size() == 1) {
            continue;
        }
        Settings one = defaults;
        store_control(r, list_items(r, defaults, language, themes),
                      load_control(r, list_items(r, edited, language, themes), edited), one);
        EXPECT_FALSE(test::differences(defaults, one).empty()) << r.key->key;
    }
    // Loading the edited record and storing it back over the defaults gives it again.
    Settings back = defaults;
    for (const PrefRow& r : rows) {
        const auto items = list_items(r, edited, language, themes);
        store_control(r, items, load_control(r, items, edited), back);
    }
    back.do_image_color_correction = edited.do_image_color_correction;
    EXPECT_EQ(test::differences(edited, back), std::vector<std::string>{});
    EXPECT_EQ(edited.ui_theme, "beta");
    EXPECT_FLOAT_EQ(edited.image_gamma, 2.37f);
    EXPECT_EQ(edited.image_width_unit, 1);
}

TEST_F(PreferencesLogicTest, ListsShowTheirItemsAndRowsTheirLabels) {
    Settings s;
    struct Case {
        const char* group;
        const char* key;
        const char* label;
        std::vector<std::string> items;
    } cases[] = {
        {"General",
         "Update Range",
         "Check for Updates:",
         {"Every day", "Every week", "Every month", "Every 3 months", "Every 6 months", "Never"}},
        {"General", "Language", "Language:", {"Automatic", "English"}},
        {"Interface", "UI Theme", "Theme:", {"Alpha theme", "Beta"}},
        {"Input", "DDS Load As", "Load As:", {"Auto", "BGR 32-bit", "RGB 32-bit"}},
        {"Output", "JPG Chroma", "Chroma Subsampling:", {"None", "Low", "Medium", "High"}},
        {"Output", "TIFF Color Mode", "Color Mode:", {"RGB", "CMYK"}},
        {"Output", "PNG BPP", "Bits Per Pixel:", {}},
        {"Transform",
         "Image Resize Algorithm",
         "Resize Algorithm:",
         {"Box", "Bilinear", "B-Spline", "Bicubic", "Catmull-Rom Spline", "Lanczos"}},
        {"Adjustment", "Image Threshold", "Threshold Level:", {}},
        {"Watermark", "Font Effect", "Font Effect:", {"None", "Underline", "Strikethrough"}},
        {"Watermark", "Font", "Font:", {"Arial", "Tahoma", "Verdana"}},
        {"Advanced", "File Timestamp", "File Timestamp:", {"Current", "Original", "Custom"}},
    };
    for (const auto& c : cases) {
        const PrefRow& r = row(c.group, c.key);
        EXPECT_EQ(r.label, c.label) << c.key;
        if (c.key == std::string("PNG BPP")) {
            ASSERT_EQ(item_texts(r, s).size(), allowed_depths("png").size() + 1);
            EXPECT_EQ(item_texts(r, s)[0], "Auto");
            continue;
        }
        EXPECT_EQ(item_texts(r, s), c.items) << c.key;
    }
    EXPECT_EQ(row("Transform", "Image Width").units.size(), 2u);
    EXPECT_EQ(row("Transform", "Image Width").units[1].text, "percent");
    EXPECT_EQ(row("Frame", "Solid Left").units.at(0).text, "pixels");
    // pcx shows its one compression without a setting behind it.
    const auto pcx = std::find_if(rows.begin(), rows.end(), [](const PrefRow& r) {
        return r.format == "pcx" && r.key == nullptr;
    });
    ASSERT_NE(pcx, rows.end());
    EXPECT_EQ(pcx->label, "Compression:");
    ASSERT_EQ(pcx->items.size(), 1u);
    EXPECT_EQ(pcx->items[0].text, "RLE");
    // Without theme packages one item "None" stores an empty theme.
    const PrefRow& theme = row("Interface", "UI Theme");
    const auto none = list_items(theme, s, language, ThemeList{});
    ASSERT_EQ(none.size(), 1u);
    EXPECT_EQ(none[0].text, "None");
    store_control(theme, none, load_control(theme, none, s), s);
    EXPECT_EQ(s.ui_theme, "");
}

TEST_F(PreferencesLogicTest, SelectionsOfDepthColourAndFontLists) {
    Settings s;
    const PrefRow& depth = row("Output", "BMP BPP");
    const auto depths = list_items(depth, s, language, themes);
    struct Case {
        int setting, selection, stored;
    } cases[] = {{0, 0, 0}, {24, 5, 24}, {7, -1, 0}};
    for (const auto& c : cases) {
        s.bmp_bpp = c.setting;
        const ControlValue v = load_control(depth, depths, s);
        EXPECT_EQ(v.selection, c.selection) << c.setting;
        store_control(depth, depths, v, s);
        EXPECT_EQ(s.bmp_bpp, c.stored) << c.setting;
    }
    // A colour or font not in its list shows the first entry, and OK stores it.
    s.font_color = "123456";
    s.font = "Nowhere";
    for (const char* key : {"Font Color", "Font"}) {
        const PrefRow& r = row("Watermark", key);
        const auto items = list_items(r, s, language, themes);
        const ControlValue v = load_control(r, items, s);
        EXPECT_EQ(v.selection, 0) << key;
        store_control(r, items, v, s);
    }
    EXPECT_EQ(s.font_color, "000000");
    EXPECT_EQ(s.font, "Arial");
    s.back_color = "0000FF";
    const PrefRow& back = row("Watermark", "Back Color");
    EXPECT_EQ(load_control(back, list_items(back, s, language, themes), s).selection, 7);
}

TEST_F(PreferencesLogicTest, TheLanguageListOffersAutomaticAndEachInstalledLanguage) {
    language.set_choices({{"en", "English"}, {"de", "Deutsch"}, {"pt_BR", "Português (Brasil)"}});
    const std::vector<PrefRow> offered = preference_rows(language);
    const PrefRow& r = *find_row(offered, "General", "Language");
    Settings s;
    EXPECT_EQ(item_texts(r, s),
              (std::vector<std::string>{"Automatic", "English", "Deutsch", "Português (Brasil)"}));
    const auto items = list_items(r, s, language, themes);
    // A language no longer installed shows as English, the table it loads.
    struct Case {
        const char* setting;
        int selection;
        const char* stored;
    } cases[] = {{"auto", 0, "auto"}, {"en", 1, "en"}, {"pt_BR", 3, "pt_BR"}, {"xx", 1, "en"}};
    for (const auto& c : cases) {
        s.language = c.setting;
        const ControlValue v = load_control(r, items, s);
        EXPECT_EQ(v.selection, c.selection) << c.setting;
        store_control(r, items, v, s);
        EXPECT_EQ(s.language, c.stored) << c.setting;
    }
}

TEST_F(PreferencesLogicTest, SliderBoxesClampWhatIsTyped) {
    const SliderRange quality = row("Output", "JPG Quality").range;
    const SliderRange brightness = row("Adjustment", "Image Brightness").range;
    const SliderRange gamma = row("Adjustment", "Image Gamma").range;
    EXPECT_EQ(quality.max, 100);
    EXPECT_EQ(brightness.min, -100);
    struct Case {
        SliderRange range;
        const char* typed;
        bool final;
        std::optional<int> value; // nullopt: nothing happens yet
        std::optional<std::string> rewrite;
    } cases[] = {
        {quality, "150", false, 100, "100"},
        {quality, "0", false, 1, "1"},
        {quality, "55", false, 55, std::nullopt},
        {quality, "5x", false, 5, "5"},
        {quality, "", false, std::nullopt, std::nullopt},
        {quality, "", true, 1, "1"},
        {brightness, "-", false, std::nullopt, std::nullopt},
        {brightness, "-40", false, -40, std::nullopt},
        {brightness, "-150", false, -100, "-100"},
        {gamma, "2.5", false, 250, std::nullopt},
        {gamma, "2.5", true, 250, "2.50"},
        {gamma, "12", false, 999, "9.99"},
        {gamma, "0", false, 1, std::nullopt}, // may still become 0.05
        {gamma, "0.0", false, 1, std::nullopt},
        {gamma, "0.00", false, 1, "0.01"},
        {gamma, "0", true, 1, "0.01"},
        {gamma, "1.005", false, 101, "1.01"},
        {gamma, "1.00", true, 100, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto edit = typed_into_spin(c.range, c.typed, c.final);
        ASSERT_EQ(edit.has_value(), c.value.has_value()) << c.typed;
        if (edit) {
            EXPECT_EQ(edit->value, *c.value) << c.typed;
            EXPECT_EQ(edit->rewrite, c.rewrite) << c.typed;
        }
    }
    EXPECT_EQ(spin_text(gamma, 100), "1.00");
    EXPECT_EQ(spin_text(gamma, 7), "0.07");
    // The gamma's slider carries hundredths; 1.0 shows 1.00.
    Settings s;
    const PrefRow& g = row("Adjustment", "Image Gamma");
    EXPECT_EQ(load_control(g, {}, s).value, 100);
    EXPECT_EQ(load_control(g, {}, s).text, "1.00");
}

TEST_F(PreferencesLogicTest, ColourNames) {
    struct Case {
        Rgb colour;
        const char* name;
    } cases[] = {
        {{0, 0, 0}, "Black"},
        {{0xFF, 0x80, 0}, "Orange"},
        {{0x80, 0, 0xFF}, "Violet"},
        {{0xC0, 0xC0, 0xC0}, "Silver"},
        {{0x1A, 0x2B, 0x3C}, "Color #1A2B3C"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(colour_name(language, c.colour), c.name);
    }
    // A colour list entry of another length than six reads as black.
    const auto entries = colour_entries("FFFFFF,12345,00FF00");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1], Rgb{});
}

TEST_F(PreferencesLogicTest, EnableAndVisibilityRules) {
    struct Case {
        void (*set)(Settings&);
        const char* group;
        const char* key;
        bool panel, shown, enabled;
    } cases[] = {
        {[](Settings& s) { s.raw_load_as = 1; }, "Input", "RAW Header Size", false, true, true},
        {[](Settings& s) { s.raw_load_as = 2; }, "Input", "RAW Tone Mapping", false, true, false},
        {[](Settings& s) { s.raw_load_as = 5; }, "Input", "RAW Image Width", false, true, false},
        {[](Settings& s) { s.raw_load_as = 4; }, "Input", "RAW Tone Mapping", false, true, true},
        {[](Settings& s) { s.raw_load_as = 3; }, "Input", "RAW Tone Mapping", false, true, false},
        {[](Settings& s) { s.input_format = "gif"; }, "Input", "GIF Frame Loading", true, true,
         true},
        {[](Settings& s) { s.output_format = "png"; }, "Output", "JPG Quality", false, true, true},
        {[](Settings& s) { s.output_format = "JPG"; }, "Output", "JPG Quality", true, true, true},
        {[](Settings& s) { s.do_image_rotation = 0; }, "Transform", "Image Rotation Back Color",
         true, true, false},
        {[](Settings& s) { s.do_image_rotation = 1; }, "Transform", "Image Rotation", true, true,
         true},
        {[](Settings& s) { s.do_image_resize = 0; }, "Transform", "Image Height", true, true,
         false},
        {[](Settings& s) { s.do_image_resize = 1; }, "Transform", "Keep Aspect Ratio", true, true,
         true},
        {[](Settings& s) { s.do_image_threshold = 0; }, "Adjustment", "Image Threshold", true, true,
         false},
        {[](Settings& s) { s.do_image_dither = 1; }, "Adjustment", "Image Dither Algorithm", true,
         true, true},
        {[](Settings& s) { s.do_frame = 0; }, "Frame", "Solid Opacity", false, true, true},
        {[](Settings& s) { s.do_frame = 1; }, "Frame", "Solid Left Color", true, true, true},
        {[](Settings& s) { s.do_watermark = 1; }, "Watermark", "Font", true, true, true},
        {[](Settings& s) { s.do_watermark = 1; }, "Watermark", "Image Opacity", false, true, true},
        {[](Settings& s) { s.do_watermark = 2; }, "Watermark", "Image Opacity", true, true, true},
        {[](Settings& s) { s.do_watermark = 2; }, "Watermark", "Text", false, true, true},
        {[](Settings& s) { s.do_watermark = 1; }, "Watermark", "Text Scale", true, false, true},
        {[](Settings& s) { s.text_size = 1; }, "Watermark", "Text Scale", false, true, true},
        {[](Settings& s) { s.file_timestamp = 1; }, "Advanced", "Custom Timestamp", true, true,
         false},
        {[](Settings& s) { s.file_timestamp = 2; }, "Advanced", "Custom Timestamp", true, true,
         true},
    };
    for (const auto& c : cases) {
        Settings s;
        c.set(s);
        const PrefRow& r = row(c.group, c.key);
        EXPECT_EQ(panel_shown(r, s), c.panel) << c.key;
        EXPECT_EQ(row_state(r, s).shown, c.shown) << c.key;
        EXPECT_EQ(row_state(r, s).enabled, c.enabled) << c.key;
    }
}

TEST(PreferencesStartPageTest, TheOutputFormatButtonsPageLastsOneOpening) {
    int start = kOutputPage;
    EXPECT_EQ(take_start_page(start), kOutputPage);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(take_start_page(start), 0);
    start = 12;
    EXPECT_EQ(take_start_page(start), 0);
    EXPECT_EQ(start, 0);
}

TEST_F(PreferencesLogicTest, OkDerivesColourCorrectionAndTheRefreshRequest) {
    struct Case {
        void (*set)(Settings&);
        int correction;
        int request;
    } cases[] = {
        {[](Settings&) {}, 0, 0},
        {[](Settings& s) { s.image_brightness = -1; }, 1, 0},
        {[](Settings& s) { s.image_contrast = 5; }, 1, 0},
        {[](Settings& s) { s.image_gamma = 1.01f; }, 1, 0},
        {[](Settings& s) { s.image_invert = 1; }, 1, 0},
        {[](Settings& s) { s.ui_size = 4; }, 0, 2},
        {[](Settings& s) { s.ui_theme = "other"; }, 0, 1},
        {[](Settings& s) { s.ui_theme = "other", s.ui_size = 0; }, 0, 1},
    };
    for (const auto& c : cases) {
        Settings s;
        s.do_image_color_correction = 1;
        Settings edited = s;
        c.set(edited);
        EXPECT_EQ(commit_preferences(s, edited), c.request);
        EXPECT_EQ(s.do_image_color_correction, c.correction);
        EXPECT_EQ(s.ui_size, edited.ui_size);
    }
}

TEST_F(PreferencesLogicTest, TextsAreStoredTrimmedAndWithoutTabsOrLineBreaks) {
    Settings s;
    for (const char* key : {"Text", "Image"}) {
        ControlValue v;
        v.text = " \tHello\r\n world \t";
        store_control(row("Watermark", key), {}, v, s);
    }
    EXPECT_EQ(s.text, "Hello world");
    EXPECT_EQ(s.image, "Hello world");
    ControlValue mask;
    mask.text = "\t%filename%.%ext% ";
    store_control(row("Advanced", "Filename Mask"), {}, mask, s);
    EXPECT_EQ(s.filename_mask, "%filename%.%ext%");
    // An empty number field stores 0.
    ControlValue empty;
    store_control(row("Watermark", "Font Size"), {}, empty, s);
    EXPECT_EQ(s.font_size, 0);
}

TEST(PreferencesBrowseTest, PickedColoursAndFontsJoinTheirLists) {
    std::string colours = "000000,FFFFFF";
    EXPECT_EQ(add_colour(colours, {0xFF, 0xFF, 0xFF}), 1);
    EXPECT_EQ(colours, "000000,FFFFFF");
    EXPECT_EQ(add_colour(colours, {0x12, 0xAB, 0x00}), 2);
    EXPECT_EQ(colours, "000000,FFFFFF,12AB00");
    std::string none;
    EXPECT_EQ(add_colour(none, {1, 2, 3}), 0);
    EXPECT_EQ(none, "010203");

    std::string fonts = "Arial, Tahoma ,Verdana";
    EXPECT_EQ(add_font(fonts, "Tahoma"), 1);
    EXPECT_EQ(add_font(fonts, "DejaVu, Sans"), 3);
    EXPECT_EQ(fonts, "Arial, Tahoma ,Verdana,DejaVu Sans");
    EXPECT_EQ(add_font(fonts, ",,"), -1);
    EXPECT_EQ(font_style_of(false, false), 0);
    EXPECT_EQ(font_style_of(true, true), 3);
    EXPECT_EQ(font_style_of(false, true), 2);
}

TEST(PreferencesDateTest, TheFieldsMaskReadsBack) {
    struct Case {
        Date date;
        const char* text;
    } cases[] = {
        {0, "1970/01/01 00:00"},
        {951782400 + 23 * 3600 + 59 * 60, "2000/02/29 23:59"},
        {-60, "1969/12/31 23:59"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(date_text(c.date), c.text);
        EXPECT_EQ(parse_date_text(c.text), c.date) << c.text;
    }
    for (const char* bad : {"", "2023/02/29 10:00", "2024/13/01 00:00", "2024/01/01 24:00",
                            "2024-01-01 10:00", "2024/01/01 10:00x", "3000/01/01 00:00"}) {
        EXPECT_EQ(parse_date_text(bad), std::nullopt) << bad;
    }
}

TEST_F(PreferencesLogicTest, TheImageChoosersFilter) {
    EXPECT_EQ(watermark_image_filter(language),
              "All Supported Files|*.png;*.bmp;*.rle;*.dib;*.jpg;*.jpeg;*.jpe;*.jif|"
              "Portable Network Graphics|*.png|Windows or OS/2 Bitmap|*.bmp;*.rle;*.dib|"
              "JPEG File|*.jpg;*.jpeg;*.jpe;*.jif|All Files (*.*)|*.*");
}

// Panels the settings show one at a time count once, by the tallest; the
// screen caps the dialog, the usual height is its floor.
TEST(PreferencesSizeTest, TheTallestPageSetsTheHeightWithinTheScreen) {
    const std::vector<RowHeight> rows = {
        {0, -1, 30}, {0, -1, 30},             // page 0: 60
        {1, -1, 30}, {1, 0, 30},  {1, 0, 30}, // page 1: 30 + the taller panel (60)
        {1, 1, 40},  {2, 0, 50},              // page 2: a panel alone
    };
    EXPECT_EQ(tallest_page_height(rows), 90);
    EXPECT_EQ(tallest_page_height({}), 0);
    EXPECT_EQ(dialog_inner_height(350, 100, 90, 800), 350);
    EXPECT_EQ(dialog_inner_height(350, 100, 500, 800), 600);
    EXPECT_EQ(dialog_inner_height(350, 100, 900, 800), 800);
    EXPECT_EQ(dialog_inner_height(350, 100, 900, 0), 1000);
}

} // namespace
} // namespace pixlane
