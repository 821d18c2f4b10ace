#!/usr/bin/env bash
# horasync under faults, under Wine in a private namespace (test build unless said otherwise):
#  - its trace file held by another program for 3 s (no SNTP server, so the run lasts its six
#    ticks): the lines written meanwhile are lost after their attempts, every line after the
#    release arrives, the run keeps its pace; held for ever with chrony answering (a reply arrives
#    while a line is retrying) and with no server at all: the run still ends, bounded, nothing
#    traced (with chrony: the clock set and reported; without: at tick 6, the clock untouched);
#  - the operator host answering after 3 s (the answer traced) and after 8 s (given up at the
#    report's 5 s time-out, an empty answer traced), and with a body of 10 MB (traced whole, no
#    crash; the next run starts the trace afresh);
#  - an SNTP server answering 48 bytes of garbage or a refusal (stratum 0): every reply dropped, the
#    clock untouched, the end at the last tick; the product build the same;
#  - a server in the year 2035: the test build sets that time, the product build is refused by
#    Wine and reports nothing;
#  - 1,000 datagrams from another port and another address while the exchange runs: ignored, the
#    server's own reply used.
# Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/horasync.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/horasync.bash"
hs_begin fault

FAULT_PIDS=()
fault_cleanup() {
  local pid
  touch "$HS_WORK/release" 2>/dev/null || true
  for pid in "${FAULT_PIDS[@]}"; do e2e_kill "$pid"; done
}
# Our cleanup first, then the library's (which ends the servers, the prefix's wineserver and the
# namespace).
E2E_CLEANUPS+=(fault_cleanup)

# ---- Helpers ------------------------------------------------------------------------------------
# lock_trace RUN MS: the trace file of RUN held open with no sharing, as another program may hold it,
# for MS ms from now (the setup probe's hold); returns once it is held.
lock_trace() {
  local run=$1 ms=$2
  rm -f "$HS_WORK/release" "$HS_WORK/release.running"
  e2e_in wine "$E2E_PROBES/setup_probe.exe" hold "Z:${HS_WORK//\//\\}\\release" "$ms" "C:\\hs\\$run\\TavinDebug.txt" \
    >/dev/null 2>&1 &
  LOCKER_PID=$!
  FAULT_PIDS+=("$LOCKER_PID")
  for _ in $(seq 200); do [[ -e $HS_WORK/release.running ]] && return 0; sleep 0.05; done
  e2e_say "the locker did not take the file"
  return 1
}
# unlock_trace: lets go of the file, waits for the locker to end.
unlock_trace() {
  touch "$HS_WORK/release"
  for _ in $(seq 100); do kill -0 "$LOCKER_PID" 2>/dev/null || break; sleep 0.05; done
  e2e_kill "$LOCKER_PID"
}

# hs_ended, with its end MS_LOW to MS_HIGH after the first request.
ended_between() { hs_ended && hs_end_between "$1" "$2"; }
six_requests_ending_between() { [[ $(hs_event_field requests) == 6 ]] && hs_end_between "$1" "$2"; }
untouched() { hs_never_set && hs_reports_are 0; }
lines() { if [[ -f $HS_DIR/TavinDebug.txt ]]; then hs_trace | wc -l; else echo 0; fi; }
clock_error() { python3 "$E2E_PEERS/sntp_runcheck.py" clock "$HS_DIR/horasync-clock.txt" --skew "${1:-0}" 2>/dev/null |
  python3 -c 'import json, sys; print(json.load(sys.stdin)["error_ms"])'; }
# complete_requests: how many requests the trace holds whole, in the order of hs_request_trace.
complete_requests() {
  hs_request_trace "$(hs_server_of_run_any)" >"$HS_WORK/one-request.txt"
  python3 - "$HS_WORK/one-request.txt" <(hs_trace) <<'EOF'
import sys
want = open(sys.argv[1], encoding="utf-8").read().splitlines()
got = open(sys.argv[2], encoding="utf-8").read().splitlines()
match = lambda w, g: w == g or (w.endswith("\t*") and g.startswith(w[:-1]))
print(sum(1 for i in range(len(got) - len(want) + 1) if all(match(w, g) for w, g in zip(want, got[i:i + len(want)]))))
EOF
}
# The server host of the run, also when its first trace line was lost: from any request's first line.
hs_server_of_run_any() { hs_trace | awk -F'\t' '$1 == "1" && $2 != "B" && $2 != "C" {print $2; exit}'; }

# Runs that need chrony keep its time away from the midnight hours of UTC+8 (no setting there).
SAFE_SKEW=$(hs_safe_skew 0)

hs_operator
hs_wineserver_up

# ---- The trace file held for 3 s ----------------------------------------------------------------------
hs_no_server
hs_prepare lock3s
lock_trace lock3s 3000
hs_run lock3s "$HS_OPERATOR"
unlock_trace
kept=$(lines)
e2e_say "trace held 3 s, no server: ${HS_MS} ms, $(hs_events), $kept of 85 lines traced, $(complete_requests) requests whole"
e2e_check "held 3 s: ended by itself, no crash" hs_ended
e2e_check "held 3 s: six requests, the end at tick 6 as without a server" six_requests_ending_between 5700 7500
e2e_check "held 3 s: the lines written meanwhile are lost" test "$kept" -lt 85
e2e_check "held 3 s: the lines after the release arrive (at least the last three requests whole)" \
  test "$(complete_requests)" -ge 3
e2e_check "held 3 s: the trace ends with a whole request" hs_last_trace_is $'1\tC'

# ---- The trace file held for ever -------------------------------------------------------------------
hs_chrony "$SAFE_SKEW"
hs_operator
hs_prepare lockforever
lock_trace lockforever 120000
hs_run lockforever "$HS_OPERATOR"
error=$(clock_error "$SAFE_SKEW" || echo none)
unlock_trace
e2e_say "trace held for ever, chrony: ${HS_MS} ms, $(hs_events), clock error ${error} ms"
e2e_check "held for ever: ended by itself, no crash (a reply arriving while a line retries)" hs_ended
e2e_check "held for ever: no stack overflow or other crash in Wine's output" hs_no_crash
e2e_check "held for ever: bounded, the end within 10 s of the first request" hs_end_between 0 10000
e2e_check "held for ever: nothing traced" test "$(lines)" = 0
# Every trace line now spends its 1,000 attempts, and the lines between a stamp and its datagram
# (after T1 is taken, before T4 is) shift the offset by part of those attempts: seconds, not hours.
e2e_check "held for ever: the clock set, within 3 s of the server's time" e2e_between "${error/none/99999}" -3000 3000
e2e_check "held for ever: the report verified ok" hs_report_ok

hs_no_server
hs_operator
hs_prepare lockforever-noserver
lock_trace lockforever-noserver 120000
hs_run lockforever-noserver "$HS_OPERATOR"
unlock_trace
e2e_say "trace held for ever, no server: ${HS_MS} ms, $(hs_events)"
e2e_check "held for ever, no server: ended by itself at its last tick, bounded (< 10 s)" ended_between 5000 10000
# Each tick's request traces 14 lines before it is sent; with every line retrying, the next tick is
# handled inside those retries, so fewer requests may leave (1 to 6, by the pace of the retries).
e2e_check "held for ever, no server: the first request sent, six at most" e2e_between "$(hs_event_field requests)" 1 6
e2e_check "held for ever, no server: clock untouched, no report" untouched

# ---- A slow operator host --------------------------------------------------------------------------
hs_chrony "$SAFE_SKEW"
for delay in 3 8; do
  hs_operator --delay "$delay"
  hs_prepare "slow$delay"
  hs_run "slow$delay" "$HS_OPERATOR"
  e2e_say "operator answering after $delay s: ${HS_MS} ms, $(hs_events)"
  e2e_check "answer after $delay s: the request reached the operator, verified ok" hs_report_ok
  e2e_check "answer after $delay s: ended by itself" hs_ended
  if ((delay < 5)); then
    e2e_check "answer after $delay s: the answer traced" hs_answered
    e2e_check "answer after $delay s: the end once it came ($delay to $((delay + 2)) s)" \
      hs_end_between "$((delay * 1000))" "$((delay * 1000 + 2000))"
  else
    e2e_check "answer after $delay s: given up, an empty answer traced" hs_last_trace_is $'\t'"$HS_OPERATOR"
    e2e_check "answer after $delay s: the end at the report's 5 s time-out (5 to 7 s)" hs_end_between 5000 7000
  fi
  hs_operator_stop   # a delayed answer would hold the port
done

# ---- A body of 10 MB -------------------------------------------------------------------------------
body=10485760
hs_operator --body-bytes "$body"
hs_prepare big
hs_run big "$HS_OPERATOR"
size=$(stat -c %s "$HS_DIR/TavinDebug.txt")
e2e_say "10 MB answer: ${HS_MS} ms, $(hs_events), trace file $size bytes"
e2e_check "10 MB answer: ended by itself, no crash" hs_ended
e2e_check "10 MB answer: no crash in Wine's output" hs_no_crash
e2e_check "10 MB answer: within 15 s" hs_end_between 0 15000
e2e_check "10 MB answer: traced whole as one line (1,048,576 times 时间已收到)" python3 - "$HS_DIR/TavinDebug.txt" "$HS_OPERATOR" <<'EOF'
import sys
last = open(sys.argv[1], "rb").read().split(b"\r\n")[-2]
date, pos, msg = last.split(b"\t")
sys.exit(0 if pos == "时间已收到".encode("gbk") * 1048576 and msg == sys.argv[2].encode() else 1)
EOF
e2e_check "10 MB answer: the trace holds the answer once (bounded by the body)" \
  test "$size" -gt "$body" -a "$size" -lt $((body + 20000))
# The next run from that folder finds more than 99,999 bytes and starts afresh.
hs_operator
hs_run big "$HS_OPERATOR"
e2e_check "10 MB answer: the next run starts the trace afresh" \
  bash -c "(( \$(stat -c %s '$HS_DIR/TavinDebug.txt') < 10000 )) && head -1 '$HS_DIR/TavinDebug.txt' | grep -qP '\t0\t'"

# ---- An SNTP server answering garbage or refusing ---------------------------------------------------
# 48 bytes that are no server's reply (random bytes, all zeros, all ones) and a refusal (stratum 0,
# "RATE") never set the clock: each is taken and dropped, not even counted as the first reply, and
# the requests go on to the last tick.
no_rightime() { ! hs_trace | grep -qx $'3\trightime'; }
for reply in garbage:1 garbage:2 zeros:0 ones:0 kod:0; do
  mode=${reply%%:*} seed=${reply#*:}
  run=sntp-$mode$seed
  hs_responder "$mode" --seed "$seed"
  hs_operator
  hs_prepare "$run"
  hs_run "$run" "$HS_OPERATOR"
  answered=$(wc -l <"$HS_WORK/responder-$mode.log")
  e2e_say "$run: ${HS_MS} ms, $(hs_events), $answered requests answered"
  e2e_check "$run: ended by itself at its last tick, no crash" ended_between 5000 8000
  e2e_check "$run: six requests, every reply taken and dropped" \
    test "$(hs_event_field requests) $(hs_trace | grep -cx $'2\t48')" = "6 $answered"
  e2e_check "$run: the clock untouched, no report" untouched
  e2e_check "$run: the trace never reaches rightime" no_rightime
done

# The product build the same.
hs_responder garbage --seed 1
hs_operator
hs_prepare sntp-garbage-product "$HS_PRODUCT_EXE"
hs_run sntp-garbage-product "$HS_OPERATOR"
e2e_check "garbage, product build: ended by itself" hs_ended
e2e_check "garbage, product build: nothing reported" hs_reports_are 0
e2e_check "garbage, product build: the trace never reaches rightime" no_rightime

# ---- A server in the year 2035 --------------------------------------------------------------------------
# 12:00 in UTC+8 on 2035-06-15 at the time of the run: far from the midnight hours.
set_date() { sed -n 's/^SetSystemTime \([0-9-]*\) .*/\1/p' "$HS_DIR/horasync-clock.txt" 2>/dev/null | tail -1; }
set_within_5ms_on() { hs_clock_within "$1" 5 >/dev/null && [[ $(set_date) == "$2" ]]; }
reported_tim() {
  python3 -c 'import json, sys
r = [json.loads(l) for l in open(sys.argv[1]) if l.strip()]
print(next((e["values"].get("tim", "") for e in r if e.get("endpoint") == "report"), ""))' "$HS_WORK/operator.log"
}
tim_starts() { [[ $(reported_tim) == "$1"* ]]; }
skew=$(python3 -c 'import datetime as d, time
print(round((d.datetime(2035, 6, 15, 4, 0, tzinfo=d.timezone.utc).timestamp() - time.time())))')
hs_responder normal --offset "$skew"
hs_operator
hs_prepare y2035
hs_run y2035 "$HS_OPERATOR"
e2e_say "year 2035 (skew $skew s): ${HS_MS} ms, $(hs_events), $(python3 "$E2E_PEERS/sntp_runcheck.py" clock "$HS_DIR/horasync-clock.txt" --skew "$skew" || true)"
e2e_check "2035: ended by itself" hs_ended
e2e_check "2035: the time set is host UTC + skew within 5 ms, on 2035-06-15" set_within_5ms_on "$skew" 2035-06-15
e2e_check "2035: reported with 2035-06-15 12:00" tim_starts '2035-06-15 12:00:'
e2e_check "2035: the report verified ok" hs_report_ok

hs_operator
hs_prepare y2035-product "$HS_PRODUCT_EXE"
hs_run y2035-product "$HS_OPERATOR"
e2e_check "2035, product build: ended by itself" hs_ended
e2e_check "2035, product build: Wine refuses, nothing reported" hs_reports_are 0
e2e_check "2035, product build: the trace ends in rightime" hs_last_trace_is $'3\trightime'
e2e_check "2035, product build: this machine's clock untouched" \
  python3 -c 'import time, sys; sys.exit(not time.gmtime().tm_year < 2035)'

# ---- 1,000 datagrams from elsewhere ----------------------------------------------------------------
hs_responder burst --burst 1000 --offset "$SAFE_SKEW"
hs_operator
hs_prepare burst
hs_run burst "$HS_OPERATOR"
from_server=$(tr -d '\r' <"$HS_DIR/horasync-events.txt" | grep -c 'arrival 48 bytes from 127\.0\.0\.1:123$' || true)
others=$(tr -d '\r' <"$HS_DIR/horasync-events.txt" | grep -cE 'arrival 48 bytes from 127\.0\.0\.(1:1123|2:123)$' || true)
sent=$(python3 -c 'import json, sys; print(sum(json.loads(l)["burst"] for l in open(sys.argv[1])))' "$HS_WORK/responder-burst.log")
e2e_say "burst: $sent sent from elsewhere, $others reached the socket; ${HS_MS} ms, $(hs_events), clock error $(clock_error "$SAFE_SKEW") ms"
e2e_check "burst: 1,000 datagrams sent from 127.0.0.1:1123 and 127.0.0.2:123" test "$sent" = 1000
# The socket's buffer holds some 250 such datagrams; how many more get in depends on the pace.
e2e_check "burst: they reached the socket (at least 250 seen)" test "$others" -ge 250
e2e_check "burst: ended by itself" hs_ended
e2e_check "burst: only the server's replies traced ($from_server)" test "$(hs_trace | grep -cE $'^2\t[0-9]+$')" = "$from_server"
e2e_check "burst: the exchange as usual: every request traced whole, the reply used, the answer" \
  test "$(complete_requests) $(hs_trace | tail -3 | cut -f1 | tr '\n' ' ')" = "$(hs_event_field requests) 2 3 时间已收到 "
e2e_check "burst: the server's own reply used: clock set within 5 ms of the server (not 3 h off)" \
  e2e_between "$(clock_error "$SAFE_SKEW")" -5 5
e2e_check "burst: reported, verified ok" hs_report_ok

e2e_finish
