#!/usr/bin/env bash
# horasync's time report and trace file, under Wine in a private namespace with chrony (test build):
#  - a command line without "." sends no report and traces none;
#  - an operator host that refuses, or accepts and never answers: an empty traced answer, and the
#    run still ends within the report's time-out; an answer with status 404 is traced as it is;
#  - a trace file of 100,000 bytes is started afresh, one of 99,999 appended to, a read-only one
#    made writable and appended to, and a Ctrl-Z in a traced text replaced by "{{中断}}".
# Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/horasync.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/horasync.bash"
hs_begin report

trace_file() { echo "$HS_DIR/TavinDebug.txt"; }

hs_chrony "$(hs_safe_skew 0)"   # a server outside the hours in which nothing is set

# ---- No "." in the command line -------------------------------------------------------------------
hs_operator
for line in localhost ""; do
  hs_prepare nodot
  if [[ -n $line ]]; then hs_run nodot "$line"; else hs_run nodot; fi
  e2e_check "command line '$line': the clock set" hs_was_set
  e2e_check "command line '$line': no report" hs_reports_are 0
  e2e_check "command line '$line': no report trace line" hs_last_trace_is $'3\trightime'
done

# ---- Operator host unreachable, silent, or answering 404 ----------------------------------------
hs_operator_stop
hs_prepare refused
hs_run refused "$HS_OPERATOR"
e2e_say "refused: ${HS_MS} ms, $(hs_events)"
e2e_check "refused: empty answer traced" hs_last_trace_is $'\t'"$HS_OPERATOR"
e2e_check "refused: ended at once" hs_end_between 0 3000

hs_operator --delay 30
hs_prepare silent
hs_run silent "$HS_OPERATOR"
e2e_say "silent: ${HS_MS} ms, $(hs_events)"
e2e_check "silent: the request reached the operator" hs_reports_are 1
e2e_check "silent: empty answer traced" hs_last_trace_is $'\t'"$HS_OPERATOR"
e2e_check "silent: ended within the report's time-out" hs_end_between 0 12000
hs_operator_stop   # its delayed answer would hold the port

hs_operator --status 404
hs_prepare status404
hs_run status404 "$HS_OPERATOR"
e2e_check "404: the body is the traced answer" hs_answered

# ---- The trace file -------------------------------------------------------------------------------
hs_operator
hs_prepare size100000
head -c 100000 /dev/zero | tr '\0' x >"$(trace_file)"
hs_run size100000 "$HS_OPERATOR"
e2e_check "100,000 bytes: started afresh" bash -c "! grep -q xxxx '$(trace_file)' && head -1 '$(trace_file)' | grep -qP '\t0\t'"
e2e_check "100,000 bytes: the whole run traced" hs_answered

hs_prepare size99999
head -c 99999 /dev/zero | tr '\0' x >"$(trace_file)"
hs_run size99999 "$HS_OPERATOR"
e2e_check "99,999 bytes: appended to" bash -c "head -c 99999 '$(trace_file)' | tr -d x | wc -c | grep -qx 0 &&
  tail -c +100000 '$(trace_file)' | head -1 | grep -qP '\t0\t'"

hs_prepare readonly
printf 'old line\r\n' >"$(trace_file)"
chmod a-w "$(trace_file)"   # how Wine keeps the read-only attribute
hs_run readonly "$HS_OPERATOR"
e2e_check "read-only: attribute cleared" bash -c "[[ \$(stat -c %A '$(trace_file)') == *w* ]]"
e2e_check "read-only: appended to" bash -c "head -1 '$(trace_file)' | grep -q '^old line' && grep -qP '\trightime' '$(trace_file)'"

hs_prepare ctrlz
hs_run ctrlz "$HS_OPERATOR"$'\x1a'
e2e_check "Ctrl-Z: replaced in the traced command line" hs_last_trace_is $'\t'"$HS_OPERATOR{{中断}}"
e2e_check "Ctrl-Z: no Ctrl-Z byte in the file" bash -c "! grep -q $'\x1a' '$(trace_file)'"

e2e_finish
