// The fuzzing corpus replayed through the harnesses' own entry functions:
// the seeds, and every input that ever crashed or hung a harness.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/platform.h"
#include "support/test_support.h"
#include "targets.h"

namespace pixlane {
namespace {

// An input that once hung a harness must now be read in far less than the
// fuzzer's own time-out.
constexpr double kSecondsPerInput = 10;

class FuzzCorpusTest : public ::testing::TestWithParam<fuzz::NamedTarget> {};

TEST_P(FuzzCorpusTest, EveryInputPassesItsHarness) {
    const std::string folder =
        std::string(PIXLANE_SOURCE_DIR) + "/fuzz/corpus/" + std::string(GetParam().name) + "/";
    const auto files = platform::list_folder(folder);
    EXPECT_FALSE(files.empty()) << folder;
    for (const auto& file : files) {
        SCOPED_TRACE(folder + file.name);
        const std::string input = test::read_file(folder + file.name);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(GetParam().run(input), "");
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took.count(), kSecondsPerInput);
    }
}

INSTANTIATE_TEST_SUITE_P(Harnesses, FuzzCorpusTest, ::testing::ValuesIn(fuzz::targets()),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace pixlane
