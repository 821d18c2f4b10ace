#!/usr/bin/env bash
# The client's config.txt, end to end (the real vemr.exe under Wine, in a namespace of its own
# with the stand-in operator server):
# - a line break after line 4, LF-only lines, three lines, no config.txt: the client ends by
#   itself without a word, sends nothing and starts no time synchroniser;
# - an empty line 4: an error report (type mismatch), and once it is answered the end; the time
#   synchroniser was started and the machine identifier cached before it, nothing was sent.
# Exit 0 = pass.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/vemr.bash"

vemr_setup vemrconfig
vemr_start_server
vemr_clear_cache

declare -A cases=(
  ["line break after line 4"]='话费充值\r\nop.vemr.test:8080\r\n话费充值\r\n8\r\n'
  ["LF-only lines"]='话费充值\nop.vemr.test:8080\n话费充值\n8'
  ["three lines"]='话费充值\r\nop.vemr.test:8080\r\n话费充值'
  ["no config.txt"]='-'
)
for name in "${!cases[@]}"; do
  vemr_make_app "${cases[$name]}"
  vemr_start
  e2e_check "$name: the client ends by itself" vemr_wait_exit "$VEMR_PID" 20
  e2e_check "$name: no time synchroniser" test -z "$(vemr_horasync_calls)"
  e2e_check "$name: no error report" test "$(vemr_value dialog "$(vemr_probe dialog vemr)")" = 0
done
e2e_check "nothing reached the server" test ! -s "$VEMR_LOG"
e2e_check "no identifier cached" test -z "$(vemr_cache)"

# --- empty line 4 -------------------------------------------------------------------------------
vemr_make_app '话费充值\r\nop.vemr.test:8080\r\n话费充值\r\n'
vemr_start
report=""
for _ in $(seq 1 100); do
  report=$(vemr_probe dialog vemr)
  [[ $(vemr_value dialog "$report") == 1 ]] && break
  sleep 0.2
done
echo "      $report" | tr '\n' ' '; echo
e2e_check "empty line 4: an error report of a type mismatch" grep -qz 'text=.*类型不匹配' <<<"$report"
e2e_check "empty line 4: the client waits on its report" kill -0 "$VEMR_PID"
e2e_check "empty line 4: horasync was started before, with the host" test "$(vemr_horasync_calls)" = op.vemr.test:8080
e2e_check "empty line 4: the identifier was cached before" grep -qE '^-?[0-9]+\|.*\|[A-Z]{2,10}$' <<<"$(vemr_cache)"
import -window root "$VEMR_OUT/vemr_error_report.png" 2>/dev/null || true
vemr_probe dialog-ok vemr >/dev/null
e2e_check "empty line 4: the client ends once the report is answered" vemr_wait_exit "$VEMR_PID" 15
e2e_check "empty line 4: nothing reached the server" test ! -s "$VEMR_LOG"

e2e_finish
