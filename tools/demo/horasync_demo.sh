#!/usr/bin/env bash
# horasync_demo.sh — the time synchroniser as shipped (dist/win32/horasync.exe) under Wine, in a
# private network namespace (root) where its five SNTP server names and the operator host map to
# 127.0.0.1: Debian's chrony serves the time (chronyd -x: it never touches a clock), the stand-in
# operator server receives the report. Prints horasync's trace and the server's verdict.
# Wine's SetSystemTime accepts a change within 0.5 s of the host's clock and changes nothing, so
# the run goes all the way to the report. Uses the caller's Wine environment or starts one.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../tests/e2e/lib/horasync.bash
source "$ROOT/tests/e2e/lib/horasync.bash"
[[ -f $HS_PRODUCT_EXE ]] || { echo "horasync_demo: $HS_PRODUCT_EXE missing: build the $E2E_ARCH preset"; exit 1; }
hs_begin demo product
hs_chrony 0
echo ">> chrony answers in the namespace: $(cat "$HS_WORK/probe.out")"
hs_operator
hs_prepare demo "$HS_PRODUCT_EXE"
hs_run demo "$HS_OPERATOR"
echo ">> horasync.exe $HS_OPERATOR: ended by itself with exit code $HS_RC after $HS_MS ms; its trace:"
iconv -f gbk -t utf-8 "$HS_DIR/TavinDebug.txt" | tr -d "\r" | sed "s/^/   | /"
if [[ $(hs_reports) == 0 ]] && hs_midnight_hours -60 60; then
  echo ">> the server's time lies in the 23 or 0 o'clock hour of UTC+8: no clock setting, no report"
else
  echo ">> the stand-in operator server's verdict on the report:"
  python3 "$E2E_PEERS/operator_server.py" --check-log "$HS_WORK/operator.log" --endpoint report --expect-count 1 |
    sed 's/^/   | /'
fi
