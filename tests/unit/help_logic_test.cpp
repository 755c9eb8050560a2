// The small windows' and links' decisions, without a display.
#include <gtest/gtest.h>

#include <set>

#include "base/product.h"
#include "platform/platform.h"
#include "support/loopback_server.h"
#include "support/test_support.h"
#include "ui/help_logic.h"
#include "ui/preferences_logic.h"

namespace pixlane {
namespace {

TEST(HelpLinksTest, FindAConverterNames) {
    struct Case {
        const char* from;
        const char* to;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {".PNG", "Jpeg Image", "/find/png-jpegimage/"},
        {"abcdefghijklmnop", "x", "/find/abcdefghijkl-x/"},
        {"...!!", "png", std::nullopt},
        {"png", "", std::nullopt},
        // Twelve characters, not twelve bytes: ten two-byte letters, then "ab".
        {"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9abc", "GIF-87a",
         "/find/ab-gif87a/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(converter_search_path(c.from, c.to), c.path) << c.from << " / " << c.to;
    }
}

TEST(HelpLinksTest, MailtoAndAddresses) {
    EXPECT_EQ(feedback_mailto("support@tarnwell.example", "Pixlane 2.8"),
              "mailto:support@tarnwell.example?subject=Pixlane 2.8 Feedback");
    EXPECT_EQ(support_mailto("a@b"), "mailto:a@b");
    ::setenv("PIXLANE_VENDOR_HOST", "127.0.0.1:8080", 1);
    EXPECT_EQ(homepage_url(), "https://127.0.0.1:8080/pixlane/");
    EXPECT_EQ(uninstall_url(), "https://127.0.0.1:8080/pixlane/uninstall.html");
    ::unsetenv("PIXLANE_VENDOR_HOST");
    EXPECT_EQ(vendor_root_url(), "https://www.tarnwell.example");
}

TEST(HelpLinksTest, TheManualIsFoundBesideTheProgramOrInstalled) {
    const std::string bin = "/opt/p/bin/";
    struct Case {
        std::set<std::string> present;
        std::string target;
    };
    const Case cases[] = {
        // The browser's manual first: a desktop seldom has a viewer for the other.
        {{bin + "pixlane.chm", bin + "manual/index.html"}, bin + "manual/index.html"},
        {{bin + "../share/doc/pixlane/pixlane.chm", bin + "../share/doc/pixlane/manual/index.html"},
         bin + "../share/doc/pixlane/manual/index.html"},
        {{bin + "../share/pixlane/pixlane.chm"}, bin + "../share/pixlane/pixlane.chm"},
        {{}, "pixlane.chm"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(manual_target(bin, [&](const std::string& p) { return c.present.count(p) > 0; }),
                  c.target);
    }
    // A Preferences page opens its part of the manual, which exists.
    const std::string docs = std::string(PIXLANE_SOURCE_DIR) + "/docs/";
    for (const auto page : kPreferencesPages) {
        const std::string target = manual_target(
            docs, [](const std::string& p) { return platform::is_plain_file(p); },
            manual_page_of(page));
        const std::string anchor = target.substr(target.find('#') + 1);
        EXPECT_NE(test::read_file(target.substr(0, target.find('#'))).find("id=\"" + anchor + "\""),
                  std::string::npos)
            << page;
    }
}

TEST(HelpLinksTest, ShellOpenHandsTheTargetOverWhole) {
    test::ShellOpenRecorder recorder;
    platform::shell_open("mailto:a@b?subject=Pixlane 2.8 Feedback");
    platform::shell_open("$(false) ; & *");
    const auto targets = recorder.targets(2);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(std::set<std::string>(targets.begin(), targets.end()),
              (std::set<std::string>{"mailto:a@b?subject=Pixlane 2.8 Feedback", "$(false) ; & *"}));
}

TEST(ScreenshotRulesTest, FolderSamplesAndSizes) {
    EXPECT_EQ(screenshot_folder("", "/opt/p/bin/"), "/opt/p/bin/");
    EXPECT_EQ(screenshot_folder("/tmp/shots", "/opt/p/bin/"), "/tmp/shots/");
    const auto samples = screenshot_samples([](std::size_t n) { return n + 3; });
    ASSERT_EQ(samples.size(), 7u);
    for (const auto& path : samples) {
        EXPECT_EQ(platform::extension_of(path), "gif") << path;
    }
    const struct {
        PictureSize picture;
        PictureSize thumbnail;
    } cases[] = {
        {{526, 372}, {180, 127}}, {{180, 180}, {180, 180}}, {{360, 101}, {180, 51}},
        {{1000, 1}, {180, 1}},    {{0, 0}, {180, 1}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(thumbnail_size(c.picture), c.thumbnail)
            << c.picture.width << "x" << c.picture.height;
    }
    EXPECT_EQ(screenshot_text_position({526, 372}, {150, 13}), (Point{341, 346}));
}

} // namespace
} // namespace pixlane
