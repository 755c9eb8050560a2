// The update check without a window: the request, the answers of a local
// server, the time bound and the start-up interval.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/http.h"
#include "support/loopback_server.h"
#include "ui/update_logic.h"

namespace pixlane {
namespace {

using test::LoopbackServer;

std::string update_url(const LoopbackServer& server) {
    return "http://" + server.host() + "/files/pixlane.dat";
}

TEST(UpdateCheckTest, SendsTheRequestByteForByte) {
    LoopbackServer server(LoopbackServer::ok_reply("280"));
    EXPECT_EQ(check_for_update(update_url(server), "Pixlane 2.8", 5000), UpdateVerdict::NoUpdate);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], "GET /files/pixlane.dat HTTP/1.0\r\n"
                                    "Host: 127.0.0.1\r\n"
                                    "Accept: */*\r\n"
                                    "User-Agent: Pixlane 2.8\r\n"
                                    "Connection: close\r\n\r\n");
}

TEST(UpdateCheckTest, TheBodyDecides) {
    const std::string padding(5000, 'x');
    struct Case {
        std::string reply;
        UpdateVerdict verdict;
    };
    const Case cases[] = {
        {LoopbackServer::ok_reply("280"), UpdateVerdict::NoUpdate},
        {LoopbackServer::ok_reply("281"), UpdateVerdict::NewVersion},
        {LoopbackServer::ok_reply("  290 and more text"), UpdateVerdict::NewVersion},
        {LoopbackServer::ok_reply("2.9"), UpdateVerdict::ConnectionProblem},
        {LoopbackServer::ok_reply("28"), UpdateVerdict::ConnectionProblem},
        {LoopbackServer::ok_reply(""), UpdateVerdict::ConnectionProblem},
        {LoopbackServer::ok_reply("new"), UpdateVerdict::ConnectionProblem},
        {"HTTP/1.0 404 Not Found\r\n\r\n299", UpdateVerdict::ConnectionProblem},
        {"HTTP/1.1 200 OK\r\n\r\n299", UpdateVerdict::NewVersion},
        {"299", UpdateVerdict::ConnectionProblem}, // no status line
        // 5 KB, more than one read: the start is never overwritten.
        {"HTTP/1.0 200 OK\r\nX-Padding: " + padding + "\r\n\r\n281", UpdateVerdict::NewVersion},
        {LoopbackServer::ok_reply("281\n" + padding), UpdateVerdict::NewVersion},
    };
    for (const auto& c : cases) {
        LoopbackServer server(c.reply);
        EXPECT_EQ(check_for_update(update_url(server), "Pixlane 2.8", 5000), c.verdict)
            << c.reply.substr(0, 60);
    }
}

TEST(UpdateCheckTest, SilenceEndsAtTheLimitNotBefore) {
    LoopbackServer server("", true);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(check_for_update(update_url(server), "Pixlane 2.8", 400),
              UpdateVerdict::ConnectionProblem);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_GE(ms, 400);
    EXPECT_LT(ms, 2000);

    // A cancel ends the wait at once.
    std::atomic<bool> cancel{true};
    const auto again = std::chrono::steady_clock::now();
    EXPECT_EQ(check_for_update(update_url(server), "Pixlane 2.8", 5000, &cancel),
              UpdateVerdict::ConnectionProblem);
    EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::seconds(1));
}

TEST(UpdateCheckTest, NoServerIsAConnectionProblem) {
    int port = 0;
    {
        LoopbackServer gone("");
        port = gone.port();
    }
    EXPECT_EQ(check_for_update("http://127.0.0.1:" + std::to_string(port) + "/x", "a", 2000),
              UpdateVerdict::ConnectionProblem);
    EXPECT_EQ(check_for_update("", "a", 2000), UpdateVerdict::ConnectionProblem);
}

TEST(UpdateCheckTest, UrlsSplitIntoHostPathAndPort) {
    using platform::HttpTarget;
    struct Case {
        const char* url;
        std::optional<HttpTarget> target;
    };
    const Case cases[] = {
        {"http://www.tarnwell.example/files/pixlane.dat",
         HttpTarget{"www.tarnwell.example", "/files/pixlane.dat", 80}},
        {"https://host:8080", HttpTarget{"host", "/", 8080}},
        {"host/a/b?c", HttpTarget{"host", "/a/b?c", 80}},
        {"http://[::1]:99/x", HttpTarget{"::1", "/x", 99}},
        {"", std::nullopt},
        {"http:///path", std::nullopt},
        {"http://host:0/", std::nullopt},
        {"http://host:70000/", std::nullopt},
        {"http://host:8o/", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::split_url(c.url), c.target) << c.url;
    }
}

TEST(UpdateCheckTest, BodyHeadRule) {
    const struct {
        std::string response;
        const char* head;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\n  290 more", "290"},
        {"HTTP/1.0 200 OK\r\n\r\n\r\n 28", "28"},
        {"HTTP/1.0 200 OK\r\n\r\n281\r\n\r\nlater", "281"},
        {std::string("HTTP/1.0 200 OK\r\n\r\n2\0"
                     "99",
                     23),
         "2"},
        {"HTTP/1.0 200 OK\r\n281", ""},
        {"HTTP/1.0 2000 OK\r\n\r\n281", ""},
        {"HTTP/2 200\r\n\r\n281", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(update_body_head(c.response), c.head) << c.response;
    }
    EXPECT_EQ(update_version_number("281"), 281);
    for (const char* refused : {"2.9", "x28", "28", ""}) {
        EXPECT_EQ(update_version_number(refused), 0) << refused;
    }
}

TEST(UpdateCheckTest, TheOfferWaitsAFullIntervalStrictly) {
    constexpr Date kDay = 24 * 60 * 60;
    const Date last = 1'700'000'000;
    struct Case {
        int range;
        Date now;
        bool due;
    };
    const Case cases[] = {
        {0, last + kDay, false},          {0, last + kDay + 1, true},
        {1, last + 7 * kDay, false},      {1, last + 7 * kDay + 1, true},
        {2, last + 30 * kDay, false},     {3, last + 90 * kDay + 1, true},
        {4, last + 180 * kDay, false},    {4, last + 180 * kDay + 1, true},
        {5, last + 400 * kDay, false},    {17, last + 30 * kDay, false},
        {-1, last + 30 * kDay + 1, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(update_offer_due(c.now, last, c.range), c.due) << c.range << " " << c.now - last;
    }
    // The sum of a late date and the interval does not wrap.
    EXPECT_FALSE(update_offer_due(2'147'483'000, 2'147'483'000, 4));
}

TEST(UpdateCheckTest, TheOfferResetsTheDateWhateverTheAnswer) {
    constexpr Date kWeek = 7 * 24 * 60 * 60;
    struct Case {
        Date now_after_last;
        bool answer;
        bool asked;
        bool runs;
    };
    const Case cases[] = {
        {kWeek, true, false, false},
        {kWeek + 1, false, true, false},
        {kWeek + 1, true, true, true},
    };
    for (const auto& c : cases) {
        Settings s;
        s.update_range = 1;
        s.update_date = 1'000'000;
        const Date now = s.update_date + c.now_after_last;
        bool asked = false;
        EXPECT_EQ(offer_update_check(s, now, [&] { return asked = true, c.answer; }), c.runs);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(s.update_date, c.asked ? now : 1'000'000);
    }
}

} // namespace
} // namespace pixlane
