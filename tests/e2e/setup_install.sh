#!/usr/bin/env bash
# setup.exe under Wine, installing: the install window and its texts; the refusal of the program
# folder itself, a folder inside it, one above it and an empty box, and the program folder by other
# names (forward slashes, ".", a detour through "..", its short name) with the media left whole; an
# install into C:\A\B\C done
# as a person does it (click into the box, type, press the button, read the box, press Return);
# what it leaves (folders level by level, files, record, uninstall entry, four shortcuts, runtime
# files registered); a second install over the first (read-only files and shortcuts replaced, the
# group folder kept, an older runtime file moved aside, an equal one left alone); "Uninstall" with
# a capital U opening the window; a config.txt with a line break after line 4 ending it silently.
# Uses the caller's Wine environment (tools/scripts/test-all) or starts its own. Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/setup.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.bash"
se_begin setup_install

media=$(se_unix "$SE_MEDIA")
SE_CLEANUP_DIRS+=('C:\A')
pagesetup='Software\Microsoft\Internet Explorer\PageSetup'
wine reg delete "HKCU\\$pagesetup" /f >/dev/null 2>&1 || true

# ---- the window -----------------------------------------------------------------------------------
se_setup
controls=$(se_probe window "$SE_WINDOW" 60000) || true
se_shot window
e2e_check "the window is titled 欢迎安装 + title + 客户端" test -n "$controls"
e2e_check "label 请选择安装路径:" grep -q $'^请选择安装路径:\t' <<<"$controls"
e2e_check "folder box c:\\vemrclient" grep -q $'^c:\\\\vemrclient\t' <<<"$controls"
e2e_check "button 开始安装" grep -q $'^开始安装\t' <<<"$controls"
e2e_check "print page set-up repaired as the window opened" \
  grep -qx 'margin_top type=1 bytes=4 text=0~' <<<"$(se_probe values HKCU "$pagesetup")"

# ---- refusals -------------------------------------------------------------------------------------
short=$(wine cmd /c 'for %I in (C:\setup-e2e\media) do @echo %~sI' 2>/dev/null | tr -d '\r')
e2e_check "the media folder has a short name of its own ($short)" grep -qxE 'C:\\[^\\]*~[^\\]*\\media' <<<"$short"
n=0
for box in 'C:\setup-e2e\media' 'c:\setup-e2e\media\new' 'c:\setup-e2e' '' 'C:/setup-e2e/media' . \
  'c:\other\..\setup-e2e\media' "$short"; do
  n=$((n + 1))
  se_probe type "$SE_WINDOW" "$box" >/dev/null
  se_probe press "$SE_WINDOW" "开始安装" >/dev/null
  se_box "遗憾……" "不能安装到当前目录！" stop "refusal-$n"
done
for f in setup.exe vemr.exe horasync.exe config.txt; do
  e2e_check "refusals left $f in the media" cmp -s "$SE_MEDIA_SRC/$f" "$media/$f"
done
e2e_check "refusals made no folder" test ! -e "$media/new"
e2e_check "refusals wrote no record" test -z "$(se_record)"
e2e_check "refusals wrote no uninstall entry" test -z "$(se_entry)"
e2e_check "the window stays open after a refusal" se_probe window "$SE_WINDOW" 1000 >/dev/null

# ---- install as a person does it ------------------------------------------------------------------
se_probe type "$SE_WINDOW" 'c:\vemrclient' >/dev/null   # back to the design-time text
controls=$(se_probe window "$SE_WINDOW" 1000)
box_at=$(sed -n 's/^c:\\vemrclient\t//p' <<<"$controls")
button_at=$(sed -n 's/^开始安装\t//p' <<<"$controls")
# shellcheck disable=SC2086
xdotool mousemove $box_at click 1   # a click into the box selects its whole text...
sleep 0.3
xdotool type --delay 15 'c:\A\B\C'   # ...so typing replaces it
sleep 0.2
e2e_check "the click selected the whole text, typing replaced it" \
  grep -q $'^c:\\\\A\\\\B\\\\C\t' <<<"$(se_probe window "$SE_WINDOW" 1000)"
se_shot typed
# shellcheck disable=SC2086
xdotool mousemove $button_at click 1
out=$(se_probe look "恭喜！" 15000) || true
se_shot installed
e2e_check "success box 安装完成！" grep -qxF "text=安装完成！" <<<"$out"
e2e_check "success box has the exclamation icon" grep -qxF "icon=exclamation" <<<"$out"
ok_at=$(sed -n 's/^button=.*\t//p' <<<"$out" | head -1)
# shellcheck disable=SC2086
[[ -n $ok_at ]] && xdotool mousemove $ok_at click 1
e2e_check "setup ends when OK is clicked" se_wait_end 10

for d in 'C:\A' 'C:\A\B' 'C:\A\B\C'; do e2e_check "folder $d made" test -d "$(se_unix "$d")"; done
folder=$(se_unix 'C:\A\B\C')
for f in MSWINSCK.OCX horasync.exe vemr.exe config.txt setup.exe SHDOCVW.dll MSVBVM60.DLL; do
  e2e_check "$f copied" cmp -s "$media/$f" "$folder/$f"
done
e2e_check "install record C:\\A\\B\\C\\" test "$(se_record)" = 'C:\A\B\C\'
entry=$(se_entry)
printf '%s\n' "$entry" >"$SE_ART/uninstall-entry.txt"
e2e_check "entry DisplayName" grep -qE "^ +DisplayName +REG_SZ +$SE_TITLE\$" <<<"$entry"
e2e_check "entry InstallLocation" grep -qE '^ +InstallLocation +REG_SZ +C:\\A\\B\\C\\$' <<<"$entry"
e2e_check "entry UninstallString" grep -qE '^ +UninstallString +REG_SZ +C:\\A\\B\\C\\setup\.exe uninstall$' <<<"$entry"
e2e_check "entry DisplayIcon" grep -qE '^ +DisplayIcon +REG_SZ +C:\\A\\B\\C\\vemr\.exe$' <<<"$entry"
e2e_check "entry holds the four values only" test "$(grep -c 'REG_SZ' <<<"$entry")" = 4

# lnk FILE TARGET WORKDIR DESCRIPTION ARGUMENTS: the shortcut decodes to these, show command 1.
lnk() {
  local file=$1 info show name
  name=$(basename "$file")
  info=$(lnkinfo "$file" 2>/dev/null) || { e2e_check "$name readable" false; return 0; }
  printf '%s\n' "$info" >"$SE_ART/$name.txt"
  field() { sed -n "s/^[[:space:]]*$1[[:space:]]*: //p" <<<"$info"; }
  e2e_check "$name target $2" test "$(field 'Local path')" = "$2"
  e2e_check "$name working folder $3" test "$(field 'Working directory')" = "$3"
  e2e_check "$name description $4" test "$(field 'Description')" = "$4"
  e2e_check "$name arguments '$5'" test "$(field 'Command line arguments')" = "$5"
  show=$(od -An -tu4 -j 60 -N 4 "$file" | tr -d ' ')
  e2e_check "$name show command 1" test "$show" = 1
}
lnk "$SE_GROUP_UNIX/$SE_TITLE.lnk" 'C:\A\B\C\vemr.exe' 'C:\A\B\C\' 'Vemr客户端' ''
lnk "$SE_GROUP_UNIX/自动卸载.lnk" 'C:\A\B\C\setup.exe' 'C:\A\B\C\' '从您的电脑中彻底删除Vemr客户端' uninstall
lnk "$SE_GROUP_UNIX/自动修复.lnk" 'C:\A\B\C\setup.exe' 'C:\A\B\C\' '修复系统打印相关设置' fixiepageset
lnk "$SE_DESKTOP_LINK_UNIX" 'C:\A\B\C\vemr.exe' 'C:\A\B\C\' 'Vemr客户端' ''

# Runtime files: the two missing ones copied and each registered twice (system folder, install
# folder); the system's own SHDOCVW.dll is newer than the stand-in and stays.
for f in MSWINSCK.OCX MSVBVM60.DLL; do e2e_check "$f copied into the system folder" cmp -s "$media/$f" "$SE_SYSDIR/$f"; done
e2e_check "the system's newer SHDOCVW.dll left alone" bash -c '! cmp -s "$1" "$2"' _ "$media/SHDOCVW.dll" \
  "$(find "$SE_SYSDIR" -maxdepth 1 -iname shdocvw.dll | head -1)"
for ((i = 0; i < 100; i++)); do (($(se_register_log | wc -l) >= 4)) && break; sleep 0.1; done
se_register_log >"$SE_ART/register.log"
e2e_check "MSWINSCK.OCX registered in the system folder and the install folder" \
  test "$(se_register_log | grep -ic -e 'system32\\MSWINSCK.OCX$' -e 'syswow64\\MSWINSCK.OCX$' -e '^C:\\A\\B\\C\\MSWINSCK.OCX$')" = 2
e2e_check "MSVBVM60.DLL registered twice" test "$(se_register_log | grep -ic 'MSVBVM60.DLL$')" = 2
e2e_check "SHDOCVW.dll not registered" test "$(se_register_log | grep -ic 'SHDOCVW.dll$')" = 0

# ---- a second install over the first --------------------------------------------------------------
wine attrib +r +h 'C:\A\B\C\vemr.exe' >/dev/null 2>&1
wine attrib +r 'C:\A\B\C\config.txt' >/dev/null 2>&1
for l in "$SE_GROUP_UNIX"/*.lnk "$SE_DESKTOP_LINK_UNIX"; do chmod a-w "$l"; done
touch -d '2002-02-02 02:02' "$SE_SYSDIR/MSVBVM60.DLL"     # older than the fresh copy
echo 'old runtime' >>"$SE_SYSDIR/MSVBVM60.DLL"
touch -d '2002-02-02 02:02' "$SE_SYSDIR/MSVBVM60.DLL"
touch -r "$media/MSWINSCK.OCX" "$SE_SYSDIR/MSWINSCK.OCX"   # as new as the fresh copy
old_runtime=$(md5sum <"$SE_SYSDIR/MSVBVM60.DLL")
: >"$WINEPREFIX/drive_c/setup-e2e/register.log"
se_installed 'c:\a\b\c'
e2e_check "read-only hidden vemr.exe replaced" cmp -s "$media/vemr.exe" "$folder/vemr.exe"
e2e_check "read-only config.txt replaced" cmp -s "$media/config.txt" "$folder/config.txt"
for l in "$SE_GROUP_UNIX"/*.lnk "$SE_DESKTOP_LINK_UNIX"; do
  e2e_check "read-only $(basename "$l") made again" test "$(stat -c %a "$l")" != 444
done
e2e_check "the group folder holds exactly the three shortcuts" test "$(ls "$SE_GROUP_UNIX" | wc -l)" = 3
aside=$(find "$SE_SYSDIR" -maxdepth 1 -name 'MSVBVM60.DLL.*' -printf '%f\n')
e2e_check "older MSVBVM60.DLL moved aside as MSVBVM60.DLL.<stamp> ($aside)" grep -qxE 'MSVBVM60\.DLL\.[0-9]+' <<<"$aside"
[[ -n $aside ]] && e2e_check "the moved-aside file is the old one" test "$(md5sum <"$SE_SYSDIR/${aside%%$'\n'*}")" = "$old_runtime"
e2e_check "fresh MSVBVM60.DLL in its place" cmp -s "$media/MSVBVM60.DLL" "$SE_SYSDIR/MSVBVM60.DLL"
for ((i = 0; i < 60; i++)); do (($(se_register_log | wc -l) >= 2)) && break; sleep 0.1; done
sleep 0.3
e2e_check "only the replaced file was registered (twice)" \
  test "$(se_register_log | grep -ic 'MSVBVM60.DLL$') $(se_register_log | wc -l)" = "2 2"

# ---- "Uninstall" is no keyword; a fifth config piece ends silently --------------------------------
se_setup Uninstall
e2e_check "\"Uninstall\" opens the install window" se_probe window "$SE_WINDOW" 15000 >/dev/null
se_probe close "$SE_WINDOW" >/dev/null || true
e2e_check "closing the window ends setup" se_wait_end 10
printf '%s\r\n' "$SE_TITLE" vemr.example.test "$SE_TITLE" 8 | iconv -f utf-8 -t gbk >"$media/config.txt"
se_setup
e2e_check "config.txt ending in a line break: setup ends by itself" se_wait_end 15
e2e_check "... without a window or a message" bash -c '! wine "$1" window "$2" 300 >/dev/null 2>&1' _ "$SE_PROBE" "$SE_WINDOW"

e2e_finish
