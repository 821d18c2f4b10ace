# vemr.bash — the client's helpers, sourced by tests/e2e/vemr_*.sh, tools/demo/vemr_demo.sh and
# tools/bench/vemr_bench.sh (not run).
#
# Each scenario runs the real dist/$E2E_ARCH/vemr.exe under Wine inside a network namespace of its own
# in which the operator's host name maps to 127.0.0.1, with the stand-in operator server inside
# and a stand-in time synchroniser (the window probe copied as horasync.exe records how it was
# started). It uses the Wine environment of its caller (tools/scripts/test-all) or starts one.
# Everything it starts ends on every exit path: vemr copies and the server by pid, the prefix's
# wineserver, the namespace.

# shellcheck source=common.bash
source "$(dirname "${BASH_SOURCE[0]}")/common.bash"
VEMR_ROOT=$E2E_ROOT
VEMR_EXE=$VEMR_ROOT/dist/$E2E_ARCH/vemr.exe
VEMR_PROBE_EXE=$E2E_PROBES/vemr_probe.exe
VEMR_BENCH_EXE=$VEMR_ROOT/build/$E2E_ARCH/client/vemr_bench.exe   # records what it hands the browser
VEMR_SERVER=$E2E_PEERS/operator_server.py
VEMR_MYMD=$E2E_MYMD
VEMR_HOST=op.vemr.test
VEMR_PORT=8080
VEMR_PIDS=()

vemr_fail() { e2e_check "$*" false; }
# vemr_check TEXT CONDITION: passes when CONDITION (evaluated) is true.
vemr_check() { e2e_check "$1" eval "$2"; }

vemr_cleanup() {
  local pid
  for pid in "${VEMR_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  if [[ -n ${VEMR_WORK:-} && -s $VEMR_WORK/server.pid ]]; then
    kill "$(cat "$VEMR_WORK/server.pid")" 2>/dev/null || true
  fi
  [[ -n ${VEMR_XVFB_PID:-} ]] && vemr_screen_end
  [[ ${VEMR_DPI:-96} != 96 ]] && vemr_dpi 96
  [[ -n ${WINEPREFIX:-} ]] && e2e_wineserver_down
  if [[ -n ${VEMR_SERIAL_FILE:-} ]]; then
    if [[ -e $VEMR_WORK/serial.saved ]]; then cp "$VEMR_WORK/serial.saved" "$VEMR_SERIAL_FILE"
    else rm -f "$VEMR_SERIAL_FILE"; fi
  fi
  for pid in "${VEMR_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  [[ -n ${VEMR_WORK:-} ]] && rm -rf "$VEMR_WORK"
  [[ -n ${VEMR_APP_ROOT:-} ]] && rm -rf "$VEMR_APP_ROOT"
  return 0
}

# vemr_setup NAME [SERIAL_HEX]: prerequisites, the Wine environment, the namespace. With a serial,
# the volume serial of C: becomes that value (written while the wineserver is down).
vemr_setup() {
  local name=$1 serial=${2:-}
  local f
  for f in "$VEMR_EXE" "$VEMR_PROBE_EXE" "$VEMR_BENCH_EXE" "$VEMR_MYMD" "$VEMR_SERVER"; do
    [[ -e $f ]] || { echo "FAIL: $f missing (build the native and $E2E_ARCH presets)"; exit 1; }
  done
  e2e_begin vemr_cleanup
  VEMR_WORK=$(mktemp -d "/tmp/$name.XXXXXX")
  VEMR_OUT=${E2E_OUT:-$VEMR_WORK/out}
  E2E_FAIL_LOGS+=("$VEMR_WORK/server.log")   # the server's log, shown when a check failed
  mkdir -p "$VEMR_OUT"
  # The wineserver creates the sockets: it must start inside the namespace.
  e2e_wineserver_down
  if [[ -n $serial ]]; then
    # Put back afterwards whatever the prefix had, so later scenarios see their usual serial.
    VEMR_SERIAL_FILE=$WINEPREFIX/drive_c/.windows-serial
    if [[ -e $VEMR_SERIAL_FILE ]]; then cp "$VEMR_SERIAL_FILE" "$VEMR_WORK/serial.saved"; fi
    printf '%s\n' "$serial" >"$VEMR_SERIAL_FILE"
  fi
  e2e_netns_up "$name$$" "$VEMR_HOST"
  VEMR_APP_ROOT=$WINEPREFIX/drive_c/$name-$$
  mkdir -p "$VEMR_APP_ROOT"
  VEMR_APPS=0
}

# vemr_in_ns CMD...: runs CMD inside the namespace.
vemr_in_ns() { e2e_in "$@"; }

# vemr_start_server [ARGS...]: the stand-in operator server inside the namespace; sets VEMR_LOG.
vemr_start_server() {
  local i
  VEMR_LOG=$VEMR_WORK/server.log
  : >"$VEMR_LOG"
  vemr_in_ns python3 "$VEMR_SERVER" --port "$VEMR_PORT" --log "$VEMR_LOG" --mymd "$VEMR_MYMD" \
    --pidfile "$VEMR_WORK/server.pid" "$@" >"$VEMR_WORK/server.out" 2>&1 &
  VEMR_PIDS+=($!)
  for ((i = 0; i < 100; i++)); do
    if [[ -s $VEMR_WORK/server.pid ]] &&
       vemr_in_ns bash -c "exec 3<>/dev/tcp/127.0.0.1/$VEMR_PORT" 2>/dev/null; then
      return 0
    fi
    sleep 0.1
  done
  echo "FAIL: the operator server did not start"; cat "$VEMR_WORK/server.out"; exit 1
}

# vemr_make_app CONFIG_TEXT: a fresh client folder on C: with vemr.exe, the stand-in horasync.exe
# and config.txt holding CONFIG_TEXT (printf escapes such as \r\n, UTF-8 turned into GBK). With
# the text "-" there is no config.txt. Sets VEMR_APP (Unix path) and VEMR_APP_WIN (Windows path).
vemr_make_app() {
  VEMR_APPS=$((VEMR_APPS + 1))
  VEMR_APP=$VEMR_APP_ROOT/app$VEMR_APPS
  VEMR_APP_WIN="C:\\$(basename "$VEMR_APP_ROOT")\\app$VEMR_APPS"
  mkdir -p "$VEMR_APP"
  cp "$VEMR_EXE" "$VEMR_APP/vemr.exe"
  cp "$VEMR_PROBE_EXE" "$VEMR_APP/horasync.exe"
  if [[ $1 != - ]]; then printf "$1" | iconv -f UTF-8 -t GBK >"$VEMR_APP/config.txt"; fi
}

# vemr_start [VAR=VALUE...]: starts the client of VEMR_APP inside the namespace; sets VEMR_PID.
vemr_start() {
  vemr_in_ns env "$@" wine "$VEMR_APP_WIN\\vemr.exe" >>"$VEMR_WORK/vemr.out" 2>&1 &
  VEMR_PID=$!
  VEMR_PIDS+=("$VEMR_PID")
}

# vemr_wine ARGS...: a Wine program inside the namespace. Every Wine call goes there: the first one
# after the wineserver stopped starts it, and the wineserver owns every socket of the session.
vemr_wine() { vemr_in_ns wine "$@"; }

# vemr_dpi DPI: the screen's DPI (Wine's LogPixels) for the programs started next. Wine takes it
# when its session starts, so the wineserver ends after the write (the next Wine call starts it
# again inside the namespace). vemr_cleanup puts 96 back for later scenarios.
vemr_dpi() {
  local key
  for key in 'HKCU\Control Panel\Desktop' 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'; do
    vemr_wine reg add "$key" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  done
  e2e_wineserver_down
  VEMR_DPI=$1
}

# vemr_screen WxH [X,Y,W,H]: the screen of the programs started next, an Xvfb of the scenario's own,
# with the work area X,Y,W,H (a taskbar's room left out; the screen unless given). A Wine session
# takes both when it starts: the wineserver ends, and a new session is waited for until it sees them.
vemr_screen() {
  local area=${2:-0,0,${1/x/,}} x y w h seen=
  IFS=, read -r x y w h <<<"$area"
  e2e_wineserver_down
  [[ -n ${VEMR_XVFB_PID:-} ]] && vemr_screen_end
  VEMR_DISPLAY=$DISPLAY
  wine_env_xvfb "$1" "$VEMR_WORK" || exit 1
  VEMR_XVFB_PID=$WINE_ENV_XVFB_STARTED
  # Xvfb drops the root window's properties when its last client leaves: one stays meanwhile.
  xprop -root -spy _NET_WORKAREA >"$VEMR_WORK/workarea" 2>&1 &
  VEMR_XPROP_PID=$!
  for _ in $(seq 100); do [[ -s $VEMR_WORK/workarea ]] && break; sleep 0.05; done
  xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "$area"
  for _ in $(seq 50); do
    seen=$(vemr_probe screen | tr '\n' ' ')
    [[ $seen == "screen=$1 work=$x,$y,$((x + w)),$((y + h)) " ]] && return 0
    sleep 0.2
  done
  vemr_fail "Wine does not see the $1 screen with work area $area: $seen"
  exit 1
}

# vemr_screen_end: the Wine environment's own screen again.
vemr_screen_end() {
  e2e_wineserver_down
  e2e_kill "$VEMR_XPROP_PID" "$VEMR_XVFB_PID"
  DISPLAY=$VEMR_DISPLAY
  unset VEMR_XVFB_PID
}

# vemr_probe ARGS...: the window probe (prints key=value lines). Its exit code is not passed on:
# a window that ends while the probe acts on it is a result, read from the output and the process.
vemr_probe() { { vemr_wine "$VEMR_PROBE_EXE" "$@" 2>/dev/null || true; } | tr -d '\r'; }

# vemr_value KEY TEXT: the value of KEY in probe output.
vemr_value() { sed -n "s/^$1=//p" <<<"$2" | head -1; }

# vemr_wait_exit PID SECONDS: true when the process ended within the time.
vemr_wait_exit() {
  local pid=$1 i
  for ((i = 0; i < $2 * 10; i++)); do
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null || true; return 0; }
    sleep 0.1
  done
  return 1
}

# vemr_launches: the number of launch requests in the server's log.
vemr_launches() { grep -c '"endpoint": "launch"' "$VEMR_LOG" || true; }

# vemr_wait_launches N SECONDS: true when the log holds N launch requests within the time.
vemr_wait_launches() {
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    (($(vemr_launches) >= $1)) && return 0
    sleep 0.1
  done
  return 1
}

# vemr_log_field ENDPOINT N EXPR: a value of the Nth ENDPOINT entry of the log (Python expression
# over e); vemr_launch_field N EXPR: of the Nth launch entry.
vemr_log_field() {
  python3 - "$VEMR_LOG" "$1" "$2" "$3" <<'EOF'
import json, sys
entries = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8") if l.strip()]
chosen = [e for e in entries if e.get("endpoint") == sys.argv[2]]
e = chosen[int(sys.argv[3]) - 1]
print(eval(sys.argv[4]))
EOF
}
vemr_launch_field() { vemr_log_field launch "$@"; }

# vemr_check_launch N SKEW WHAT [VER [SLACK]]: the Nth launch entry, checked whole: verdict, header,
# request line (ver as VER, a regular expression: by default the dots as they are or escaped, as
# Wine un-escapes %2E), Host, the stamp against the server's clock (SKEW: expected seconds from
# UTC+8, within SLACK seconds, 3 by default).
vemr_check_launch() {
  local n=$1 skew=$2 what=$3 ver=${4:-'1(\.|%2E)0(\.|%2E)0'} slack=${5:-3}
  e2e_check "$what: verdict ok" test "$(vemr_launch_field "$n" 'e["verdict"]')" = ok
  e2e_check "$what: exactly one User-Agent, TavinVmc.Cet/<id>/<expected signature>" \
    test "$(vemr_launch_field "$n" 'sum(1 for k, v in e["headers"] if k.lower() == "user-agent")') $(vemr_launch_field "$n" \
      'e["values"]["user_agent"] == "TavinVmc.Cet/" + e["values"]["machine_id"] + "/" + e["values"]["sig_expected"]')" = "1 True"
  e2e_check "$what: GET /language.asp?lau=cn&tim=<14 digits>&ver=${ver//\\/}" \
    grep -qxE "GET /language\\.asp\\?lau=cn&tim=[0-9]{14}&ver=$ver HTTP/1\\.1" <<<"$(vemr_launch_field "$n" 'e["request_line"]')"
  e2e_check "$what: Host header is the configured host" \
    test "$(vemr_launch_field "$n" 'e["values"]["host"]')" = op.vemr.test:8080
  e2e_check "$what: time stamp within $slack s of UTC $skew s from UTC+8" \
    test "$(vemr_launch_field "$n" "abs(e['values']['tim_skew_s'] - ($skew)) <= $slack")" = True
}

# vemr_cache: the machine-identifier cache entry of the client (empty when there is none).
vemr_cache() {
  vemr_wine reg query 'HKCU\Software\VB and VBA Program Settings\vemr\function' /v getmachineid 2>/dev/null |
    tr -d '\r' | sed -n 's/^ *getmachineid *REG_SZ *//p'
}

# vemr_set_cache VALUE: writes the cache entry as a user might have left it.
vemr_set_cache() {
  vemr_wine reg add 'HKCU\Software\VB and VBA Program Settings\vemr\function' /v getmachineid /t REG_SZ \
    /d "$1" /f >/dev/null 2>&1
}

# vemr_clear_cache: no cache entry, as on a PC where the client never ran.
vemr_clear_cache() {
  vemr_wine reg delete 'HKCU\Software\VB and VBA Program Settings\vemr' /f >/dev/null 2>&1 || true
}

# vemr_horasync_calls: the command lines the stand-in synchroniser of VEMR_APP recorded.
vemr_horasync_calls() { cat "$VEMR_APP/horasync-calls.txt" 2>/dev/null || true; }
