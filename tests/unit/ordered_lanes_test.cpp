// Items loaded and committed in order whatever the lanes working them.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "util/ordered_lanes.h"

namespace pixlane::test {
namespace {

TEST(OrderedLanesTest, LoadsAndCommitsInOrderOnAnyLanes) {
    struct Case {
        const char* name;
        std::function<int(int asked)> lanes; // by how often it was asked
        int stop_at;                         // the commit that says stop (-1: none)
        int throw_at;                        // the work that throws (-1: none)
    };
    const Case cases[] = {
        {"one lane", [](int) { return 1; }, -1, -1},
        {"three lanes", [](int) { return 3; }, -1, -1},
        {"lanes come and go", [](int asked) { return 1 + asked % 3; }, -1, -1},
        {"a stop", [](int) { return 3; }, 9, -1},
        {"a stop on the first", [](int) { return 2; }, 4, -1},
        {"a throw", [](int) { return 3; }, -1, 12},
    };
    constexpr int kFirst = 4, kLast = 40;
    for (const auto& c : cases) {
        std::vector<int> loaded, committed;
        std::atomic<int> worked{0}, discarded{0};
        int asked = 0;
        OrderedLanes<int, int>::Stages stages;
        stages.load = [&](int i) {
            loaded.push_back(i);
            return i * 10;
        };
        stages.work = [&](int i, int job) {
            if (i == c.throw_at) {
                throw std::runtime_error("work failed");
            }
            ++worked;
            return job + 1;
        };
        stages.commit = [&](int i, int done) {
            EXPECT_EQ(done, i * 10 + 1) << c.name;
            committed.push_back(i);
            return i != c.stop_at;
        };
        stages.discard = [&](int) { ++discarded; };
        stages.lanes = [&] { return c.lanes(asked++); };
        bool threw = false;
        try {
            OrderedLanes<int, int>::run(kFirst, kLast, stages);
        } catch (const std::runtime_error&) {
            threw = true;
        }
        EXPECT_EQ(threw, c.throw_at >= 0) << c.name;
        for (std::size_t k = 0; k < loaded.size(); ++k) {
            EXPECT_EQ(loaded[k], kFirst + static_cast<int>(k)) << c.name;
        }
        for (std::size_t k = 0; k < committed.size(); ++k) {
            EXPECT_EQ(committed[k], kFirst + static_cast<int>(k)) << c.name;
        }
        ASSERT_FALSE(committed.empty()) << c.name;
        if (c.throw_at >= 0) {
            EXPECT_LT(committed.back(), c.throw_at) << c.name;
        } else {
            EXPECT_EQ(committed.back(), c.stop_at >= 0 ? c.stop_at : kLast) << c.name;
            // Every work either reached its commit or was discarded.
            EXPECT_EQ(worked.load(), static_cast<int>(committed.size()) + discarded.load())
                << c.name;
        }
    }
}

} // namespace
} // namespace pixlane::test
