// The decisions of the update check, without a display: when the start-up
// offer is due, the request, how the answer is read, and the fetch itself
// (blocking; the window runs it off its own thread).
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace pixlane {

// Days between start-up offers for an Update Range value: 0..4 give 1, 7,
// 30, 90, 180; 5 is never (nullopt); any other value 30.
std::optional<int> update_interval_days(int update_range);

// True when the start-up offer is due: the range has an interval and `now`
// is later than `last` (Update Date) plus that interval, strictly.
bool update_offer_due(Date now, Date last, int update_range);

// The start-up offer: when it is due, `ask` puts the question and Update
// Date becomes `now` whatever the answer. True when the check is to run
// (the offer was due and the answer was yes).
bool offer_update_check(Settings& s, Date now, const std::function<bool()>& ask);

// The address of the update file on the vendor's server.
std::string update_file_url();
// The product page offered when a newer version exists.
std::string product_page_url();

// The first three characters of the body of `response`: the text up to its
// first zero byte, the part after the first CR LF CR LF (up to a following
// CR LF CR LF), trimmed of blanks, tabs, CRs and LFs at both ends. Empty
// when there is no body or the status line is not "HTTP/1.0 200" or
// "HTTP/1.1 200".
std::string update_body_head(std::string_view response);

// The version number a head names: its three decimal digits; 0 when it is
// anything else.
int update_version_number(std::string_view head);

enum class UpdateVerdict {
    ConnectionProblem, // nothing usable came back
    NewVersion,        // the server names a version above ours
    NoUpdate,          // ours is the latest
};
UpdateVerdict update_verdict(int version_number);

// Fetches `url` with `agent` as the user agent and judges the answer.
// Blocks for at most about `timeout_ms` (a name lookup aside); `cancel`
// (when given) ends it early, as a connection problem.
UpdateVerdict check_for_update(std::string_view url, std::string_view agent, int timeout_ms,
                               const std::atomic<bool>* cancel = nullptr);

} // namespace pixlane
