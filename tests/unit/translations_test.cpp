#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "base/translations.h"
#include "support/test_support.h"
#include "util/strings.h"

namespace pixlane {
namespace {

const std::string kLocale = std::string(PIXLANE_BINARY_DIR) + "/locale/";

// The original of every table entry (a key a group holds twice once), with
// its English text.
std::map<std::string, std::string> table_originals() {
    std::map<std::string, std::string> out;
    std::string group;
    for (std::size_t i = 0; i < kBuiltinLanguageSize; ++i) {
        const LanguagePair& pair = kBuiltinLanguage[i];
        const std::string key = to_upper(pair.key);
        if (key == "_END_") {
            break;
        }
        if (key == "_GROUP_") {
            group = pair.text;
        } else {
            out.emplace(catalogue_original(group, pair.key, pair.text), pair.text);
        }
    }
    return out;
}

// What a translation must keep of its English text: each placeholder as
// often, the line breaks, and the colon that ends a row label.
std::string kept_marks(std::string_view text) {
    std::string marks;
    for (std::string_view mark : {"%s1%", "%s2%", "%s3%", "%s4%", "\r\n"}) {
        for (std::size_t at = ifind(text, mark); at != std::string::npos;
             at = ifind(text, mark, at + mark.size())) {
            marks += mark;
        }
    }
    const bool colon = text.ends_with(":") || text.ends_with("：");
    return marks + (colon ? " ends with a colon" : "");
}

std::vector<std::string> shipped_languages() {
    std::vector<std::string> codes;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(PIXLANE_SOURCE_DIR) + "/po")) {
        if (entry.path().extension() == ".po") {
            codes.push_back(entry.path().stem().string());
        }
    }
    std::sort(codes.begin(), codes.end());
    return codes;
}

TEST(TranslationsTest, EveryCatalogueTranslatesEveryEntryAndKeepsItsMarks) {
    const auto originals = table_originals();
    const auto codes = shipped_languages();
    ASSERT_FALSE(codes.empty());
    for (const std::string& code : codes) {
        SCOPED_TRACE(code);
        const auto entries = parse_catalogue(test::read_file(catalogue_path(kLocale, code)));
        ASSERT_TRUE(entries.has_value());
        // Untranslated and fuzzy entries are left out of a compiled catalogue,
        // so they count as missing.
        for (const auto& [original, english] : originals) {
            const auto found = entries->find(original);
            if (found == entries->end()) {
                ADD_FAILURE() << "missing: " << original.substr(0, original.find('\x04'));
                continue;
            }
            EXPECT_EQ(kept_marks(found->second), kept_marks(english))
                << original.substr(0, original.find('\x04')) << ": " << found->second;
        }
        for (const auto& [original, translation] : *entries) {
            EXPECT_TRUE(originals.count(original))
                << "not in the table (or its English text changed): "
                << original.substr(0, original.find('\x04')) << " \""
                << original.substr(original.find('\x04') + 1) << "\"";
        }
    }
}

TEST(TranslationsTest, EachShippedLanguageIsOfferedByItsOwnName) {
    const auto choices = installed_languages(kLocale);
    ASSERT_FALSE(choices.empty());
    EXPECT_EQ(choices.front().code, kEnglishLanguage);
    EXPECT_EQ(choices.front().name, "English");
    std::vector<std::string> codes;
    std::set<std::string> names;
    for (const LanguageChoice& choice : choices) {
        codes.push_back(choice.code);
        names.insert(choice.name);
        LanguageTable table;
        load_language(table, choice.code, kLocale);
        EXPECT_EQ(table.text("Preferences", "Language Name"), choice.name);
        EXPECT_EQ(table.choices().size(), choices.size());
    }
    EXPECT_EQ(names.size(), choices.size());
    codes.erase(codes.begin());
    EXPECT_EQ(codes, shipped_languages());
}

TEST(TranslationsTest, OnlyACatalogueMadeFromTheCurrentEnglishTextTranslatesIt) {
    const CatalogueEntries entries = {
        {catalogue_original("Menu", "File", "File"), "Datei"},
        {catalogue_original("Menu", "Edit", "Edit the file"), "Bearbeiten"}, // stale
        {catalogue_original("Menu", "Exit", "Exit"), ""},                    // untranslated
        {catalogue_original("Msg", "Progress", "(%s1%/%s2%)"), "[%s1% / %s2%]"},
    };
    LanguageTable table;
    load_translated(table, entries);
    EXPECT_EQ(table.text("menu", "file"), "Datei");
    EXPECT_EQ(table.text("Menu", "Edit"), "Edit");
    EXPECT_EQ(table.text("Menu", "Exit"), "Exit");
    EXPECT_EQ(substitute(table.text("Msg", "Progress"), "3", "10"), "[3 / 10]");
    LanguageTable english;
    english.load_builtin();
    EXPECT_EQ(table.entry_count(), english.entry_count());
}

TEST(TranslationsTest, TheSettingAndTheLocaleChooseAnInstalledCatalogue) {
    struct Case {
        const char* setting;
        const char* locale;
        const char* chosen;
    };
    const std::vector<std::string> codes = {"en", "de", "fr", "pt_BR", "zh_CN"};
    const Case cases[] = {
        {"auto", "de_DE.UTF-8", "de"},
        {"auto", "de", "de"},
        {"auto", "pt_BR.UTF-8", "pt_BR"},
        {"auto", "pt_PT.UTF-8", "en"},
        {"auto", "zh_CN.GB18030", "zh_CN"},
        {"auto", "fr_CA.UTF-8@euro", "fr"},
        {"auto", "C", "en"},
        {"auto", "POSIX", "en"},
        {"auto", "", "en"},
        {"auto", "ja_JP.UTF-8", "en"},
        {"fr", "de_DE.UTF-8", "fr"},
        {"en", "de_DE.UTF-8", "en"},
        {"xx", "de_DE.UTF-8", "en"},
        {"", "de_DE.UTF-8", "en"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(resolve_language(c.setting, c.locale, codes), c.chosen)
            << c.setting << " " << c.locale;
    }
}

// A catalogue of two entries in either byte order, as msgfmt lays it out.
std::string catalogue_bytes(bool big_endian) {
    const std::string originals[] = {"", "Menu|File\x04"
                                         "File"};
    const std::string translations[] = {"Content-Type: text/plain; charset=UTF-8\n", "Datei"};
    std::string out;
    const auto word = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            const int shift = big_endian ? 24 - 8 * i : 8 * i;
            out += static_cast<char>((v >> shift) & 0xff);
        }
    };
    std::uint32_t strings = 28 + 2 * 16;
    word(0x950412de), word(0), word(2), word(28), word(28 + 16), word(0), word(0);
    for (const auto* table : {originals, translations}) {
        for (int i = 0; i < 2; ++i) {
            word(static_cast<std::uint32_t>(table[i].size())), word(strings);
            strings += static_cast<std::uint32_t>(table[i].size() + 1);
        }
    }
    for (const auto* table : {originals, translations}) {
        for (int i = 0; i < 2; ++i) {
            out += table[i];
            out += '\0';
        }
    }
    return out;
}

TEST(TranslationsTest, ACatalogueIsReadInEitherByteOrderAndRefusedWhenBroken) {
    for (bool big : {false, true}) {
        const std::string bytes = catalogue_bytes(big);
        const auto entries = parse_catalogue(bytes);
        ASSERT_TRUE(entries.has_value()) << big;
        EXPECT_EQ(*entries, (CatalogueEntries{{"Menu|File\x04"
                                               "File",
                                               "Datei"}}));
        // Every shorter file cuts a table or a string.
        for (std::size_t size = 0; size < bytes.size(); ++size) {
            EXPECT_FALSE(parse_catalogue(bytes.substr(0, size)).has_value()) << size;
        }
        std::string wrong = bytes;
        wrong[0] ^= 1;
        EXPECT_FALSE(parse_catalogue(wrong).has_value());
    }
}

} // namespace
} // namespace pixlane
