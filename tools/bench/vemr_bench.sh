#!/usr/bin/env bash
# Start-up benchmark of the client (not a test): the benchmark build of vemr.exe (it writes the
# time from its process's creation and from the top of wWinMain to the navigation into
# vemr_bench.txt) under Wine, against the stand-in operator server in a namespace of its own.
# Prints, per run and as medians: in-process times to the Navigate call and to its return, and
# the time from the shell's start of the program to the request's arrival at the server (this one
# includes Wine's own start of a process). The first run has no cached machine identifier (it asks
# the management service); the others take it from the cache. Then the size and the imported
# DLLs of dist/win32/vemr.exe and dist/win64/vemr.exe.
#   tools/bench/vemr_bench.sh [RUNS]      (default 7; uses the caller's Wine environment or starts one)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/lib/vemr.bash"

RUNS=${1:-7}
BENCH_EXE=$VEMR_ROOT/build/win32/client/vemr_bench.exe
[[ -f $BENCH_EXE ]] || { echo "$BENCH_EXE missing (build the win32 preset)"; exit 1; }

vemr_setup vemrbench
vemr_start_server
vemr_clear_cache
vemr_make_app '话费充值\r\nop.vemr.test:8080\r\n话费充值\r\n8'
cp "$BENCH_EXE" "$VEMR_APP/vemr.exe"   # under the shipped name: same cache entry, same guard

results=$VEMR_WORK/results.txt
: >"$results"
for ((run = 1; run <= RUNS; run++)); do
  rm -f "$VEMR_APP/vemr_bench.txt"
  started=$(date +%s.%N)
  vemr_start TZ=Asia/Shanghai
  vemr_wait_launches "$run" 60 || { echo "run $run: no launch request"; exit 1; }
  for _ in $(seq 1 50); do [[ -s $VEMR_APP/vemr_bench.txt ]] && break; sleep 0.1; done
  arrived=$(vemr_launch_field "$run" 'e["time"]')
  python3 - "$started" "$arrived" "$VEMR_APP/vemr_bench.txt" "$run" >>"$results" <<'PY'
import datetime, json, sys
started, arrived, bench, run = float(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
arrived = datetime.datetime.fromisoformat(arrived).timestamp()
values = dict(line.rstrip("\n").split("=", 1) for line in open(bench) if "=" in line)
values["shell_to_request_ms"] = "%.1f" % ((arrived - started) * 1000)
print(json.dumps(values))
PY
  vemr_probe close >/dev/null
  vemr_wait_exit "$VEMR_PID" 15 || { echo "run $run did not end"; exit 1; }
done

python3 - "$results" <<'PY'
import json, statistics, sys
rows = [json.loads(line) for line in open(sys.argv[1])]
columns = [("winmain_to_navigate_ms", "wWinMain -> Navigate call"),
           ("ole_initialize_ms", "  of which OleInitialize (any Wine GUI program)"),
           ("first_window_ms", "  of which the first window (any Wine GUI program)"),
           ("browser_control_ms", "  of which the browser control"),
           ("start_up_sequence_ms", "  of which the start-up sequence"),
           ("winmain_to_navigate_return_ms", "wWinMain -> Navigate return"),
           ("process_to_navigate_ms", "process creation -> Navigate call"),
           ("shell_to_request_ms", "shell start -> request at the server")]
own = lambda r: float(r["winmain_to_navigate_ms"]) - float(r["ole_initialize_ms"]) - float(r["first_window_ms"])
print("run " + " ".join("%9s" % key.split("_")[0][:9] for key, _ in columns))
for i, r in enumerate(rows, 1):
    print("%-3d " % i + " ".join("%9.1f" % float(r[key]) for key, _ in columns))
for title, sel in (("first start (identifier computed)", rows[:1]), ("later starts (identifier cached)", rows[1:])):
    if not sel:
        continue
    print("median, %s, %d run(s):" % (title, len(sel)))
    for key, name in columns:
        print("  %-52s %8.1f ms" % (name, statistics.median(float(r[key]) for r in sel)))
    print("  %-52s %8.1f ms" % ("wWinMain -> Navigate less OLE and first window", statistics.median(own(r) for r in sel)))
PY
for arch in win32 win64; do
  exe=$VEMR_ROOT/dist/$arch/vemr.exe
  [[ -f $exe ]] || continue
  tool=i686-w64-mingw32-objdump
  [[ $arch == win64 ]] && tool=x86_64-w64-mingw32-objdump
  printf 'dist/%s/vemr.exe: %d bytes; imports: %s\n' "$arch" "$(stat -c %s "$exe")" \
    "$("$tool" -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr '\n' ' ')"
done
