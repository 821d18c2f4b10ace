#!/usr/bin/env bash
# tools/scripts/release: bad values refused with one line, exit 2 and DIR untouched; good media,
# zip and sums; --check on good and broken config.txt files; signing with a certificate made here
# (verified with osslsigncode), and a wrong password refused. Exit 0 = pass.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
RELEASE=$ROOT/tools/scripts/release
WORK=$(mktemp -d /tmp/release-test.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
ok() { echo "ok   $*"; }
tree_sum() { (cd "$1" && find . -type f -exec sha256sum {} + | sort | sha256sum); }
GOOD=(--title 话费充值 --host op.example.com:8080 --shortcut 话费充值 --zone 8)

[[ $("$RELEASE" -h) == "usage: release"* ]] || fail "--help"
rc=0; "$RELEASE" --bogus x 2>/dev/null || rc=$?; ((rc == 2)) || fail "unknown option: exit $rc"

# A release to replace: a refused run must leave it exactly as it is.
OUT=$WORK/out
mkdir -p "$OUT" && echo old >"$OUT/SHA256SUMS"
BEFORE=$(tree_sum "$OUT")
# option | value | what the one-line refusal says
while IFS='|' read -r opt value why; do
  args=()
  for ((i = 0; i < ${#GOOD[@]}; i += 2)); do
    [[ ${GOOD[i]} == "$opt" ]] && args+=("$opt=$value") || args+=("${GOOD[i]}=${GOOD[i+1]}")
  done
  rc=0
  msg=$("$RELEASE" "${args[@]}" --out "$OUT" 2>&1) || rc=$?
  if ((rc == 2)) && [[ $(wc -l <<<"$msg") == 1 && $msg == *"$opt"*"$why"* && $(tree_sum "$OUT") == "$BEFORE" ]]; then
    ok "refused $opt '$value': $msg"
  else
    fail "$opt '$value': exit $rc, '$msg'"
  fi
done <<'TABLE'
--title||empty
--title|a/b|not allowed
--title|话费:充值|not allowed
--title|充值.|ends with
--title|充值 |ends with
--title|雪人☃|GBK
--title|CON|device
--shortcut|a	b|not allowed
--shortcut|x?|not allowed
--host||empty
--host|http://op.example.com|scheme
--host|op.example.com/x|path
--host|op example.com|blank
--host|话费.cn|non-ASCII
--host|op.example.com:0|port
--host|op.example.com:65536|port
--host|op.example.com:|port
--host|300.1.2.3|IPv4
--host|-op.example.com|host name
--host|localhost|dot
--zone||not a number
--zone|8h|not a number
--zone|0x8|not a number
--zone|1e1|not a number
--zone|+-8|not a number
--zone|８|not a number
--zone|.|not a number
--zone|15|outside
--zone|-12.5|outside
TABLE

# Good values, including the client's other number forms: media, config bytes, zip, sums, --check.
for zone in ' 5.75' '-12' '+14' '.5'; do
  "$RELEASE" --title 话费充值 --host 10.0.0.1 --shortcut 充值 --zone "$zone" --out "$WORK/z" >/dev/null ||
    fail "zone '$zone' refused"
done
if "$RELEASE" "${GOOD[@]}" --out "$OUT" >"$WORK/log" 2>&1; then ok "release made"; else fail "release: $(cat "$WORK/log")"; fi
[[ $(ls "$OUT/media") == $'config.txt\nhorasync.exe\nsetup.exe\nvemr.exe' ]] || fail "media: $(ls "$OUT/media")"
printf '话费充值\r\nop.example.com:8080\r\n话费充值\r\n8' | iconv -f utf-8 -t gbk | cmp - "$OUT/media/config.txt" || fail "config.txt bytes"
cmp "$OUT/media/vemr.exe" "$ROOT/dist/win32/vemr.exe" || fail "vemr.exe is not the build's"
(cd "$OUT" && sha256sum --quiet -c SHA256SUMS) && [[ $(wc -l <"$OUT/SHA256SUMS") == 5 ]] || fail "SHA256SUMS"
ZIP=$OUT/op.example.com_8080-1.0.0.zip
python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); assert z.testzip() is None; print(*z.namelist())' \
  "$ZIP" | grep -qx 'media/config.txt media/horasync.exe media/setup.exe media/vemr.exe' || fail "zip contents"
cp "$ZIP" "$WORK/first.zip"
"$RELEASE" "${GOOD[@]}" --out "$OUT" >/dev/null && cmp -s "$ZIP" "$WORK/first.zip" || fail "zip differs on a second run"
checked=$("$RELEASE" --check "$OUT/media/config.txt") && [[ ${checked%%$'\n'*} == ok ]] || fail "--check of the media's config.txt"

# --check: what the client would make of a broken file (file bytes | message).
while IFS='|' read -r bytes why; do
  printf "$bytes" >"$WORK/config.txt"
  rc=0
  msg=$("$RELEASE" --check "$WORK/config.txt") || rc=$?
  if ((rc == 1)) && [[ $msg == *"$why"* ]]; then ok "--check: $msg"; else fail "--check '$bytes': exit $rc, '$msg'"; fi
done <<'TABLE'
a\r\nop.example.com\r\nb\r\n8\r\n|line 4 ends with a line break
\xe8\xaf\x9d\r\nop.example.com\r\nb\r\n8|looks like UTF-8
a\r\nop.example.com\r\nb\r\n8\r\nx|5 lines
a\nop.example.com\nb\n8|LF only
a\r\nop.example.com\r\nb\r\n8 hours|line 4 (zone)
\x81\r\nop.example.com\r\nb\r\n8|byte 0x81
|empty
TABLE

# Signing: a certificate made here; every .exe verifies. A wrong password is refused, DIR untouched.
openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=release-test -days 2 -keyout "$WORK/key.pem" \
  -out "$WORK/cert.pem" -addext extendedKeyUsage=codeSigning 2>/dev/null
echo secret >"$WORK/pass"
openssl pkcs12 -export -in "$WORK/cert.pem" -inkey "$WORK/key.pem" -passout file:"$WORK/pass" -out "$WORK/sign.p12"
"$RELEASE" "${GOOD[@]}" --out "$OUT" --sign-pkcs12 "$WORK/sign.p12" --sign-pass-file "$WORK/pass" >/dev/null ||
  fail "signed release"
for exe in "$OUT"/media/*.exe; do
  if osslsigncode verify -CAfile "$WORK/cert.pem" -in "$exe" 2>&1 | grep -q 'Signature verification: ok'; then
    ok "signed $(basename "$exe")"
  else
    fail "signature of $(basename "$exe")"
  fi
done
(cd "$OUT" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS of the signed release"
echo wrong >"$WORK/wrong"
BEFORE=$(tree_sum "$OUT")
rc=0
msg=$("$RELEASE" "${GOOD[@]}" --out "$OUT" --sign-pkcs12 "$WORK/sign.p12" --sign-pass-file "$WORK/wrong" 2>&1) || rc=$?
if ((rc == 2)) && [[ $msg == *password* && $(tree_sum "$OUT") == "$BEFORE" ]]; then ok "wrong password: $msg"; else fail "wrong password: exit $rc, '$msg'"; fi

exit $((failures > 0))
