#!/usr/bin/env bash
# The client's window and tray icon, end to end (the real vemr.exe under Wine and Xvfb, in a
# namespace of its own with the stand-in operator server):
# - shown after the start-up, client area 1016 x 704, centred in the work area, no Size command;
# - the server holds its answer, so the browser stays up: minimising puts the window in the tray
#   (hidden, browser moved to 1000 twips), the icon's tip is the caption; a real click on the icon
#   brings it back topmost with the icon gone; each tray message 513 to 521 does the same, 512
#   does nothing, and a tray message without an icon does nothing;
# - on 1920 x 1200 at 120, 144 and 96 dpi (Wine's LogPixels) the client area is 15240 x 10560 twips;
#   on 1366 x 768 at 120 dpi, 1920 x 1080 at 144 dpi and 1280 x 1024 less a 40-pixel taskbar at the
#   top at 144 dpi the window fills the work area where it lacks room; the browser covers the client
#   area as it is, and the tray keeps the layout (vemr_<screen>_<dpi>dpi.png); setup's controls and
#   their text stay inside its window;
# - an unreachable host (on the last screen): the notice shows, kept to the client area's centre
#   (vemr_neterr.png); minimising, a resize, then ends the client without a tray icon.
# Exit 0 = pass.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/vemr.bash"

CAPTION=话费充值

vemr_setup vemrwindow
# The launch page is answered only after 120 s: until then no navigation error, the browser shows.
vemr_start_server --delay 120 --fault-on launch
vemr_make_app "$CAPTION"'\r\nop.vemr.test:8080\r\n话费充值\r\n8'
vemr_start TZ=Asia/Shanghai
vemr_wait_launches 1 40 || vemr_fail "no launch request within 40 s"
state=$(vemr_probe wait 10000 state)
v() { vemr_value "$1" "$state"; }

vemr_check "shown after the start-up with the caption of line 1" '[[ $(v visible) == 1 && $(v caption) == "$CAPTION" ]]'
vemr_check "client area 1016 x 704" '[[ $(v client) == 1016x704 ]]'
vemr_check "the browser covers the client area" '[[ $(v browser_visible) == 1 && $(v browser_top) == 0 && $(v browser_size) == 1019x705 ]]'
vemr_check "the window menu has no Size command" '[[ $(v size_command) == 0 ]]'
IFS=, read -r wl wt wr wb <<<"$(v work)"
IFS=, read -r l t r b <<<"$(v rect)"
vemr_check "centred in the work area ($(v work)): window at $(v rect)" \
  '(( ${l} - (wl + (wr - wl - (r - l)) / 2) <= 1 && (wl + (wr - wl - (r - l)) / 2) - l <= 1 &&
      ${t} - (wt + (wb - wt - (b - t)) / 2) <= 1 && (wt + (wb - wt - (b - t)) / 2) - t <= 1 ))'

# --- minimise: the tray --------------------------------------------------------------------------
state=$(vemr_probe minimize wait-hidden 5000 state tray)
vemr_check "minimised: window hidden and minimised" '[[ $(v visible) == 0 && $(v iconic) == 1 ]]'
vemr_check "minimised: browser moved to 1000 twips (67 px)" '[[ $(v browser_top) == 67 ]]'
vemr_check "minimised: one tray icon" '[[ $(v icons) == 1 ]]'
icon=$(v icon_centre)
xdotool mousemove 600 600
sleep 0.3
xdotool mousemove "${icon%,*}" "${icon#*,}"
tips=""
for _ in $(seq 1 20); do
  sleep 0.25
  tips=$(vemr_probe tips)
  [[ -n $tips ]] && break
done
vemr_check "the icon's tip is the caption" '[[ $tips == *"tip=$CAPTION"* ]]'
import -window root "$VEMR_OUT/vemr_tray.png" 2>/dev/null || true

xdotool click 1
state=$(vemr_probe wait 5000 sleep 300 state tray)
vemr_check "a click on the icon: shown, normal, topmost" '[[ $(v visible) == 1 && $(v iconic) == 0 && $(v topmost) == 1 ]]'
vemr_check "a click on the icon: browser back at the top, icon gone" '[[ $(v browser_top) == 0 && $(v icons) == 0 ]]'

state=$(vemr_probe traymsg 513 sleep 300 state tray)
vemr_check "a tray message without an icon does nothing" '[[ $(v visible) == 1 && $(v icons) == 0 ]]'

state=$(vemr_probe minimize wait-hidden 5000 traymsg 512 sleep 300 state tray)
vemr_check "message 512 (mouse over the icon) does nothing" '[[ $(v visible) == 0 && $(v icons) == 1 ]]'
for m in 513 514 515 516 517 518 519 520 521; do
  # The window is in the tray here (from the step before, or minimised again).
  state=$(vemr_probe minimize wait-hidden 5000 traymsg "$m" wait 5000 sleep 200 state tray)
  vemr_check "message $m brings the window back topmost, icon gone" \
    '[[ $(v visible) == 1 && $(v iconic) == 0 && $(v topmost) == 1 && $(v browser_top) == 0 && $(v icons) == 0 ]]'
done
vemr_check "still waiting for the page: no navigation error yet" '[[ $(v browser_visible) == 1 ]]'
vemr_probe close >/dev/null
vemr_check "closing the window ends the client" 'vemr_wait_exit "$VEMR_PID" 15'

# --- display scaling and screen sizes -------------------------------------------------------------
# Each case: screen, work area (X,Y,W,H; the screen when empty), DPI. The window has the design client
# area and is centred where the work area has room, else fills the area in that direction; the browser
# reaches past the client area as by design; the tray and back keep the layout. setup's controls lie
# inside its window and their text fits them.
px() { echo $(( ($1 * $2 + 720) / 1440 )); }    # twips at DPI, in whole pixels
near() { (( $1 - $2 <= 1 && $2 - $1 <= 1 )); }  # within a pixel
shape() { local k; for k in rect client browser_size browser_top; do vemr_value $k "$1"; done; }
SETUP_TITLE=欢迎安装${CAPTION}客户端
cp "$VEMR_ROOT/dist/$E2E_ARCH/setup.exe" "$VEMR_APP/"
screen=
for c in 1920x1200::120 1920x1200::144 1920x1200::96 1366x768::120 1920x1080::144 1280x1024:0,40,1280,984:144; do
  IFS=: read -r size area dpi <<<"$c"
  vemr_dpi "$dpi"
  [[ $size:$area == "$screen" ]] || vemr_screen "$size" ${area:+"$area"}
  screen=$size:$area at="$size${area:+ (work area $area)} $dpi dpi"
  vemr_start TZ=Asia/Shanghai
  state=$(vemr_probe wait 10000 sleep 500 state)   # centred at the first paint, just after it shows
  IFS=, read -r wl wt wr wb <<<"$(v work)"
  IFS=, read -r l t r b <<<"$(v rect)"
  IFS=x read -r cw ch <<<"$(v client)"
  IFS=x read -r sw sh <<<"$(v browser_size)"
  w=$(px 15240 "$dpi") h=$(px 10560 "$dpi") fw=$((r - l - cw)) fh=$((b - t - ch))
  ew=$((wr - wl - fw < w ? wr - wl - fw : w)) eh=$((wb - wt - fh < h ? wb - wt - fh : h))
  vemr_check "$at: the probe sees $(v dpi) dpi, $(v screen), client area $(v client), ${ew}x${eh} wanted" \
    '[[ $(v dpi) == "$dpi" && $(v screen) == "$size" ]] && near "$cw" "$ew" && near "$ch" "$eh"'
  vemr_check "$at: window at $(v rect), inside the work area $(v work), centred where it has room" \
    '(( l >= wl && t >= wt && r <= wr && b <= wb )) &&
     near "$l" $((wl + (wr - wl > r - l ? (wr - wl - r + l) / 2 : 0))) &&
     near "$t" $((wt + (wb - wt > b - t ? (wb - wt - b + t) / 2 : 0)))'
  vemr_check "$at: the browser ($(v browser_size)) covers the client area as by design" \
    '[[ $(v browser_top) == 0 ]] &&
     near $((sw - cw)) $(($(px 15285 "$dpi") - w)) && near $((sh - ch)) $(($(px 10575 "$dpi") - h))'
  import -window root "$VEMR_OUT/vemr_${size}_${dpi}dpi.png" 2>/dev/null || true
  tray=$(vemr_probe minimize wait-hidden 5000 state)
  back=$(vemr_probe traymsg 513 wait 5000 sleep 200 state)
  vemr_check "$at: the tray moves the browser to 1000 twips, and back the layout is the same" \
    '[[ $(vemr_value browser_top "$tray") == $(px 1000 "$dpi") && $(shape "$back") == "$(shape "$state")" ]]'
  vemr_probe close >/dev/null
  vemr_wait_exit "$VEMR_PID" 15 || vemr_fail "$at: the client did not end when closed"
  vemr_wine "$VEMR_APP_WIN\\setup.exe" >/dev/null 2>&1 &
  VEMR_PIDS+=($!)
  layout=$(vemr_wine "$E2E_PROBES/setup_probe.exe" layout "$SETUP_TITLE" 10000 | tr -d '\r')
  vemr_check "$at: setup's controls inside its window, their text inside them: ${layout//$'\n'/ | }" \
    '[[ $layout == *inside=1* && $layout != *=0* ]]'
  vemr_wine "$E2E_PROBES/setup_probe.exe" close "$SETUP_TITLE" >/dev/null 2>&1 || true
  vemr_wait_exit "$!" 15 || vemr_fail "$at: setup did not end when closed"
done

# --- unreachable host, on the last screen: the notice, then a resize ends the client ----------------
vemr_make_app "$CAPTION"'\r\nop.vemr.test:8081\r\n话费充值\r\n8'
vemr_start TZ=Asia/Shanghai
for _ in $(seq 1 75); do
  state=$(vemr_probe state)
  [[ $(v visible) == 1 && $(v browser_visible) == 0 ]] && break
  sleep 0.2
done
vemr_check "unreachable host: the browser is hidden, the window shows" '[[ $(v visible) == 1 && $(v browser_visible) == 0 ]]'
sleep 0.5
shot=$VEMR_OUT/vemr_neterr.png
import -window root "$shot"
# The notice's box (3670, 3840, 8055 x 4000 twips, less half of what the client area lacks: it keeps
# its place to the centre) holds drawn text; beside and below it the client area is plain. Client
# origin: the outer rectangle less its frame.
IFS=, read -r l t r b <<<"$(v rect)"
IFS=x read -r cw ch <<<"$(v client)"
ox=$((l + (r - l - cw) / 2)) oy=$((b - (r - l - cw) / 2 - ch)) nw=$(px 8055 "$dpi") nh=$(px 4000 "$dpi")
nl=$(($(px 3670 "$dpi") - ($(px 15240 "$dpi") - cw) / 2)) nt=$(($(px 3840 "$dpi") - ($(px 10560 "$dpi") - ch) / 2))
spread() { convert "$shot" -crop "$1" -colorspace gray -format '%[fx:standard_deviation]' info:; }
label=$(spread "${nw}x${nh}+$((ox + nl))+$((oy + nt))")
beside=$(spread "$((cw - nl - nw - 10))x${nh}+$((ox + nl + nw + 10))+$((oy + nt))")
below=$(spread "${nw}x$((nh / 4))+$((ox + nl))+$((oy + nt + nh + nh / 8))")
echo "      notice box spread $label, beside it $beside, below it $below"
vemr_check "the notice is drawn at its place in the client area ($(v client))" \
  'python3 -c "import sys; sys.exit(not (float(\"$label\") > 0.1 and float(\"$beside\") < 0.02 and float(\"$below\") < 0.02))"'
state=$(vemr_probe minimize sleep 300 tray)
vemr_check "minimising while the notice shows ends the client" 'vemr_wait_exit "$VEMR_PID" 15'
vemr_check "no tray icon was made" '[[ $(v icons) == 0 ]]'

e2e_finish
