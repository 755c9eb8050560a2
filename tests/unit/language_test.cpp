#include <gtest/gtest.h>

#include <thread>

#include "base/language.h"

namespace pixlane {
namespace {

class LanguageTest : public ::testing::Test {
  protected:
    void SetUp() override { table.load_builtin(); }
    LanguageTable table;
};

TEST_F(LanguageTest, LooksUpWithoutRegardToCase) {
    struct Case {
        const char* group;
        const char* key;
        const char* text;
    };
    const Case cases[] = {
        {"msg", "ask OVERWRITE file", "The file already exist. Do you want to overwrite it?"},
        {"MSG", "Ask overwrite file", "The file already exist. Do you want to overwrite it?"},
        {"Msg", "Progress", "(%s1%/%s2%)"},
        {"Menu", "Select Input Files", "Add Input Files..."},
        {"menu", "check for new version", "Check For a New Version"},
        {"General", "Preparing", "Preparing..."},
        {"Preferences", "RGB48HS", "RGB 48-bit (HS)"},
        {"Preferences", "fs", "Floyd and Steinberg error diffusion"},
        {"Preferences", "Medium", "Medium"},
        {"About", "Title", "About..."},
        {"Custom-Converter", "Search", "Search"},
        {"Uninstall", "Next", "Next"},
        // Keys that differ only after their first letter.
        {"Msg", "Import complete", "Import complete, new files added: %s1%"},
        {"Msg", "Import is not complete", "Import stopped"},
        {"Msg", "Invalid input folder",
         "The following input folder is invalid or doesn't exist:\r\n%s1%\r\n\r\n"
         "Please, correct the input path and try again!"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(table.text(c.group, c.key), c.text) << c.group << "/" << c.key;
    }
}

TEST_F(LanguageTest, MissingGroupOrKeyGivesTheErrorText) {
    EXPECT_EQ(table.text("Msg", "No such key"), kNoStringError);
    EXPECT_EQ(table.text("Nowhere", "Error"), kNoStringError);
    EXPECT_EQ(table.text("Msg", ""), kNoStringError);
    EXPECT_EQ(table.text("Msg", "Zzz"), kNoStringError);    // past the last key
    EXPECT_EQ(table.text("Msg", "Errorx"), kNoStringError); // a prefix matches, the key does not
    // A failed group lookup forgets the remembered group.
    EXPECT_EQ(table.text("Msg", "Error"), "Error");
    EXPECT_EQ(table.text("Nowhere", "Error"), kNoStringError);
    EXPECT_EQ(table.text("Msg", "Error"), "Error");
}

TEST_F(LanguageTest, LookupInAnotherGroupAfterMsgReplacesTheRememberedGroup) {
    EXPECT_EQ(table.text("Msg", "Warning"), "Warning");
    EXPECT_EQ(table.text("Dialog", "Time Remaining"), "Time Remaining: %s1%");
    EXPECT_EQ(table.text("Msg", "Conversion complete"), "Conversion complete");
    EXPECT_EQ(table.text("Dialog", "Conversion complete"), kNoStringError);
}

TEST(LanguageTableTest, DuplicateKeyReturnsTheEntryThatSortsFirst) {
    const LanguagePair pairs[] = {
        {"_GROUP_", "G"}, {"Beta", "b"}, {"Alpha", "first"}, {"ALPHA", "second"}, {"_END_", ""}};
    LanguageTable t;
    t.load(pairs, std::size(pairs));
    EXPECT_EQ(t.text("g", "alpha"), "first");
    EXPECT_EQ(t.text("g", "beta"), "b");
    EXPECT_EQ(t.group_count(), 1u);
    EXPECT_EQ(t.entry_count(), 3u);
}

TEST(LanguageTableTest, EmptyGroupAndPairsAfterEndAreIgnored) {
    const LanguagePair pairs[] = {
        {"_group_", "Empty"}, {"_GROUP_", "Full"}, {"k", "v"}, {"_end_", ""}, {"late", "x"}};
    LanguageTable t;
    t.load(pairs, std::size(pairs));
    EXPECT_EQ(t.text("Empty", "k"), kNoStringError);
    EXPECT_EQ(t.text("Full", "K"), "v");
    EXPECT_EQ(t.text("Full", "late"), kNoStringError);
}

TEST(SubstituteTest, FillsPlaceholders) {
    struct Case {
        const char* text;
        const char* s1;
        const char* s2;
        const char* expected;
    };
    const Case cases[] = {
        {"(%s1%/%s2%)", "3", "10", "(3/10)"}, {"(%s1%/%s2%)", "", "10", "(%s1%/10)"},
        {"(%S1%/%s1%)", "7", "", "(7/7)"},    {"", "a", "b", ""},
        {"%s1%%s2%", "%s2%", "x", "xx"}, // later placeholders are filled after earlier ones
    };
    for (const auto& c : cases) {
        EXPECT_EQ(substitute(c.text, c.s1, c.s2), c.expected) << c.text;
    }
    EXPECT_EQ(substitute("%s3% %s4%", "", "", "c", "d"), "c d");
}

TEST(QuestionTest, EveryQuestionNamesTextsOfGroupMsg) {
    LanguageTable t;
    t.load_builtin();
    for (auto q : {Question::NewUpdate, Question::CheckForUpdates, Question::ResetToDefaults,
                   Question::OverwriteFile, Question::BreakImport, Question::BreakExport,
                   Question::BreakConversion}) {
        const auto qt = question_text(q);
        EXPECT_NE(t.text("Msg", qt.title_key), kNoStringError) << qt.title_key;
        EXPECT_NE(t.text("Msg", qt.message_key), kNoStringError) << qt.message_key;
    }
}

} // namespace
} // namespace pixlane

namespace pixlane {
namespace {

TEST(LanguageTableTest, ConcurrentLookupsInDifferentGroupsFindTheirTexts) {
    LanguageTable t;
    t.load_builtin();
    auto look = [&](const char* group, const char* key, const char* text, int* wrong) {
        for (int i = 0; i < 20000; ++i) {
            *wrong += t.text(group, key) != text;
        }
    };
    int wrong_a = 0, wrong_b = 0;
    std::thread a(look, "Msg", "Error", "Error", &wrong_a);
    std::thread b(look, "Dialog", "OK", "OK", &wrong_b);
    a.join();
    b.join();
    EXPECT_EQ(wrong_a, 0);
    EXPECT_EQ(wrong_b, 0);
}

} // namespace
} // namespace pixlane
