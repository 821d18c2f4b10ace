#!/usr/bin/env bash
# What each program's run from start to end leaves behind, under Wine in a private namespace (the
# shipped builds of dist/$E2E_ARCH; horasync of dist/win64 too where 32-bit programs run):
#  - no process: the Wine processes of this prefix, seen from Linux (/proc/<pid>/environ holds
#    WINEPREFIX; Wine's tasklist lists nothing here), are the same after the run as before it,
#    Wine's own services aside;
#  - no file beyond what the design keeps: every file and folder under drive_c before and after the
#    run; horasync may leave its trace, the client the synchroniser's trace, setup its runtime files
#    in the system folder and the uninstall working copy in the temporary folder; the install
#    folder's parent is as it was;
#  - no handle kept alive: the wineserver's open descriptors are back to what they were, and the
#    client's own descriptors do not grow over 20 trips to the tray and back.
# Runs: horasync (report verified by the stand-in operator server), vemr with the real horasync
# beside it (closed by its window's close command), setup installing and then removing through
# its uninstall entry. Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/horasync.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/horasync.bash"
hs_begin leftovers product
# Every Wine program of this script talks to one wineserver, started here inside the namespace and
# kept running between the programs (-p), so its open descriptors can be compared from run to run.
e2e_in wineserver -p
hs_wineserver_up
# shellcheck source=lib/setup.bash
source "$E2E_ROOT/tests/e2e/lib/setup.bash"
se_begin fault_leftovers   # its cleanup runs before horasync's

VEMR_PROBE=$E2E_PROBES/vemr_probe.exe
LEFT=$HS_WORK/leftovers
mkdir -p "$LEFT"
# Wine's own programs, which start when first needed and stay for the session.
WINE_SERVICES='^(wineserver(32|64)?|services\.exe|winedevice\.exe|plugplay\.exe|explorer\.exe|svchost\.exe|rpcss\.exe|conhost\.exe|tabtip\.exe)$'

# Processes are told apart without child processes: the listing runs hundreds of times, on a busy
# machine too.
of_this_prefix() {
  local vars var
  { mapfile -t -d '' vars <"/proc/$1/environ"; } 2>/dev/null || return 1
  for var in "${vars[@]}"; do [[ $var == "WINEPREFIX=$WINEPREFIX" ]] && return 0; done
  return 1
}
# Wine processes of this prefix ("PID NAME"), Wine's services left out.
wine_processes() {
  local pid name
  for pid in /proc/[0-9]*; do
    pid=${pid#/proc/}
    { read -r name <"/proc/$pid/comm"; } 2>/dev/null || continue
    [[ $name == *.exe || $name == wine* ]] || continue
    of_this_prefix "$pid" || continue
    [[ $name =~ $WINE_SERVICES ]] && continue
    echo "$pid $name"
  done | LC_ALL=C sort
}
# The wineserver of this prefix and how many descriptors it holds open.
wineserver_fds() {
  local pid
  for pid in $(pgrep '^wineserver' || true); do
    of_this_prefix "$pid" || continue
    find "/proc/$pid/fd" -mindepth 1 2>/dev/null | wc -l
    return 0
  done
  echo 0
}
# Every file, link and folder under drive_c (links not followed), one per line.
files() { (cd "$WINEPREFIX/drive_c" && find . -xdev -mindepth 1 | LC_ALL=C sort); }

# snapshot NAME: processes, files and the wineserver's descriptors now.
snapshot() {
  wine_processes >"$LEFT/$1.procs"
  files >"$LEFT/$1.files"
  wineserver_fds >"$LEFT/$1.fds"
}
# settle: waits (10 s at most) until no Wine process of ours runs besides those of NAME's snapshot.
settle() {
  for _ in $(seq 100); do
    [[ -z $(new_processes "$1") ]] && return 0
    sleep 0.1
  done
  return 1
}
new_processes() { LC_ALL=C comm -13 "$LEFT/$1.procs" <(wine_processes) || true; }
new_files() { LC_ALL=C comm -13 "$LEFT/$1.files" <(files) || true; }
gone_files() { LC_ALL=C comm -23 "$LEFT/$1.files" <(files) || true; }
# unexpected NAME REGEX: new files under drive_c other than those matching REGEX (extended, on the
# path relative to drive_c).
unexpected() { new_files "$1" | grep -vE "$2" || true; }
# steady FIRST LAST: the wineserver holds no more descriptors after run LAST than after run FIRST
# (the first run may start Wine's own services for good; a repeated run must not add anything).
steady() { (($(cat "$LEFT/$2.after-fds") <= $(cat "$LEFT/$1.after-fds") + 2)); }
# after_run NAME: the wineserver's descriptors once it has dealt with the run's ended processes
# (back to the count before the run, or what it holds after 3 s).
after_run() {
  local fds
  for _ in $(seq 15); do
    fds=$(wineserver_fds)
    ((fds <= $(cat "$LEFT/$1.fds") + 2)) && break
    sleep 0.2
  done
  echo "$fds" >"$LEFT/$1.after-fds"
}
report() { # report NAME: figures of the run for the log
  e2e_say "  $1: processes before/after: $(wc -l <"$LEFT/$1.procs")/$(wine_processes | wc -l)" \
    "($(wine_processes | cut -d' ' -f2 | tr '\n' ' ')), new files: $(new_files "$1" | wc -l)," \
    "wineserver descriptors $(cat "$LEFT/$1.fds") before, $(cat "$LEFT/$1.after-fds") after"
  new_files "$1" | sed 's/^/    new: /' || true
}

SAFE_SKEW=$(hs_safe_skew 0)
hs_chrony "$SAFE_SKEW"
hs_operator

# ---- horasync ------------------------------------------------------------------------------------
archs=(win32 win64)
if [[ $E2E_ARCH != win32 ]]; then
  archs=("$E2E_ARCH")
  e2e_say "left out: horasync of dist/win32, the i686 build (this machine runs no 32-bit programs)"
fi
for arch in "${archs[@]}"; do
  exe=$E2E_ROOT/dist/$arch/horasync.exe
  [[ -f $exe ]] || continue
  for n in 1 2 3; do
    run=horasync-$arch-$n
    hs_prepare "$run" "$exe"
    snapshot "$run"
    hs_run "$run" "$HS_OPERATOR"
    settle "$run" || true
    after_run "$run"
    e2e_say "horasync $arch, run $n: ended with $HS_RC after $HS_MS ms"
    report "$run"
    e2e_check "horasync $arch run $n: ended by itself" hs_ended
    e2e_check "horasync $arch run $n: no process left" test -z "$(new_processes "$run")"
    e2e_check "horasync $arch run $n: no file beyond its trace" \
      test -z "$(unexpected "$run" "^\./hs/$run/(TavinDebug\.txt|wine\.out)$")"
    e2e_check "horasync $arch run $n: the trace written" test -s "$HS_DIR/TavinDebug.txt"
    e2e_check "horasync $arch run $n: nothing removed" test -z "$(gone_files "$run")"
  done
  e2e_check "horasync $arch: the wineserver's descriptors steady over three runs" steady "horasync-$arch-1" "horasync-$arch-3"
done

# ---- vemr, with the real horasync beside it -----------------------------------------------------------
# The launch page is answered only after 60 s: the browser stays up while the window goes to the
# tray and back; the time report is answered at once.
hs_operator --delay 60 --fault-on launch
vemr_probe() { { e2e_in wine "$VEMR_PROBE" "$@" 2>/dev/null || true; } | tr -d '\r'; }
vemr_pid() { wine_processes | awk '$2 == "vemr.exe" {print $1; exit}'; }
# The browser control's use makes the platform's cookie store and, once a page arrives, its web cache
# (wininet), both kept for good.
COOKIES='users/[^/]+/AppData/Local/Microsoft/Windows/(INetCookies/index\.dat|INetCache(/.*)?)'
# vemr_run N TRIPS: a client folder with vemr.exe, the shipped horasync.exe and config.txt; the
# client started, its launch request and its horasync's report awaited, TRIPS trips to the tray and
# back, then its window closed.
vemr_run() {
  local n=$1 trips=$2 run=vemr-$1 app=$WINEPREFIX/drive_c/leftovers-app reports_before pid starter fds_start fds_end
  rm -rf "$app"
  mkdir -p "$app"
  cp "$E2E_ROOT/dist/$E2E_ARCH/vemr.exe" "$E2E_ROOT/dist/$E2E_ARCH/horasync.exe" "$app/"
  printf '收银通\r\n%s\r\n收银通\r\n8' "$HS_OPERATOR" | iconv -f utf-8 -t gbk >"$app/config.txt"
  reports_before=$(hs_reports)
  snapshot "$run"
  (cd "$app" && TZ=Asia/Shanghai exec "$E2E_NETNS" run "$E2E_NS" wine 'C:\leftovers-app\vemr.exe') >"$LEFT/$run.out" 2>&1 &
  starter=$!
  if ((SAFE_SKEW == 0)); then
    for _ in $(seq 200); do (($(hs_reports) > reports_before)) && break; sleep 0.1; done
  else
    local until=$((SECONDS + 15))   # started (a listing of Wine's processes takes a while)
    while ((SECONDS < until)); do wine_processes | grep -q ' horasync\.exe$' && break; sleep 0.1; done
  fi
  for _ in $(seq 100); do wine_processes | grep -q ' horasync\.exe$' || break; sleep 0.1; done
  if ((SAFE_SKEW == 0)); then
    e2e_check "vemr run $n: its horasync reported and ended by itself" \
      bash -c "(( $(hs_reports) > $reports_before )) && ! grep -q ' horasync\.exe$' <<<'$(wine_processes)'"
  else
    # In the hours in which horasync sets nothing the shipped build cannot report: Wine takes no
    # setting from a server moved away from them either.
    e2e_check "vemr run $n: its horasync ended by itself" bash -c "! grep -q ' horasync\.exe$' <<<'$(wine_processes)'"
  fi
  pid=$(vemr_pid)
  vemr_probe wait 10000 >/dev/null
  sleep 1
  fds_start=$(find "/proc/$pid/fd" -mindepth 1 2>/dev/null | wc -l)
  for ((i = 0; i < trips; i++)); do vemr_probe minimize wait-hidden 5000 traymsg 513 wait 5000 >/dev/null; done
  sleep 1
  fds_end=$(find "/proc/$pid/fd" -mindepth 1 2>/dev/null | wc -l)
  if ((trips)); then
    e2e_say "vemr (pid $pid): its descriptors after start-up $fds_start, after $trips trips to the tray $fds_end"
    e2e_check "vemr run $n: shown again after $trips trips to the tray" grep -qx 'visible=1' <<<"$(vemr_probe state)"
    e2e_check "vemr run $n: no descriptor gained over $trips trips to the tray (at most 2)" test "$fds_end" -le $((fds_start + 2))
  fi
  vemr_probe close >/dev/null
  for _ in $(seq 150); do kill -0 "$starter" 2>/dev/null || break; sleep 0.1; done
  e2e_check "vemr run $n: ended when its window was closed" bash -c "! kill -0 $starter 2>/dev/null"
  settle "$run" || true
  after_run "$run"
  report "$run"
  e2e_check "vemr run $n: no process left (neither vemr nor horasync)" test -z "$(new_processes "$run")"
  e2e_check "vemr run $n: no file beyond horasync's trace (and the platform's cookie store and web cache)" \
    test -z "$(unexpected "$run" "^\./(leftovers-app/TavinDebug\.txt|$COOKIES)$")"
  e2e_check "vemr run $n: nothing removed" test -z "$(gone_files "$run")"
  rm -rf "$app"
}
vemr_run 1 20
vemr_run 2 0
e2e_check "vemr: the wineserver's descriptors steady over two runs" steady vemr-1 vemr-2
hs_operator_stop

# ---- setup: install, then remove through the uninstall entry ------------------------------------------
SE_CLEANUP_DIRS+=('C:\VEMRLEAK')
temp_rel=$(realpath "$(se_unix "$(se_temp)")")
temp_rel=${temp_rel#"$(realpath "$WINEPREFIX/drive_c")/"}
sys_rel=${SE_SYSDIR#"$WINEPREFIX/drive_c/"}
# setup_run N: the install window, C:\VEMRLEAK typed, installed; removed through the entry's command.
setup_run() {
  local n=$1 run=setup-$1 command
  snapshot "$run"
  se_installed 'C:\VEMRLEAK'
  e2e_check "setup run $n: installed" test -f "$WINEPREFIX/drive_c/VEMRLEAK/vemr.exe"
  command=$(se_uninstall_command)
  se_probe start "$command" >/dev/null
  se_box "恭喜！" "卸载完成！" information
  settle "$run" || true
  after_run "$run"
  report "$run"
  e2e_check "setup run $n: no process left (setup, its working copy, regsvr32, probes)" test -z "$(new_processes "$run")"
  e2e_check "setup run $n: the install folder gone" test ! -e "$WINEPREFIX/drive_c/VEMRLEAK"
  e2e_check "setup run $n: nothing new on C:\\ (the install folder's parent)" \
    test -z "$(new_files "$run" | grep -E '^\./[^/]+$' || true)"
  e2e_check "setup run $n: the working copy kept in the temporary folder" \
    test -f "$WINEPREFIX/drive_c/$temp_rel/uninstallvemr.exe"
  e2e_check "setup run $n: no file beyond the runtime files and the working copy" test -z "$(unexpected "$run" \
    "^\./($sys_rel/(MSWINSCK\.OCX|MSVBVM60\.DLL)|$temp_rel/uninstallvemr\.exe|setup-e2e/register\.log)$")"
  e2e_check "setup run $n: nothing removed" test -z "$(gone_files "$run")"
}
setup_run 1
setup_run 2
e2e_check "setup: the wineserver's descriptors steady over two runs" steady setup-1 setup-2

e2e_finish
