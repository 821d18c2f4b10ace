#!/usr/bin/env bash
# The client against the stand-in operator server, for the demo: vemr.exe (dist/win32) under Wine
# in a namespace of its own where op.vemr.test is 127.0.0.1, the server on port 8080 inside.
# Prints the server's verdict line of the launch request, what the window showed, and where the
# screenshot of the network notice is (Wine has no HTML engine: the loaded page is reported as a
# navigation error, so the notice is what the window shows). Uses the caller's Wine environment
# or starts one.
# With --linux, the Linux client (dist/linux/vemr, a real HTML engine) the same way under Xvfb with
# a window manager, without Wine: the operator's page as a shop sees it (vemr_demo_linux.png).
#   tools/demo/vemr_demo.sh [--linux] [OUTPUT_FOLDER]      exit 0 when the server's verdict is "ok"
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/lib/vemr.bash"

if [[ ${1:-} == --linux ]]; then
  source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/lib/linux.bash"
  out=${2:-}
  linux_setup vemrdemolx
  [[ -n $out ]] && mkdir -p "$out" && VEMR_OUT=$out
  vemr_start_server
  linux_make_app
  echo "config.txt: 话费充值 / op.vemr.test:8080 / 话费充值 / 8 (GBK, CR LF); $LINUX_VEMR under Xvfb with openbox"
  linux_start TZ=Asia/Shanghai
  vemr_wait_launches 1 30 || { echo "no launch request reached the server"; exit 1; }
  echo "server verdict:"
  verdict=0
  "$VEMR_SERVER" --check-log "$VEMR_LOG" --endpoint launch --expect-count 1 | sed 's/^/  /' || verdict=1
  echo "  User-Agent: $(vemr_launch_field 1 'e["values"]["user_agent"]')"
  sleep 1
  echo "  horasync started with: $(vemr_horasync_calls)"
  window=$(linux_window "$VEMR_PID") || { echo "no window of the client"; exit 1; }
  area=$(linux_area "$window")
  # The operator's page is shown when its text (dark, at the top left) is there.
  IFS='x+' read -r _ _ x y <<<"$area"
  linux_wait 15 eval '(($(linux_pixels "$(linux_shot vemr_demo_linux)" "400x60+$x+$y" "#000000" 30%) > 100))' ||
    { echo "the operator's page did not show"; verdict=1; }
  echo "window: caption $(xdotool getwindowname "$window"), client area $area"
  echo "screenshot: $VEMR_OUT/vemr_demo_linux.png"
  linux_stop "$VEMR_PID"
  exit "$verdict"
fi

out=${1:-}
vemr_setup vemrdemo
[[ -n $out ]] && mkdir -p "$out" && VEMR_OUT=$out
vemr_start_server
vemr_clear_cache   # a first start: the identifier is computed and cached
vemr_make_app '话费充值\r\nop.vemr.test:8080\r\n话费充值\r\n8'
echo "config.txt: 话费充值 / op.vemr.test:8080 / 话费充值 / 8 (GBK, CR LF)"
vemr_start TZ=Asia/Shanghai
if ! vemr_wait_launches 1 40; then
  echo "no launch request reached the server"
  exit 1
fi
echo "server verdict:"
verdict=0
"$VEMR_SERVER" --check-log "$VEMR_LOG" --endpoint launch --expect-count 1 | sed 's/^/  /' || verdict=1
echo "  User-Agent: $(vemr_launch_field 1 'e["values"]["user_agent"]')"
echo "  horasync started with: $(vemr_horasync_calls)"
echo "  cached identifier: $(vemr_cache)"
for _ in $(seq 1 50); do
  state=$(vemr_probe state)
  [[ $(vemr_value browser_visible "$state") == 0 ]] && break
  sleep 0.2
done
echo "window: caption $(vemr_value caption "$state"), client $(vemr_value client "$state"), browser visible $(vemr_value browser_visible "$state")"
import -window root "$VEMR_OUT/vemr_demo.png" 2>/dev/null && echo "screenshot: $VEMR_OUT/vemr_demo.png"
vemr_probe close >/dev/null
vemr_wait_exit "$VEMR_PID" 15 || true
exit "$verdict"
