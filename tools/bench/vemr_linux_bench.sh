#!/usr/bin/env bash
# Benchmark of the Linux client (not a test): dist/linux/vemr against a bare Qt WebEngine view
# (webview_baseline, the linux preset) that loads the same launch address with the same identity
# header, correctly signed, so that both get the same page. Both run the same way (the scenarios'
# namespace, Xvfb with openbox, the stand-in operator server and its page, capsh), one after the
# other, alternating, after one unmeasured warm-up each (the client's first start computes and
# caches the machine identifier; the engine's files come into the page cache).
# Per run:
# - start → request: from the moment the script starts the process to the launch request's
#   arrival as the stand-in server logs it (one clock);
# - peak memory of the whole process tree (the program and the engine's helper processes, which
#   share libraries): sampled every 0.1 s from the program's start until one second after its page
#   reported itself rendered; at each sample the tree's proportional set sizes (Pss of
#   /proc/PID/smaps_rollup: a shared page counts once, split among its users) are summed, and the
#   peak of those sums is the figure. The peak of the summed resident sizes (VmRSS, which counts
#   each shared library once per process) is printed beside it.
# Prints each run, the medians with their spread (min–max) and the ratios client/baseline: of the
# medians, and the median and range of the ratios of paired runs (run i of each). Goal: ≤ 1.10.
#   tools/bench/vemr_linux_bench.sh [RUNS]      (default 10 of each)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/lib/linux.bash"

RUNS=${1:-10}
BASELINE=$VEMR_ROOT/build/linux/tools/bench/webview_baseline
[[ -x $BASELINE ]] || { echo "$BASELINE missing (build it: cmake --preset linux && cmake --build --preset linux)"; exit 1; }

linux_setup lxbench
linux_page render
vemr_start_server --launch-page "$LINUX_PAGE"
linux_make_app
cat >"$VEMR_WORK/sampler.py" <<'EOF'
# sampler.py PID: every 0.1 s, the sums of Pss and of VmRSS over PID and its descendants (every
# process once seen in the tree, while it lives); on SIGTERM or when all are gone, prints the peaks
# in kB.
import os, signal, sys, time
root, seen, peak = int(sys.argv[1]), set(), [0, 0]

def report(*_):
    print(*peak)
    sys.exit(0)

signal.signal(signal.SIGTERM, report)

def field(path, key):
    try:
        with open(path) as f:
            for line in f:
                if line.startswith(key):
                    return line.split()[1]
    except OSError:
        pass
    return None

def children(pid):
    found = []
    try:
        for task in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/children" % (pid, task)) as f:
                found += map(int, f.read().split())
    except OSError:
        pass
    return found

while True:
    todo = [root]
    while todo:
        pid = todo.pop()
        seen.add(pid)
        todo += children(pid)
    live = [p for p in seen if field("/proc/%d/status" % p, "State:") not in (None, "Z")]
    if not live:
        break
    pss = sum(int(field("/proc/%d/smaps_rollup" % p, "Pss:") or 0) for p in live)
    rss = sum(int(field("/proc/%d/status" % p, "VmRSS:") or 0) for p in live)
    peak = [max(peak[0], pss), max(peak[1], rss)]
    time.sleep(0.1)
report()
EOF

results=$VEMR_WORK/results.txt
: >"$results"
n=0
# measure KIND RUN: one start of the client or the baseline, measured; ended after its page.
measure() {
  local kind=$1 sampler tim id digest pss rss
  n=$((n + 1))
  if [[ $kind == client ]]; then
    linux_start TZ=Asia/Shanghai
  else
    id=$(vemr_launch_field 1 'e["values"]["machine_id"]')
    digest=$(vemr_launch_field 1 'e["values"]["host_digest"]')
    tim=$(TZ=Asia/Shanghai date +%Y%m%d%H%M%S)
    linux_run TZ=Asia/Shanghai "$BASELINE" "http://$VEMR_HOST:$VEMR_PORT/language.asp?lau=cn&tim=$tim&ver=1.0.0" \
      "TavinVmc.Cet/$id/$("$VEMR_MYMD" "$id${tim}1.0.0$digest")"
  fi
  python3 "$VEMR_WORK/sampler.py" "$VEMR_PID" >"$VEMR_WORK/peak" &
  sampler=$!
  vemr_wait_launches "$n" 30 || { echo "$kind run $2: no launch request"; exit 1; }
  linux_wait_entries 30 "$n" rendered 'probe=render&text=gbk' ||
    { echo "$kind run $2: the page did not render"; exit 1; }
  [[ $(vemr_launch_field "$n" 'e["verdict"]') == ok ]] || { echo "$kind run $2: launch not accepted"; exit 1; }
  sleep 1
  kill "$sampler"
  wait "$sampler" || true
  linux_stop "$VEMR_PID"
  (($2 > 0)) || return 0   # the warm-up
  read -r pss rss <"$VEMR_WORK/peak"
  python3 - "$kind" "$2" "$LINUX_STARTED" "$(linux_entry_time launch "$n")" "$pss" "$rss" >>"$results" <<'EOF'
import json, sys
kind, run, started, arrived, pss, rss = sys.argv[1:]
print(json.dumps({"kind": kind, "run": int(run), "request_ms": (float(arrived) - float(started)) * 1000,
                  "pss_mb": int(pss) / 1024, "rss_mb": int(rss) / 1024}))
EOF
  tail -1 "$results"
}

measure client 0
measure baseline 0
for ((run = 1; run <= RUNS; run++)); do
  measure client "$run"
  measure baseline "$run"
done

python3 - "$results" <<'EOF'
import json, statistics, sys
rows = [json.loads(line) for line in open(sys.argv[1])]
runs = {k: [r for r in rows if r["kind"] == k] for k in ("client", "baseline")}
print("\n%-26s %28s %28s" % ("median (min-max)", "client", "baseline"))
for key, name, unit in (("request_ms", "start -> launch request", "ms"), ("pss_mb", "peak Pss of the tree", "MB"),
                        ("rss_mb", "peak RSS sum of the tree", "MB")):
    cells = []
    for kind in ("client", "baseline"):
        v = [r[key] for r in runs[kind]]
        cells.append("%7.1f %s (%.1f-%.1f)" % (statistics.median(v), unit, min(v), max(v)))
    print("%-26s %28s %28s" % (name, *cells))
print("\nclient/baseline         ratio of medians   paired runs: median (min-max)   goal <= 1.10")
for key, name in (("request_ms", "start -> launch request"), ("pss_mb", "peak Pss of the tree"), ("rss_mb", "peak RSS sum")):
    med = statistics.median(r[key] for r in runs["client"]) / statistics.median(r[key] for r in runs["baseline"])
    paired = [c[key] / b[key] for c, b in zip(runs["client"], runs["baseline"])]
    print("%-26s %10.3f %18.3f (%.3f-%.3f) %14s" % (name, med, statistics.median(paired), min(paired), max(paired),
                                                   "met" if med <= 1.10 else "NOT met"))
EOF
