#include <gtest/gtest.h>

#include <set>

#include "settings/keys.h"
#include "settings/keywords.h"
#include "settings/settings.h"

namespace pixlane {
namespace {

std::string value_text(const Settings& s, const SettingKey& row) {
    if (auto t = text_field(s, row.field)) {
        return *t;
    }
    if (auto f = std::get_if<float Settings::*>(&row.field)) {
        return std::to_string(s.**f);
    }
    return std::to_string(get_int(s, row.field));
}

TEST(SettingsDefaultsTest, BothFormsDifferOnlyInKeepAspectRatio) {
    Settings window, cli;
    window.config_path = cli.config_path = "/keep/me";
    reset_to_defaults(window, DefaultsForm::Window, 1000, 1920, 1080);
    reset_to_defaults(cli, DefaultsForm::CommandLine, 1000, 1920, 1080);
    std::vector<std::string> differing;
    for (const auto& row : setting_keys()) {
        if (value_text(window, row) != value_text(cli, row)) {
            differing.push_back(std::string(row.key));
        }
    }
    EXPECT_EQ(differing, std::vector<std::string>{"Keep Aspect Ratio"});
    EXPECT_EQ(window.keep_aspect_ratio, 1);
    EXPECT_EQ(cli.keep_aspect_ratio, 0);
    EXPECT_EQ(cli.config_path, "/keep/me");
}

TEST(SettingsDefaultsTest, ResetOverwritesEveryField) {
    Settings s;
    for (const auto& row : setting_keys()) {
        if (auto t = text_field(s, row.field)) {
            *t = "changed";
        } else {
            set_int(s, row.field, 77);
        }
    }
    reset_to_defaults(s, DefaultsForm::Window, 1234, 1920, 1080);
    Settings fresh;
    reset_to_defaults(fresh, DefaultsForm::Window, 1234, 1920, 1080);
    for (const auto& row : setting_keys()) {
        EXPECT_EQ(value_text(s, row), value_text(fresh, row)) << row.group << "/" << row.key;
    }
    EXPECT_EQ(s.update_date, 1234);
    EXPECT_EQ(s.custom_timestamp, 1234);
    EXPECT_EQ(s.jpg_quality, 95);
    EXPECT_EQ(s.webp_quality, 100);
    EXPECT_EQ(s.raw_tone_mapping, 2);
    EXPECT_FLOAT_EQ(s.image_gamma, 1.0f);
}

TEST(SettingsDefaultsTest, WindowPositionIsCentredOnLargeDesktops) {
    struct Case {
        int w, h, x, y;
    };
    const Case cases[] = {{1920, 1080, 705, 375},
                          {500, 1080, 100, 375},
                          {510, 330, 100, 100},
                          {511, 331, 0, 0},
                          {1366, 768, 428, 219}};
    for (const auto& c : cases) {
        Settings s;
        reset_to_defaults(s, DefaultsForm::Window, 0, c.w, c.h);
        EXPECT_EQ(s.x, c.x) << c.w;
        EXPECT_EQ(s.y, c.y) << c.h;
    }
}

TEST(SettingKeysTest, RowsAreUniqueAndTwinKeysAreToldApartByGroup) {
    std::set<std::pair<std::string, std::string>> seen;
    std::set<std::string> options;
    for (const auto& row : setting_keys()) {
        EXPECT_TRUE(seen.emplace(std::string(row.group), std::string(row.key)).second)
            << row.group << "/" << row.key;
        if (!row.option.empty()) {
            EXPECT_TRUE(options.insert(std::string(row.option)).second) << row.option;
            EXPECT_NE(row.option_class, OptionClass::None) << row.option;
        }
        if (row.option_class == OptionClass::Keyword) {
            EXPECT_FALSE(keyword_table(row.keywords).empty()) << row.option;
        }
    }
    // The options every output format's rows give, and the limits, are among them.
    for (const char* option : {"--PNG-COMPRESSION", "--JOBS", "--MAX-FRAMES", "--OVERWRITE"}) {
        EXPECT_EQ(options.count(option), 1u) << option;
    }

    auto* transform = find_setting("transform", "image rotation");
    auto* watermark = find_setting("WATERMARK", "Image Rotation");
    ASSERT_TRUE(transform && watermark);
    Settings s;
    set_int(s, transform->field, 90);
    EXPECT_EQ(s.image_rotation, 90);
    EXPECT_EQ(s.wm_image_rotation, 0);
    set_int(s, watermark->field, 45);
    EXPECT_EQ(s.image_rotation, 90);
    EXPECT_EQ(find_setting("Input", "Format")->field, FieldRef(&Settings::input_format));
    EXPECT_EQ(find_setting("Output", "Format")->field, FieldRef(&Settings::output_format));
}

TEST(SettingKeysTest, OptionAndProfileNamesFindTheirRows) {
    EXPECT_EQ(find_option("--FR-SOLID-OPACITY")->key, "Solid Opacity");
    EXPECT_EQ(find_profile_option("--FR-SOLID-OPACITY"), nullptr);
    EXPECT_EQ(find_profile_option("--WM-SOLID-OPACITY")->key, "Solid Opacity");
    EXPECT_EQ(find_option("--WM-SOLID-OPACITY"), nullptr);
    EXPECT_EQ(find_profile_option("--JPG-QUALITY")->key, "JPG Quality");
    EXPECT_EQ(find_option("--NO-SUBFOLDERS")->flag_value, 0);
    EXPECT_EQ(find_option("--jpg-quality"), nullptr); // callers upper-case first
}

TEST(SettingKeysTest, IntegersAreStoredInTheFieldsWidth) {
    Settings s;
    set_int(s, find_setting("Advanced", "Out Folders Number")->field, 300);
    EXPECT_EQ(s.out_folders_number, 44);
    set_int(s, find_setting("Output", "JPG Quality")->field, 300);
    EXPECT_EQ(s.jpg_quality, 300);
    set_int(s, find_setting("Output", "JPG Quality")->field, -5);
    EXPECT_EQ(get_int(s, find_setting("Output", "JPG Quality")->field), -5);
}

TEST(KeywordTest, ForwardAndReverseLookups) {
    struct Case {
        Keywords kind;
        const char* word;
        int value;
    };
    using K = Keywords;
    const Case forward[] = {{K::ResizeAlgorithm, "lanczos", 5},
                            {K::ResizeAlgorithm, "  Lanczos ", 5},
                            {K::ResizeAlgorithm, "lanczos3", 0},
                            {K::Compression, "LZW", 6},
                            {K::Compression, "zlib9", 3},
                            {K::FontEffect, "strikethrought", 2},
                            {K::RawLoadAs, "48hs", 4},
                            {K::Position, "bottomright", 8},
                            {K::None, "x", 0}};
    for (const auto& c : forward) {
        EXPECT_EQ(keyword_value(c.kind, c.word), c.value)
            << static_cast<int>(c.kind) << " " << c.word;
    }
    // The first entry of a value wins in reverse: compression 1 is "rle" for every format.
    EXPECT_EQ(keyword_name(Keywords::Compression, 1), "rle");
    EXPECT_EQ(keyword_name(Keywords::Compression, 2), "piz");
    EXPECT_EQ(keyword_name(Keywords::Compression, 5), "adobedeflate");
    EXPECT_EQ(keyword_name(Keywords::Compression, 9), "");
    EXPECT_EQ(keyword_name(Keywords::FrameKind, 1), "solid");
    EXPECT_EQ(keyword_name(Keywords::WatermarkKind, 2), "image");
}

} // namespace
} // namespace pixlane
