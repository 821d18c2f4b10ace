#!/usr/bin/env bash
# The client's launch request, end to end: the real vemr.exe under Wine against the stand-in
# operator server in a namespace of its own (op.vemr.test -> 127.0.0.1, port 8080).
# - one GET /language.asp?lau=cn&tim=..&ver=.. with exactly one User-Agent "TavinVmc.Cet/<id>/<sig>",
#   verdict "ok", the time stamp UTC + line 4 hours (TZ=Asia/Shanghai with 8, TZ=UTC with 8 and 0);
# - horasync.exe started once, with the host as its whole command line;
# - a second copy while the first runs ends silently, sends nothing, starts no second horasync;
# - the cache "serial|cpu|id": written on the first start with the volume serial of C: (top bit
#   set: stored negative, digested as 8 hex digits), reused on the next start, and recomputed
#   and overwritten when its third piece was altered, its cpu text holds "|" or its first piece
#   is no number;
# - the page that loaded is a navigation error under Wine: the notice shows, a resize ends it;
# - what the client hands the browser (its benchmark build records it, since Wine un-escapes %2E
#   on the wire): the address ends in &ver=1%2E0%2E0 and the Headers argument is the identity
#   header line followed by CR LF.
# Exit 0 = pass.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/vemr.bash"

SERIAL_HEX=8badf00d                 # top bit set
SERIAL_SIGNED=-1951535091
SERIAL_DIGEST_HEX=8BADF00D
CONFIG='话费充值\r\nop.vemr.test:8080\r\n话费充值\r\n%s'

vemr_setup vemrlaunch "$SERIAL_HEX"
vemr_start_server
vemr_clear_cache
vemr_make_app "$(printf "$CONFIG" 8)"

# --- first start ------------------------------------------------------------------------------
vemr_start TZ=Asia/Shanghai
first=$VEMR_PID
vemr_wait_launches 1 40 || vemr_fail "no launch request within 40 s"
vemr_check_launch 1 0 "first start (TZ=Asia/Shanghai, line 4 = 8)"
id=$(vemr_launch_field 1 'e["values"]["machine_id"]')
sleep 1
e2e_check "horasync started once with the host as its whole command line" \
  test "$(vemr_horasync_calls)" = op.vemr.test:8080

cache=$(vemr_cache)
echo "      cache: $cache"
cpu=$(cut -d'|' -f2 <<<"$cache")
e2e_check "cache written: serial in signed decimal | cpu text | identifier of the request" \
  test "$cache" = "$SERIAL_SIGNED|$cpu|$id" -a -n "$cpu"
e2e_check "identifier = MyMd(8-digit hex serial + QpnDurix + cpu text)" \
  test "$("$VEMR_MYMD" "${SERIAL_DIGEST_HEX}QpnDurix$cpu")" = "$id"

# --- a second copy while the first runs ----------------------------------------------------------
vemr_start TZ=Asia/Shanghai
second=$VEMR_PID
e2e_check "a second copy ends by itself" vemr_wait_exit "$second" 20
sleep 1
e2e_check "the second copy sent nothing" test "$(vemr_launches)" -eq 1
e2e_check "horasync was started only once" test "$(vemr_horasync_calls | wc -l)" -eq 1
e2e_check "the first copy still runs" kill -0 "$first"

# --- the loaded page is a navigation error under Wine: notice, then a resize ends the client ------
notice=""
for _ in $(seq 1 50); do
  state=$(vemr_probe state)
  notice=$(vemr_value browser_visible "$state")
  [[ $notice == 0 ]] && break
  sleep 0.2
done
e2e_check "navigation error: the browser is hidden behind the notice" test "$notice" = 0
vemr_probe resize >/dev/null
e2e_check "a resize while the notice shows ends the client" vemr_wait_exit "$first" 15

# --- second start: the identifier from the cache ------------------------------------------------
vemr_start TZ=UTC
vemr_wait_launches 2 40 || vemr_fail "no second launch request"
vemr_check_launch 2 0 "second start (TZ=UTC, line 4 = 8)"
e2e_check "second start: the same identifier" test "$(vemr_launch_field 2 'e["values"]["machine_id"]')" = "$id"
e2e_check "second start: the cache is unchanged" test "$(vemr_cache)" = "$cache"
vemr_probe close >/dev/null
e2e_check "closing the window ends the client" vemr_wait_exit "$VEMR_PID" 15

# --- line 4 = 0: the stamp is UTC -----------------------------------------------------------------
vemr_make_app "$(printf "$CONFIG" 0)"
vemr_start TZ=UTC
vemr_wait_launches 3 40 || vemr_fail "no third launch request"
vemr_check_launch 3 -28800 "third start (TZ=UTC, line 4 = 0)"
vemr_probe close >/dev/null
vemr_wait_exit "$VEMR_PID" 15 || vemr_fail "third start did not end"

# --- damaged cache entries are recomputed and overwritten ---------------------------------------
vemr_make_app "$(printf "$CONFIG" 8)"
n=3
for damaged in "$SERIAL_SIGNED|$cpu|${id}X" "$SERIAL_SIGNED|$cpu|AB|$id" "abc|$cpu|$id"; do
  n=$((n + 1))
  vemr_set_cache "$damaged"
  vemr_start TZ=Asia/Shanghai
  vemr_wait_launches "$n" 40 || vemr_fail "no launch request with cache '$damaged'"
  e2e_check "cache '$damaged': request signed with the recomputed identifier" \
    test "$(vemr_launch_field "$n" 'e["verdict"]') $(vemr_launch_field "$n" 'e["values"]["machine_id"]')" = "ok $id"
  e2e_check "cache '$damaged': overwritten with the recomputed entry" test "$(vemr_cache)" = "$cache"
  vemr_probe close >/dev/null
  vemr_wait_exit "$VEMR_PID" 15 || vemr_fail "start with cache '$damaged' did not end"
done

# --- the Navigate arguments, as the benchmark build records them ---------------------------------
vemr_make_app "$(printf "$CONFIG" 8)"
cp "$VEMR_BENCH_EXE" "$VEMR_APP/vemr.exe"
n=$((n + 1))
vemr_start TZ=Asia/Shanghai
vemr_wait_launches "$n" 40 || vemr_fail "no launch request from the benchmark build"
for _ in $(seq 1 50); do [[ -s $VEMR_APP/vemr_bench.txt ]] && break; sleep 0.1; done
tim=$(vemr_launch_field "$n" 'e["params"][1][1]')
sig=$(vemr_launch_field "$n" 'e["values"]["sig_expected"]')
e2e_check "Navigate address: http://op.vemr.test:8080/language.asp?lau=cn&tim=$tim&ver=1%2E0%2E0" \
  grep -qxF "navigate_url=http://op.vemr.test:8080/language.asp?lau=cn&tim=$tim&ver=1%2E0%2E0" "$VEMR_APP/vemr_bench.txt"
e2e_check "Navigate headers: the identity header line ending in CR LF" \
  grep -qxF "navigate_headers=User-Agent: TavinVmc.Cet/$id/$sig\\r\\n" "$VEMR_APP/vemr_bench.txt"
vemr_probe close >/dev/null
vemr_wait_exit "$VEMR_PID" 15 || vemr_fail "the benchmark build did not end"

launches_verified() { "$VEMR_SERVER" --check-log "$VEMR_LOG" --endpoint launch --expect-count "$1" >"$VEMR_OUT/check-log.txt"; }
e2e_check "every launch request verified by the server" launches_verified "$n"
cp "$VEMR_LOG" "$VEMR_OUT/vemr_launch-server.log"
cp "$VEMR_APP/vemr_bench.txt" "$VEMR_OUT/" 2>/dev/null || true
e2e_finish
