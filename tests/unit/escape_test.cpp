// Names as the console prints them: nothing in a name acts on a terminal or
// splits a line, and different names never print the same.
#include "util/escape.h"

#include <gtest/gtest.h>

#include <string>

namespace pixlane {
namespace {

using namespace std::string_literals;

TEST(EscapeTest, ControlBytesBackslashesAndStrayBytesAreWrittenAsEscapes) {
    struct Case {
        const char* what;
        std::string name;
        std::string shown;
    };
    const Case cases[] = {
        {"plain", "/in/a b [1].gif", "/in/a b [1].gif"},
        {"a backslash", "/in/a\\x1b.gif", "/in/a\\\\x1b.gif"},
        {"a title sequence", "/in/\x1b]0;owned\x07.gif", "/in/\\x1b]0;owned\\a.gif"},
        {"a colour sequence", "\x1b[31mred", "\\x1b[31mred"},
        {"line breaks and a tab", "a\nb\rc\td", "a\\nb\\rc\\td"},
        {"the other C escapes", "\b\v\f", "\\b\\v\\f"},
        {"NUL and the last C0 control", "a\0b\x1f"s, "a\\x00b\\x1f"},
        {"DEL", "a\x7f", "a\\x7f"},
        {"a C1 control (CSI)",
         "a\xC2\x9B"
         "31m",
         "a\\xc2\\x9b31m"},
        {"the first and last C1", "\xC2\x80\xC2\x9F", "\\xc2\\x80\\xc2\\x9f"},
        {"UTF-8 letters stay", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xC2\xA0",
         "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xC2\xA0"},
        {"a Latin-1 byte", "caf\xE9.gif", "caf\\xe9.gif"},
        {"a cut sequence", "\xE2\x82", "\\xe2\\x82"},
        {"an overlong slash", "\xC0\xAF", "\\xc0\\xaf"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(escaped(c.name), c.shown) << c.what;
    }
}

// Names that differ print differently: an escape never reads as a name's
// own characters.
TEST(EscapeTest, DifferentNamesNeverLookAlike) {
    const std::string names[] = {"a\nb", "a\\nb", "a\\\nb", "a\x1b", "a\\x1b", "\xE9", "\\xe9"};
    for (const auto& a : names) {
        for (const auto& b : names) {
            if (a != b) {
                EXPECT_NE(escaped(a), escaped(b)) << a << " / " << b;
            }
        }
    }
}

} // namespace
} // namespace pixlane
