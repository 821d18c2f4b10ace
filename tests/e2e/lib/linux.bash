# linux.bash — the Linux edition's helpers, sourced by tests/e2e/linux_*.sh, tools/demo/vemr_demo.sh
# and tools/bench/vemr_linux_bench.sh (not run).
#
# A scenario runs the real dist/linux/vemr (Qt WebEngine) inside a network namespace of its own in
# which the operator's host name maps to 127.0.0.1, with the stand-in operator server (vemr.bash's
# helpers), an Xvfb, the window manager openbox (a minimise is a request to the window manager)
# and, when asked, trayer as the tray, all inside it; no Wine. Every start of the client gets the
# scenario's HOME and XDG_RUNTIME_DIR (settings and single-copy lock of a user of its own), an
# otherwise empty environment and no CAP_SYS_TIME in its bounding set, so that neither it nor the
# horasync it starts can set the clock. Each process is started so that its pid is the program's
# own; all end by pid on every exit path, then the namespace with whatever is left inside.

# shellcheck source=vemr.bash
source "$(dirname "${BASH_SOURCE[0]}")/vemr.bash"
LINUX_VEMR=$E2E_ROOT/dist/linux/vemr
LINUX_SCREEN=1280x1024
LINUX_TEXT=话费充值平台          # the page's text, in LINUX_COLOUR at LINUX_TEXT_PX pixels
LINUX_TEXT_JS='\u8bdd\u8d39\u5145\u503c\u5e73\u53f0'
LINUX_COLOUR='#e6007e'
LINUX_TEXT_PX=72
LINUX_CONFIG='话费充值\r\nop.vemr.test:8080\r\n话费充值\r\n8'
# The notice's box in the client area: the layout's twips at 15 per pixel.
LINUX_NOTICE_BOX=537x267+245+256

# linux_setup NAME: prerequisites (a missing build fails, naming its preset), the namespace, the
# display with its window manager.
linux_setup() {
  local name=$1 tool
  [[ -x $LINUX_VEMR ]] || { echo "FAIL: $LINUX_VEMR missing (build it: cmake --preset linux && cmake --build --preset linux)"; exit 1; }
  [[ -x $VEMR_MYMD ]] || { echo "FAIL: $VEMR_MYMD missing (build it: cmake --preset native && cmake --build --preset native)"; exit 1; }
  for tool in Xvfb openbox trayer xdotool xprop xwininfo xmessage import convert compare capsh cupsd lpadmin pdfinfo; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool missing (run tools/scripts/bootstrap)"; exit 1; }
  done
  e2e_begin linux_cleanup --no-wine
  VEMR_WORK=$(mktemp -d "/tmp/$name.XXXXXX")
  VEMR_OUT=${E2E_OUT:-$VEMR_WORK/out}
  E2E_KEPT=$VEMR_OUT
  E2E_FAIL_LOGS+=("$VEMR_WORK/server.log" "$VEMR_WORK/vemr.out")
  mkdir -p "$VEMR_OUT" "$VEMR_WORK/home"
  install -d -m 700 "$VEMR_WORK/runtime"
  : >"$VEMR_WORK/vemr.out"
  e2e_netns_up "$name$$" "$VEMR_HOST"
  LINUX_ENV=(env -i PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin HOME="$VEMR_WORK/home"
    XDG_RUNTIME_DIR="$VEMR_WORK/runtime" LANG=zh_CN.UTF-8)
  declare -F wine_env_xvfb >/dev/null || source "$E2E_ROOT/tools/scripts/wine-env"
  wine_env_xvfb "$LINUX_SCREEN" "$VEMR_WORK" "$E2E_NETNS" run "$E2E_NS" || exit 1
  LINUX_XVFB_PID=$WINE_ENV_XVFB_STARTED
  LINUX_ENV+=(DISPLAY="$DISPLAY")
  "$E2E_NETNS" run "$E2E_NS" "${LINUX_ENV[@]}" openbox --sm-disable >"$VEMR_WORK/openbox.log" 2>&1 &
  LINUX_WM_PID=$!
  linux_wait 10 linux_has_wm || { vemr_fail "the window manager did not start"; exit 1; }
  VEMR_APPS=0
}

linux_has_wm() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# linux_wait SECONDS CMD...: true as soon as CMD is (tried every 0.1 s).
linux_wait() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    "${@:2}" && return 0
    sleep 0.1
  done
  return 1
}

linux_cleanup() {
  local pid
  e2e_kill "${VEMR_PIDS[@]}" ${LINUX_TRAY_PID:-}
  [[ -s ${VEMR_WORK:-}/server.pid ]] && e2e_kill "$(cat "$VEMR_WORK/server.pid")"
  e2e_kill ${LINUX_WM_PID:-} ${LINUX_XVFB_PID:-} ${LINUX_CUPSD_PID:-}
  for pid in "${VEMR_PIDS[@]}" ${LINUX_TRAY_PID:-} ${LINUX_WM_PID:-} ${LINUX_XVFB_PID:-} ${LINUX_CUPSD_PID:-}; do
    wait "$pid" 2>/dev/null || true
  done
  [[ -n ${VEMR_WORK:-} ]] && rm -rf "$VEMR_WORK"
  return 0
}

# linux_page KIND: the page the server answers the next accepted launches with (LINUX_PAGE; pass
# --launch-page "$LINUX_PAGE" to vemr_start_server). GBK, LINUX_TEXT in LINUX_COLOUR; its script
# requests /rendered.asp?probe=render&text=gbk (garbled when the text did not decode), which only
# a running engine does. KIND: render (nothing more), logout (the sign-out link, followed by
# script), Logout (the same to /Logout.asp), frame (a frame that loads logout.asp); print (a page of
# its own: a black box at the sheet's top-left corner, and window.print() once it has loaded).
linux_page() {
  local more=
  LINUX_PAGE=$VEMR_WORK/page.html
  case $1 in
    print)
      printf '%s\n' '<html><body style="margin: 0"><div style="width: 300px; height: 200px; background: #000"></div>' \
        '<p>小票</p><script>addEventListener("load", () => setTimeout(() => print(), 300));</script></body></html>' \
        >"$LINUX_PAGE"
      return 0 ;;
    render) ;;
    logout | Logout)
      more="<a id=\"out\" href=\"/$1.asp\">退出</a><script>setTimeout(function () {
  document.getElementById('out').click(); }, 300);</script>" ;;
    frame) more='<iframe src="/logout.asp" width="400" height="80"></iframe>' ;;
    *) echo "linux_page: no page $1" >&2; return 1 ;;
  esac
  cat >"$LINUX_PAGE" <<EOF
<html><head><meta http-equiv="Content-Type" content="text/html; charset=gbk"><title>话费充值</title></head>
<body style="margin: 0; background: #ffffff">
<p id="text" style="margin: 40px; font: ${LINUX_TEXT_PX}px 'WenQuanYi Zen Hei'; color: $LINUX_COLOUR">$LINUX_TEXT</p>
<script>fetch('/rendered.asp?probe=render&text=' +
  (document.getElementById('text').textContent == '$LINUX_TEXT_JS' ? 'gbk' : 'garbled'));</script>
$more
</body></html>
EOF
}

# linux_make_app [CONFIG_TEXT]: a fresh client folder (VEMR_APP) with vemr, a stand-in horasync
# that records how it was started (one line per start: the number of arguments, then each in
# brackets) and config.txt holding CONFIG_TEXT (printf escapes, UTF-8 turned into GBK;
# LINUX_CONFIG by default).
linux_make_app() {
  VEMR_APPS=$((VEMR_APPS + 1))
  VEMR_APP=$VEMR_WORK/app$VEMR_APPS
  mkdir -p "$VEMR_APP"
  cp "$LINUX_VEMR" "$VEMR_APP/vemr"
  printf '#!/bin/sh\n{ printf %%s "$#"; printf " [%%s]" "$@"; echo; } >>"$(dirname "$0")/horasync-calls.txt"\n' \
    >"$VEMR_APP/horasync"
  chmod +x "$VEMR_APP/horasync"
  printf "${1:-$LINUX_CONFIG}" | iconv -f UTF-8 -t GBK >"$VEMR_APP/config.txt"
}

# linux_run [VAR=VALUE...] PROGRAM [ARG...]: starts PROGRAM inside the namespace with the
# scenario's environment (and VAR=VALUE), CAP_SYS_TIME dropped from its bounding set; VEMR_PID is
# the program's own pid, LINUX_STARTED when it was started (seconds since the epoch).
linux_run() {
  local assign=()
  while [[ ${1:-} =~ ^[A-Za-z_][A-Za-z0-9_]*= ]]; do assign+=("$1"); shift; done
  LINUX_STARTED=$(date +%s.%N)
  "$E2E_NETNS" run "$E2E_NS" "${LINUX_ENV[@]}" "${assign[@]}" capsh --drop=cap_sys_time -- -c 'exec "$0" "$@"' \
    "$@" >>"$VEMR_WORK/vemr.out" 2>&1 &
  VEMR_PID=$!
  VEMR_PIDS+=("$VEMR_PID")
}

# linux_start [VAR=VALUE...]: starts VEMR_APP's client (linux_run).
linux_start() { linux_run "$@" "$VEMR_APP/vemr"; }

# linux_wait_exit PID SECONDS: true when the process ended within the time (LINUX_EXIT_CODE its exit
# code, LINUX_EXIT_TIME when it was seen gone: seconds since the epoch, within 0.05 s); else false,
# and the process is ended, so that the next start finds no copy running.
linux_wait_exit() {
  local i
  for ((i = 0; i < $2 * 20; i++)); do
    if ! kill -0 "$1" 2>/dev/null; then
      LINUX_EXIT_TIME=$(date +%s.%N)
      LINUX_EXIT_CODE=0
      wait "$1" 2>/dev/null || LINUX_EXIT_CODE=$?
      return 0
    fi
    sleep 0.05
  done
  linux_stop "$1"
  return 1
}

# linux_stop PID: ends a client (by pid) and waits for it.
linux_stop() { e2e_kill "$1"; wait "$1" 2>/dev/null || true; }

# linux_entries ENDPOINT [QUERY]: how many ENDPOINT requests (with exactly QUERY) the server logged.
linux_entries() {
  python3 - "$VEMR_LOG" "$@" <<'EOF'
import json, sys
entries = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8") if l.strip()]
print(sum(e["endpoint"] == sys.argv[2] and sys.argv[3:] in ([], [e["query"]]) for e in entries))
EOF
}

# linux_wait_entries SECONDS N ENDPOINT [QUERY]: true when the server logged N such requests in time.
linux_wait_entries() { linux_wait "$1" linux_logged "${@:2}"; }
linux_logged() { (($(linux_entries "${@:2}") >= $1)); }

# linux_entry_time ENDPOINT N: when the server logged its Nth ENDPOINT request (seconds since the epoch).
linux_entry_time() { date -d "$(vemr_log_field "$1" "$2" 'e["time"]')" +%s.%N; }

# linux_window PID: the client's window (the largest viewable window of PID), waiting up to 30 s.
linux_window() {
  local w best='' size most=0 i
  for ((i = 0; i < 150; i++)); do
    for w in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
      size=$(xwininfo -id "$w" 2>/dev/null | awk '/Width:/ {w = $2} /Height:/ {h = $2} END {print w * h}')
      ((${size:-0} > most)) && most=$size best=$w
    done
    [[ -n $best ]] && { echo "$best"; return 0; }
    sleep 0.2
  done
  return 1
}

# linux_area WINDOW: the window's client area on the screen, as an ImageMagick geometry WxH+X+Y.
linux_area() {
  xwininfo -id "$1" | awk '/Absolute upper-left X:/ {x = $4} /Absolute upper-left Y:/ {y = $4}
    /Width:/ {w = $2} /Height:/ {h = $2} END {printf "%dx%d+%d+%d\n", w, h, x, y}'
}

# linux_mapped WINDOW: true when the window is mapped and viewable.
linux_mapped() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# linux_above WINDOW OTHER: true when WINDOW lies above OTHER in the window manager's stacking order.
linux_above() {
  xprop -root _NET_CLIENT_LIST_STACKING | python3 -c '
import re, sys
order = [int(w, 16) for w in re.findall(r"0x[0-9a-f]+", sys.stdin.read())]
a, b = int(sys.argv[1]), int(sys.argv[2])
sys.exit(0 if a in order and b in order and order.index(a) > order.index(b) else 1)' "$1" "$2"
}

# linux_cover: a window over the whole screen (xmessage), to be seen whether the client comes back
# above it; sets LINUX_COVER (its X window, found by its class: xmessage gives no pid).
linux_cover() {
  "$E2E_NETNS" run "$E2E_NS" "${LINUX_ENV[@]}" xmessage -name linuxcover -geometry "${LINUX_SCREEN}+0+0" \
    cover >/dev/null 2>&1 &
  VEMR_PIDS+=($!)
  linux_wait 10 eval 'LINUX_COVER=$(xdotool search --onlyvisible --classname "^linuxcover$")' ||
    vemr_fail "the covering window did not show"
}

# linux_tray_host: trayer at the screen's bottom right, the tray the client's icon goes into.
linux_tray_host() {
  "$E2E_NETNS" run "$E2E_NS" "${LINUX_ENV[@]}" trayer --edge bottom --align right --widthtype request \
    --height 32 --SetDockType true >"$VEMR_WORK/trayer.log" 2>&1 &
  LINUX_TRAY_PID=$!
  LINUX_TRAY=$(linux_window "$LINUX_TRAY_PID") || { vemr_fail "the tray (trayer) did not show"; exit 1; }
}

# linux_tray_icon PID: the centre "X Y" of PID's icons inside trayer's window, one line each.
linux_tray_icon() {
  local tray w x y
  tray=$(linux_area "$LINUX_TRAY")
  for w in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
    read -r x y < <(linux_area "$w" | awk -F'[x+]' '{print $3 + int($1 / 2), $4 + int($2 / 2)}')
    awk -F'[x+]' -v x="$x" -v y="$y" '{exit !(x >= $3 && x < $3 + $1 && y >= $4 && y < $4 + $2)}' <<<"$tray" &&
      echo "$x $y"
  done
  return 0
}

# linux_shot NAME: a screenshot of the whole screen, VEMR_OUT/NAME.png; prints its path.
linux_shot() { import -window root "$VEMR_OUT/$1.png" && echo "$VEMR_OUT/$1.png"; }

# linux_pixels SHOT GEOMETRY COLOUR [FUZZ]: how many pixels of SHOT's part GEOMETRY (WxH+X+Y) are
# COLOUR (within FUZZ, 15 % by default).
linux_pixels() {
  convert "$1" -crop "$2" +repage -alpha off -fuzz "${4:-15%}" -transparent "$3" -alpha extract \
    -format '%[fx:round((1 - mean) * w * h)]' info:
}

# linux_text_box SHOT GEOMETRY: the size "W H" of the box around SHOT's pixels of LINUX_COLOUR.
linux_text_box() {
  convert "$1" -crop "$2" +repage -alpha off -fuzz 15% -transparent "$LINUX_COLOUR" -alpha extract -negate \
    -trim -format '%w %h' info:
}

# linux_differ SHOT1 GEOMETRY1 SHOT2 GEOMETRY2: in how many pixels the two screenshots' parts differ.
linux_differ() {
  convert "$1" -crop "$2" +repage "$VEMR_WORK/differ1.png"
  convert "$3" -crop "$4" +repage "$VEMR_WORK/differ2.png"
  compare -metric AE -fuzz 3% "$VEMR_WORK/differ1.png" "$VEMR_WORK/differ2.png" null: 2>&1 || true
}

# linux_rendered SHOT AREA: true when SHOT's client area AREA shows the page's text: many pixels
# of its colour, in a box of six characters of its size on one line.
linux_rendered() {
  local w h
  (($(linux_pixels "$1" "$2" "$LINUX_COLOUR") > 3000)) || return 1
  read -r w h < <(linux_text_box "$1" "$2")
  e2e_between "$w" $((LINUX_TEXT_PX * 6 * 8 / 10)) $((LINUX_TEXT_PX * 6)) &&
    e2e_between "$h" $((LINUX_TEXT_PX * 6 / 10)) $((LINUX_TEXT_PX * 11 / 10))
}

# linux_wait_rendered NAME AREA: screenshots (VEMR_OUT/NAME.png) until one shows the page's text
# in the client area AREA, for up to 15 s.
linux_wait_rendered() {
  local i
  for ((i = 0; i < 30; i++)); do
    linux_rendered "$(linux_shot "$1")" "$2" && return 0
    sleep 0.5
  done
  return 1
}

# linux_printer: a CUPS of the scenario's own, inside the namespace, on a socket of its own
# (LINUX_CUPS: pass CUPS_SERVER=$LINUX_CUPS to the client), whose default printer writes each job
# as a PDF to VEMR_WORK/cups/out/receipt.pdf (the Generic PDF driver of cups-filters: pdftopdf only;
# CUPS writes nothing of a raw queue to a file device).
linux_printer() {
  local dir=$VEMR_WORK/cups
  chmod o+x "$VEMR_WORK"   # CUPS's filters run as lp: they pass through to read the driver and write
  mkdir -p "$dir"/etc/ppd "$dir"/spool/tmp "$dir"/cache "$dir"/log "$dir"/state "$dir"/out
  chmod 1777 "$dir/out" "$dir/spool/tmp"
  chown root:lp "$dir/spool" && chmod 0710 "$dir/spool"
  printf '%s\n' "Listen $dir/cups.sock" 'Browsing No' 'BrowseLocalProtocols none' 'DefaultAuthType None' \
    'WebInterface No' '<Location />' '  Order allow,deny' '  Allow all' '</Location>' \
    '<Policy default>' '  <Limit All>' '    Order deny,allow' '  </Limit>' '</Policy>' >"$dir/etc/cupsd.conf"
  printf '%s\n' "ServerRoot $dir/etc" "RequestRoot $dir/spool" "TempDir $dir/spool/tmp" "CacheDir $dir/cache" \
    "StateDir $dir/state" "AccessLog $dir/log/access_log" "ErrorLog $dir/log/error_log" \
    "PageLog $dir/log/page_log" 'FileDevice Yes' 'User lp' 'Group lp' 'SystemGroup root' >"$dir/etc/cups-files.conf"
  "$E2E_NETNS" run "$E2E_NS" cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" &
  LINUX_CUPSD_PID=$!
  LINUX_CUPS=$dir/cups.sock
  linux_wait 10 test -S "$LINUX_CUPS" || { vemr_fail "cupsd did not start"; return 1; }
  CUPS_SERVER=$LINUX_CUPS lpadmin -p receipt -E -v "file://$dir/out/receipt.pdf" \
    -P /usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd 2>/dev/null && CUPS_SERVER=$LINUX_CUPS lpadmin -d receipt
}

# linux_printed N: true when the printer has printed N jobs and the last one's file is whole.
linux_printed() {
  (($(grep -c ' total ' "$VEMR_WORK/cups/log/page_log" 2>/dev/null) >= $1)) &&
    pdfinfo "$VEMR_WORK/cups/out/receipt.pdf" >/dev/null 2>&1
}

# linux_print_page: the last job's PDF is one page of the driver's default paper (Letter) whose
# top-left pixel is black (the page's black box at the sheet's corner: no margins) and whose top and
# bottom strips are white (no header, no footer); says what is wrong otherwise.
linux_print_page() {
  local pdf=$VEMR_WORK/cups/out/receipt.pdf page=$VEMR_WORK/cups/page
  cp "$pdf" "$VEMR_OUT/receipt.pdf" 2>/dev/null || true
  pdfinfo "$pdf" | grep -q '^Pages: *1$' || { echo "not one page"; return 1; }
  pdfinfo "$pdf" | grep -q '^Page size: *612 x 792' || { echo "not Letter"; return 1; }
  pdftoppm -r 50 -gray -singlefile "$pdf" "$page"
  [[ $(convert "$page.pgm" -crop 1x1+0+0 -format '%[fx:round(mean)]' info:) == 0 ]] || { echo "a margin"; return 1; }
  [[ $(convert "$page.pgm" -crop 100%x6%+0+0 +repage -crop 50%x100%+213+0 -format '%[fx:mean>0.99]' info:) == 1 ]] ||
    { echo "a header"; return 1; }
  [[ $(convert "$page.pgm" -gravity south -crop 100%x6%+0+0 -format '%[fx:mean>0.99]' info:) == 1 ]] ||
    { echo "a footer"; return 1; }
}
