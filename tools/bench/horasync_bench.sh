#!/usr/bin/env bash
# horasync_bench.sh — how well and how fast horasync sets the clock, against Debian's chrony in a
# private network namespace (root), side by side with `chronyd -Q` measuring the same server.
#   tools/bench/horasync_bench.sh [RUNS]     RUNS runs of horasync per server skew (default 10)
# For each skew (0 and +2 h) it prints, for horasync (test build under Wine: the clock setter
# records instead of setting):
#   set-time error  |recorded SYSTEMTIME - (host UTC + skew)| in ms   (min / median / max)
#   first request to the end in ms (the report to the stand-in operator server included), and to
#   the clock setting
# and for `chronyd -x -Q` (never sets a clock): |measured offset - skew| in ms and its wall time.
# Uses the caller's Wine environment or starts one. Never changes this machine's clock.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
RUNS=${1:-10}
# shellcheck source=../../tests/e2e/lib/horasync.bash
source "$ROOT/tests/e2e/lib/horasync.bash"
hs_begin bench

stats() { # stats LABEL VALUES...: min / median / max
  python3 - "$@" <<'EOF'
import statistics, sys
label, values = sys.argv[1], [float(v) for v in sys.argv[2:]]
print("  %-50s %9.3f %9.3f %9.3f   (n=%d)" % (label, min(values), statistics.median(values), max(values), len(values)))
EOF
}

cat >"$HS_WORK/chrony-q.conf" <<EOF
server 127.0.0.1 iburst
pidfile $HS_WORK/chrony-q.pid
driftfile $HS_WORK/chrony-q.drift
cmdport 0
bindcmdaddress /
EOF

echo "horasync_bench: $RUNS runs per skew; horasync test build under Wine, chrony $(chronyd -v | awk '{print $4}')"
for wanted in 0 7200; do
  skew=$(hs_safe_skew "$wanted")   # 3 h further when the server would be in the hours nothing is set
  hs_chrony "$skew"
  hs_operator
  errors=() to_end=() to_set=() chrony_err=() chrony_ms=()
  for ((i = 1; i <= RUNS; i++)); do
    hs_prepare "bench$skew-$i"
    hs_run "bench$skew-$i" "$HS_OPERATOR"
    errors+=("$(python3 "$E2E_PEERS/sntp_runcheck.py" clock "$HS_DIR/horasync-clock.txt" --skew "$skew" |
      python3 -c 'import json,sys; print(abs(json.load(sys.stdin)["error_ms"]))')")
    to_end+=("$(hs_event_field first_request_to_end_ms)")
    to_set+=("$(python3 - "$HS_DIR" <<'EOF'
import datetime, re, sys
def t(text):
    d, c = text.split(" "); w, f = c.split(".")
    return datetime.datetime.strptime(d + " " + w, "%Y-%m-%d %H:%M:%S") + datetime.timedelta(microseconds=round(float("0." + f) * 1e6))
first = next(l for l in open(sys.argv[1] + "/horasync-events.txt") if " request 1 " in l)
setting = next(l for l in open(sys.argv[1] + "/horasync-clock.txt") if l.startswith("SetSystemTime"))
host = re.search(r"host (\S+ \S+)", setting).group(1)
print((t(host) - t(" ".join(first.split(" ")[:2]))).total_seconds() * 1000)
EOF
)")
  done
  for ((i = 1; i <= 3; i++)); do
    t0=$(date +%s%N)
    out=$(e2e_in chronyd -x -Q -f "$HS_WORK/chrony-q.conf" 2>&1 || true)
    chrony_ms+=($((($(date +%s%N) - t0) / 1000000)))
    wrong=$(sed -n 's/.*System clock wrong by \([-0-9.]*\) seconds.*/\1/p' <<<"$out" | tail -1)
    [[ -n $wrong ]] || { echo "chronyd -Q said: $out"; exit 1; }
    chrony_err+=("$(python3 -c "print(abs(($wrong) - ($skew)) * 1000)")")
  done
  printf '\nserver skew %-41s %9s %9s %9s\n' "$skew s" min median max
  stats "horasync |set - (host UTC + skew)| ms" "${errors[@]}"
  stats "horasync first request -> clock set, ms" "${to_set[@]}"
  stats "horasync first request -> end (report incl.), ms" "${to_end[@]}"
  stats "chronyd -Q |offset - skew| ms" "${chrony_err[@]}"
  stats "chronyd -Q wall time, ms" "${chrony_ms[@]}"
done
e2e_finish >/dev/null
