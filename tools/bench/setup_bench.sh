#!/usr/bin/env bash
# setup_bench.sh — how long a whole install and a whole uninstall of setup.exe take under Wine,
# without the one-second wait of uninstall stage 2.
#   tools/bench/setup_bench.sh [ROUNDS]     (default 5; the caller's Wine environment or a fresh one)
# Install: from the click on 开始安装 to the box 安装完成！ (measured inside one probe process).
# Uninstall: stage 1 from its start to its end, and stage 2 (started alone from its working copy)
# from its start to the box 卸载完成！, less the one-second wait. Both still hold a Wine process
# start-up each; the time setup.exe takes to start and end at once (no config.txt) shows its size.
set -euo pipefail
# shellcheck source=../../tests/e2e/lib/setup.bash
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/e2e/lib/setup.bash"
ROUNDS=${1:-5}
se_begin setup_bench
SE_CLEANUP_DIRS+=('C:\SetupBench')

bare=$(se_unix 'C:\setup-e2e')/bare
mkdir -p "$bare"
cp "$(se_unix "$SE_MEDIA")/setup.exe" "$bare/"

median() { sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : int((a[NR / 2] + a[NR / 2 + 1]) / 2)}'; }

temp=$(se_temp)
install() {
  se_setup
  se_probe window "$SE_WINDOW" 60000 >/dev/null
  se_probe type "$SE_WINDOW" 'C:\SetupBench\Vemr' >/dev/null
  installs+=("$(se_probe timed-press "$SE_WINDOW" "开始安装" "恭喜！" 20000)")
  se_probe ok "恭喜！" >/dev/null
  se_wait_end 10
}

installs=() stage1=() stage2=() starts=()
for ((round = 1; round <= ROUNDS; round++)); do
  starts+=("$(se_probe timed-start 'C:\setup-e2e\bare\setup.exe' - 20000)")
  install
  # Stage 1 until it ends; stage 2, started by it, then removes everything by itself.
  stage1+=("$(se_probe timed-start '"C:\SetupBench\Vemr\setup.exe" uninstall' - 20000)")
  se_probe box "恭喜！" 20000 >/dev/null
  install
  # Stage 2 alone, from the working copy stage 1 left.
  stage2+=("$(se_probe timed-start "\"$temp\\uninstallvemr.exe\" movenow" "恭喜！" 30000)")
  se_probe ok "恭喜！" >/dev/null
  sleep 0.3
done

start_ms=$(printf '%s\n' "${starts[@]}" | median)
install_ms=$(printf '%s\n' "${installs[@]}" | median)
stage1_ms=$(printf '%s\n' "${stage1[@]}" | median)
stage2_ms=$(printf '%s\n' "${stage2[@]}" | median)
uninstall_ms=$((stage1_ms + stage2_ms - 1000))
e2e_say "rounds: $ROUNDS"
e2e_say "setup.exe start-up and end under Wine:   ${starts[*]} ms (median $start_ms)"
e2e_say "install, click to success box:           ${installs[*]} ms (median $install_ms)"
e2e_say "uninstall stage 1, start to end:         ${stage1[*]} ms (median $stage1_ms)"
e2e_say "uninstall stage 2, start to success box: ${stage2[*]} ms (median $stage2_ms)"
e2e_say "uninstall, both stages less the 1 s wait: $uninstall_ms ms (two Wine start-ups still included)"
e2e_check "install under 1 s" test "$install_ms" -lt 1000
e2e_check "uninstall under 1 s, even with its two Wine start-ups" test "$uninstall_ms" -lt 1000
e2e_finish
