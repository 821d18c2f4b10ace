#!/usr/bin/env bash
# setup.exe under Wine, removing: an install into "C:\My Shop\Vemr" (a blank: the uninstall entry's
# command is quoted); its command started while the client runs there: stage 1 starts
# %TEMP%\uninstallvemr.exe with movenow, stage 2 refuses and removes nothing; the same again through
# the Start-menu shortcut after the client ended: everything goes (subfolders with read-only and
# hidden files, group folder, desktop shortcut, entry, record) and the success box shows; install
# records pointing at C:\, C:\windows or the profile folder remove nothing; a config.txt with a line
# break after line 4 ends stage 2 silently after deleting only vemr.exe.
# Uses the caller's Wine environment (tools/scripts/test-all) or starts its own. Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/setup.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.bash"
se_begin setup_uninstall

SE_CLEANUP_DIRS+=('C:\My Shop')
working_copy=$(se_unix "$(se_temp)\\uninstallvemr.exe")
rm -f "$working_copy"

# ---- install into a folder with a blank -----------------------------------------------------------
se_installed 'C:\My Shop\Vemr'
folder=$(se_unix 'C:\My Shop\Vemr')
e2e_check "installed into C:\\My Shop\\Vemr" test -f "$folder/vemr.exe"
command=$(se_uninstall_command)
e2e_check "the entry's command is quoted: $command" test "$command" = '"C:\MY SHOP\VEMR\setup.exe" uninstall'

# What the client leaves over time: subfolders and read-only, hidden files.
mkdir -p "$folder/LOGS/OLD"
echo trace >"$folder/TavinDebug.txt"
echo old >"$folder/LOGS/OLD/old.txt"
echo log >"$folder/LOGS/log.txt"
wine attrib +h 'C:\My Shop\Vemr\TavinDebug.txt' >/dev/null 2>&1
wine attrib +r +h 'C:\My Shop\Vemr\LOGS\OLD\old.txt' >/dev/null 2>&1
wine attrib +r 'C:\My Shop\Vemr\LOGS\log.txt' >/dev/null 2>&1
wine attrib +r +h 'C:\My Shop\Vemr\LOGS\OLD' >/dev/null 2>&1

everything_there() {
  [[ -f $folder/setup.exe && -f $folder/config.txt && -f $folder/LOGS/OLD/old.txt && -f $folder/TavinDebug.txt ]] &&
    [[ -f $SE_GROUP_UNIX/自动卸载.lnk && -f $SE_DESKTOP_LINK_UNIX ]] &&
    [[ -n $(se_entry) && $(se_record) == 'C:\MY SHOP\VEMR\' ]]
}
e2e_check "installation complete before removal" everything_there

# ---- the client runs: refused ---------------------------------------------------------------------
# A stand-in client (the probe, waiting) runs as vemr.exe from the install folder.
cp "$SE_PROBE" "$folder/vemr.exe"
stop=$(se_unix 'C:\setup-e2e')/client.stop
e2e_check "the stand-in client runs" se_hold 'C:\My Shop\Vemr\vemr.exe' "$stop"
client=$HOLD_PID
se_probe start "$command" >/dev/null
se_probe look "卸载失败！" 15000 >/dev/null || true
e2e_check "stage 2 runs as %TEMP%\\uninstallvemr.exe movenow" se_running 'uninstallvemr\.exe movenow$'
se_box "卸载失败！" "程序正在运行，请关闭后重试！" stop refused-running
e2e_check "stage 1 left its working copy %TEMP%\\uninstallvemr.exe" cmp -s "$(se_unix "$SE_MEDIA")/setup.exe" "$working_copy"
e2e_check "nothing removed while the client runs" everything_there
e2e_check "the running client stays" test -f "$folder/vemr.exe"

# ---- the client ended: removed through the Start-menu shortcut ------------------------------------
e2e_check "the stand-in client ended" se_release "$stop" "$client"
(cd "$SE_GROUP_UNIX" && exec wine start /unix "$SE_GROUP_UNIX/自动卸载.lnk") >/dev/null 2>&1 &
SE_PIDS+=("$!")
se_box "恭喜！" "卸载完成！" information removed
sleep 0.3
e2e_check "install folder gone, subfolders and read-only, hidden files with it" test ! -e "$folder"
e2e_check "its parent C:\\My Shop stays" test -d "$(se_unix 'C:\My Shop')"
e2e_check "group folder gone" test ! -e "$SE_GROUP_UNIX"
e2e_check "desktop shortcut gone" test ! -e "$SE_DESKTOP_LINK_UNIX"
e2e_check "uninstall entry gone" test -z "$(se_entry)"
e2e_check "install record gone" bash -c '! wine reg query "HKCU\Software\VB and VBA Program Settings\tavin\vemrclient" >/dev/null 2>&1'
e2e_check "the working copy stays in %TEMP%" test -f "$working_copy"
e2e_check "runtime files in the system folder stay" test -f "$SE_SYSDIR/MSVBVM60.DLL"

# ---- tampered install records: nothing is removed -------------------------------------------------
n=0
for record in 'C:\' 'C:\WINDOWS\' "${SE_PROFILE^^}\\"; do
  n=$((n + 1))
  se_plant_record "$record"
  se_refused_record "$record" "refused-record-$n"
  rm -f "$(se_unix "$record")"/{vemr.exe,config.txt}
done
[[ -d $(se_unix 'C:\windows\system32') ]] && e2e_check "C:\\windows still there" true

# ---- a fifth config piece ends stage 2 silently ---------------------------------------------------
inst=$(se_unix 'C:\setup-e2e')/inst
mkdir -p "$inst"
cp "$(se_unix "$SE_MEDIA")"/{vemr.exe,setup.exe} "$inst/"
printf '%s\r\n' "$SE_TITLE" vemr.example.test "$SE_TITLE" 8 | iconv -f utf-8 -t gbk >"$inst/config.txt"
se_set_record 'C:\SETUP-E2E\INST\'
se_setup movenow
e2e_check "stage 2 with five config pieces ends by itself" se_wait_end 15
e2e_check "... without a message" se_probe no-box "卸载失败！" 200
e2e_check "... having deleted only vemr.exe" test ! -e "$inst/vemr.exe" -a -f "$inst/setup.exe" -a -f "$inst/config.txt"
e2e_check "... and kept the record" test "$(se_record)" = 'C:\SETUP-E2E\INST\'

e2e_finish
