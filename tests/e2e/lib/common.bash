# common.bash — the start-up every end-to-end scenario shares; sourced by the subject libraries
# beside it (vemr.bash, setup.bash, horasync.bash), not run.
#
#   E2E_ARCH              the build every scenario runs: win32 (the i686 release, dist/win32 and
#                         build/win32*), or win64 (x86_64) on a machine whose kernel runs no 32-bit
#                         programs (wine_env_arch, tools/scripts/wine-env), which each scenario says
#   e2e_skip REASON       a scenario that cannot run here: REASON on one line, exit status 77
#   e2e_begin CLEANUP [--no-wine]  the Wine environment (the caller's, or a fresh one ended after
#                         the scenario; none with --no-wine), CLEANUP run on every exit path (the last
#                         registered first)
#   e2e_netns_up NAME HOST...  a private network namespace where the HOSTs are 127.0.0.1 (E2E_NS),
#                         removed on every exit path; e2e_in CMD... runs CMD inside it
#   e2e_check DESC CMD... one check: prints ok/FAIL, counts failures (E2E_CHECKS, E2E_FAILS)
#   e2e_between V LOW HIGH  V (decimals allowed) lies in [LOW, HIGH]
#   e2e_finish            the one end of every scenario: "NAME: all N checks passed" or "NAME: F of
#                         N checks FAILED" (then the files of E2E_FAIL_LOGS), exit status 0 or 1;
#                         NAME is the script's (E2E_NAME), E2E_KEPT where its screenshots are
#   e2e_wineserver_down   ends the prefix's wineserver (the next Wine call starts it again, in the
#                         namespace of that call: the wineserver owns every socket of the session)
#   e2e_kill PID...       ends our own processes by pid and waits for them

[[ -n ${E2E_ROOT:-} ]] && return 0   # sourced once per scenario: a second subject library shares it
E2E_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
# shellcheck source=../../../tools/scripts/wine-env
source "$E2E_ROOT/tools/scripts/wine-env"
E2E_ARCH=$(wine_env_arch)
E2E_NETNS=$E2E_ROOT/tools/scripts/netns
E2E_PEERS=$E2E_ROOT/tools/peers
E2E_MYMD=$E2E_ROOT/dist/tools/mymd
E2E_PROBES=${E2E_PROBES:-$E2E_ROOT/build/$E2E_ARCH/tests/e2e/probes}   # probes and stand-ins (its preset)
E2E_CHECKS=0
E2E_FAILS=0
E2E_NS=
E2E_CLEANUPS=()
E2E_OWN_WINE=0
E2E_NAME=$(basename "$0" .sh)
E2E_KEPT=""
E2E_FAIL_LOGS=()

e2e_say() { printf '%s\n' "$*"; }
[[ $E2E_ARCH == win32 ]] ||
  e2e_say "the x86_64 build ($E2E_ARCH) runs instead of the i686 one: this machine runs no 32-bit programs"

e2e_skip() {
  e2e_say "$E2E_NAME: skipped: $*"
  exit 77
}

e2e_check() {
  local desc=$1
  shift
  E2E_CHECKS=$((E2E_CHECKS + 1))
  if "$@"; then
    e2e_say "ok   $desc"
  else
    e2e_say "FAIL $desc"
    E2E_FAILS=$((E2E_FAILS + 1))
  fi
}

e2e_between() { python3 -c "import sys; v,l,h=map(float,sys.argv[1:]); sys.exit(0 if l<=v<=h else 1)" "$@"; }

e2e_finish() {
  local kept=${E2E_KEPT:+ (screenshots: $E2E_KEPT)} log
  if ((E2E_FAILS == 0)); then
    e2e_say "$E2E_NAME: all $E2E_CHECKS checks passed$kept"
    exit 0
  fi
  e2e_say "$E2E_NAME: $E2E_FAILS of $E2E_CHECKS checks FAILED$kept"
  for log in "${E2E_FAIL_LOGS[@]}"; do
    e2e_say "--- $log"
    cat "$log" 2>/dev/null || true
  done
  exit 1
}

e2e_wineserver_down() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
}

e2e_kill() {
  local pid
  for pid in "$@"; do
    [[ -n $pid ]] || continue
    kill "$pid" 2>/dev/null || true
  done
  for pid in "$@"; do
    [[ -n $pid ]] || continue
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$pid" 2>/dev/null || true
  done
}

# The EXIT trap: the scenario's cleanups (last registered first), the namespace, then a Wine
# environment this scenario started. The scenario's exit status stays.
e2e_end() {
  local rc=$? i
  for ((i = ${#E2E_CLEANUPS[@]} - 1; i >= 0; i--)); do "${E2E_CLEANUPS[i]}" || true; done
  [[ -n $E2E_NS ]] && "$E2E_NETNS" down "$E2E_NS" >/dev/null 2>&1 || true
  ((E2E_OWN_WINE)) && wine_env_stop
  return "$rc"
}

e2e_begin() {
  E2E_CLEANUPS+=("$1")
  trap e2e_end EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
  if [[ -z ${WINEPREFIX:-} && ${2:-} != --no-wine ]]; then
    wine_env_start
    E2E_OWN_WINE=1
    trap e2e_end EXIT   # wine_env_start chained its own stop; e2e_end stops it after our cleanup
  fi
}

e2e_netns_up() {
  E2E_NS=${1:0:31}
  shift
  "$E2E_NETNS" up "$E2E_NS" "$@" >/dev/null
}

e2e_in() { "$E2E_NETNS" run "$E2E_NS" "$@"; }
