#!/usr/bin/env bash
# tools/scripts/try-media on media made by tools/scripts/release (title and shortcut differ, the host
# carries a port): the stand-in server says ok to the launch request, and nothing is left behind
# (namespace, Wine prefix, processes of the prefix). Exit 0 = pass.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=lib/common.bash
source "$ROOT/tests/e2e/lib/common.bash"   # the checks' count and verdict
wine_env_runs_32bit || e2e_skip "the release media are i686 and this machine runs no 32-bit programs"
WORK=$(mktemp -d /tmp/try-media-test.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
LOGS=${E2E_OUT:-$WORK/logs}

"$ROOT/tools/scripts/release" --title 话费充值 --host op.example.com:8080 --shortcut 充值 --zone 8 --out "$WORK/out"
rc=0
"$ROOT/tools/scripts/try-media" --logs "$LOGS" "$WORK"/out/*.zip | tee "$WORK/said" || rc=$?
prefix=$(cat "$LOGS/wine-env.txt")
left=$(ip netns list | awk '$1 == "try-media"'; ls -d "$prefix" /etc/netns/try-media 2>/dev/null;
  grep -l "WINEPREFIX=$prefix/prefix" /proc/[0-9]*/environ 2>/dev/null || true)
e2e_check "try-media ended with exit 0 ($rc)" test "$rc" = 0
e2e_check "the stand-in server said ok to the launch request" grep -qE '^ +[-0-9T:.+]+ launch +ok +GET /language\.asp' "$WORK/said"
e2e_check "nothing left behind: ${left:-nothing}" test -z "$left"
e2e_finish
