// mymd's checks of one request as the operator's server logged it: the client's launch request and
// horasync's time report, verified with the routines that build them. The verdict is "ok" with the
// values found, or "bad: " and the first part that does not match, in the words of the stand-in
// operator server (tools/peers/operator_server.py), whose own verification must agree.
#pragma once
#include "client/launch_request.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mymd {

// How far a request's time may lie from the server's clock.
struct ClockLimit {
    vemr::LocalTime serverNow;  // the server's clock in the zone of the request's time
    int64_t maxSkew = 0;        // seconds either way
};

struct Verdict {
    bool ok = false;
    std::wstring text;  // its lines, each ending in LF
};

// `requestLine` as servers log it: "GET /language.asp?... HTTP/1.1", also quoted as in the common log
// format, the method and protocol optional, the target also as "http://host/...". `userAgent` is the
// header's value, or the whole header line.
Verdict CheckLaunch(std::wstring_view host, std::wstring_view requestLine, std::wstring_view userAgent,
                    const std::optional<ClockLimit>& limit);
Verdict CheckReport(std::wstring_view requestLine, const std::optional<ClockLimit>& limit);

// The date and time `text` writes in `pattern`, where '9' stands for a digit and every other
// character for itself ("99999999999999", "9999-99-99 99:99:99"): year, month, day, hour, minute,
// second in that order. Nothing when the text has another form; the fields may lie out of range.
std::optional<vemr::LocalTime> ReadDateTime(std::wstring_view text, std::wstring_view pattern);

// True for a date and time of the calendar, years 1 to 9999.
bool IsValidDateTime(const vemr::LocalTime& t);

} // namespace mymd
