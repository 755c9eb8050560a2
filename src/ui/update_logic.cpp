#include "ui/update_logic.h"

#include <cstdint>

#include "base/product.h"
#include "platform/http.h"

namespace pixlane {
namespace {

constexpr int kDaysByRange[] = {1, 7, 30, 90, 180};
constexpr int kNeverRange = 5;
constexpr int kOtherRangeDays = 30;
constexpr std::int64_t kSecondsPerDay = 24 * 60 * 60;
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::size_t kHeadLength = 3;

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

} // namespace

std::optional<int> update_interval_days(int update_range) {
    if (update_range == kNeverRange) {
        return std::nullopt;
    }
    if (update_range >= 0 && update_range < static_cast<int>(std::size(kDaysByRange))) {
        return kDaysByRange[update_range];
    }
    return kOtherRangeDays;
}

bool update_offer_due(Date now, Date last, int update_range) {
    const auto days = update_interval_days(update_range);
    return days && static_cast<std::int64_t>(now) > last + *days * kSecondsPerDay;
}

bool offer_update_check(Settings& s, Date now, const std::function<bool()>& ask) {
    if (!update_offer_due(now, s.update_date, s.update_range)) {
        return false;
    }
    const bool yes = ask();
    s.update_date = now;
    return yes;
}

std::string update_file_url() { return "http://" + vendor_host() + "/files/pixlane.dat"; }

std::string product_page_url() { return vendor_url("/pixlane/"); }

std::string update_body_head(std::string_view response) {
    response = response.substr(0, response.find('\0'));
    // Only a successful answer has the version in its body: an error
    // page's text is no version.
    const bool ok =
        (response.starts_with("HTTP/1.0 200") || response.starts_with("HTTP/1.1 200")) &&
        response.size() > 12 && (response[12] == ' ' || response[12] == '\r');
    if (!ok) {
        return {};
    }
    const auto start = response.find(kHeaderEnd);
    if (start == std::string_view::npos) {
        return {};
    }
    std::string_view body = response.substr(start + kHeaderEnd.size());
    body = body.substr(0, body.find(kHeaderEnd));
    while (!body.empty() && blank(body.front())) {
        body.remove_prefix(1);
    }
    while (!body.empty() && blank(body.back())) {
        body.remove_suffix(1);
    }
    return std::string(body.substr(0, kHeadLength));
}

int update_version_number(std::string_view head) {
    if (head.size() != kHeadLength) {
        return 0;
    }
    int number = 0;
    for (const char c : head) {
        if (c < '0' || c > '9') {
            return 0;
        }
        number = number * 10 + (c - '0');
    }
    return number;
}

UpdateVerdict update_verdict(int version_number) {
    if (version_number == 0) {
        return UpdateVerdict::ConnectionProblem;
    }
    return version_number > kVersionNumber ? UpdateVerdict::NewVersion : UpdateVerdict::NoUpdate;
}

UpdateVerdict check_for_update(std::string_view url, std::string_view agent, int timeout_ms,
                               const std::atomic<bool>* cancel) {
    const auto target = platform::split_url(url);
    if (!target) {
        return UpdateVerdict::ConnectionProblem;
    }
    platform::HttpLimits limits;
    limits.timeout_ms = timeout_ms;
    limits.cancel = cancel;
    const auto response =
        platform::http_exchange(*target, platform::http_request(*target, agent), limits);
    if (!response) {
        return UpdateVerdict::ConnectionProblem;
    }
    return update_verdict(update_version_number(update_body_head(*response)));
}

} // namespace pixlane
