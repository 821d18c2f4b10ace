#!/usr/bin/env bash
# Two builds of the same sources in two different folders give byte-identical executables: the
# three programs of the i686 release as built here (preset win32, brought up to date) and as built
# in a copy of the tree (as in git, with uncommitted changes) at a path of another length; and two
# releases of the Linux package (tools/scripts/release --linux) at other times and umasks.
# Exit 0 = pass.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WORK=$(mktemp -d /tmp/reproducible.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

build() { [[ -f build/win32/CMakeCache.txt ]] || cmake --preset win32; cmake --build --preset win32 --target vemr horasync setup; }
(cd "$ROOT" && build >/dev/null)
copy=$WORK/second/build-place
mkdir -p "$copy"
(cd "$ROOT" && git ls-files -co --exclude-standard -z | xargs -0 cp --parents -t "$copy")
(cd "$copy" && build >/dev/null)

failures=0
for exe in setup.exe vemr.exe horasync.exe; do
  a=$(sha256sum <"$ROOT/dist/win32/$exe") b=$(sha256sum <"$copy/dist/win32/$exe")
  if [[ $a == "$b" ]]; then echo "ok   $exe ${a%% *}"; else echo "FAIL $exe differs: ${a%% *} ${b%% *}"; failures=$((failures + 1)); fi
done
for mask in 022 077; do
  (umask $mask && "$ROOT/tools/scripts/release" --title 话费充值 --host op.example.com:8080 --shortcut 话费充值 --zone 8 \
    --out "$WORK/$mask" --linux >/dev/null) && sleep 1
done
a=$(sha256sum <"$WORK"/022/*.deb) b=$(sha256sum <"$WORK"/077/*.deb)
if [[ $a == "$b" ]]; then echo "ok   $(basename "$WORK"/022/*.deb) ${a%% *}"; else echo "FAIL the package differs: ${a%% *} ${b%% *}"; failures=$((failures + 1)); fi
exit $((failures > 0))
