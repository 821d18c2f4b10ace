#!/usr/bin/env bash
# horasync without a usable reply, under Wine in a private namespace (test build, the stand-in
# operator server listening for a report that must not come):
#  - no server at all: six requests a second apart, the end at tick 6;
#  - a responder that answers only the first request: the end at tick 5;
#  - replies from another port, from another address, and of 40 bytes: they reach the socket and
#    are ignored as if they had not arrived, so the run ends at tick 6 as without a server.
# Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/horasync.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/horasync.bash"
hs_begin retries

# Requests left about a second apart (the first reply's immediate request excepted).
gaps_about_a_second() {
  hs_events | python3 -c "
import json, sys
gaps = json.load(sys.stdin)['request_gaps_ms']
sys.exit(0 if gaps and all(850 <= g <= 1500 for g in gaps[int(sys.argv[1]):]) else 1)" "$1"
}
count_trace() { hs_trace | grep -c -x -- "$1" || true; }
arrivals_from() { grep -c "arrival $1" "$HS_DIR/horasync-events.txt" || true; }
responder_counts() { # requests received and answered, from the responder's log
  python3 -c "
import json, sys
entries = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
print(len(entries), sum(1 for e in entries if e['answered'] != 'nothing'))" "$HS_WORK/responder-$1.log"
}

hs_operator

# ---- No server ------------------------------------------------------------------------------------
hs_no_server
hs_prepare none
hs_run none "$HS_OPERATOR"
e2e_say "no server: ${HS_MS} ms, $(hs_events)"
e2e_check "no server: ended by itself" hs_ended
e2e_check "no server: six requests, sent as traced" test "$(hs_event_field requests) $(count_trace $'1\tC')" = "6 6"
e2e_check "no server: a second apart" gaps_about_a_second 0
e2e_check "no server: the end at tick 6" hs_end_between 5700 7000
e2e_check "no server: clock untouched" hs_never_set
e2e_check "no server: no report" hs_reports_are 0

# ---- Only the first request answered ------------------------------------------------------------
hs_responder first-only
hs_prepare first-only
hs_run first-only "$HS_OPERATOR"
e2e_say "first reply only: ${HS_MS} ms, $(hs_events), responder: $(responder_counts first-only)"
e2e_check "first reply only: ended by itself" hs_ended
e2e_check "first reply only: one reply traced, then more requests" test "$(count_trace $'2\t48')" = 1
e2e_check "first reply only: six requests received, one answered" test "$(responder_counts first-only)" = "6 1"
e2e_check "first reply only: retries a second apart" gaps_about_a_second 1
e2e_check "first reply only: the end at tick 5" hs_end_between 4700 5600
e2e_check "first reply only: clock untouched" hs_never_set
e2e_check "first reply only: no report" hs_reports_are 0

# ---- Replies that must be ignored -------------------------------------------------------------------
for mode in wrong-port wrong-address short; do
  case $mode in
    wrong-port) from="127.0.0.1:1123"; size=48 ;;
    wrong-address) from="127.0.0.2:123"; size=48 ;;
    short) from="127.0.0.1:123"; size=40 ;;
  esac
  hs_responder "$mode"
  hs_prepare "$mode"
  hs_run "$mode" "$HS_OPERATOR"
  e2e_say "$mode: ${HS_MS} ms, $(hs_events), responder: $(responder_counts "$mode")"
  e2e_check "$mode: ended by itself" hs_ended
  e2e_check "$mode: every request answered, every answer reached the socket" \
    test "$(responder_counts "$mode") $(arrivals_from "$size bytes from $from")" = "6 6 6"
  e2e_check "$mode: no arrival traced" test "$(hs_trace | grep -cE $'^2\t[0-9]+$' || true)" = 0
  e2e_check "$mode: six requests" test "$(hs_event_field requests)" = 6
  e2e_check "$mode: the end at tick 6" hs_end_between 5700 7000
  e2e_check "$mode: clock untouched" hs_never_set
  e2e_check "$mode: no report" hs_reports_are 0
done

e2e_finish
