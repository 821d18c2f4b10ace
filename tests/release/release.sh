#!/usr/bin/env bash
# tools/scripts/release: bad values and out folders refused with one line, exit 2 and the folder
# untouched; good media, zip, sums and MANIFEST, replacing only what an earlier release wrote;
# --check on good and broken config.txt files; signing with certificates made here (PKCS#12, and a
# key on a SoftHSM2 token with time stamps from a local authority), verified with osslsigncode, and
# certificates that must not sign refused. Exit 0 = pass.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
RELEASE=$ROOT/tools/scripts/release
WORK=$(mktemp -d /tmp/release-test.XXXXXX)
trap 'kill ${TSA:-} 2>/dev/null || :; chmod -R u+w "$WORK"; rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
ok() { echo "ok   $*"; }
tree_sum() { (cd "$1" && find . -printf '%p %l\n' -type f -exec sha256sum {} + | sort | sha256sum); }
GOOD=(--title 话费充值 --host op.example.com:8080 --shortcut 话费充值 --zone 8)
# refused WHY DIR ARG...: the tool (run as ${AS[@]}) says WHY in one line, exits 2 and leaves DIR as it was.
AS=()
refused() {
  local why=$1 dir=$2 before rc=0 msg
  shift 2
  before=$(tree_sum "$dir")
  msg=$("${AS[@]}" "$RELEASE" "$@" 2>&1) || rc=$?
  if ((rc == 2)) && [[ $(wc -l <<<"$msg") == 1 && $msg == *$why* && $(tree_sum "$dir") == "$before" ]]; then
    ok "refused: $msg"
  else
    fail "$why: exit $rc, '$msg'"
  fi
}

[[ $("$RELEASE" -h) == "usage: release"* ]] || fail "--help"
rc=0; "$RELEASE" --bogus x 2>/dev/null || rc=$?; ((rc == 2)) || fail "unknown option: exit $rc"

# A release to replace: a refused run must leave it exactly as it is.
OUT=$WORK/out
mkdir -p "$OUT/media" && touch "$OUT/media/setup.exe" "$OUT/old.zip"
(cd "$OUT" && sha256sum old.zip media/* >SHA256SUMS)
# option | value | what the one-line refusal says
while IFS='|' read -r opt value why; do
  args=()
  for ((i = 0; i < ${#GOOD[@]}; i += 2)); do
    [[ ${GOOD[i]} == "$opt" ]] && args+=("$opt=$value") || args+=("${GOOD[i]}=${GOOD[i+1]}")
  done
  refused "$opt*$why" "$OUT" "${args[@]}" --out "$OUT"
done <<'TABLE'
--title||empty
--title|a/b|not allowed
--title|话费:充值|not allowed
--title|充值.|ends with
--title|充值 |ends with
--title|雪人☃|GBK
--title|CON|device
--title|StartUp|start-up folder
--title|windows TOOLS|start-up folder
--title|附件|start-up folder
--title|话费充值话费充值话费充值话费充值话费充值话费充值话费充值话费充值话|66 bytes
--title|aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa|65 bytes
--shortcut|自动卸载|setup makes itself
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
  "$RELEASE" --title 话费充值 --host 10.0.0.1 --shortcut 充值 --zone "$zone" --out "$WORK/z/made/here" >/dev/null ||
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
grep -qx "commit $(git -C "$ROOT" rev-parse HEAD).*" "$OUT/MANIFEST" || fail "MANIFEST: $(head -2 "$OUT/MANIFEST")"
cp "$ZIP" "$WORK/first.zip" && cp -r "$OUT/media" "$WORK/unsigned"
rm -f "$OUT/MANIFEST"   # as the tool left its releases before it wrote one
"$RELEASE" "${GOOD[@]}" --out "$OUT" >/dev/null && cmp -s "$ZIP" "$WORK/first.zip" || fail "zip differs on a second run"
checked=$("$RELEASE" --check "$OUT/media/config.txt") && [[ ${checked%%$'\n'*} == ok ]] || fail "--check of the media's config.txt"

# The Linux package: its name (also the appid, and horasync's trace folder) from the host by one rule, always a
# valid Debian package name; its version rises with the commit's time; what it holds.
rule() { python3 -c 'import importlib.machinery as m, sys; r = m.SourceFileLoader("r", sys.argv[1]).load_module()
print(getattr(r, sys.argv[2])(*[int(a) if a.isdigit() else a for a in sys.argv[3:]]))' "$RELEASE" "$@"; }
while IFS='|' read -r host package; do
  got=$(rule linux_package "$host")
  [[ $got == "$package" && $got =~ ^[a-z0-9][a-z0-9.+-]+$ ]] || fail "package of $host: $got, not $package"
done <<'TABLE'
op.vemr.test:8080|com.vemr.op-vemr-test-8080
10.0.0.5|com.vemr.10-0-0-5
Op.Example.COM|com.vemr.op-example-com
xn--fiq228c.example.com:65535|com.vemr.xn-fiq228c-example-com-65535
TABLE
dpkg --compare-versions "$(rule linux_version 1796688000)" lt "$(rule linux_version 1796688001)" ||
  fail "a later commit's version is not higher"
long=$(printf 'a%.0s' {1..60}).$(printf 'b%.0s' {1..60}).$(printf 'c%.0s' {1..60}).$(printf 'd%.0s' {1..60}).com
refused "--host*file name of 287 bytes, more than 255" "$OUT" "${GOOD[@]/op.example.com:8080/$long}" --out "$OUT" --linux
"$RELEASE" "${GOOD[@]}" --out "$WORK/linux" --linux >/dev/null || fail "release --linux"
DEB=$WORK/linux/com.vemr.op-example-com-8080_1.0.0+$(TZ=UTC git -C "$ROOT" log -1 --format=%cd \
  --date=format-local:%Y%m%d%H%M%S)_amd64.deb
(cd "$WORK/linux" && sha256sum --quiet -c SHA256SUMS) && grep -qx "file ${DEB##*/}" "$WORK/linux/MANIFEST" &&
  grep -q "  ${DEB##*/}$" "$WORK/linux/SHA256SUMS" || fail "${DEB##*/} with its sum and in MANIFEST"
dpkg-deb -x "$DEB" "$WORK/deb" && APP=$WORK/deb/opt/apps/com.vemr.op-example-com-8080
cmp "$APP/files/config.txt" "$OUT/media/config.txt" && cmp "$APP/files/vemr" "$ROOT/dist/linux/vemr" &&
  cmp "$APP/files/horasync" "$ROOT/dist/linux/horasync" || fail "the package's files"
grep -qx 'Name=话费充值' "$APP/entries/applications/com.vemr.op-example-com-8080.desktop" &&
  [[ $(readlink "$WORK/deb/usr/share/applications/com.vemr.op-example-com-8080.desktop") == /opt/apps/*.desktop ]] ||
  fail "the launcher, named as line 3, also in /usr/share/applications"
python3 -c 'import json, sys; i = json.load(open(sys.argv[1])); assert i["appid"] == "com.vemr.op-example-com-8080" and i["name"] == "话费充值"' \
  "$APP/info" || fail "info"
dpkg-deb --ctrl-tarfile "$DEB" | tar -xO ./postinst | grep -q 'setcap cap_sys_time+ep /opt/apps/.*/files/horasync' ||
  fail "postinst does not give horasync its capability"

# Out folders that are not a release of this tool, a symbolic link, a release this user cannot change, and a
# checkout whose commit git cannot tell.
mkdir -p "$WORK/downloads/photos" && touch "$WORK/downloads/"{contract.doc,photos/p.jpg,SHA256SUMS}
refused "neither empty nor an earlier release" "$WORK/downloads" "${GOOD[@]}" --out "$WORK/downloads"
ln -s "$OUT" "$WORK/link" && refused "symbolic link" "$OUT" "${GOOD[@]}" --out "$WORK/link"
mkdir -m 1777 "$WORK/pub" && cp -r "$OUT" "$WORK/pub/rel" && chmod -R a-w "$WORK/pub/rel" && chmod 755 "$WORK"
((EUID)) || AS=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
refused "cannot replace the earlier release" "$WORK/pub" "${GOOD[@]}" --out "$WORK/pub/rel" && AS=()
GIT_DIR=$WORK/none refused "git cannot give the commit" "$WORK/pub" "${GOOD[@]}" --out "$WORK/pub/new"

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
a\rop.example.com\rb\r8|CR only
a\r\nop.example.com\r\nb\r\n8\n|line 4 ends with a line break (LF)
a\0\r\0\n\0b\0|UTF-16
a\r\nop.example.com\r\nb\r\n8 hours|line 4 (zone)
\x81\r\nop.example.com\r\nb\r\n8|byte 0x81
|empty
TABLE

# Signing. A test root issues certificates for code signing, time stamps, TLS, one expired and one not valid
# yet; the code-signing key goes into a PKCS#12 file and onto a SoftHSM2 token; a local authority stamps.
cd "$WORK"
issue() { # NAME EXTENDED-KEY-USAGE [FAKETIME-OFFSET]: NAME.key, NAME.cert and NAME.pem (with the root)
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=$1" -keyout "$1.key" -out "$1.csr" \
    2>/dev/null
  ${3:+faketime -f "$3"} openssl x509 -req -in "$1.csr" -CA root.pem -CAkey root.key -days 1 -out "$1.cert" \
    -extfile <(echo "extendedKeyUsage=$2") 2>/dev/null && cat "$1.cert" root.pem >"$1.pem"
}
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=release-test -days 2 -keyout root.key \
  -out root.pem 2>/dev/null
issue code codeSigning && issue tsa critical,timeStamping && issue tls serverAuth
issue expired codeSigning -3d && issue early codeSigning +2d
printf 'secret\r\nnot the password\n' >pass && echo wrong >wrong && printf '1234\r\n' >pin
openssl pkcs12 -export -in code.pem -inkey code.key -passout pass:secret -out code.p12
export SOFTHSM2_CONF=$WORK/softhsm2.conf
mkdir tokens && echo "directories.tokendir = $WORK/tokens" >"$SOFTHSM2_CONF"
softhsm2-util --init-token --free --label release-test --so-pin 4321 --pin 1234 >/dev/null
openssl pkcs8 -topk8 -nocrypt -in code.key -out code.p8
softhsm2-util --import code.p8 --token release-test --label code --id 01 --pin 1234 >/dev/null
TOKEN=(--sign-pkcs11-module /usr/lib/softhsm/libsofthsm2.so --sign-pkcs11-uri 'pkcs11:token=release-test;object=code'
  --sign-pin-file pin)
python3 "$ROOT/tools/peers/timestamp_authority.py" --cert tsa.cert --key tsa.key --chain root.pem --dir . >tsa.port &
TSA=$!
until [[ -s tsa.port ]]; do sleep 0.1; done

echo notes >"$OUT/notes.txt"
"$RELEASE" "${GOOD[@]}" --out "$OUT" --sign-pkcs12 code.p12 --sign-pass-file pass >/dev/null || fail "PKCS#12 signing"
[[ -f $OUT/notes.txt ]] && (cd "$OUT" && sha256sum --quiet -c SHA256SUMS) || fail "notes.txt or SHA256SUMS"
said=$(osslsigncode verify -CAfile root.pem -in "$OUT/media/vemr.exe" 2>&1) || :
signed=$(date -d "$(sed -n 's/.*Signing time: //p' <<<"$said")" +%s) || signed=0   # now, not the commit's time
[[ $said == *"Signature verification: ok"* ]] && (($(date +%s) - signed < 120)) || fail "PKCS#12, signed at $signed"
# A signed release is the unsigned one plus signatures, each with a time stamp.
"$RELEASE" "${GOOD[@]}" --out "$OUT" "${TOKEN[@]}" --sign-cert code.pem \
  --timestamp-url "http://127.0.0.1:$(cut -d' ' -f2 tsa.port)" >/dev/null || fail "signing on the token"
for exe in setup vemr horasync; do
  said=$(osslsigncode verify -CAfile root.pem -TSA-CAfile root.pem -in "$OUT/media/$exe.exe" 2>&1) || :
  osslsigncode remove-signature -in "$OUT/media/$exe.exe" -out "$exe.bare" >/dev/null 2>&1 || :
  if [[ $said == *"Timestamp Server Signature verification: ok"*"Signature verification: ok"* ]] &&
    cmp -s "$exe.bare" "unsigned/$exe.exe"; then
    ok "$exe.exe signed, stamped, the same without"
  else
    fail "$exe.exe: $said"
  fi
done
# Certificates that must not sign, and a signature that does not verify (the root is nowhere): DIR untouched.
while IFS='|' read -r cert why; do
  refused "$why" "$OUT" "${GOOD[@]}" --out "$OUT" "${TOKEN[@]}" --sign-cert "$cert"
done <<'TABLE'
tls.pem|not for code signing
expired.pem|expired
early.pem|not valid yet
code.cert|does not verify
TABLE
refused "wrong password" "$OUT" "${GOOD[@]}" --out "$OUT" --sign-pkcs12 code.p12 --sign-pass-file wrong

exit $((failures > 0))
