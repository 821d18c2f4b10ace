#!/usr/bin/env bash
# horasync on Linux in a private namespace, without Wine; every run without CAP_SYS_TIME (dropped
# from its bounding set), the exchange and the setting proven with the test build (linux-testclock):
#  - chrony (chronyd -x): two requests, the second reply used, the time set (recorded) the server's
#    within 5 ms, the report verified ok by the stand-in operator server and sent as the Windows
#    program sends it (User-Agent); the trace points in order, GBK with CR LF, in the user's state
#    folder under the appid of the operator's host;
#  - chrony 2 hours off: the time set is host UTC + 2 h within 5 ms, the report carries it;
#  - an operator that never answers the report: an empty answer traced, the end within its time-out;
#  - a silent server (it takes every request and answers none): six requests, the end at tick 6,
#    nothing set or reported;
#  - the product (dist/linux/horasync) without CAP_SYS_TIME: the end at once, before any request,
#    nothing traced.
# Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/horasync.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/horasync.bash"
[[ -x $HS_LINUX_PRODUCT ]] || { e2e_say "dist/linux/horasync missing: cmake --build --preset linux"; exit 1; }
hs_begin linux linux

# The report's User-Agent: the Windows program's, as the operator's server knows it.
report_agent_is_windows() {
  python3 - "$HS_WORK/operator.log" <<'EOF'
import json, sys
entries = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8") if l.strip()]
agents = [v for e in entries if e.get("endpoint") == "report" for k, v in e["headers"] if k.lower() == "user-agent"]
sys.exit(0 if agents == ["Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)"] else 1)
EOF
}
requests_received() { grep -c . "$HS_WORK/responder-silent.log" || true; }

# ---- A normal run ---------------------------------------------------------------------------------
NORMAL_SKEW=$(hs_safe_skew 0)
hs_chrony "$NORMAL_SKEW"
hs_operator
hs_prepare normal
hs_run normal "$HS_OPERATOR"
server=$(hs_server_of_run || true)   # none when the trace is missing: the checks below say so
hs_normal_trace "$server" >"$HS_WORK/expected-normal.txt"
e2e_say "normal run: server $server, ${HS_MS} ms, $(hs_events)"
e2e_check "normal: ended by itself" hs_ended
e2e_check "normal: the trace in the state folder under com.vemr.op-example-com" \
  test "$(hs_trace_file)" = "$HS_DIR/state/com.vemr.op-example-com/TavinDebug.txt"
e2e_check "normal: trace points in the order of the exchange" hs_trace_matches "$HS_WORK/expected-normal.txt"
e2e_check "normal: every trace line ends in CR LF" \
  test "$(grep -c $'\r$' "$(hs_trace_file)")" = "$(wc -l <"$HS_WORK/expected-normal.txt")"
e2e_check "normal: two requests, two replies, then the end" \
  test "$(hs_event_field requests) $(hs_event_field arrivals) $(hs_event_field ended)" = "2 2 True"
e2e_check "normal: clock set to the server's time (host UTC + $NORMAL_SKEW s) within 5 ms" hs_clock_within "$NORMAL_SKEW" 5
e2e_check "normal: the report received and verified ok" hs_report_ok 1
e2e_check "normal: the report carries the server's time" hs_report_skew_is "$NORMAL_SKEW"
e2e_check "normal: the report names itself as the Windows program does" report_agent_is_windows

# ---- A server hours off ---------------------------------------------------------------------------
skew=$(hs_safe_skew 7200)
hs_chrony "$skew"
hs_operator
hs_prepare hours-off
hs_run hours-off "$HS_OPERATOR"
e2e_say "server $skew s off: ${HS_MS} ms, $(hs_events)"
e2e_check "$skew s off: time set = host UTC + skew within 5 ms, the server's date" hs_clock_within "$skew" 5
e2e_check "$skew s off: reported, verified ok, carrying the server's time" \
  eval 'hs_report_ok 1 && hs_report_skew_is "$skew"'

# ---- An operator that takes the report and never answers -----------------------------------------
hs_operator --delay 30
hs_prepare silent-operator
hs_run silent-operator "$HS_OPERATOR"
e2e_say "silent operator: ${HS_MS} ms, $(hs_events)"
e2e_check "silent operator: the report reached it" hs_reports_are 1
e2e_check "silent operator: an empty answer traced" hs_last_trace_is $'\t'"$HS_OPERATOR"
e2e_check "silent operator: ended within the report's time-out" hs_end_between 0 12000
hs_operator_stop   # its delayed answer would hold the port

# ---- A silent server ------------------------------------------------------------------------------
hs_responder silent
hs_operator
hs_prepare silent
hs_run silent "$HS_OPERATOR"
e2e_say "silent server: ${HS_MS} ms, $(hs_events)"
e2e_check "silent: ended by itself" hs_ended
e2e_check "silent: six requests sent, six received" test "$(hs_event_field requests) $(requests_received)" = "6 6"
e2e_check "silent: the end at tick 6" hs_end_between 5700 7000
e2e_check "silent: clock untouched, no report" eval 'hs_never_set && hs_reports_are 0'

# ---- The product without the right to set the clock ----------------------------------------------
hs_responder silent
hs_prepare product "$HS_LINUX_PRODUCT"
hs_run product "$HS_OPERATOR"
e2e_say "product without CAP_SYS_TIME: ${HS_MS} ms"
e2e_check "product, no right: ended by itself at once" eval '[[ $HS_RC == 0 ]] && ((HS_MS < 3000))'
e2e_check "product, no right: no request" test "$(requests_received)" = 0
e2e_check "product, no right: nothing traced" test ! -e "$(hs_trace_file)"

e2e_finish
