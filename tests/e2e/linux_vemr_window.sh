#!/usr/bin/env bash
# The Linux client's window, end to end (dist/linux/vemr under Xvfb with openbox and trayer as the
# tray, in a namespace of its own where op.vemr.test is 127.0.0.1):
# - nothing listening on the host's port: the network notice instead of the browser (its text's
#   dark pixels inside the notice's box, none elsewhere in the client area, none of a page);
# - with the stand-in server up and a page of the scenario's own: the client area differs from the
#   notice's; a second start ends by itself with exit code 0, sends nothing, starts no horasync;
# - minimised, the window is unmapped and its icon shows in the tray; a click on the icon brings
#   the window back above a window that covered the screen meanwhile, and the icon goes.
# Exit 0 = pass.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/linux.bash"

linux_setup lxwindow
linux_tray_host
linux_make_app

# dark SHOT GEOMETRY: the number of near-black pixels (text) in that part of SHOT.
dark() { linux_pixels "$1" "$2" '#000000' 30%; }

# notice_shows SHOT AREA: the client area AREA shows the notice: its text's pixels in the notice's
# box, none outside it (an error page of the engine has text at its top left), none of the page.
notice_shows() {
  local x y bw bh bx by inside all
  IFS='x+' read -r _ _ x y <<<"$2"
  IFS='x+' read -r bw bh bx by <<<"$LINUX_NOTICE_BOX"
  inside=$(dark "$1" "$((bw + 16))x$((bh + 16))+$((x + bx - 8))+$((y + by - 8))")
  all=$(dark "$1" "$2")
  echo "      notice: $inside dark pixels in its box, $((all - inside)) elsewhere in the client area"
  ((inside > 2000 && all - inside < 20)) && (($(linux_pixels "$1" "$2" "$LINUX_COLOUR") == 0))
}

# --- the server unreachable: the notice -----------------------------------------------------------
linux_start TZ=Asia/Shanghai
window=$(linux_window "$VEMR_PID") || { vemr_fail "no window of the client"; e2e_finish; }
area=$(linux_area "$window")
for _ in $(seq 30); do
  notice_shows "$(linux_shot notice)" "$area" >/dev/null && break
  sleep 0.5
done
e2e_check "server unreachable: the client area shows the network notice (notice.png)" notice_shows "$VEMR_OUT/notice.png" "$area"
linux_stop "$VEMR_PID"

# --- the server up: the page; a second start -------------------------------------------------------
linux_page render
vemr_start_server --launch-page "$LINUX_PAGE"
linux_make_app
linux_start TZ=Asia/Shanghai
first=$VEMR_PID
window=$(linux_window "$first") || { vemr_fail "no window of the client"; e2e_finish; }
page_area=$(linux_area "$window")
e2e_check "server up: the page shows (page.png)" linux_wait_rendered page "$page_area"
differ=$(linux_differ "$VEMR_OUT/page.png" "$page_area" "$VEMR_OUT/notice.png" "$area")
e2e_check "the page's client area differs from the notice's ($differ pixels, over 100000)" test "$differ" -gt 100000
linux_start TZ=Asia/Shanghai
e2e_check "a second start ends by itself" linux_wait_exit "$VEMR_PID" 15
e2e_check "the second start ended with exit code 0" test "${LINUX_EXIT_CODE:-}" = 0
sleep 1
e2e_check "the server saw exactly one launch request" test "$(vemr_launches)" = 1
e2e_check "horasync was started once" test "$(vemr_horasync_calls | wc -l)" = 1
e2e_check "the first copy still runs" kill -0 "$first"

# --- minimise to the tray, back by a click -----------------------------------------------------------
e2e_check "before minimising: no icon in the tray" test -z "$(linux_tray_icon "$first")"
xdotool windowminimize "$window"
e2e_check "minimised: the window is unmapped" linux_wait 5 eval '! linux_mapped "$window"'
e2e_check "minimised: one icon in the tray" linux_wait 5 eval '(($(linux_tray_icon "$first" | wc -l) == 1))'
icon=$(linux_tray_icon "$first" | head -1)
echo "      tray icon at ${icon:-nowhere} ($(linux_shot tray))"
linux_cover
xdotool mousemove ${icon:-0 0} click 1
e2e_check "a click on the icon: the window is mapped again" linux_wait 5 linux_mapped "$window"
e2e_check "a click on the icon: the window lies above the window that covered the screen" \
  linux_wait 5 linux_above "$window" "$LINUX_COVER"
e2e_check "a click on the icon: the icon is gone" linux_wait 5 eval '[[ -z $(linux_tray_icon "$first") ]]'
echo "      back: $(linux_shot restored)"
e2e_finish
