#include <gtest/gtest.h>

#include "settings/ini.h"
#include "support/test_support.h"

namespace pixlane {
namespace {

TEST(IniTest, GroupsAndKeysIgnoreCaseAndValuesAreTrimmed) {
    const auto ini =
        IniFile::parse("\xEF\xBB\xBF\r\n[Output]\r\njpg quality = \t80 \r\n; comment\r\n"
                       "Format=png\r\n[CLI]\n--WIDTH = 200\n\n[Empty]\r\n; \r\n");
    EXPECT_EQ(ini.integer("OUTPUT", "JPG Quality", 95), 80);
    EXPECT_EQ(ini.text("output", "format", "bmp"), "png");
    EXPECT_EQ(ini.text("output", "missing", "bmp"), "bmp");
    EXPECT_EQ(ini.integer("nogroup", "x", 7), 7);
    ASSERT_NE(ini.group("cli"), nullptr);
    EXPECT_EQ(ini.group("cli")->entries.size(), 1u);
    EXPECT_EQ(ini.group("Empty")->entries.size(), 0u);
    EXPECT_EQ(ini.group("none"), nullptr);
}

TEST(IniTest, LeadingInteger) {
    struct Case {
        const char* text;
        std::int64_t v;
    };
    const Case cases[] = {{"12abc", 12}, {"abc", 0}, {"  -5", -5}, {"+7x", 7},
                          {"", 0},       {"- 3", 0}, {"\t42", 42}};
    for (const auto& c : cases) {
        EXPECT_EQ(leading_integer(c.text), c.v) << c.text;
    }
}

TEST(IniTest, EncodingsOfFilesWithoutByteOrderMark) {
    test::TempDir dir;
    test::write_file(dir / "utf8.ini", "[Watermark]\nText = \xC2\xA9 caf\xC3\xA9\n");
    test::write_file(dir / "ansi.ini", "[Watermark]\nText = \xA9 caf\xE9 \x80\n");
    test::write_file(dir / "bom.ini", "\xEF\xBB\xBF[Watermark]\nText = \xC2\xA9\n");
    EXPECT_EQ(IniFile::load(dir / "utf8.ini")->text("Watermark", "Text", ""),
              "\xC2\xA9 caf\xC3\xA9");
    EXPECT_EQ(IniFile::load(dir / "ansi.ini")->text("Watermark", "Text", ""),
              "\xC2\xA9 caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(IniFile::load(dir / "bom.ini")->text("Watermark", "Text", ""), "\xC2\xA9");
    EXPECT_FALSE(IniFile::load(dir / "missing.ini").has_value());
    EXPECT_FALSE(is_valid_utf8("\xC3"));
    EXPECT_FALSE(is_valid_utf8("\xC0\x80")); // overlong
    EXPECT_TRUE(is_valid_utf8("plain"));
}

TEST(IniTest, FilesThatCannotBeReadOrAreTooLargeAreNoFiles) {
    test::TempDir dir;
    const std::string group = "[CLI]\n--WIDTH = 200\n";
    ASSERT_TRUE(test::write_sparse_file(dir / "at_cap.ini", group, kIniMaxBytes));
    ASSERT_TRUE(test::write_sparse_file(dir / "huge.ini", group, std::int64_t{512} << 20));
    ASSERT_TRUE(test::write_sparse_file(dir / "over.ini", group, kIniMaxBytes + 1));
    ASSERT_TRUE(IniFile::load(dir / "at_cap.ini").has_value());
    EXPECT_EQ(IniFile::load(dir / "at_cap.ini")->integer("CLI", "--WIDTH", 0), 200);
    // Reads of /proc/self/mem at offset 0 fail (EIO): no exception, no file.
    for (const std::string& path :
         {dir / "huge.ini", dir / "over.ini", std::string("/proc/self/mem")}) {
        EXPECT_FALSE(IniFile::load(path).has_value()) << path;
    }
}

} // namespace
} // namespace pixlane
