#!/usr/bin/env bash
# Each release program (dist/win32/*.exe) is stripped and at most 400 KiB. Exit 0 = pass.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ok=0 bad=0
for f in "$ROOT"/dist/win32/*.exe; do
  [[ -f $f ]] || continue
  bytes=$(stat -c %s "$f")
  if ((bytes > 400 * 1024)); then
    echo "FAIL ${f##*/}: $bytes bytes, above 400 KiB"; bad=$((bad + 1))
  elif i686-w64-mingw32-objdump -h "$f" | grep -q ' \.debug_'; then
    echo "FAIL ${f##*/}: not stripped (debug sections)"; bad=$((bad + 1))
  else
    echo "ok   ${f##*/}: $bytes bytes"; ok=$((ok + 1))
  fi
done
((ok + bad)) || { echo "FAIL no dist/win32/*.exe"; exit 1; }
((bad == 0))
