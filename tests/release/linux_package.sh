#!/usr/bin/env bash
# The package of tools/scripts/release --linux: lintian finds no error, desktop-file-validate takes the
# launcher; apt installs it into a fresh Debian 12 root, postinst gives horasync CAP_SYS_TIME (getcap), every
# library the programs load comes from a package it depends on; the client starts from the launcher, as a shop
# user with CAP_SYS_TIME out of the bounding set (the root shares this machine's clock), and its launch request
# reaches the stand-in operator server in a network namespace of our own; apt remove leaves nothing of it.
# Root. Exit 0 = pass.
#
# The root is made by mmdebstrap from Debian's archive with the packages the package depends on, once per
# Depends line, and kept in LINUX_PACKAGE_ROOTS (/var/cache/vemr-test-root): about 3 minutes and 670 MB the
# first time. Each run works in an overlay of it that ends with the run.
set -euo pipefail

# A mount namespace of our own: the overlay and its mounts go when the test ends, however it ends.
[[ -n ${LINUX_PACKAGE_MOUNTS:-} ]] || LINUX_PACKAGE_MOUNTS=1 exec unshare --mount --propagation private bash "$0" "$@"

# shellcheck source=../e2e/lib/vemr.bash
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib/vemr.bash"
# shellcheck source=../../tools/scripts/wine-env
source "$E2E_ROOT/tools/scripts/wine-env"   # wine_env_xvfb: a display whose lock no server holds
ROOTS=${LINUX_PACKAGE_ROOTS:-/var/cache/vemr-test-root}
SUITE=bookworm
T0=$SECONDS
say() { printf '%4d s  %s\n' $((SECONDS - T0)) "$*"; }

VEMR_WORK=$(mktemp -d /tmp/linux-package.XXXXXX)
ROOT=$VEMR_WORK/root
# Before vemr_cleanup removes the work folder: nothing of the host may be mounted below it then.
root_unmount() { umount -R -l "$ROOT" 2>/dev/null || true; }
E2E_CLEANUPS+=(vemr_cleanup root_unmount)
trap e2e_end EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
E2E_FAIL_LOGS+=("$VEMR_WORK/server.log" "$VEMR_WORK/client.out" "$VEMR_WORK/apt.log")
# in_root CMD...: CMD inside the root and the namespace, with CAP_SYS_TIME out of the bounding set.
in_root() { e2e_in capsh --drop=cap_sys_time -- -c 'root=$1; shift; exec chroot "$root" "$@"' - "$ROOT" "$@"; }

"$E2E_ROOT/tools/scripts/release" --title 话费充值 --host "$VEMR_HOST:$VEMR_PORT" --shortcut 话费充值 --zone 8 \
  --out "$VEMR_WORK/out" --linux >"$VEMR_WORK/release.log" 2>&1 || { cat "$VEMR_WORK/release.log"; exit 1; }
DEB=$(echo "$VEMR_WORK"/out/*.deb)
APPID=$(dpkg-deb -f "$DEB" Package)
say "release made $(basename "$DEB")"

lintian --fail-on error "$DEB" >"$VEMR_WORK/lintian.log" 2>&1 && lint=0 || lint=$?
grep -v '^running with root' "$VEMR_WORK/lintian.log" || true
e2e_check "lintian: no errors" test "$lint" = 0
dpkg-deb -x "$DEB" "$VEMR_WORK/files"
e2e_check "desktop-file-validate takes the launcher" \
  desktop-file-validate "$VEMR_WORK/files/opt/apps/$APPID/entries/applications/$APPID.desktop"

# The root with every package the package depends on (their versions left out), made when missing.
DEPENDS=$(dpkg-deb -f "$DEB" Depends | sed 's/ *([^)]*)//g; s/, */,/g')
BASE=$ROOTS/$(printf '%s %s' "$SUITE" "$DEPENDS" | sha256sum | cut -c1-16)
mkdir -p "$ROOTS"
exec 9>"$ROOTS/.lock"
flock -s 9                   # shared while a run uses a root,
[[ -d $BASE ]] || flock 9    # exclusive while one is made and the others go
if [[ ! -d $BASE ]]; then
  say "making the root $BASE from Debian's archive ($DEPENDS)"
  rm -rf "$BASE.new"
  capsh --drop=cap_sys_time -- -c 'exec mmdebstrap --variant=apt --include="$1" "$2" "$3" http://deb.debian.org/debian' \
    - "$DEPENDS" "$SUITE" "$BASE.new" >"$VEMR_WORK/mmdebstrap.log" 2>&1 || { cat "$VEMR_WORK/mmdebstrap.log"; exit 1; }
  find "$ROOTS" -mindepth 1 -maxdepth 1 -type d ! -name "$(basename "$BASE").new" -exec rm -rf {} +   # others' roots
  mv "$BASE.new" "$BASE"
fi
flock -s 9
mkdir -p "$ROOT" "$VEMR_WORK/upper" "$VEMR_WORK/overlay"
mount -t overlay overlay -o "lowerdir=$BASE,upperdir=$VEMR_WORK/upper,workdir=$VEMR_WORK/overlay" "$ROOT"
mount -t proc proc "$ROOT/proc"
mount -t tmpfs shm "$ROOT/dev/shm"   # the web engine's shared memory
say "root ready in $BASE"

# Our own /run/netns: the host's namespaces made after ours began would show here as files without a namespace.
mkdir -p /run/netns && mount -t tmpfs netns /run/netns
e2e_netns_up "linux-package$$" "$VEMR_HOST"
cp "/etc/netns/$E2E_NS/hosts" "$ROOT/etc/hosts"
chroot "$ROOT" useradd -m shop
cp "$DEB" "$ROOT/tmp/"
# What the root holds besides per-user files and what dpkg and apt keep of their work.
root_files() {
  (cd "$ROOT" && find . \( -path ./proc -o -path ./dev -o -path ./tmp -o -path ./home -o -path ./var/log -o \
    -path ./var/cache -o -path ./var/lib/dpkg -o -path ./var/lib/apt \) -prune -o -printf '%p %y %m\n' | sort)
}
root_files >"$VEMR_WORK/before"

in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "/tmp/$(basename "$DEB")" >"$VEMR_WORK/apt.log" 2>&1 &&
  installed=1 || installed=0
e2e_check "apt installs the package offline, its dependencies in the root" test "$installed" = 1
say "installed"
caps=$(in_root getcap "/opt/apps/$APPID/files/horasync")
e2e_check "horasync holds cap_sys_time=ep (getcap: $caps)" test "${caps##* }" = cap_sys_time=ep
# Each library the programs name (NEEDED) is found in the root and belongs to a package named in Depends.
for program in vemr horasync; do
  for lib in $(objdump -p "$ROOT/opt/apps/$APPID/files/$program" | awk '$1 == "NEEDED" {print $2}'); do
    owner=$(in_root dpkg -S "*/x86_64-linux-gnu/$lib" 2>/dev/null | head -1 | cut -d: -f1)
    e2e_check "$program: $lib from ${owner:-no package}, a dependency" eval '[[ ,$DEPENDS, == *",$owner,"* ]]'
  done
done

# The client as the launcher starts it, on a screen of our own, CAP_SYS_TIME gone from its bounding set (so that
# horasync cannot take it either). The kernel refuses a new user namespace inside a chroot: no web engine sandbox.
wine_env_xvfb 1280x1024 "$VEMR_WORK"
VEMR_PIDS+=("$WINE_ENV_XVFB_STARTED")
mkdir -p "$ROOT/tmp/.X11-unix"
touch "$ROOT/tmp/.X11-unix/X$(cat "$VEMR_WORK/display")"
mount --bind "/tmp/.X11-unix/X$(cat "$VEMR_WORK/display")" "$ROOT/tmp/.X11-unix/X$(cat "$VEMR_WORK/display")"
vemr_start_server
launcher=$(chroot "$ROOT" cat "/usr/share/applications/$APPID.desktop")
exec_line=$(sed -n 's/^Exec=//p' <<<"$launcher")
e2e_check "the launcher in /usr/share/applications starts /opt/apps/$APPID/files/vemr" \
  test "$exec_line" = "/opt/apps/$APPID/files/vemr"
# As in_root, with the pid that becomes the client's (each step execs the next).
e2e_in capsh --drop=cap_sys_time -- -c 'echo $$ >"$1"; shift; exec chroot "$@"' - "$VEMR_WORK/client.pid" "$ROOT" \
  setpriv --reuid=shop --regid=shop --init-groups env -i HOME=/home/shop USER=shop DISPLAY="$DISPLAY" LANG=C.UTF-8 \
  QTWEBENGINE_DISABLE_SANDBOX=1 $exec_line >"$VEMR_WORK/client.out" 2>&1 &
VEMR_PIDS+=($!)
for _ in $(seq 100); do [[ -s $VEMR_WORK/client.pid ]] && break; sleep 0.1; done
CLIENT=$(cat "$VEMR_WORK/client.pid")
e2e_check "the stand-in server saw the launch request" vemr_wait_launches 1 60
say "launch request seen"
e2e_check "the client runs as shop, without CAP_SYS_TIME in its bounding set" \
  eval '[[ $(stat -c %u /proc/$CLIENT) == $(chroot "$ROOT" id -u shop) ]] &&
    (( ! (0x$(awk "/^CapBnd/ {print \$2}" /proc/$CLIENT/status) >> 25 & 1) ))'
if (($(vemr_launches))); then
  e2e_check "launch request: $(vemr_launch_field 1 'e["request_line"]') ($(vemr_launch_field 1 'e["verdict"]'))" \
    test "$(vemr_launch_field 1 'e["verdict"]')" = ok
fi
e2e_kill "$CLIENT"

in_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y "$APPID" >>"$VEMR_WORK/apt.log" 2>&1 && removed=1 || removed=0
e2e_check "apt removes the package" test "$removed" = 1
e2e_check "dpkg keeps nothing of it ($(in_root dpkg-query -W -f='${Status}' "$APPID" 2>&1 || true))" \
  eval '! in_root dpkg-query -W "$APPID" >/dev/null 2>&1'
root_files >"$VEMR_WORK/after"
# dpkg takes /opt along when nothing else is in it: base-files makes it, no package lists it.
e2e_check "the root's files are those before the install" \
  diff <(grep -vx './opt d 755' "$VEMR_WORK/before") <(grep -vx './opt d 755' "$VEMR_WORK/after")
e2e_check "no file outside dpkg's own names the package" \
  eval '! grep -rlsF --exclude-dir=dpkg "$APPID" "$ROOT"/{etc,opt,usr,var/lib}'
e2e_check "the shop user's home stays" test -d "$ROOT/home/shop"
say "removed"
e2e_finish
