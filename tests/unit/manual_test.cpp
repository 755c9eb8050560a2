// The user manual in docs/manual: it names every option the program takes
// and every mask token, the help project lists every page, and no link of
// a page leads nowhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "cli/reference.h"
#include "settings/keys.h"
#include "support/test_support.h"
#include "util/strings.h"

namespace pixlane {
namespace {

const std::string kManual = std::string(PIXLANE_SOURCE_DIR) + "/docs/manual/";

std::string page(const std::string& name) { return test::read_file(kManual + name); }

TEST(ManualTest, NamesEveryOptionAndToken) {
    const std::string options = page("options.html");
    for (const auto& row : setting_keys()) {
        if (!row.option.empty()) {
            EXPECT_NE(options.find("<code>" + to_lower(row.option)), std::string::npos)
                << row.option;
        }
    }
    const std::string console = page("console.html");
    for (const auto& group : cli::option_reference()) {
        for (const auto& doc :
             group.is_settings_group ? std::vector<cli::OptionDoc>{} : group.options) {
            EXPECT_NE(console.find("<code>" + doc.long_name), std::string::npos) << doc.long_name;
        }
    }
    EXPECT_NE(page("profiles.html").find("--WM-SOLID-OPACITY"), std::string::npos);
    const std::string mask = page("filename-mask.html");
    for (const char* token :
         {"%filename%", "%filename[u]%", "%filename[l]%", "%filename[t]%", "%ext%",
          "%ext[u]%",   "%ext[t]%",      "%yyyy%",        "%mm%",          "%dd%",
          "%hh%",       "%ii%",          "%ss%",          "%bpp%",         "%width%",
          "%height%",   "%rnd%",         "%n%",           "%delay%",       "%loop%"}) {
        EXPECT_NE(mask.find(std::string("<code>") + token + "</code>"), std::string::npos) << token;
    }
}

TEST(ManualTest, TheProjectListsEveryPageAndEveryLinkArrives) {
    const std::string project = page("pixlane.hhp");
    std::set<std::string> pages;
    for (const auto& entry : std::filesystem::directory_iterator(kManual)) {
        if (entry.path().extension() == ".html") {
            pages.insert(entry.path().filename().string());
        }
    }
    ASSERT_GE(pages.size(), 8u);
    for (const auto& name : pages) {
        EXPECT_NE(project.find("\n" + name + "\n"), std::string::npos) << name;
    }
    for (const auto& name : [&] {
             auto all = pages;
             all.insert("toc.hhc");
             return all;
         }()) {
        const std::string text = page(name);
        // Every href="…" and value="…" that names a file of ours (no scheme).
        for (const std::string attribute : {"href=\"", "value=\""}) {
            for (auto at = text.find(attribute); at != std::string::npos;
                 at = text.find(attribute, at + 1)) {
                const auto start = at + attribute.size();
                const std::string value = text.substr(start, text.find('"', start) - start);
                const auto hash = value.find('#');
                const std::string target = value.substr(0, hash);
                if (value.find(':') != std::string::npos || target.find('.') == std::string::npos) {
                    continue; // a web address, or a TOC entry's name rather than a file
                }
                ASSERT_TRUE(std::filesystem::exists(kManual + target)) << name << " -> " << target;
                if (hash != std::string::npos) {
                    const std::string anchor = value.substr(hash + 1);
                    EXPECT_NE(page(target).find("id=\"" + anchor + "\""), std::string::npos)
                        << name << " -> " << target << "#" << anchor;
                }
            }
        }
    }
}

} // namespace
} // namespace pixlane
