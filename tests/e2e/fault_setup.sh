#!/usr/bin/env bash
# setup.exe under faults, under Wine:
#  - an install folder nobody may write in: every copy fails silently, the record, entry and
#    shortcuts are made, and the success box shows (as for any skipped failure); a folder that cannot
#    be made at all: setup ends silently before recording anything;
#  - vemr.exe running in the install folder during an install: it stays as it was, the other files
#    are replaced, success is shown; horasync.exe running there during the removal: it stays (and so
#    does its folder), everything else goes, success is shown;
#  - a system folder nobody may write in: the runtime files are not copied there, silently; only the
#    install folder's copies get registered; success is shown;
#  - install records naming another user's profile, or Program Files by its short name: refused,
#    nothing removed.
# "Nobody may write" is the immutable attribute (chattr +i) of the Linux folder: this runs as root,
# for whom permission bits do not count. Uses the caller's Wine environment or starts its own.
# Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/setup.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.bash"
se_begin fault_setup

IMMUTABLE=()      # Linux folders made immutable here: made writable again on every exit path
SEALED=()         # Linux folders whose whole tree of folders was made immutable here
HELD=()           # stop files of the stand-in programs started here (se_hold)
fault_cleanup() {
  local d
  for d in "${IMMUTABLE[@]}"; do chattr -i "$d" 2>/dev/null || true; done
  for d in "${SEALED[@]}"; do unseal "$d"; done
  for d in "${HELD[@]}"; do touch "$d" 2>/dev/null || true; done
  sleep 0.3
}
E2E_CLEANUPS+=(fault_cleanup)   # before the library's

read_only() { chattr +i "$1"; IMMUTABLE+=("$1"); }
writable() { chattr -i "$1"; }
# seal DIR: no name in DIR or any folder below it can be removed (a safety net: should a removal
# be let through by mistake, it fails instead of emptying the prefix for the scenarios after this).
seal() { SEALED+=("$1"); find "$1" -xdev -type d -exec chattr +i {} + 2>/dev/null || true; }
unseal() { find "$1" -xdev -type d -exec chattr -i {} + 2>/dev/null || true; }

media=$(se_unix "$SE_MEDIA")
SE_CLEANUP_DIRS+=('C:\FAULT-RO' 'C:\FAULT-ROP' 'C:\FAULT-INUSE' 'C:\FAULT-SYS')
mkdir -p "$WINEPREFIX/drive_c/setup-e2e"

# What an install leaves outside its folder, removed between the cases.
forget_install() {
  se_forget_install
  : >"$WINEPREFIX/drive_c/setup-e2e/register.log"
}
shortcuts_made() { [[ -f $SE_GROUP_UNIX/自动卸载.lnk && -f $SE_GROUP_UNIX/$SE_TITLE.lnk && -f $SE_DESKTOP_LINK_UNIX ]]; }
no_shortcuts() { [[ ! -e $SE_GROUP_UNIX && ! -e $SE_DESKTOP_LINK_UNIX ]]; }
# The removal's second stage, a process of this prefix, ends within 5 s.
stage_two_ends() {
  for _ in $(seq 50); do se_running 'uninstallvemr\.exe' || return 0; sleep 0.1; done
  return 1
}
hold() { HELD+=("$2"); se_hold "$@"; }

forget_install

# ---- An install folder nobody may write in ---------------------------------------------------------
ro=$WINEPREFIX/drive_c/FAULT-RO
mkdir -p "$ro"
read_only "$ro"
t0=$SECONDS
se_installed 'C:\FAULT-RO' read-only-folder
e2e_say "read-only folder: install took $((SECONDS - t0)) s"
e2e_check "read-only folder: nothing could be copied into it" test -z "$(ls -A "$ro")"
e2e_check "read-only folder: the record written all the same" test "$(se_record)" = 'C:\FAULT-RO\'
e2e_check "read-only folder: the uninstall entry written" grep -qE '^ +InstallLocation +REG_SZ +C:\\FAULT-RO\\$' <<<"$(se_entry)"
e2e_check "read-only folder: the shortcuts made" shortcuts_made
e2e_check "read-only folder: no runtime file in the system folder (nothing to copy from)" \
  bash -c "[[ -z \$(find '$SE_SYSDIR' -maxdepth 1 \( -iname MSWINSCK.OCX -o -iname MSVBVM60.DLL \) -print -quit) ]]"
writable "$ro"
forget_install

# ---- A folder that cannot be made ------------------------------------------------------------------------
rop=$WINEPREFIX/drive_c/FAULT-ROP
mkdir -p "$rop"
read_only "$rop"
se_install 'C:\FAULT-ROP\NEW'
e2e_check "folder cannot be made: setup ends by itself" se_wait_end 15
e2e_check "folder cannot be made: no message box" se_probe no-box "恭喜！" 300
e2e_check "folder cannot be made: no folder" test ! -e "$rop/NEW"
e2e_check "folder cannot be made: no record" test -z "$(se_record)"
e2e_check "folder cannot be made: no uninstall entry" test -z "$(se_entry)"
e2e_check "folder cannot be made: no shortcuts" no_shortcuts
writable "$rop"
forget_install

# ---- vemr.exe running in the install folder during an install --------------------------------------
inuse=$WINEPREFIX/drive_c/FAULT-INUSE
mkdir -p "$inuse"
cp "$SE_PROBE" "$inuse/vemr.exe"
echo 'old config' >"$inuse/config.txt"
echo 'old horasync' >"$inuse/horasync.exe"
stop=$WINEPREFIX/drive_c/setup-e2e/client.stop
e2e_check "the stand-in client runs from the install folder" hold 'C:\FAULT-INUSE\vemr.exe' "$stop"
client=$HOLD_PID
se_installed 'C:\FAULT-INUSE' in-use-install
e2e_check "client running: its vemr.exe stays as it was" cmp -s "$SE_PROBE" "$inuse/vemr.exe"
e2e_check "client running: it still runs" kill -0 "$client"
for f in config.txt horasync.exe setup.exe MSWINSCK.OCX; do
  e2e_check "client running: $f copied all the same" cmp -s "$media/$f" "$inuse/$f"
done
e2e_check "client running: the shortcuts made" shortcuts_made
e2e_check "the stand-in client ends when told" se_release "$stop" "$client"

# ---- horasync.exe running in the install folder during the removal ---------------------------------
cp "$SE_PROBE" "$inuse/horasync.exe"
stop=$WINEPREFIX/drive_c/setup-e2e/horasync.stop
e2e_check "the stand-in horasync runs from the install folder" hold 'C:\FAULT-INUSE\horasync.exe' "$stop"
synchroniser=$HOLD_PID
command=$(se_uninstall_command)
t0=$SECONDS
se_probe start "$command" >/dev/null
se_box "恭喜！" "卸载完成！" information in-use-uninstall
e2e_say "horasync running: removal took $((SECONDS - t0)) s"
sleep 0.5
e2e_check "horasync running: its file stays" cmp -s "$SE_PROBE" "$inuse/horasync.exe"
e2e_check "horasync running: so does its folder, with nothing else in it" test "$(ls -A "$inuse")" = horasync.exe
e2e_check "horasync running: the shortcuts removed" no_shortcuts
e2e_check "horasync running: the uninstall entry removed" test -z "$(se_entry)"
e2e_check "horasync running: the record removed" test -z "$(se_record)"
e2e_check "horasync running: the removal's second stage ended" stage_two_ends
e2e_check "the stand-in horasync ends when told" se_release "$stop" "$synchroniser"
forget_install

# ---- A system folder nobody may write in ------------------------------------------------------------
for f in MSWINSCK.OCX MSVBVM60.DLL; do find "$SE_SYSDIR" -maxdepth 1 -iname "$f*" -delete; done
read_only "$SE_SYSDIR"
se_installed 'C:\FAULT-SYS' system-folder-read-only
writable "$SE_SYSDIR"
sys=$WINEPREFIX/drive_c/FAULT-SYS
for f in MSWINSCK.OCX MSVBVM60.DLL vemr.exe; do e2e_check "read-only system folder: $f in the install folder" cmp -s "$media/$f" "$sys/$f"; done
e2e_check "read-only system folder: no runtime file copied there, none renamed" \
  test -z "$(find "$SE_SYSDIR" -maxdepth 1 \( -iname 'MSWINSCK.OCX*' -o -iname 'MSVBVM60.DLL*' \) -print -quit)"
for ((i = 0; i < 60; i++)); do (($(se_register_log | wc -l) >= 2)) && break; sleep 0.1; done
sleep 0.3
se_register_log >"$SE_ART/register-system-read-only.log"
e2e_check "read-only system folder: only the install folder's copies registered (2)" \
  test "$(se_register_log | grep -ic '^C:\\FAULT-SYS\\') $(se_register_log | wc -l)" = "2 2"
e2e_check "read-only system folder: the shortcuts made" shortcuts_made
forget_install

# ---- Records that name what is not ours -----------------------------------------------------------------
profiles=$(se_unix "${SE_PROFILE%\\*}")
# The short (8.3) name Windows gives Program Files.
program_files=$(se_probe short 'C:\Program Files') || true
e2e_check "Program Files has a short name of its own ($program_files)" \
  bash -c '[[ $1 == C:\\* && ${1^^} != "C:\\PROGRAM FILES" ]]' _ "$program_files"
other=$profiles/fault-other
mkdir -p "$other"
SE_CLEANUP_DIRS+=("${SE_PROFILE%\\*}\\fault-other")
before_pf=$(find "$(se_unix 'C:\Program Files')" | wc -l)
profile=${SE_PROFILE^^}
for record in "${profile%\\*}\\FAULT-OTHER\\" "$program_files\\"; do
  target=$(se_unix "$record")
  se_plant_record "$record"
  seal "$target"
  se_refused_record "$record"
  unseal "$target"
  rm -f "$target/vemr.exe" "$target/config.txt"
done
e2e_check "Program Files (given by its short name $program_files) intact" \
  test "$(find "$(se_unix 'C:\Program Files')" | wc -l)" = "$before_pf"

e2e_finish
