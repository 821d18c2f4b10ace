#!/usr/bin/env bash
# Two builds of the same sources in two different folders give byte-identical executables:
# the tree (as in git, with uncommitted changes) is copied to two paths of different lengths and
# the three programs of the i686 release are built in each. Exit 0 = pass.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WORK=$(mktemp -d /tmp/reproducible.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

for src in "$WORK/a" "$WORK/second/build-place"; do
  mkdir -p "$src"
  (cd "$ROOT" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$src")
  (cd "$src" && cmake --preset win32 >/dev/null && cmake --build --preset win32 --target vemr horasync setup >/dev/null)
done

failures=0
for exe in setup.exe vemr.exe horasync.exe; do
  a=$(sha256sum <"$WORK/a/dist/win32/$exe") b=$(sha256sum <"$WORK/second/build-place/dist/win32/$exe")
  if [[ $a == "$b" ]]; then echo "ok   $exe ${a%% *}"; else echo "FAIL $exe differs: ${a%% *} ${b%% *}"; failures=$((failures + 1)); fi
done
exit $((failures > 0))
