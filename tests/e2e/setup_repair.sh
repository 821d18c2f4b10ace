#!/usr/bin/env bash
# setup.exe fixiepageset under Wine: with three extra user hives loaded under HKEY_USERS (one with
# its own page set-up, two without the key), the six values footer, header (no bytes) and the four
# margins ("0") end up in HKCU and in every hive of HKU, the key made where it was missing and
# nothing else touched; the box "修复完成！" / "恭喜！" (information icon) shows and setup ends.
# Uses the caller's Wine environment (tools/scripts/test-all) or starts its own. Exit 0 = pass.
set -euo pipefail
# shellcheck source=lib/setup.bash
source "$(dirname "${BASH_SOURCE[0]}")/lib/setup.bash"
se_begin setup_repair

pagesetup='Software\Microsoft\Internet Explorer\PageSetup'
hives=(SetupE2E-A SetupE2E-B SetupE2E-C)
hive_file='C:\setup-e2e\user.hive'
stop=$(se_unix 'C:\setup-e2e')/user.hive.stop

# The hives stay loaded while the probe that loaded them runs; it unloads them when told to stop.
(exec wine "$SE_PROBE" hives "$hive_file" "${hives[@]}") >"$SE_ART/hives.out" 2>/dev/null &
loader=$!
SE_PIDS+=("$loader")
for ((i = 0; i < 200; i++)); do grep -q loaded "$SE_ART/hives.out" 2>/dev/null && break; sleep 0.05; done
e2e_check "three extra hives loaded" grep -q loaded "$SE_ART/hives.out"
wine reg add "HKU\\SetupE2E-A\\$pagesetup" /v header /d '&w&b页码，&p/&P' /f >/dev/null 2>&1
wine reg add "HKU\\SetupE2E-A\\$pagesetup" /v font /d 'kept' /f >/dev/null 2>&1
wine reg delete "HKCU\\$pagesetup" /f >/dev/null 2>&1 || true
users=$(wine reg query HKU 2>/dev/null | tr -d '\r' | sed -n 's/^HKEY_USERS\\//p')
printf '%s\n' "$users" >"$SE_ART/hku.txt"
e2e_check "HKU lists the default, the user's own and the three extra hives" test "$(wc -l <<<"$users")" -ge 5

e2e_check "before: HKU\\SetupE2E-B has no page set-up key" \
  bash -c '! wine reg query "HKU\\SetupE2E-B\\$1" >/dev/null 2>&1' _ "$pagesetup"
se_setup fixiepageset
se_box "恭喜！" "修复完成！" information repaired
e2e_check "setup ends after the box" se_wait_end 10

# repaired ROOT KEY: the six values as the repair writes them.
repaired() {
  local values
  values=$(se_probe values "$1" "${2:+$2\\}$pagesetup")
  printf '%s\n' "== $1\\$2" "$values" >>"$SE_ART/values.txt"
  grep -qx 'footer type=1 bytes=0 text=' <<<"$values" &&
    grep -qx 'header type=1 bytes=0 text=' <<<"$values" &&
    for m in bottom left right top; do grep -qx "margin_$m type=1 bytes=4 text=0~" <<<"$values" || return 1; done
}
: >"$SE_ART/values.txt"
e2e_check "HKCU: six values, header and footer without bytes, margins \"0\"" repaired HKCU ''
while IFS= read -r user; do
  [[ -n $user ]] && e2e_check "HKU\\$user: six values" repaired HKU "$user"
done <<<"$users"
e2e_check "a hive's other page set-up value is kept" grep -q '^font type=1 bytes=10 text=kept~$' \
  <<<"$(se_probe values HKU "SetupE2E-A\\$pagesetup")"
e2e_check "a hive's other keys are kept" grep -q '^kept type=1' <<<"$(se_probe values HKU 'SetupE2E-B\Software\Other')"

touch "$stop"
for ((i = 0; i < 100; i++)); do kill -0 "$loader" 2>/dev/null || break; sleep 0.05; done
e2e_check "the extra hives are unloaded again" bash -c '! wine reg query "HKU\SetupE2E-A" >/dev/null 2>&1'
e2e_finish
