#!/usr/bin/env bash
# horasync against Debian's chrony (chronyd -x) in a private namespace, under Wine:
#  - a normal run: two requests, the second reply used, the clock set (test build), the report
#    verified "ok" by the stand-in operator server, the trace points in order, the end by itself;
#  - chrony skewed by +2 h, -3 min and +1 day 30 s: the time set is the host's UTC + skew within
#    5 ms, its date the server's (each skew 3 h further when the server's time would lie in the 23
#    or 0 o'clock hour of UTC+8, as the normal run's too);
#  - server time in the 23 and 0 o'clock hours of UTC+8: the end without setting or reporting;
#  - the product build: Wine refuses a large SetSystemTime (skewed server: no report) and accepts
#    one within 0.5 s (unskewed: report; win32 and, when built, win64, or only win64 where no
#    32-bit program runs; in the 23 and 0 o'clock hours of UTC+8 the end without setting instead).
# Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/horasync.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/horasync.bash"
hs_begin exchange

# ---- A normal run ---------------------------------------------------------------------------------
NORMAL_SKEW=$(hs_safe_skew 0)
hs_chrony "$NORMAL_SKEW"
hs_operator
hs_prepare normal
hs_run normal "$HS_OPERATOR"
server=$(hs_server_of_run)
hs_normal_trace "$server" >"$HS_WORK/expected-normal.txt"
e2e_say "normal run: server $server, ${HS_MS} ms under Wine, $(hs_events)"
e2e_check "normal: ended by itself" hs_ended
e2e_check "normal: one of the five servers chosen" bash -c "printf '%s\n' ${HS_SERVERS[*]} | grep -qx '$server'"
e2e_check "normal: trace points in the order of the exchange" hs_trace_matches "$HS_WORK/expected-normal.txt"
e2e_check "normal: two requests, two replies, then the end" \
  test "$(hs_event_field requests) $(hs_event_field arrivals) $(hs_event_field ended)" = "2 2 True"
e2e_check "normal: clock set to the server's time (host UTC + $NORMAL_SKEW s) within 5 ms" hs_clock_within "$NORMAL_SKEW" 5
e2e_check "normal: the report received and verified ok" hs_report_ok 1
e2e_check "normal: the report carries the server's time" hs_report_skew_is "$NORMAL_SKEW"

# ---- Skewed servers ---------------------------------------------------------------------------------
for wanted in 7200 -180 86430; do
  skew=$(hs_safe_skew "$wanted")
  hs_chrony "$skew"
  hs_operator
  hs_prepare "skew$skew"
  hs_run "skew$skew" "$HS_OPERATOR"
  e2e_say "skew $skew s: ${HS_MS} ms, $(hs_events)"
  e2e_check "skew $skew s: time set = host UTC + skew within 5 ms, the server's date" hs_clock_within "$skew" 5
  e2e_check "skew $skew s: reported, verified ok" hs_report_ok 1
  e2e_check "skew $skew s: the report carries the server's time" hs_report_skew_is "$skew"
done

# ---- Server time in the 23 and 0 o'clock hours of UTC+8 ------------------------------------------
now=$(date -u +%s)
midnight_utc=$((now - now % 86400))
for hour in 23 0; do
  # hh:30 in UTC+8 is (hh - 8):30 UTC, on the same day for 23 and on the next for 0.
  target=$((midnight_utc + ((hour + 16) % 24) * 3600 + 1800))
  ((hour == 0)) && target=$((target + 86400))
  skew=$((target - now))
  hs_chrony "$skew"
  hs_operator
  hs_prepare "hour$hour"
  hs_run "hour$hour" "$HS_OPERATOR"
  e2e_check "$hour o'clock: ended by itself" hs_ended
  e2e_check "$hour o'clock: the clock is not set" hs_never_set
  e2e_check "$hour o'clock: no report" hs_reports_are 0
  e2e_check "$hour o'clock: the trace ends at the used reply" hs_last_trace_is $'2\t48'
done

# ---- The product build: Wine's SetSystemTime decides ----------------------------------------------
hs_chrony "$(hs_safe_skew 7200)"
hs_operator
hs_prepare product-skewed "$HS_PRODUCT_EXE"
hs_run product-skewed "$HS_OPERATOR"
e2e_check "product, skewed server: ended by itself" hs_ended
e2e_check "product, skewed server: SetSystemTime refused, no report" hs_reports_are 0
e2e_check "product, skewed server: the trace ends in rightime" hs_last_trace_is $'3\trightime'

hs_chrony 0
hs_operator
hs_prepare product "$HS_PRODUCT_EXE"
# Only a server within 0.5 s of the host lets Wine set the clock, so this one cannot move out of the
# 23 and 0 o'clock hours: there the end without a report is right; a run across 23:00 or 01:00 may
# end either way.
hs_midnight_hours 0 0 && before=in || before=out
hs_run product "$HS_OPERATOR"
hs_midnight_hours 0 0 && after=in || after=out
e2e_check "product, unskewed server: ended by itself" hs_ended
if [[ $before$after == inin ]]; then
  e2e_check "product, unskewed server, 23 or 0 o'clock: no report" hs_reports_are 0
  e2e_check "product, unskewed server, 23 or 0 o'clock: the trace ends at the used reply" hs_last_trace_is $'2\t48'
elif [[ $before$after == outout ]]; then
  e2e_check "product, unskewed server: SetSystemTime done, report verified ok" hs_report_ok 1
  e2e_check "product, unskewed server: the answer traced" hs_answered
else
  e2e_say "product, unskewed server: the run crossed 23:00 or 01:00 in UTC+8; either end is right"
fi
if [[ $E2E_ARCH == win32 && -f $E2E_ROOT/dist/win64/horasync.exe ]] && ! hs_midnight_hours 0 60; then
  hs_operator
  hs_prepare product64 "$E2E_ROOT/dist/win64/horasync.exe"
  hs_run product64 "$HS_OPERATOR"
  e2e_check "product win64, unskewed server: report verified ok" hs_report_ok 1
fi

e2e_finish
