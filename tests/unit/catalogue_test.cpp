#include "formats/catalogue.h"

#include <gtest/gtest.h>

#include <set>

#include "base/language.h"
#include "base/product.h"
#include "settings/keys.h"
#include "util/strings.h"

namespace pixlane {
namespace {

TEST(Catalogue, AutomaticDepthTakesTheSmallestDepthThatLosesNoBits) {
    struct Case {
        const char* ext;
        int source;
        int expected;
    };
    const Case cases[] = {
        {"png", 16, 24}, {"jpg", 32, 24}, {"gif", 1, 8},   {"tiff", 96, 96}, {"tiff", 64, 96},
        {"png", 32, 32}, {"bmp", 1, 1},   {"bmp", 2, 4},   {"jxr", 17, 24},  {"xpm", 1, 24},
        {"ico", 64, 32}, {"pfm", 8, 96},  {"webp", 8, 24}, {"nope", 8, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(automatic_depth(c.ext, c.source), c.expected) << c.ext << " from " << c.source;
    }
}

TEST(Catalogue, LookupsNeedLowerCaseKeys) {
    EXPECT_EQ(output_entry("JPG"), nullptr);
    ASSERT_NE(output_entry(to_lower("JPG")), nullptr);
    EXPECT_EQ(output_entry(to_lower("JPG"))->description, "JPEG File Format");
    EXPECT_EQ(output_entry("jpeg"), nullptr); // an input spelling only
    ASSERT_NE(input_entry("jpeg"), nullptr);
    EXPECT_EQ(input_entry("jpeg")->type, "jpg");
    EXPECT_EQ(input_entry("GIF"), nullptr);
}

TEST(Catalogue, OnlyTypesOfTheInputListAreAccepted) {
    EXPECT_EQ(accepted_input_extensions(), std::vector<std::string_view>{"gif"});
    EXPECT_TRUE(is_accepted_input("gif"));
    EXPECT_TRUE(is_accepted_input("GIF"));
    ASSERT_NE(input_entry("tif"), nullptr); // known, but its type is not an input type
    EXPECT_FALSE(is_accepted_input("tif"));
    EXPECT_FALSE(is_accepted_input("png"));
    EXPECT_FALSE(is_accepted_input(""));
}

TEST(Catalogue, TablesKeepTheirInvariants) {
    ASSERT_EQ(output_catalogue().size(), kOutputExtensions.size());
    for (std::size_t k = 0; k < kOutputExtensions.size(); ++k) {
        const OutputFormat& f = output_catalogue()[k];
        EXPECT_EQ(f.extension, kOutputExtensions[k]) << "position " << k;
        const std::vector<int> depths = allowed_depths(f.extension);
        ASSERT_FALSE(depths.empty()) << f.extension;
        EXPECT_TRUE(std::is_sorted(depths.begin(), depths.end())) << f.extension;
        EXPECT_EQ(std::set<int>(depths.begin(), depths.end()).size(), depths.size());
    }
    std::set<std::string_view> inputs;
    for (const InputFormat& f : input_catalogue()) {
        EXPECT_TRUE(inputs.insert(f.extension).second) << "twice: " << f.extension;
        EXPECT_EQ(to_lower(f.extension), f.extension);
        ASSERT_NE(input_entry(f.type), nullptr) << "type without entry: " << f.type;
    }
    EXPECT_EQ(inputs.size(), 79U);
    for (std::string_view type : kInputExtensions) {
        EXPECT_NE(input_entry(type), nullptr) << type;
    }
}

TEST(Catalogue, OptionKeysComeFromTheSettingsTable) {
    auto keys = [](const std::vector<const SettingKey*>& rows) {
        std::vector<std::string_view> out;
        for (const SettingKey* row : rows) {
            out.push_back(row->key);
        }
        return out;
    };
    using Keys = std::vector<std::string_view>;
    EXPECT_EQ(keys(save_options("jpg")),
              (Keys{"JPG BPP", "JPG Quality", "JPG Chroma", "JPG Save As"}));
    EXPECT_EQ(keys(save_options("bmp")), (Keys{"BMP BPP", "BMP Compression", "BMP Color Table"}));
    EXPECT_EQ(keys(save_options("tiff")),
              (Keys{"TIFF BPP", "TIFF Compression", "TIFF Color Mode"}));
    EXPECT_EQ(keys(save_options("dds")), (Keys{"DDS BPP"}));
    EXPECT_TRUE(save_options("jpeg").empty());
    EXPECT_EQ(keys(load_options("raw")), (Keys{"RAW Load As", "RAW Header Size", "RAW Image Width",
                                               "RAW Image Height", "RAW Tone Mapping"}));
    EXPECT_EQ(keys(load_options("gif")), (Keys{"GIF Frame Loading"}));
    EXPECT_EQ(keys(load_options("tiff")), (Keys{"TIFF Frame Loading"}));
    EXPECT_TRUE(load_options("png").empty());
    // The input "tiff" load option is not an output save option and back.
    for (const SettingKey* row : save_options("tiff")) {
        EXPECT_EQ(row->group, "Output");
    }
    // Every output type has its depth setting first among its options.
    for (const OutputFormat& f : output_catalogue()) {
        const auto rows = save_options(f.extension);
        ASSERT_FALSE(rows.empty()) << f.extension;
        EXPECT_EQ(rows.front()->key, to_upper(f.extension) + " BPP");
    }
}

TEST(Catalogue, OpenFileFilterListsTheAcceptedPatterns) {
    LanguageTable language;
    language.load_builtin();
    EXPECT_EQ(open_file_filter(language),
              "All Supported Files|*.[gG][iI][fF]|GIF File|*.[gG][iI][fF]|All Files (*.*)|*.*");
}

} // namespace
} // namespace pixlane
