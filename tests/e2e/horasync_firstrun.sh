#!/usr/bin/env bash
# horasync's start-up under Wine in a private namespace with chrony (test build):
#  - first-run marker missing or "12": the socket component beside horasync is copied into the
#    system folder and registered by the system's regsvr32 through WaitShell, the marker written;
#  - "12.5": registration skipped; the component already in the system folder: only the marker;
#  - the component nowhere: the exchange runs all the same and the marker stays unwritten;
#  - a copy that fails, and no right to change the clock: the end at once, nothing traced; without
#    the right on Windows XP (Wine reporting winxp; the i686 build's alone) the right is not asked
#    and the exchange runs, on 7 and 10 it is asked and horasync ends at once;
#  - a registration that hangs: horasync sleeps meanwhile (its CPU time over 5 s of waiting is
#    measured), then goes on as usual once it ends.
# The component is a stand-in of our own (tests/e2e/probes/standin_dll_win32.cpp: its
# DllRegisterServer notes that it ran; the hanging build notes "<component>.waiting" and waits until
# "<component>.release" appears beside it).
# Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/horasync.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/horasync.bash"
hs_begin firstrun

# ---- The stand-in component (tests/e2e/probes, built by the $E2E_ARCH preset) ------------------------
for f in standin standin_hang; do
  [[ -f $E2E_PROBES/$f.dll ]] || { e2e_say "FAIL $E2E_PROBES/$f.dll missing: build the $E2E_ARCH preset"; exit 1; }
done
cp "$E2E_PROBES/standin.dll" "$HS_WORK/MSWINSCK.OCX"
mkdir "$HS_WORK/hang"
cp "$E2E_PROBES/standin_hang.dll" "$HS_WORK/hang/MSWINSCK.OCX"

SYSTEM=$WINEPREFIX/drive_c/windows/system32
# A 32-bit program's system32 is syswow64.
wine_env_32bit_program "$HS_TEST_EXE" && SYSTEM=$WINEPREFIX/drive_c/windows/syswow64
KEY='HKCU\Software\VB and VBA Program Settings\exeapi\AutoTime'
marker() { e2e_in wine reg query "$KEY" /v firstrun 2>/dev/null | tr -d '\r' | awk '$1 == "firstrun" {print $3}'; }
set_marker() { e2e_in wine reg add "$KEY" /v firstrun /d "$1" /f >/dev/null 2>&1; }
drop_marker() { e2e_in wine reg delete 'HKCU\Software\VB and VBA Program Settings\exeapi' /f >/dev/null 2>&1 || true; }
no_component() { rm -rf "$SYSTEM/MSWINSCK.OCX" "$SYSTEM/MSWINSCK.OCX.registered"; }
registered() { grep -qi 'Regsvr32.exe /s C:\\windows\\system32\\MSWINSCK.OCX' "$SYSTEM/MSWINSCK.OCX.registered" 2>/dev/null; }
numeric_marker() { [[ $(marker) =~ ^[0-9]+(\.[0-9]+)?$ && $(marker) != "$1" ]]; }
nothing_traced() { [[ ! -e $HS_DIR/TavinDebug.txt && $(hs_event_field requests) == 0 && $(hs_event_field ended) == True ]]; }

hs_chrony "$(hs_safe_skew 0)"   # a server outside the hours in which nothing is set
hs_operator
hs_wineserver_up

# ---- Marker missing: registration ------------------------------------------------------------------
no_component
drop_marker
hs_prepare missing
cp "$HS_WORK/MSWINSCK.OCX" "$HS_DIR/"
hs_run missing "$HS_OPERATOR"
e2e_say "marker missing: ${HS_MS} ms, marker now '$(marker)'"
e2e_check "marker missing: the right to change the clock asked (Vista and later)" \
  grep -q '^SetLocalTime' "$HS_DIR/horasync-clock.txt"
e2e_check "marker missing: component copied into the system folder" cmp -s "$HS_WORK/MSWINSCK.OCX" "$SYSTEM/MSWINSCK.OCX"
e2e_check "marker missing: registered by regsvr32 /s through WaitShell" registered
e2e_check "marker missing: marker written (time of day)" numeric_marker ""
e2e_check "marker missing: the exchange ran" hs_answered

# ---- Marker "12": registration again -------------------------------------------------------------
no_component
set_marker 12
hs_prepare marker12
cp "$HS_WORK/MSWINSCK.OCX" "$HS_DIR/"
hs_run marker12 "$HS_OPERATOR"
e2e_check "marker 12: registered again" registered
e2e_check "marker 12: marker rewritten" numeric_marker 12
e2e_check "marker 12: the exchange ran" hs_answered

# ---- Marker "12.5": skipped ---------------------------------------------------------------------------
no_component
set_marker 12.5
hs_prepare marker12.5
cp "$HS_WORK/MSWINSCK.OCX" "$HS_DIR/"
hs_run marker12.5 "$HS_OPERATOR"
e2e_check "marker 12.5: no copy, no registration" test ! -e "$SYSTEM/MSWINSCK.OCX"
e2e_check "marker 12.5: marker kept" test "$(marker)" = 12.5
e2e_check "marker 12.5: the exchange ran" hs_answered

# ---- Component already in the system folder: only the marker ------------------------------------
no_component
cp "$HS_WORK/MSWINSCK.OCX" "$SYSTEM/"
drop_marker
hs_prepare present
hs_run present "$HS_OPERATOR"
e2e_check "component present: not registered again" test ! -e "$SYSTEM/MSWINSCK.OCX.registered"
e2e_check "component present: marker written" numeric_marker ""
e2e_check "component present: the exchange ran" hs_answered

# ---- Component nowhere: the exchange runs, unmarked ---------------------------------------------
no_component
drop_marker
hs_prepare nowhere
hs_run nowhere "$HS_OPERATOR"
e2e_check "component nowhere: the exchange ran, clock set, reported" hs_answered
e2e_check "component nowhere: marker not written" test -z "$(marker)"

# ---- The copy fails: the end at once ----------------------------------------------------------------
no_component
mkdir "$SYSTEM/MSWINSCK.OCX"   # a folder of that name: the copy cannot land
drop_marker
hs_prepare copyfails
cp "$HS_WORK/MSWINSCK.OCX" "$HS_DIR/"
hs_run copyfails "$HS_OPERATOR"
e2e_check "copy fails: ended by itself" hs_ended
e2e_check "copy fails: ended before any request, nothing traced" nothing_traced
e2e_check "copy fails: marker not written" test -z "$(marker)"
no_component

# ---- A registration that hangs: asleep while it waits ----------------------------------------------
# CPU clock ticks (user + system) horasync has used so far.
ticks() {
  local p
  for p in $(ip netns pids "$E2E_NS"); do
    [[ $(cat "/proc/$p/comm" 2>/dev/null) == horasync.exe ]] && awk '{print $14 + $15}' "/proc/$p/stat"
  done
  return 0
}
no_component
drop_marker
hs_prepare hang
cp "$HS_WORK/hang/MSWINSCK.OCX" "$HS_DIR/"
hs_run hang "$HS_OPERATOR" &
runner=$!
for _ in $(seq 100); do [[ -e $SYSTEM/MSWINSCK.OCX.waiting ]] && break; sleep 0.1; done
before=$(ticks)
sleep 5
after=$(ticks)
touch "$SYSTEM/MSWINSCK.OCX.release"
wait "$runner" || true
spent=$(((${after:-99999} - ${before:-0}) * 1000 / $(getconf CLK_TCK)))
e2e_say "hanging registration: horasync used $spent ms of CPU in 5 s of waiting"
e2e_check "hanging registration: horasync asleep meanwhile (under 250 ms of CPU in 5 s)" test "$spent" -lt 250
e2e_check "hanging registration: registered once it ended" registered
e2e_check "hanging registration: marker written" numeric_marker ""
e2e_check "hanging registration: the exchange ran" hs_answered
rm -f "$SYSTEM/MSWINSCK.OCX.release" "$SYSTEM/MSWINSCK.OCX.waiting"
no_component

# ---- No right to change the clock: the end at once from Vista on; XP does not ask ---------------
set_marker 30123.45
export HORASYNC_TEST_DATE_RESULT=fail   # the test build's date setter refuses
asked() { grep -q '^SetLocalTime' "$HS_DIR/horasync-clock.txt" 2>/dev/null; }
versions=(winxp win7 win10)   # what Wine's GetVersionExA reports (major 5, 6, 10)
if [[ $E2E_ARCH != win32 ]]; then
  versions=(win7 win10)
  e2e_say "left out: Windows XP, which only the i686 build runs on (this machine runs no 32-bit programs)"
fi
for version in "${versions[@]}"; do
  e2e_in wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1
  hs_prepare "noright-$version"
  hs_run "noright-$version" "$HS_OPERATOR"
  e2e_check "$version, no right: ended by itself" hs_ended
  if [[ $version == winxp ]]; then
    e2e_check "$version, no right: the right not asked, the exchange ran" eval '! asked && hs_answered'
  else
    e2e_check "$version, no right: asked, ended before any request, nothing traced" eval 'asked && nothing_traced'
  fi
done
unset HORASYNC_TEST_DATE_RESULT
e2e_in wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1 || true
drop_marker   # the prefix is shared with later scenarios

e2e_finish
