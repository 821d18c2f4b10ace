#!/usr/bin/env bash
# The Linux client's sign-out, end to end (dist/linux/vemr under Xvfb against the stand-in operator
# server in a namespace of its own, each start with a page of the scenario's own): a finished page
# whose address contains "logout.asp", of the top level or of a frame, ends the client.
# - the page's sign-out link, followed by its script: exit code 0 within 2 s of the server's log
#   line for logout.asp, not before it;
# - a link to Logout.asp (another case) loads that page (its own script reports it) and the client
#   goes on running;
# - a frame that loads logout.asp: exit code 0 within 2 s of the server's log line.
# Exit 0 = pass.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/linux.bash"

linux_setup lxsignout
linux_page logout
vemr_start_server --launch-page "$LINUX_PAGE"
linux_make_app

# check_signout WHAT N: the Nth request for logout.asp arrives and the client ends by itself, with
# exit code 0, within 2 s after it.
check_signout() {
  local gap
  e2e_check "$1: logout.asp requested" linux_wait_entries 30 "$2" logout
  if linux_wait_exit "$VEMR_PID" 10; then
    gap=$(python3 -c 'import sys; print("%.2f" % (float(sys.argv[1]) - float(sys.argv[2])))' \
      "$LINUX_EXIT_TIME" "$(linux_entry_time logout "$2")")
    e2e_check "$1: the client ended with exit code 0 ($LINUX_EXIT_CODE)" test "$LINUX_EXIT_CODE" = 0
    e2e_check "$1: it ended ${gap} s after the server logged logout.asp (0 to 2 s)" e2e_between "$gap" 0 2
  else
    vemr_fail "$1: the client still runs 10 s after logout.asp"
  fi
}

linux_start TZ=Asia/Shanghai
check_signout "sign-out link followed by script" 1

linux_page Logout
linux_start TZ=Asia/Shanghai
e2e_check "link to Logout.asp: that page loaded" linux_wait_entries 30 1 rendered probe=Logout
sleep 3
e2e_check "link to Logout.asp: the client still runs 3 s after" kill -0 "$VEMR_PID"
e2e_check "link to Logout.asp: no request for logout.asp" test "$(linux_entries logout)" = 1
linux_stop "$VEMR_PID"

linux_page frame
linux_start TZ=Asia/Shanghai
check_signout "a frame that loads logout.asp" 2
launches_verified() { "$VEMR_SERVER" --check-log "$VEMR_LOG" --endpoint launch --expect-count 3 >"$VEMR_OUT/check-log.txt"; }
e2e_check "every launch request verified by the server" launches_verified
e2e_finish
