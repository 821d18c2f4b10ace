# horasync.bash — horasync's helpers, sourced by tests/e2e/horasync_*.sh, tests/e2e/fault_*.sh,
# tests/e2e/linux_horasync.sh, tools/demo/horasync_demo.sh and tools/bench/horasync_bench.sh (not a
# scenario itself). One private network namespace per script in which the five SNTP server names and
# the operator host map to 127.0.0.1; SNTP servers (chrony, or our own responder) and the stand-in
# operator server run in it; horasync runs in it under Wine, each run from a folder of its own in the
# prefix, where it leaves its trace (and, as a test build, what it would have set). In the Linux mode
# the Linux program runs there without Wine, from a folder of its own below the scenario's work
# folder, always with CAP_SYS_TIME dropped from its bounding set, its trace in the state folder it is
# given ($HS_DIR/state).
#
#   hs_begin NAME [product|linux]  namespace up, Wine environment (the caller's or a fresh one; none
#                            for linux); the test build (win32-testclock, or linux-testclock for
#                            linux) must exist (not with "product": only dist/ is run)
#   hs_chrony [SKEW] [TIME]  (re)start chronyd -x, its clock SKEW seconds off (faketime)
#   hs_responder MODE [ARGS] (re)start tools/peers/sntp_responder.py instead of chrony
#   hs_no_server             stop every SNTP server
#   hs_operator [ARGS]       (re)start the stand-in operator server on port 80
#   hs_prepare RUN [EXE]     a fresh run folder with the program (default: the test build)
#   hs_run RUN [ARGS...]     runs it there inside the namespace; HS_RC, HS_MS, HS_DIR
# The checks of a run the scenarios share (hs_ended, hs_never_set, hs_report_ok...) follow hs_run;
# checks, counts and the verdict are common.bash's (e2e_check, e2e_finish).
# Everything started is ended by pid, and the namespace removed, on every exit path.

# shellcheck source=common.bash
source "$(dirname "${BASH_SOURCE[0]}")/common.bash"
HS_SERVERS=(cn.pool.ntp.org ntp.ntsc.ac.cn ntp.aliyun.com ntp.tencent.com time.asia.apple.com)
HS_OPERATOR=op.example.com
HS_PRODUCT_EXE=${HS_PRODUCT_EXE:-$E2E_ROOT/dist/$E2E_ARCH/horasync.exe}
# The test build (preset win32-testclock, or win64-testclock): the clock setter records instead of
# setting. Never in dist/.
HS_TEST_EXE=${HS_TEST_EXE:-$E2E_ROOT/build/$E2E_ARCH-testclock/timesync/horasync.exe}
# The Linux program and its test build (preset linux-testclock).
HS_LINUX_PRODUCT=$E2E_ROOT/dist/linux/horasync
HS_LINUX_TEST=$E2E_ROOT/build/linux-testclock/timesync/horasync
HS_LINUX=0
HS_RUNS=""   # the folder of the run folders
HS_WORK=""
HS_CHRONY_PID=""
HS_RESPONDER_PID=""
HS_OPERATOR_PID=""

hs_end() {
  local rc=$?
  hs_no_server
  [[ -n $HS_OPERATOR_PID ]] && e2e_kill "$HS_OPERATOR_PID"
  HS_OPERATOR_PID=""
  if ((HS_LINUX)); then
    hs_keep_runs ! -name horasync
  elif [[ -n ${WINEPREFIX:-} && -d ${WINEPREFIX:-/nonexistent} ]]; then
    e2e_wineserver_down
    hs_keep_runs ! -name '*.exe' ! -name '*.ocx' ! -name '*.OCX'
    rm -rf "$WINEPREFIX/drive_c/hs"
  fi
  if [[ -n $HS_WORK && -d $HS_WORK ]]; then
    [[ -n ${E2E_OUT:-} ]] && cp "$HS_WORK"/*.log "$E2E_OUT/" 2>/dev/null || true
    rm -rf "$HS_WORK"
  fi
  return "$rc"
}

# hs_keep_runs FIND-TESTS...: the files of the runs that FIND-TESTS select, into $E2E_OUT/runs.
hs_keep_runs() {
  [[ -n ${E2E_OUT:-} && -d $HS_RUNS ]] || return 0
  mkdir -p "$E2E_OUT/runs"
  (cd "$HS_RUNS" && find . -type f "$@" -exec cp --parents {} "$E2E_OUT/runs/" \;) 2>/dev/null || true
}

hs_begin() {
  local name=$1 preset=$E2E_ARCH-testclock
  if [[ ${2:-} == linux ]]; then
    HS_LINUX=1 HS_TEST_EXE=$HS_LINUX_TEST preset=linux-testclock
  fi
  if [[ ${2:-} != product && ! -f $HS_TEST_EXE ]]; then
    e2e_say "${HS_TEST_EXE#"$E2E_ROOT"/} missing: cmake --preset $preset && cmake --build --preset $preset"
    return 1
  fi
  HS_WORK=$(mktemp -d /tmp/e2e-horasync.XXXXXX)
  if ((HS_LINUX)); then
    e2e_begin hs_end --no-wine
    HS_RUNS=$HS_WORK/runs
  else
    e2e_begin hs_end   # our runs' files are saved before a prefix started here goes
    HS_RUNS=$WINEPREFIX/drive_c/hs
  fi
  [[ -x $E2E_ROOT/dist/tools/mymd ]] || { e2e_say "dist/tools/mymd missing: build the native preset"; return 1; }
  e2e_netns_up "hs-$name-$$" "${HS_SERVERS[@]}" "$HS_OPERATOR"
  ((HS_LINUX)) && return 0
  # The wineserver creates the sockets, so it must run inside the namespace: end the prefix's
  # server (wherever it runs) before the first Wine call in it (hs_wineserver_up), and after the last.
  e2e_wineserver_down
  mkdir -p "$HS_RUNS"
}

# Servers are started with "$E2E_NETNS" run ... & directly, so that $! is the server's own pid
# (netns and ip netns exec both exec).
hs_wineserver_up() { e2e_in wine reg query 'HKCU\Software' >/dev/null 2>&1 || true; }

hs_no_server() {
  if [[ -n $HS_CHRONY_PID ]]; then
    # faketime waits for chronyd: end chronyd itself (its pidfile), then the starter.
    local daemon
    daemon=$(cat "$HS_WORK/chronyd.pid" 2>/dev/null || true)
    e2e_kill $daemon "$HS_CHRONY_PID"
    HS_CHRONY_PID=""
  fi
  if [[ -n $HS_RESPONDER_PID ]]; then
    e2e_kill "$HS_RESPONDER_PID"
    HS_RESPONDER_PID=""
  fi
}

# hs_chrony [SKEW_SECONDS]: Debian's chronyd serving SNTP on 127.0.0.1:123 of the namespace, never
# controlling any clock (-x); with a skew its clock runs SKEW seconds off (faketime).
hs_chrony() {
  local skew=${1:-0}
  hs_no_server
  cat >"$HS_WORK/chrony.conf" <<EOF
local stratum 8
allow 127.0.0.1
bindaddress 127.0.0.1
cmdport 0
bindcmdaddress /
pidfile $HS_WORK/chronyd.pid
driftfile $HS_WORK/chrony.drift
EOF
  rm -f "$HS_WORK/chronyd.pid"
  if [[ $skew == 0 ]]; then
    "$E2E_NETNS" run "$E2E_NS" chronyd -x -d -f "$HS_WORK/chrony.conf" >>"$HS_WORK/chrony.log" 2>&1 &
  else
    [[ $skew == -* ]] || skew=+$skew
    "$E2E_NETNS" run "$E2E_NS" env NO_FAKE_STAT=1 faketime -f "$skew" chronyd -x -d -f "$HS_WORK/chrony.conf" \
      >>"$HS_WORK/chrony.log" 2>&1 &
  fi
  HS_CHRONY_PID=$!
  e2e_in python3 "$E2E_PEERS/sntp_probe.py" --wait 10 >"$HS_WORK/probe.out" ||
    { e2e_say "chronyd does not answer"; cat "$HS_WORK/chrony.log"; return 1; }
}

# horasync never sets the clock when the server's time lies in the 23 or 0 o'clock hour of UTC+8.
# hs_midnight_hours SKEW [AHEAD]: true when a server SKEW seconds off the host lies there now or AHEAD
# seconds from now (default 300, a run's length). hs_safe_skew SKEW: SKEW, or SKEW + 3 h when it does.
hs_midnight_hours() {
  python3 -c 'import sys, time
def hour(t): return int((t + 8 * 3600) % 86400 // 3600)
now = time.time() + int(sys.argv[1])
sys.exit(0 if hour(now) in (23, 0) or hour(now + int(sys.argv[2])) in (23, 0) else 1)' "$1" "${2:-300}"
}
hs_safe_skew() { if hs_midnight_hours "$1"; then echo $(($1 + 10800)); else echo "$1"; fi; }

# hs_peer NAME PIDVAR SCRIPT [ARGS...]: a peer of tools/peers in the namespace, writing its pid to
# $HS_WORK/NAME.pid and its output to $HS_WORK/NAME.out; PIDVAR gets its starter's pid. Fails when
# the peer has not written its pid within 5 s.
hs_peer() {
  local name=$1 pidvar=$2 script=$3
  shift 3
  rm -f "$HS_WORK/$name.pid"
  "$E2E_NETNS" run "$E2E_NS" python3 "$E2E_PEERS/$script" --pidfile "$HS_WORK/$name.pid" "$@" \
    >>"$HS_WORK/$name.out" 2>&1 &
  printf -v "$pidvar" '%s' "$!"
  for _ in $(seq 100); do [[ -s $HS_WORK/$name.pid ]] && return 0; sleep 0.05; done
  e2e_say "$name did not start"
  cat "$HS_WORK/$name.out"
  return 1
}

# hs_responder MODE [ARGS...]: our own responder (tools/peers/sntp_responder.py) on 127.0.0.1:123.
hs_responder() {
  local mode=$1
  shift
  hs_no_server
  : >"$HS_WORK/responder-$mode.log"
  hs_peer responder HS_RESPONDER_PID sntp_responder.py --mode "$mode" --log "$HS_WORK/responder-$mode.log" "$@"
}

# hs_operator [ARGS...]: the stand-in operator server on port 80 of the namespace, logging to
# $HS_WORK/operator.log (emptied at each start).
hs_operator() {
  [[ -n $HS_OPERATOR_PID ]] && e2e_kill "$HS_OPERATOR_PID"
  : >"$HS_WORK/operator.log"
  hs_peer operator HS_OPERATOR_PID operator_server.py --port 80 --bind 127.0.0.1 --log "$HS_WORK/operator.log" \
    --mymd "$E2E_ROOT/dist/tools/mymd" "$@"
}

hs_operator_stop() {
  [[ -n $HS_OPERATOR_PID ]] && e2e_kill "$HS_OPERATOR_PID"
  HS_OPERATOR_PID=""
}

# Report requests the operator server logged since its start.
hs_reports() { grep -c '"endpoint": "report"' "$HS_WORK/operator.log" 2>/dev/null || true; }

hs_prepare() {
  HS_DIR=$HS_RUNS/$1
  rm -rf "$HS_DIR"
  mkdir -p "$HS_DIR"
  if ((HS_LINUX)); then
    cp "${2:-$HS_TEST_EXE}" "$HS_DIR/horasync"
  else
    cp "${2:-$HS_TEST_EXE}" "$HS_DIR/horasync.exe"
  fi
}

# hs_run RUN [ARGS...]: runs the prepared program in its folder, inside the namespace, in the
# operator's zone (UTC+8), with at most 30 s. HS_RC: exit status; HS_MS: wall time in ms. The Linux
# program runs without CAP_SYS_TIME (it could set this machine's clock), its state folder in the run's.
hs_run() {
  HS_DIR=$HS_RUNS/$1
  shift
  local t0 rc=0
  t0=$(date +%s%N)
  if ((HS_LINUX)); then
    (cd "$HS_DIR" && TZ=Asia/Shanghai XDG_STATE_HOME=$HS_DIR/state timeout -k 5 30 "$E2E_NETNS" run "$E2E_NS" \
      capsh --drop=cap_sys_time -- -c 'exec "$0" "$@"' ./horasync "$@") >"$HS_DIR/run.out" 2>&1 || rc=$?
  else
    (cd "$HS_DIR" && TZ=Asia/Shanghai timeout -k 5 30 "$E2E_NETNS" run "$E2E_NS" wine horasync.exe "$@") \
      >"$HS_DIR/wine.out" 2>&1 || rc=$?
  fi
  HS_RC=$rc
  HS_MS=$((($(date +%s%N) - t0) / 1000000))
}

# The run's trace file: beside the program, or (Linux) in its state folder under the package's appid.
hs_trace_file() {
  if ((HS_LINUX)); then
    local found=("$HS_DIR"/state/*/TavinDebug.txt)
    echo "${found[0]}"
  else
    echo "$HS_DIR/TavinDebug.txt"
  fi
}

# The trace of a run as "pos<TAB>msg" lines in UTF-8 (the file is GBK).
hs_trace() { iconv -f gbk -t utf-8 "$(hs_trace_file)" | tr -d '\r' | cut -f2-; }

# The trace points one request writes, for host $1.
hs_request_trace() {
  printf '1\t%s\n1\tB\n2\tB\n3\tB\n' "$1"
  printf 'E\t*\nF\t*\nG\t*\n'
  printf '%s\tB\n' 4 5 6 7 8 9
  printf '1\tC\n'
}

# hs_trace_matches EXPECTED_FILE: the run's trace equals the expected lines, "*" standing for any
# message.
hs_trace_matches() {
  python3 - "$1" <(hs_trace) <<'EOF'
import sys
want = open(sys.argv[1], encoding="utf-8").read().splitlines()
got = open(sys.argv[2], encoding="utf-8").read().splitlines()
ok = len(want) == len(got) and all(
    w == g or (w.endswith("\t*") and g.startswith(w[:-1])) for w, g in zip(want, got))
if not ok:
    print("  trace differs; expected / got:")
    for i in range(max(len(want), len(got))):
        print("   %-40s | %s" % (want[i] if i < len(want) else "", got[i] if i < len(got) else ""))
sys.exit(0 if ok else 1)
EOF
}

# hs_normal_trace SERVER: the trace of a normal run against SERVER: its two exchanges, the clock set,
# the operator's answer to the report.
hs_normal_trace() {
  printf '0\t%s\n' "$1"
  hs_request_trace "$1"
  printf '2\t48\n'
  hs_request_trace "$1"
  printf '2\t48\n3\trightime\n时间已收到\t%s\n' "$HS_OPERATOR"
}

# The chosen server of the run: the message of its first trace line.
hs_server_of_run() { hs_trace | head -1 | cut -f2; }

hs_events() { python3 "$E2E_PEERS/sntp_runcheck.py" events "$HS_DIR/horasync-events.txt"; }
hs_event_field() { hs_events | python3 -c "import json,sys; print(json.load(sys.stdin)['$1'])"; }

# ---- Checks of the last run -------------------------------------------------------------------------
# Ended by itself: exit status 0 and, for the test build, its own end among the events.
hs_ended() { [[ $HS_RC == 0 ]] && { [[ ! -f $HS_DIR/horasync-events.txt ]] || [[ $(hs_event_field ended) == True ]]; }; }
# hs_end_between LOW HIGH: milliseconds from the first request to the end.
hs_end_between() { e2e_between "$(hs_event_field first_request_to_end_ms)" "$1" "$2"; }
hs_no_crash() { ! grep -qiE 'unhandled|stack overflow|page fault' "$HS_DIR/wine.out"; }
hs_never_set() { ! grep -q '^SetSystemTime' "$HS_DIR/horasync-clock.txt" 2>/dev/null; }
hs_was_set() { grep -q '^SetSystemTime.* result ok' "$HS_DIR/horasync-clock.txt" 2>/dev/null; }
# hs_clock_within SKEW MS: the time set is host UTC + SKEW within MS, on the server's date.
hs_clock_within() {
  python3 "$E2E_PEERS/sntp_runcheck.py" clock "$HS_DIR/horasync-clock.txt" --skew "$1" --max-ms "$2" |
    tee -a "$HS_WORK/clock-errors.log"
}
hs_reports_are() { [[ $(hs_reports) == "$1" ]]; }
# hs_report_ok [N]: the operator server logged N (1) reports, each verified ok.
hs_report_ok() {
  python3 "$E2E_PEERS/operator_server.py" --check-log "$HS_WORK/operator.log" --endpoint report \
    --expect-count "${1:-1}" >"$HS_WORK/check-log.out" 2>&1
}
# hs_report_skew_is SKEW: the one report's time lies SKEW seconds from the operator's clock (UTC+8),
# within 2 s.
hs_report_skew_is() {
  python3 - "$HS_WORK/operator.log" "$1" <<'EOF'
import json, sys
entries = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8") if l.strip()]
skews = [e["values"].get("tim_skew_s") for e in entries if e.get("endpoint") == "report"]
sys.exit(0 if len(skews) == 1 and skews[0] is not None and abs(skews[0] - float(sys.argv[2])) <= 2 else 1)
EOF
}
hs_last_trace_is() { [[ "$(hs_trace | tail -1)" == "$1" ]]; }
# The operator's answer traced last: the exchange ran to its end.
hs_answered() { hs_last_trace_is "时间已收到	$HS_OPERATOR"; }
