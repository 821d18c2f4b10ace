#!/usr/bin/env bash
# setup_demo.sh — shows setup.exe at work under Wine: it opens the install window, installs into
# C:\Vemr as a person would (click into the box, type, press 开始安装), lists what it installed,
# then removes everything again through the uninstall entry's command, and lists what is left.
#   tools/demo/setup_demo.sh      (the caller's Wine environment or a fresh one; needs the win32
#                                     preset built: dist/win32 and build/win32/tests/e2e/probes)
# Screenshots go to $E2E_OUT/setup_demo (default out/e2e-setup/setup_demo). Exit 0 when all went well.
set -euo pipefail
# shellcheck source=../../tests/e2e/lib/setup.bash
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/lib/setup.bash"
se_begin setup_demo
SE_CLEANUP_DIRS+=('C:\Vemr')

e2e_say "-- setup.exe starts from the media folder $SE_MEDIA"
se_setup
controls=$(se_probe window "$SE_WINDOW" 60000)
se_shot 1-window
e2e_say "   window \"$SE_WINDOW\" with: $(cut -f1 <<<"$controls" | paste -sd '|' -)"
box_at=$(sed -n 's/^c:\\vemrclient\t//p' <<<"$controls")
button_at=$(sed -n 's/^开始安装\t//p' <<<"$controls")
# shellcheck disable=SC2086
xdotool mousemove $box_at click 1
sleep 0.3
xdotool type --delay 15 'C:\Vemr'
# shellcheck disable=SC2086
xdotool mousemove $button_at click 1
se_box "恭喜！" "安装完成！" exclamation 2-installed
se_wait_end 10 || true

folder=$(se_unix 'C:\Vemr')
e2e_say "-- installed"
e2e_say "   C:\\Vemr: $(ls "$folder" | paste -sd ' ' -)"
e2e_say "   Start menu $SE_PROGRAMS\\$SE_TITLE: $(ls "$SE_GROUP_UNIX" | paste -sd ' ' -)"
e2e_say "   desktop: $(basename "$SE_DESKTOP_LINK_UNIX")"
e2e_say "   install record: $(se_record)"
se_entry | sed 's/^/   /'
e2e_check "installed" test -f "$folder/vemr.exe" -a -f "$SE_DESKTOP_LINK_UNIX"

command=$(se_uninstall_command)
e2e_say "-- uninstall through the entry's command: $command"
se_probe start "$command" >/dev/null
se_box "恭喜！" "卸载完成！" information 3-removed
sleep 0.3
e2e_say "-- left: install folder $([[ -e $folder ]] && echo present || echo gone)," \
  "group $([[ -e $SE_GROUP_UNIX ]] && echo present || echo gone)," \
  "desktop shortcut $([[ -e $SE_DESKTOP_LINK_UNIX ]] && echo present || echo gone)," \
  "entry $([[ -n $(se_entry) ]] && echo present || echo gone)," \
  "record $([[ -n $(se_record) ]] && echo present || echo gone)"
e2e_check "removed" test ! -e "$folder" -a ! -e "$SE_GROUP_UNIX" -a -z "$(se_entry)"
e2e_finish
