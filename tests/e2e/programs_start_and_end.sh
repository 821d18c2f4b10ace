#!/usr/bin/env bash
# Each of dist/win32/*.exe and dist/win64/*.exe starts under Wine and ends within 20 s, the win32
# ones once for each Windows version Wine reports (XP, 7, 10: setup's administrator test passes and
# its window shows, the client's window shows, horasync ends on each); where no 32-bit program runs,
# the win64 ones once for 7 and for 10 instead, and dist/win32 is left out:
#   - a program marked "ends" must end by itself;
#   - a program marked "closes" waits for its user: its window must appear, and it must end
#     when asked to close (taskkill without /f sends WM_CLOSE to its windows).
# A program Wine cannot load (missing DLL, bad image) fails. The programs run from a copy of
# their media folder, inside a private network namespace (nothing leaves the machine).
# Uses the caller's Wine environment (tools/scripts/test-all) or starts its own. Exit 0 = pass.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE_RUN=$ROOT/tools/scripts/wine-run
# shellcheck source=lib/common.bash
source "$ROOT/tests/e2e/lib/common.bash"   # the checks' count and verdict
LIMIT=20
declare -A HOW=([horasync.exe]=ends [vemr.exe]=closes [setup.exe]=closes)

WORK=$(mktemp -d /tmp/e2e-start-end.XXXXXX)
OUT=${E2E_OUT:-$WORK}
mkdir -p "$OUT"
# wine_version NAME: the Windows version Wine reports to the programs started next (its per-prefix
# setting; "" is Wine's default).
wine_version() {
  [[ -n ${WINEPREFIX:-} ]] || return 0   # the environment this script started is already gone
  if [[ -n $1 ]]; then
    "$WINE_RUN" "$WINEPREFIX/drive_c/windows/system32/reg.exe" add 'HKCU\Software\Wine' /v Version /d "$1" /f
  else
    "$WINE_RUN" "$WINEPREFIX/drive_c/windows/system32/reg.exe" delete 'HKCU\Software\Wine' /v Version /f
  fi >/dev/null 2>&1 || true
}
declare -A VER=([winxp]=5.1 [win7]=6.1 [win10]=10.0)
trap 'wine_version ""; wine_env_netns_end; rm -rf "$WORK"' EXIT
[[ -n ${WINEPREFIX:-} ]] || wine_env_start   # chains its cleanup onto the EXIT trap above
wine_env_netns_begin "e2e-startend-$$"

checked=0

# The i686 release runs on every Windows from XP SP3 on: once for each version Wine can report.
runs=(win32:winxp win32:win7 win32:win10 win64:)
if [[ $E2E_ARCH != win32 ]]; then
  runs=("$E2E_ARCH:win7" "$E2E_ARCH:win10")
  e2e_say "left out: dist/win32, the i686 release, on XP, 7 and 10 (this machine runs no 32-bit programs)"
fi
for run in "${runs[@]}"; do
  arch=${run%%:*} version=${run#*:}
  if [[ ! -d $WORK/$arch ]]; then
    for name in "${!HOW[@]}"; do
      [[ -f $ROOT/dist/$arch/$name ]] || e2e_check "$arch/$name: in dist/$arch" false
    done
  fi
  [[ -d $ROOT/dist/$arch ]] || continue
  [[ -d $WORK/$arch ]] || cp -r "$ROOT/dist/$arch" "$WORK/$arch"
  wine_version "$version"
  if [[ -n $version ]]; then
    ver=$("$WINE_RUN" "$WINEPREFIX/drive_c/windows/system32/cmd.exe" /c ver | tr -d '\n')
    e2e_check "Wine reports Windows $version: $ver" grep -qF " ${VER[$version]}." <<<"$ver"
  fi
  for exe in "$WORK/$arch"/*.exe; do
    [[ -f $exe ]] || continue
    checked=$((checked + 1))
    name=$(basename "$exe")
    how=${HOW[$name]:-ends}
    label=$arch${version:+ on $version}/$name
    log=$OUT/$arch$version-$name.log
    start=$(date +%s%N)
    (cd "$WORK/$arch" && WINEDEBUG=-all,err+module exec timeout -k 5 "$LIMIT" "$WINE_RUN" "./$name") \
      >"$log" 2>&1 &
    pid=$!
    note=""
    if [[ $how == closes ]]; then
      if win=$(wine_env_find_window "$name" "$LIMIT"); then
        note="window \"$(xdotool getwindowname "$win" 2>/dev/null || true)\" shown, closed; "
        wine_env_screenshot "$OUT/$arch$version-${name%.exe}.png" 2>/dev/null || true
        wine_env_close "$name" || true
      else
        note="no window appeared; "
      fi
    fi
    rc=0
    wait "$pid" || rc=$?
    ms=$((($(date +%s%N) - start) / 1000000))
    if grep -q 'err:module' "$log"; then
      e2e_check "$label: Wine could not load it (exit $rc)" false
      sed 's/^/     /' "$log"
    elif ((rc == 124 || rc == 137)); then
      e2e_check "$label: ${note}still running after $LIMIT s (ended by timeout)" false
    else
      e2e_check "$label: ${note}ended with exit code $rc after ${ms} ms" test "${note:0:9}" != "no window"
    fi
  done
done

e2e_check "$checked programs found in dist/" test "$checked" -gt 0
e2e_finish
