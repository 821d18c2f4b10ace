#!/usr/bin/env bash
# The Linux client's launch request and page, end to end: the real dist/linux/vemr (Qt WebEngine)
# under Xvfb in a namespace of its own (op.vemr.test -> 127.0.0.1, port 8080), against the
# stand-in operator server, which answers with a GBK page of the scenario's own:
# - one GET /language.asp?lau=cn&tim=<14 digits>&ver=1.0.0 (the engine sends the dots unescaped)
#   verified by the server: verdict ok, exactly one User-Agent TavinVmc.Cet/<id>/<signature>, Host
#   the configured host, the stamp in UTC+8 (TZ=UTC) between the client's start and the request's
#   arrival; the page's own request carries the engine's User-Agent, not the identity;
# - horasync started once, with the host as its one argument; the client runs without CAP_SYS_TIME;
# - the page rendered: its script found the GBK text decoded and requested /rendered.asp, and a
#   screenshot shows the text in its colour and size in the window's client area;
# - printing: a page's window.print() goes to the default printer (a CUPS of the scenario's own that
#   writes PDF files) without a dialog: one page, no margins, no header or footer.
# Exit 0 = pass.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/linux.bash"

linux_setup lxlaunch
linux_page render
vemr_start_server --launch-page "$LINUX_PAGE"
linux_make_app
linux_start TZ=UTC
vemr_wait_launches 1 30 || vemr_fail "no launch request within 30 s"
vemr_check_launch 1 0 "launch (TZ=UTC, line 4 = 8)" '1\.0\.0' 10
stamp=$(date -d "$(vemr_launch_field 1 'e["params"][1][1]' | sed -E 's/(.{8})(..)(..)(..)/\1 \2:\3:\4/') +0800" +%s)
e2e_check "the stamp lies between the client's start and the request's arrival, in whole seconds" \
  e2e_between "$stamp" "${LINUX_STARTED%.*}" "$(linux_entry_time launch 1)"
e2e_check "one launch request" test "$(vemr_launches)" = 1
e2e_check "the client runs without CAP_SYS_TIME in its bounding set" \
  python3 -c 'import sys; sys.exit(int(sys.argv[1], 16) >> 25 & 1)' "$(awk '/^CapBnd:/ {print $2}' "/proc/$VEMR_PID/status")"

e2e_check "the page's script ran: /rendered.asp requested, the GBK text decoded" \
  linux_wait_entries 20 1 rendered 'probe=render&text=gbk'
agent=$(vemr_log_field rendered 1 'dict((k.lower(), v) for k, v in e["headers"]).get("user-agent")' || true)
echo "      the page's request: User-Agent: $agent"
e2e_check "the page's request carries the engine's User-Agent, not the identity" \
  eval '[[ $agent == *QtWebEngine* && $agent != *TavinVmc* ]]'
e2e_check "horasync started once, with the host as its one argument" \
  test "$(vemr_horasync_calls)" = "1 [op.vemr.test:8080]"

window=$(linux_window "$VEMR_PID") || { vemr_fail "no window of the client"; e2e_finish; }
area=$(linux_area "$window")
echo "      window $window, client area $area, caption $(xdotool getwindowname "$window")"
e2e_check "the screenshot shows the page's text ($LINUX_TEXT, $LINUX_COLOUR, ${LINUX_TEXT_PX} px) in the client area" \
  linux_wait_rendered page "$area"
e2e_check "the client still runs" kill -0 "$VEMR_PID"

linux_stop "$VEMR_PID"
linux_page print
linux_printer
linux_start CUPS_SERVER="$LINUX_CUPS"
e2e_check "window.print() printed one job without a dialog" linux_wait 60 linux_printed 1
e2e_check "the printed page: one sheet, no margins, no header or footer" linux_print_page
e2e_finish
