#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "base/product.h"
#include "config/config.h"
#include "platform/platform.h"
#include "settings/keys.h"
#include "support/test_support.h"

namespace pixlane {
namespace {

constexpr Date kNow = 1700000000;
const ConfigContext kContext{kNow, 1920, 1080};

// A row's value as the file would hold it.
std::string row_text(const Settings& s, const SettingKey& row) {
    if (const auto* t = text_field(s, row.field)) {
        return *t;
    }
    if (const auto* f = std::get_if<float Settings::*>(&row.field)) {
        return float_text(s.**f);
    }
    return std::to_string(get_int(s, row.field));
}

std::string field(const Settings& s, std::string_view group, std::string_view key) {
    const auto* row = find_setting(group, key);
    return row ? row_text(s, *row) : "(no such key)";
}

Settings loaded_from(const std::string& text) {
    Settings s;
    read_configuration(s, IniFile::parse(text), kNow);
    return s;
}

class ConfigFileTest : public ::testing::Test {
  protected:
    test::TempDir m_dir;
    std::string m_path = m_dir / "config.ini";
};

TEST(ConfigReadTest, KeysMigrationsAndDefaults) {
    struct Case {
        const char* what;
        std::string file;
        const char* group;
        const char* key;
        std::string expected;
    };
    const Case cases[] = {
        {"mask without CFG gets the extension", "[Advanced]\nFilename Mask = %filename%\n",
         "Advanced", "Filename Mask", "%filename%.%ext%"},
        {"the extension test is case-sensitive", "[Advanced]\nFilename Mask = %FILENAME%.%EXT%\n",
         "Advanced", "Filename Mask", "%FILENAME%.%EXT%.%ext%"},
        {"a mask with %ext% is kept", "[Advanced]\nFilename Mask = %ext%-%filename%\n", "Advanced",
         "Filename Mask", "%ext%-%filename%"},
        {"CFG 11 masks are not touched", "[General]\nCFG=11\n[Advanced]\nFilename Mask = x\n",
         "Advanced", "Filename Mask", "x"},
        {"CFG 13 RAW Load As shifts", "[General]\nCFG = 13\n[Input]\nRAW Load As = 1\n", "Input",
         "RAW Load As", "3"},
        {"CFG 13 RAW Load As AUTO stays", "[General]\nCFG = 13\n[Input]\nRAW Load As = 0\n",
         "Input", "RAW Load As", "0"},
        {"CFG 14 RAW Load As stays", "[General]\nCFG = 14\n[Input]\nRAW Load As = 1\n", "Input",
         "RAW Load As", "1"},
        {"CFG 18 PSD Color Model",
         "[General]\nCFG = 18\n[Input]\nPSD Color Model = 2\nPSD Color Mode = 0\n", "Input",
         "PSD Color Mode", "2"},
        {"CFG 18 PSD Color Model 0 keeps the mode",
         "[General]\nCFG = 18\n[Input]\nPSD Color Model = 0\nPSD Color Mode = 1\n", "Input",
         "PSD Color Mode", "1"},
        {"CFG 18 TIFF Color Model", "[General]\nCFG = 18\n[Output]\nTIFF Color Model = 1\n",
         "Output", "TIFF Color Mode", "1"},
        {"CFG 19 ignores the old key", "[General]\nCFG = 19\n[Output]\nTIFF Color Model = 1\n",
         "Output", "TIFF Color Mode", "0"},
        {"old key looked up in its own group",
         "[General]\nCFG = 18\n[Output]\nPSD Color Model = 2\n", "Input", "PSD Color Mode", "0"},
        {"CFG kept as read", "[General]\nCFG = 7\n", "General", "CFG", "7"},
        {"missing CFG", "", "General", "CFG", "0"},
        {"missing X", "[Window]\nWidth = 600\n", "Window", "X", "100"},
        {"missing Y", "", "Window", "Y", "100"},
        {"missing Update Date", "", "General", "Update Date", std::to_string(kNow)},
        {"missing Custom Timestamp", "", "Advanced", "Custom Timestamp", std::to_string(kNow)},
        {"missing JPG Quality", "[Output]\nFormat = png\n", "Output", "JPG Quality", "95"},
        {"missing output format", "", "Output", "Format", "bmp"},
        {"missing input format", "", "Input", "Format", "gif"},
        {"keys in another case", "[output]\njpg quality = 80\n", "Output", "JPG Quality", "80"},
        {"blanks and tabs around values", "[OUTPUT]\nJPG Quality =\t 81 \t\r\n", "Output",
         "JPG Quality", "81"},
        {"key only inside its group", "[General]\nJPG Quality = 5\n", "Output", "JPG Quality",
         "95"},
        {"leading integer", "[Output]\nWEBP Quality = 12abc\n", "Output", "WEBP Quality", "12"},
        {"non-numeric integer", "[Output]\nWEBP Quality = abc\n", "Output", "WEBP Quality", "0"},
        {"negative integer", "[Transform]\nImage Rotation = -90\n", "Transform", "Image Rotation",
         "-90"},
        {"two Image Rotation keys", "[Watermark]\nImage Rotation = 45\n", "Transform",
         "Image Rotation", "0"},
        {"watermark Image Rotation", "[Watermark]\nImage Rotation = 45\n", "Watermark",
         "Image Rotation", "45"},
        {"gamma", "[Adjustment]\nImage Gamma = 2.500000\n", "Adjustment", "Image Gamma",
         "2.500000"},
        {"gamma +Infinity", "[Adjustment]\nImage Gamma = +Infinity\n", "Adjustment", "Image Gamma",
         "+Infinity"},
        {"gamma -Infinity", "[Adjustment]\nImage Gamma = -Infinity\n", "Adjustment", "Image Gamma",
         "-Infinity"},
        {"gamma NaN", "[Adjustment]\nImage Gamma = NaN\n", "Adjustment", "Image Gamma", "NaN"},
        {"gamma leading number", "[Adjustment]\nImage Gamma = 0.5x\n", "Adjustment", "Image Gamma",
         "0.500000"},
        {"gamma unreadable", "[Adjustment]\nImage Gamma = junk\n", "Adjustment", "Image Gamma",
         "1.000000"},
        {"carried-over key read", "[Window]\nHide Passwords = 1\n", "Window", "Hide Passwords",
         "1"},
        {"CsvDelimiter tab", "[File]\nCsvDelimiter = tab\n", "File", "CsvDelimiter", "\t"},
        {"CsvDelimiter TAB", "[File]\nCsvDelimiter = TAB\n", "File", "CsvDelimiter", "\t"},
        {"CsvDelimiter space", "[File]\nCsvDelimiter = Space\n", "File", "CsvDelimiter", " "},
        {"CsvDelimiter crlf", "[File]\nCsvDelimiter = crlf\n", "File", "CsvDelimiter", "\r\n"},
        {"CsvDelimiter other", "[File]\nCsvDelimiter = ;\n", "File", "CsvDelimiter", ";"},
        {"recent folders keep their tabs", "[File]\nRecent Out Folders = /a\t/b\n", "File",
         "Recent Out Folders", "/a\t/b"},
        {"texts unquoted", "[Watermark]\nText = \"a = b\" ; c\n", "Watermark", "Text",
         "\"a = b\" ; c"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(field(loaded_from(c.file), c.group, c.key), c.expected) << c.what;
    }
}

TEST_F(ConfigFileTest, FileWithoutByteOrderMark) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"[Watermark]\r\nText = caf\xC3\xA9\r\n", "caf\xC3\xA9"},               // valid UTF-8
        {"[Watermark]\r\nText = caf\xE9\r\n", "caf\xC3\xA9"},                   // Windows-1252
        {"\xEF\xBB\xBF[Watermark]\r\nText = \xE2\x82\xAC\r\n", "\xE2\x82\xAC"}, // marked UTF-8
    };
    for (const auto& c : cases) {
        test::write_file(m_path, c.bytes);
        Settings s;
        s.config_path = m_path;
        EXPECT_TRUE(load_configuration(s, kContext));
        EXPECT_EQ(s.text, c.text);
    }
}

TEST_F(ConfigFileTest, UnreadableOrHugeFilesGiveWindowDefaults) {
    const std::string huge = m_dir / "huge.ini";
    ASSERT_TRUE(
        test::write_sparse_file(huge, "[Output]\nJPG Quality = 5\n", std::int64_t{512} << 20));
    for (const std::string& path : {std::string("/proc/self/mem"), huge}) {
        Settings s;
        s.config_path = path;
        s.jpg_quality = 5;
        EXPECT_FALSE(load_configuration(s, kContext)) << path;
        EXPECT_EQ(s.jpg_quality, 95) << path;
        EXPECT_EQ(s.update_date, kNow) << path;
    }
}

TEST_F(ConfigFileTest, MissingFileGivesWindowDefaults) {
    Settings s;
    s.config_path = m_path;
    s.jpg_quality = 5;
    s.keep_aspect_ratio = 0;
    EXPECT_FALSE(load_configuration(s, kContext));
    EXPECT_EQ(s.config_path, m_path);
    EXPECT_EQ(s.cfg, 19); // nothing migrates
    EXPECT_EQ(s.jpg_quality, 95);
    EXPECT_EQ(s.keep_aspect_ratio, 1);
    EXPECT_EQ(s.x, 705); // centred on the desktop
    EXPECT_EQ(s.y, 375);
    EXPECT_EQ(s.update_date, kNow);
    EXPECT_FALSE(platform::exists(m_path)); // created by the next save only
}

TEST_F(ConfigFileTest, FreshFileBeginsExactly) {
    Settings s;
    reset_to_defaults(s, DefaultsForm::Window, kNow, 1920, 1080);
    s.config_path = m_path;
    s.cfg = 7; // always written as the current layout
    ASSERT_TRUE(save_configuration(s));
    const std::string expected_start = "\xEF\xBB\xBF\r\n"
                                       "[General]\r\n"
                                       "CFG = 19\r\n"
                                       "Language = auto\r\n"
                                       "Update Range = 2\r\n"
                                       "Update Date = 1700000000\r\n"
                                       "Save Window Position = 1\r\n"
                                       "; \r\n"
                                       "[Window]\r\n"
                                       "IsMaximized = 0\r\n"
                                       "Width = 510\r\n"
                                       "Height = 330\r\n"
                                       "X = 705\r\n"
                                       "Y = 375\r\n"
                                       "; \r\n"
                                       "[Interface]\r\n"
                                       "UI Theme = handdrawn\r\n"
                                       "UI Size = 2\r\n"
                                       "; \r\n"
                                       "[Input]\r\n"
                                       "Format = gif\r\n"
                                       "GIF Frame Loading = 0\r\n"
                                       "; \r\n"
                                       "[Output]\r\n"
                                       "Format = bmp\r\n"
                                       "BMP BPP = 0\r\n"
                                       "BMP Compression = 0\r\n"
                                       "BMP Color Table = 0\r\n"
                                       "DDS BPP = 0\r\n";
    const std::string bytes = test::read_file(m_path);
    EXPECT_EQ(bytes.substr(0, expected_start.size()), expected_start);
    EXPECT_EQ(bytes, configuration_text(s));

    // The rest of the layout: group order, the closing comment of the last
    // group, CR LF everywhere and only the written keys of [File].
    EXPECT_NE(bytes.find("\r\n[Adjustment]\r\nDo Image Color Correction = 0\r\n"),
              std::string::npos);
    EXPECT_NE(bytes.find("Image Gamma = 1.000000\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("; \r\n[File]\r\nRecent Out Folders = \r\nRecent Files = \r\n; \r\n"
                         "[Privacy]\r\nClean Recent Files = 0\r\n; \r\n"),
              std::string::npos);
    EXPECT_TRUE(bytes.ends_with("[Privacy]\r\nClean Recent Files = 0\r\n; \r\n"));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n') {
            ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at " << i;
        }
    }
    for (const char* absent : {"Hide Passwords", "TxtFields", "CsvDelimiter", "DDS Load As",
                               "RAW Load As", "Color Model"}) {
        EXPECT_EQ(bytes.find(absent), std::string::npos) << absent;
    }
    EXPECT_FALSE(platform::exists(m_path + ".tmp"));
}

TEST_F(ConfigFileTest, WindowGroupWithoutPosition) {
    Settings s;
    s.config_path = m_path;
    s.save_window_position = 0;
    s.width = 999;
    ASSERT_TRUE(save_configuration(s));
    const std::string bytes = test::read_file(m_path);
    EXPECT_NE(bytes.find("Save Window Position = 0\r\n; \r\n[Window]\r\n; \r\n[Interface]\r\n"),
              std::string::npos);
    EXPECT_EQ(bytes.find("\r\nWidth = "), std::string::npos);

    Settings back;
    back.config_path = m_path;
    ASSERT_TRUE(load_configuration(back, kContext));
    EXPECT_EQ(back.width, 510); // absent keys take their defaults
    EXPECT_EQ(back.x, 100);
}

// Every row of the table through save and load: written rows come back as
// set, the others (carried-over keys, options of formats outside the
// extension lists) come back as their defaults.
TEST_F(ConfigFileTest, EverySettingRoundTrips) {
    Settings s;
    s.config_path = m_path;
    int n = 0;
    for (const auto& row : setting_keys()) {
        ++n;
        if (auto* t = text_field(s, row.field)) {
            *t = "value " + std::to_string(n) + " \xC3\xA9=%ext%";
        } else if (auto* f = std::get_if<float Settings::*>(&row.field)) {
            s.** f = 2.25f;
        } else if (row.field == FieldRef{&Settings::cfg}) {
            s.cfg = kConfigVersion;
        } else {
            set_int(s, row.field, n + 1); // distinct, non-zero, fits 8 bits
        }
    }
    s.csv_delimiter = ";";
    ASSERT_LT(n, 250);
    ASSERT_TRUE(save_configuration(s));

    Settings back;
    back.config_path = m_path;
    ASSERT_TRUE(load_configuration(back, kContext));
    Settings defaults;
    reset_to_defaults(defaults, DefaultsForm::Window, kNow, 0, 0);

    int written = 0;
    for (const auto& row : setting_keys()) {
        const bool kept = row.persist == Persist::Always ||
                          row.persist == Persist::WindowPosition ||
                          (row.persist == Persist::InputOption && row.format == "gif") ||
                          row.persist == Persist::OutputOption;
        written += kept;
        EXPECT_EQ(row_text(back, row), row_text(kept ? s : defaults, row))
            << row.group << "/" << row.key;
    }
    EXPECT_GT(written, 100);
    EXPECT_EQ(back.config_path, m_path);
}

TEST_F(ConfigFileTest, LineBreaksInTextsCannotForgeKeys) {
    Settings s;
    s.config_path = m_path;
    s.recent_out_folders = "/tmp/x\r\n[Advanced]\r\nFilename Mask = ../evil\n\t/tmp/y";
    ASSERT_TRUE(save_configuration(s));
    Settings back;
    back.config_path = m_path;
    ASSERT_TRUE(load_configuration(back, kContext));
    EXPECT_EQ(back.filename_mask, "%filename%.%ext%");
    EXPECT_EQ(back.recent_out_folders, "/tmp/x  [Advanced]  Filename Mask = ../evil \t/tmp/y");
}

TEST_F(ConfigFileTest, CsvDelimiterNameSurvivesSave) {
    test::write_file(m_path, "\xEF\xBB\xBF\r\n[File]\r\nCsvDelimiter = tab\r\n");
    Settings s;
    s.config_path = m_path;
    ASSERT_TRUE(load_configuration(s, kContext));
    EXPECT_EQ(s.csv_delimiter, "\t");
    ASSERT_TRUE(save_configuration(s));
    EXPECT_EQ(s.csv_delimiter, "\t");
    EXPECT_EQ(test::read_file(m_path).find("CsvDelimiter"), std::string::npos);
    ASSERT_TRUE(load_configuration(s, kContext));
    EXPECT_EQ(s.csv_delimiter, ","); // gone from the file: the default
}

TEST_F(ConfigFileTest, SaveReplacesTheWholeFile) {
    test::write_file(m_path, std::string(100000, 'x'));
    Settings s;
    s.config_path = m_path;
    ASSERT_TRUE(save_configuration(s));
    EXPECT_EQ(test::read_file(m_path), configuration_text(s));
    EXPECT_EQ(test::names_in(m_dir.path()), "config.ini ");
}

TEST_F(ConfigFileTest, FailedSaveChangesNothing) {
    // A folder that cannot exist: its parent is a regular file.
    test::write_file(m_dir / "plain", "keep");
    Settings s;
    s.config_path = m_dir / "plain/config.ini";
    EXPECT_FALSE(save_configuration(s));
    EXPECT_EQ(test::read_file(m_dir / "plain"), "keep");
    s.config_path.clear(); // a path never set names no file at all
    EXPECT_FALSE(save_configuration(s));
    s.config_path = m_dir.path(); // a folder is not replaced by a file
    EXPECT_FALSE(save_configuration(s));
    EXPECT_TRUE(platform::is_folder(m_dir.path()));

    // The old file stays whole when the new content cannot be written beside
    // it (here the disk is full).
    test::write_file(m_path, "[Output]\r\nJPG Quality = 42\r\n");
    s.config_path = m_path;
    s.jpg_quality = 7;
    {
        const test::WriteLimit full(0);
        EXPECT_FALSE(save_configuration(s));
    }
    EXPECT_EQ(test::read_file(m_path), "[Output]\r\nJPG Quality = 42\r\n");
    EXPECT_EQ(s.jpg_quality, 7);
}

struct FakeBoxes : MessageBoxes {
    bool answer = false;
    std::vector<Question> asked;
    void show_error(const std::string&) override { ADD_FAILURE() << "error box"; }
    void show_warning(const std::string&) override { ADD_FAILURE() << "warning box"; }
    bool ask(Question q) override {
        asked.push_back(q);
        return answer;
    }
};

TEST_F(ConfigFileTest, ResetToDefaultsAsksFirst) {
    for (bool yes : {false, true}) {
        FakeBoxes boxes;
        boxes.answer = yes;
        Settings s;
        s.config_path = m_path;
        s.jpg_quality = 12;
        s.keep_aspect_ratio = 0;
        EXPECT_EQ(reset_to_defaults_confirmed(s, boxes, kContext), yes);
        EXPECT_EQ(boxes.asked, std::vector<Question>{Question::ResetToDefaults});
        EXPECT_EQ(s.config_path, m_path);
        EXPECT_EQ(s.jpg_quality, yes ? 95 : 12);
        EXPECT_EQ(s.keep_aspect_ratio, yes ? 1 : 0);
        EXPECT_EQ(platform::exists(m_path), yes);
        if (yes) {
            EXPECT_EQ(test::read_file(m_path), configuration_text(s));
            EXPECT_EQ(s.x, 705);
        }
    }
}

TEST(ConfigValueTest, FloatAndDelimiterTexts) {
    struct FloatCase {
        float value;
        const char* text;
    };
    const FloatCase floats[] = {{1.0f, "1.000000"},
                                {0.01f, "0.010000"},
                                {9.99f, "9.990000"},
                                {-0.5f, "-0.500000"},
                                {0.0f, "0.000000"}};
    for (const auto& c : floats) {
        EXPECT_EQ(float_text(c.value), c.text);
        EXPECT_FLOAT_EQ(float_from_text(c.text, 7.0f), c.value) << c.text;
    }
    EXPECT_EQ(float_from_text(" +2.5 ", 7.0f), 2.5f);
    EXPECT_EQ(float_from_text("", 7.0f), 7.0f);
    EXPECT_EQ(float_from_text("infinity", 7.0f), std::numeric_limits<float>::infinity());
    EXPECT_EQ(float_text(std::numeric_limits<float>::quiet_NaN()), "NaN");
    EXPECT_EQ(float_text(std::numeric_limits<float>::infinity()), "+Infinity");
    EXPECT_EQ(float_text(-std::numeric_limits<float>::infinity()), "-Infinity");
    EXPECT_TRUE(std::isnan(float_from_text("nan", 7.0f)));

    const char* names[][2] = {{"tab", "\t"}, {"space", " "}, {"crlf", "\r\n"}, {",", ","}};
    for (const auto& n : names) {
        EXPECT_EQ(csv_delimiter_from_name(n[0]), n[1]);
        EXPECT_EQ(csv_delimiter_to_name(n[1]), n[0]);
    }
    EXPECT_EQ(csv_delimiter_from_name("CrLf"), "\r\n");
}

} // namespace
} // namespace pixlane
