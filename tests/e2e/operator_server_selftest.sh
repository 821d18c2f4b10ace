#!/usr/bin/env bash
# Self-test of the stand-in operator web server (tools/peers/operator_server.py), on loopback only.
# Sends correctly and wrongly signed launch requests and time reports, a malformed request and
# an unknown path; checks the verdicts in the log, --check-log, the fault options and SIGTERM.
# Exit 0 = pass. Run from anywhere; the repository root is found from this file.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=lib/common.bash
source "$ROOT/tests/e2e/lib/common.bash"   # the checks' count and verdict
SERVER="$ROOT/tools/peers/operator_server.py"
MYMD="$ROOT/dist/tools/mymd"
WORK=$(mktemp -d /tmp/operator-selftest.XXXXXX)
PIDS=()

cleanup() {
  local pid _
  for pid in "${PIDS[@]}"; do
    kill "$pid" 2>/dev/null || continue
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  rm -rf "$WORK"
}
trap cleanup EXIT

# Checks whose outcome is worked out beforehand.
fail() { e2e_check "$*" false; }
pass() { e2e_check "$*" true; }

if [[ ! -x $MYMD ]]; then
  echo "digest tool $MYMD missing: building the native preset"
  (cd "$ROOT" && cmake --preset native >/dev/null && cmake --build --preset native --target mymd >/dev/null)
fi
[[ -x $MYMD ]] || { echo "FAIL: $MYMD still missing"; exit 1; }

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_server NAME ARGS...: starts a server on a free port; sets PORT and LOG (and its pid in PIDS).
start_server() {
  local name=$1 _
  shift
  LOG="$WORK/$name.log"
  for _ in 1 2 3; do
    PORT=$(free_port)
    python3 "$SERVER" --port "$PORT" --log "$LOG" --pidfile "$WORK/$name.pid" "$@" \
      >"$WORK/$name.out" 2>&1 &
    PIDS+=($!)
    for _ in $(seq 1 50); do
      if [[ -s $WORK/$name.pid ]] && python3 -c 'import socket, sys
socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=1).close()' "$PORT" 2>/dev/null; then
        return 0
      fi
      kill -0 "${PIDS[-1]}" 2>/dev/null || break
      sleep 0.1
    done
    kill "${PIDS[-1]}" 2>/dev/null || true
  done
  echo "FAIL: server $name did not start"; cat "$WORK/$name.out"; exit 1
}

# fetch URL OUTFILE [HEADER...]: GET with curl, or urllib when curl is missing; prints the status.
fetch() {
  local url=$1 out=$2 h
  shift 2
  if command -v curl >/dev/null; then
    local args=()
    for h in "$@"; do args+=(-H "$h"); done
    curl -sS --path-as-is --max-time 20 -o "$out" -w '%{http_code}' "${args[@]}" "$url"
  else
    python3 - "$url" "$out" "$@" <<'EOF'
import sys, urllib.request, urllib.error
url, out, headers = sys.argv[1], sys.argv[2], sys.argv[3:]
req = urllib.request.Request(url)
for h in headers:
    name, _, value = h.partition(": ")
    req.add_header(name, value)
try:
    with urllib.request.urlopen(req, timeout=20) as r:
        status, body = r.status, r.read()
except urllib.error.HTTPError as e:
    status, body = e.code, e.read()
open(out, "wb").write(body)
print(status, end="")
EOF
  fi
}

# The two URL encoders of the programs, written independently of the server.
url_encode() {  # GBK bytes; letters and digits kept, space "+", other bytes %XX
  python3 -c 'import sys
print("".join(chr(b) if chr(b).isascii() and chr(b).isalnum() else "+" if b == 32 else "%%%02X" % b
              for b in sys.argv[1].encode("gbk")))' "$1"
}
utf_encode() {  # reserved ASCII escaped, other ASCII kept, non-ASCII as UTF-8 escapes
  python3 -c 'import sys
R = " `=\\@#$%^&+|{}[]:;\"'"'"'<>,.?/"
print("".join("%%%02X" % ord(c) if c in R else c if ord(c) < 128
              else "".join("%%%02X" % b for b in c.encode()) for c in sys.argv[1]))' "$1"
}

# verdict CASE: the verdict of the logged request that carried the header "X-Case: CASE".
verdict() {
  python3 - "$LOG" "$1" <<'EOF'
import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    e = json.loads(line)
    if ["X-Case", sys.argv[2]] in e["headers"]:
        print(e["verdict"])
        break
else:
    print("missing")
EOF
}

expect_verdict() {  # CASE ok|bad|n/a
  local got
  got=$(verdict "$1")
  if [[ $got == "$2" || ($2 == bad && $got == bad:*) ]]; then pass "$1: $got"; else fail "$1: verdict '$got', expected $2"; fi
}

expect_status() {  # CASE GOT WANTED
  if [[ $2 == "$3" ]]; then pass "$1: status $2"; else fail "$1: status $2, expected $3"; fi
}

# ---- main server -------------------------------------------------------------------------------
start_server main
HOST="127.0.0.1:$PORT"
BASE="http://$HOST"

# Launch request, as the client builds it.
ID=$("$MYMD" "selftest machine")
stamp_now() { python3 -c 'import datetime as d; print((d.datetime.now(d.timezone.utc) + d.timedelta(hours=8)).strftime("%Y%m%d%H%M%S"))'; }
TIM=$(stamp_now)
VERSION=1.0.0
VER=$(utf_encode "$VERSION")
[[ $VER == 1%2E0%2E0 ]] || fail "version encoding $VER"
HOST_DIGEST=$("$MYMD" "mordakelvint${HOST}fisproantel")
SIG=$("$MYMD" "${ID}${TIM}${VERSION}${HOST_DIGEST}")
WRONG_SIG=$("$MYMD" "${ID}${TIM}1.0.1${HOST_DIGEST}")
LAUNCH="$BASE/language.asp?lau=cn&tim=$TIM&ver=$VER"

st=$(fetch "$LAUNCH" "$WORK/launch.html" "X-Case: launch-good" "User-Agent: TavinVmc.Cet/$ID/$SIG")
expect_status launch-good "$st" 200
expect_verdict launch-good ok
if iconv -f gbk -t utf-8 <"$WORK/launch.html" | grep -q '欢迎'; then pass "launch page is GBK"; else fail "launch page text"; fi

st=$(fetch "$BASE/language.asp?lau=cn&tim=$TIM&ver=$VERSION" "$WORK/b" \
  "X-Case: launch-dots-unescaped" "User-Agent: TavinVmc.Cet/$ID/$SIG")
expect_verdict launch-dots-unescaped ok

fetch "$LAUNCH" "$WORK/b" "X-Case: launch-wrong-sig" "User-Agent: TavinVmc.Cet/$ID/$WRONG_SIG" >/dev/null
expect_verdict launch-wrong-sig bad
fetch "$LAUNCH" "$WORK/b" "X-Case: launch-glued-header" \
  "User-Agent: TavinVmc.Cet/$ID/${SIG}Accept-Encoding: gzip, deflate" >/dev/null
expect_verdict launch-glued-header bad
fetch "$BASE/language.asp?lau=cn&tim=20261306141530&ver=$VER" "$WORK/b" \
  "X-Case: launch-bad-date" "User-Agent: TavinVmc.Cet/$ID/$SIG" >/dev/null
expect_verdict launch-bad-date bad

# Time report, as the time synchroniser builds it (one plain and one Chinese server name).
NOW=$(python3 -c 'import datetime as d; print((d.datetime.now(d.timezone.utc) + d.timedelta(hours=8)).strftime("%Y-%m-%d %H:%M:%S"))')
report_url() {  # TIME SERVER SIGNATURE
  echo "$BASE/gmtime.asp?tim=$(url_encode "$1")&clb=$(url_encode "$2")&sgn=$3"
}
SERVER_NAME=ntp.selftest.example
SGN=$("$MYMD" "${NOW}${SERVER_NAME}")
st=$(fetch "$(report_url "$NOW" "$SERVER_NAME" "$SGN")" "$WORK/report.txt" "X-Case: report-good")
expect_status report-good "$st" 200
expect_verdict report-good ok
if [[ $(iconv -f gbk -t utf-8 <"$WORK/report.txt") == 时间已收到 ]]; then pass "report answer is GBK"; else fail "report answer"; fi

CN_NAME="授时中心 ntp"
fetch "$(report_url "$NOW" "$CN_NAME" "$("$MYMD" "${NOW}${CN_NAME}")")" "$WORK/b" "X-Case: report-chinese" >/dev/null
expect_verdict report-chinese ok

fetch "$(report_url "$NOW" "$SERVER_NAME" "$("$MYMD" "${SERVER_NAME}${NOW}")")" "$WORK/b" \
  "X-Case: report-wrong-sgn" >/dev/null
expect_verdict report-wrong-sgn bad
LOWER=$(report_url "$NOW" "$SERVER_NAME" "$SGN" | sed 's/%3A/%3a/g')
fetch "$LOWER" "$WORK/b" "X-Case: report-lowercase-hex" >/dev/null
expect_verdict report-lowercase-hex bad

# Unknown path, another method, a malformed request line: answered, logged, server still up.
st=$(fetch "$BASE/nowhere.asp" "$WORK/b" "X-Case: unknown-path")
expect_status unknown-path "$st" 404
expect_verdict unknown-path n/a
python3 - "$PORT" <<'EOF'
import socket, sys
for raw in (b"GARBAGE\r\n\r\n", b"GET /gmtime.asp?" + b"A" * 70000 + b" HTTP/1.1\r\n\r\n", b"\xff\xfe\r\n\r\n"):
    with socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10) as s:
        try:
            s.sendall(raw)
            s.recv(100)
        except ConnectionError:
            pass  # the server may close before reading all of an oversized line
EOF
malformed=$(grep -c '"endpoint": "malformed"' "$LOG" || true)
if ((malformed >= 2)); then pass "malformed requests logged ($malformed)"; else fail "malformed requests logged: $malformed"; fi
st=$(fetch "$BASE/logout.asp" "$WORK/b" "X-Case: logout")
expect_status still-serving-after-malformed "$st" 200
lines=$(wc -l <"$LOG")
if python3 -c 'import json, sys; [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]' "$LOG"; then
  pass "log: $lines JSON lines"
else
  fail "log is not one JSON object per line"
fi

# --check-log: the full log has bad launches; a log of the good lines only passes.
if python3 "$SERVER" --check-log "$LOG" --endpoint launch >/dev/null; then fail "check-log passed bad launches"; else pass "check-log rejects bad launches"; fi
grep '"verdict": "ok"' "$LOG" >"$WORK/good.log"
if python3 "$SERVER" --check-log "$WORK/good.log" --endpoint launch --expect-count 2 >/dev/null &&
   python3 "$SERVER" --check-log "$WORK/good.log" --endpoint report --expect-count 2 >/dev/null; then
  pass "check-log accepts good requests with the right counts"
else
  fail "check-log on good requests"
fi
if python3 "$SERVER" --check-log "$WORK/good.log" --endpoint report --expect-count 3 >/dev/null; then fail "check-log ignored a wrong count"; else pass "check-log rejects a wrong count"; fi
: >"$WORK/empty.log"
if python3 "$SERVER" --check-log "$WORK/empty.log" --endpoint launch >/dev/null; then fail "check-log passed an empty log"; else pass "check-log rejects an empty log"; fi

# Checks of one logged request: mymd with the programs' own routines, the server with its own code.
# Both print the same verdict for each request; usage and refusals.
expect_out() {  # NAME WANTED-RC WANTED-FIRST-LINE-PREFIX CMD...
  local name=$1 want_rc=$2 want=$3 out rc=0
  shift 3
  out=$("$@" 2>&1) || rc=$?
  if [[ $rc == "$want_rc" && ${out%%$'\n'*} == "$want"* ]]; then pass "$name"; else fail "$name: exit $rc, '${out%%$'\n'*}'"; fi
}
AGENT="TavinVmc.Cet/$ID/$SIG" Q="/language.asp?lau=cn&tim=$TIM" LINE="GET /language.asp?lau=cn&tim=$TIM&ver=$VER HTTP/1.1"
while IFS='|' read -r want name args; do
  eval "args=($args)"
  mine=$("$MYMD" "${args[@]}" 2>&1; echo "exit $?") theirs=$(python3 "$SERVER" "${args[@]}" 2>&1; echo "exit $?")
  if [[ $mine == "$theirs" && $mine == "$want"* ]]; then pass "agreed on $name: ${mine%%$'\n'*}"; else fail "$name: mymd '$mine', server '$theirs'"; fi
done <<'EOF'
ok|launch|--check-launch "$HOST" "$LINE" "$AGENT"
ok|launch, quoted as logged|--check-launch "$HOST" "\"$LINE\"" "$AGENT"
ok|launch, target alone, header line|--check-launch "$HOST" "$Q&ver=1.0.0" "User-Agent: $AGENT"
ok|launch, absolute target|--check-launch "$HOST" "GET http://$HOST$Q&ver=$VER HTTP/1.1" "$AGENT"
bad|launch, other host in the target|--check-launch "$HOST" "GET http://x.example$Q&ver=$VER" "$AGENT"
bad|launch, other host|--check-launch other.example "$LINE" "$AGENT"
bad|launch, glued header|--check-launch "$HOST" "$LINE" "${AGENT}Accept-Encoding: gzip"
bad|launch, 13th month|--check-launch "$HOST" "GET /language.asp?lau=cn&tim=20261306141530&ver=$VER" "$AGENT"
bad|launch, short stamp|--check-launch "$HOST" "GET /language.asp?lau=cn&tim=2026&ver=$VER" "$AGENT"
bad|launch, quote in lau|--check-launch "$HOST" "GET /language.asp?lau=c'n&tim=$TIM&ver=$VER" "$AGENT"
bad|launch, parameters|--check-launch "$HOST" "GET /language.asp?tim=$TIM&lau=cn" "$AGENT"
bad|launch, two-part version|--check-launch "$HOST" "GET $Q&ver=1%2E0" "$AGENT"
bad|launch, version not UTF-8|--check-launch "$HOST" "GET $Q&ver=%FF" "$AGENT"
bad|launch, lower-case escapes|--check-launch "$HOST" "GET $Q&ver=1%2e0%2e0" "$AGENT"
bad|launch, path|--check-launch "$HOST" "GET /index.asp?lau=cn HTTP/1.1" "$AGENT"
bad|launch, extra word|--check-launch "$HOST" "$LINE x" "$AGENT"
ok|report|--check-report "\"GET $(report_url "$NOW" "$SERVER_NAME" "$SGN") HTTP/1.1\""
ok|report in Chinese|--check-report "$(report_url "$NOW" "$CN_NAME" "$("$MYMD" "${NOW}${CN_NAME}")")"
bad|report, wrong sgn|--check-report "$(report_url "$NOW" x.example "$SGN")"
bad|report, lower-case hex|--check-report "GET $LOWER"
bad|report, empty clb|--check-report "GET /gmtime.asp?tim=$(url_encode "$NOW")&clb=&sgn=SW"
bad|report, time form|--check-report "GET /gmtime.asp?tim=2026&clb=x&sgn=SW"
EOF
# With --max-skew the launch stamp is held against the clock in the server's zone (the guide's
# examples replay log lines with --now); the report's zone is always UTC+8. The request is stamped
# afresh: the table above takes a minute on a busy machine.
TIM=$(stamp_now)
SIG=$("$MYMD" "${ID}${TIM}${VERSION}${HOST_DIGEST}")
AGENT="TavinVmc.Cet/$ID/$SIG" LINE="GET /language.asp?lau=cn&tim=$TIM&ver=$VER HTTP/1.1"
expect_out launch-within-skew 0 ok "$MYMD" --check-launch --zone 8 --max-skew 60 "$HOST" "$LINE" "$AGENT"
expect_out launch-zone-off 1 "bad: tim $TIM is 36" "$MYMD" --check-launch --zone 9 --max-skew 60 "$HOST" "$LINE" "$AGENT"
expect_out report-no-zone 2 "mymd: --check-report takes no --zone" "$MYMD" --check-report --zone 8 --max-skew 60 "GET $LOWER"
# mymd alone in an empty folder with an empty environment, and the Windows build under Wine (the
# run's Wine environment, or one of its own), print what it prints here; neither names this checkout.
mkdir "$WORK/alone" && cp "$MYMD" "$WORK/alone/"
want=$("$MYMD" --check-launch "$HOST" "$LINE" "$AGENT")
! grep -qaF "$ROOT" "$MYMD" "$ROOT/dist/tools/win32/mymd.exe" && pass "no checkout path in mymd" || fail "checkout path in mymd"
[[ $(cd "$WORK/alone" && env -i ./mymd --check-launch "$HOST" "$LINE" "$AGENT") == "$want" ]] && pass "mymd alone" || fail "mymd alone"
if ! wine_env_runs_32bit; then
  e2e_say "left out: mymd.exe under Wine, built for i686 alone (this machine runs no 32-bit programs)"
else
  [[ -n ${WINE_ENV_DIR:-} ]] || wine_env_start
  [[ $(wine "$ROOT/dist/tools/win32/mymd.exe" --check-launch "$HOST" "$LINE" "$AGENT" | tr -d '\r') == "$want" ]] && pass "mymd.exe under Wine" || fail "mymd.exe under Wine"
fi
expect_out mymd-help 0 "usage: mymd" "$MYMD" -h
expect_out mymd-dash-text 0 "$(printf -- '-h\n' | "$MYMD")" "$MYMD" -- -h
expect_out mymd-unknown-option 2 "mymd: unknown option -x" "$MYMD" -x
expect_out server-help 0 "usage: operator_server.py" python3 "$SERVER" --help
expect_out server-unknown-option 2 "usage: operator_server.py" python3 "$SERVER" --nonsense

# The operator's guide: every "$ dist/tools/mymd ..." example prints what the guide shows.
python3 - "$ROOT" <<'EOF' && pass "guide examples" || fail "guide examples"
import re, subprocess, sys
text = open(sys.argv[1] + "/docs/operator-guide.md", encoding="utf-8").read()
examples = re.findall(r"```\n\$ (dist/tools/mymd[^\n]*)\n(.*?)```", text, re.S)
wrong = [cmd for cmd, shown in examples
         if subprocess.run(["bash", "-c", cmd], cwd=sys.argv[1], capture_output=True, text=True).stdout != shown]
print("guide examples: %d, differing: %s" % (len(examples), wrong))
sys.exit(len(examples) < 5 or bool(wrong))
EOF

# SIGTERM ends the server cleanly and removes its pid file.
MAIN_PID=$(cat "$WORK/main.pid")
kill -TERM "$MAIN_PID"
for _ in $(seq 1 50); do kill -0 "$MAIN_PID" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$MAIN_PID" 2>/dev/null; then fail "server still running after SIGTERM"
elif [[ -e $WORK/main.pid ]]; then fail "pid file left behind"
else pass "SIGTERM stops the server"; fi

# ---- fault options: status 404, a large body, a slow answer (on the report only) --------------
start_server faulty --status 404 --body-bytes 300000 --delay 1
BASE="http://127.0.0.1:$PORT"
start=$(date +%s.%N)
st=$(fetch "$(report_url "$NOW" "$SERVER_NAME" "$SGN")" "$WORK/faulty.txt" "X-Case: report-faulty")
elapsed=$(python3 -c "import sys; print(round($(date +%s.%N) - $start, 2))")
expect_status report-faulty "$st" 404
size=$(stat -c %s "$WORK/faulty.txt")
if [[ $size == 300000 ]]; then pass "report body of $size bytes"; else fail "report body of $size bytes"; fi
if python3 -c "import sys; sys.exit(not $elapsed >= 1)"; then pass "report answered after ${elapsed}s"; else fail "report answered after ${elapsed}s"; fi
expect_verdict report-faulty ok
st=$(fetch "$BASE/logout.asp" "$WORK/b")
expect_status logout-not-faulty "$st" 200

# ---- --launch-page: an accepted launch gets the caller's page (GBK); pages for the real engines --
printf '<p>店铺页面</p>' >"$WORK/page.html"
start_server paged --launch-page "$WORK/page.html"
BASE="http://127.0.0.1:$PORT"
fetch "$BASE/language.asp?lau=cn&tim=$TIM&ver=$VERSION" "$WORK/paged.html" "User-Agent: TavinVmc.Cet/$ID/$("$MYMD" "${ID}${TIM}${VERSION}$("$MYMD" "mordakelvint127.0.0.1:${PORT}fisproantel")")" >/dev/null
fetch "$BASE/language.asp?lau=cn&tim=$TIM&ver=$VERSION" "$WORK/refused.html" "User-Agent: TavinVmc.Cet/$ID/$WRONG_SIG" >/dev/null
[[ $(iconv -f gbk -t utf-8 <"$WORK/paged.html") == '<p>店铺页面</p>' ]] && pass "accepted launch: the caller's page, in GBK" || fail "accepted launch: $(cat "$WORK/paged.html")"
iconv -f gbk -t utf-8 <"$WORK/refused.html" | grep -q 请求验证失败 && pass "refused launch: the refusal page" || fail "refused launch"
expect_status Logout.asp "$(fetch "$BASE/Logout.asp" "$WORK/b")" 200
grep -q "fetch('/rendered.asp?probe=Logout')" "$WORK/b" && pass "Logout.asp reports its load" || fail "Logout.asp page"
expect_status rendered.asp "$(fetch "$BASE/rendered.asp?probe=x" "$WORK/b")" 200
grep -q '"endpoint": "rendered", .*"status": 200' "$LOG" && grep -q '"endpoint": "Logout"' "$LOG" && pass "both logged by name" || fail "rendered/Logout not logged"

e2e_finish
