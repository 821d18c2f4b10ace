# setup.bash — the installer's helpers, sourced by tests/e2e/setup_*.sh, tests/e2e/fault_*.sh,
# tools/demo/setup_demo.sh, tools/bench/setup_bench.sh and tools/scripts/try-media (not a scenario
# itself). The real setup.exe runs under Wine from a media folder in the prefix (the built media plus
# stand-in runtime files); a small probe program finds its windows and message boxes by title, reads
# them and presses their buttons; xdotool types and clicks where a person would.
#
#   se_begin NAME         Wine environment (the caller's or a fresh one), media folder C:\setup-e2e\media
#   se_locate             where setup puts things in the prefix (SE_SYSDIR, SE_PROGRAMS, SE_DESKTOP...)
#   se_setup ARGS...      starts setup.exe from the media folder in the background (pid in SE_PID)
#   se_wait_end [S]       waits (bounded) for the last setup started to end; fails if it does not
#   se_probe ARGS...      runs the probe (tests/e2e/probes/setup_probe_win32.cpp); its output, CR-free
#   se_box TITLE TEXT ICON [SHOT]  waits for the box, checks text and icon, screenshot, presses OK
#   se_check DESC CMD...  one check (e2e_check of common.bash)
#   se_unix 'C:\path'     the Unix path of a Windows path in the prefix
#   se_running PATTERN    a process of this prefix with a matching command line runs
#   se_finish             cleans up what the scenario installed; prints the verdict; exit status
# The scenario's own installation (folders, shortcuts, entry, record, runtime files in the system
# folder) is removed on every exit path, so other scenarios in the same prefix find none of it.

# shellcheck source=common.bash
source "$(dirname "${BASH_SOURCE[0]}")/common.bash"
SE_ROOT=$E2E_ROOT
SE_MEDIA_SRC=${SETUP_E2E_MEDIA:-$SE_ROOT/dist/win32}
SE_PROBE=$E2E_PROBES/setup_probe.exe
SE_STANDIN=$E2E_PROBES/standin.dll
SE_TITLE="收银通"                       # line 1 (and 3) of the media's config.txt
SE_WINDOW="欢迎安装${SE_TITLE}客户端"
SE_MEDIA='C:\setup-e2e\media'
SE_RUNTIME=(MSWINSCK.OCX SHDOCVW.dll MSVBVM60.DLL)
SE_PID=""
SE_PIDS=()
SE_CLEANUP_DIRS=()

se_say() { e2e_say "$@"; }
se_check() { e2e_check "$@"; }

se_unix() { winepath -u "$1" 2>/dev/null; }

# The probe's output goes through a file: programs it starts inherit its standard output, and a
# pipe would stay open (and its reader wait) as long as they run.
se_probe() {
  local out rc=0
  out=$(mktemp /tmp/setup-e2e-probe.XXXXXX)
  wine "$SE_PROBE" "$@" >"$out" 2>/dev/null || rc=$?
  tr -d '\r' <"$out"
  rm -f "$out"
  return "$rc"
}

se_shot() { import -window root "$SE_ART/$1.png" 2>/dev/null || true; }

# se_box TITLE TEXT ICON [SHOT]: the box titled TITLE shows TEXT with ICON; OK is pressed.
se_box() {
  local title=$1 text=$2 icon=$3 shot=${4:-} out
  out=$(se_probe look "$title" 30000) || {
    se_shot "missing-box-${shot:-$E2E_CHECKS}"
    se_check "message box \"$title\" shows" false
    return 0
  }
  [[ -n $shot ]] && se_shot "$shot"
  se_check "box \"$title\" says \"$text\"" grep -qxF "text=$text" <<<"$out"
  se_check "box \"$title\" has the $icon icon" grep -qxF "icon=$icon" <<<"$out"
  se_probe ok "$title" >/dev/null || true
}

se_setup() {
  (cd "$(se_unix "$SE_MEDIA")" && exec wine "$SE_MEDIA\\setup.exe" "$@") >/dev/null 2>&1 &
  SE_PID=$!
  SE_PIDS+=("$SE_PID")
}

# se_install FOLDER: the install window (waited for up to a minute), FOLDER typed, the button pressed.
se_install() {
  se_setup
  se_probe window "$SE_WINDOW" 60000 >/dev/null || true
  se_probe type "$SE_WINDOW" "$1" >/dev/null
  se_probe press "$SE_WINDOW" "开始安装" >/dev/null
}

se_wait_end() {
  local limit=${1:-10} i
  for ((i = 0; i < limit * 20; i++)); do
    kill -0 "$SE_PID" 2>/dev/null || { wait "$SE_PID" 2>/dev/null || true; return 0; }
    sleep 0.05
  done
  return 1
}

# se_running PATTERN: a process of this prefix whose command line matches PATTERN runs.
se_running() {
  local pid
  for pid in $(pgrep -f -- "$1" || true); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

# Special folders of the prefix's user, as Windows paths.
se_folder() { se_probe folder "$1"; }

se_begin() {
  SE_NAME=$1
  SE_ART=${E2E_OUT:-$SE_ROOT/out/e2e-setup}/$SE_NAME
  mkdir -p "$SE_ART"
  local f
  for f in "$SE_PROBE" "$SE_STANDIN" "$SE_MEDIA_SRC/setup.exe" "$SE_MEDIA_SRC/vemr.exe" "$SE_MEDIA_SRC/horasync.exe" \
    "$SE_MEDIA_SRC/config.txt"; do
    [[ -f $f ]] || { se_say "FAIL missing $f: build the win32 preset first"; exit 1; }
  done
  e2e_begin se_cleanup
  se_locate
  # The runtime files already in the system folder (any letter case) are kept, to be put back at
  # the end; whatever else of those names the scenario leaves there is removed.
  SE_SAVED=$(mktemp -d /tmp/setup-e2e-saved.XXXXXX)
  se_runtime_names >"$SE_SAVED/.names"
  while IFS= read -r f; do cp -p "$SE_SYSDIR/$f" "$SE_SAVED/"; done <"$SE_SAVED/.names"
  se_make_media
  export SETUP_E2E_REGISTER_LOG='C:\setup-e2e\register.log'
}

# se_locate: where setup.exe from SE_MEDIA_SRC puts things in this prefix (system folder, uninstall
# key, Start-menu programs, desktop, the group and desktop shortcut of SE_TITLE).
se_locate() {
  # 32-bit programs see the system folder through syswow64.
  if objdump -f "$SE_MEDIA_SRC/setup.exe" 2>/dev/null | grep -q 'pei-i386' ||
    i686-w64-mingw32-objdump -f "$SE_MEDIA_SRC/setup.exe" 2>/dev/null | grep -q 'pei-i386'; then
    SE_SYSDIR=$WINEPREFIX/drive_c/windows/syswow64
    SE_UNINSTALL_KEY='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'
  else
    SE_SYSDIR=$WINEPREFIX/drive_c/windows/system32
    SE_UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  fi
  SE_PROGRAMS=$(se_folder 2)
  SE_DESKTOP=$(se_folder 0)
  SE_PROFILE=$(se_folder 40)
  SE_GROUP_UNIX=$(se_unix "$SE_PROGRAMS\\$SE_TITLE")
  SE_DESKTOP_LINK_UNIX=$(se_unix "$SE_DESKTOP\\$SE_TITLE.lnk")
}

# The media folder: the built programs and config.txt, and stand-ins for the runtime files. The
# stand-in SHDOCVW.dll is older than the one in the system folder, which is therefore left alone.
se_make_media() {
  local media
  media=$WINEPREFIX/drive_c/setup-e2e/media
  rm -rf "$WINEPREFIX/drive_c/setup-e2e"
  mkdir -p "$media"
  cp "$SE_MEDIA_SRC/setup.exe" "$SE_MEDIA_SRC/vemr.exe" "$SE_MEDIA_SRC/horasync.exe" "$SE_MEDIA_SRC/config.txt" "$media/"
  local f
  for f in "${SE_RUNTIME[@]}"; do cp "$SE_STANDIN" "$media/$f"; done
  touch -d '2001-01-01 00:00' "$media/SHDOCVW.dll"
}

# Names in the system folder of the runtime files and of their renamed old copies.
se_runtime_names() {
  local f
  for f in "${SE_RUNTIME[@]}"; do
    find "$SE_SYSDIR" -maxdepth 1 \( -iname "$f" -o -iname "$f.*" \) -printf '%f\n'
  done
}

se_register_log() { tr -d '\r' <"$WINEPREFIX/drive_c/setup-e2e/register.log" 2>/dev/null || true; }

# The install record's value, or nothing.
se_record() {
  se_probe values HKCU 'Software\VB and VBA Program Settings\tavin\vemrclient' | sed -n 's/^path type=1 bytes=[0-9]* text=//p' |
    tr -d '~'
}

se_set_record() {
  wine reg add 'HKCU\Software\VB and VBA Program Settings\tavin\vemrclient' /v path /d "$1" /f >/dev/null 2>&1
}

# The uninstall entry, as `reg query` prints it in UTF-8.
se_entry() {
  local out
  out=$(wine reg query "$SE_UNINSTALL_KEY\\$SE_TITLE" 2>/dev/null) || return 0
  iconv -f gbk -t utf-8 <<<"$out" | tr -d '\r'
}

se_cleanup() {
  local pid f
  for pid in "${SE_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  # What those started in turn (the uninstall working copy, a stand-in client), in this prefix only.
  for pid in $(pgrep -f -- 'uninstallvemr\.exe|setup-e2e\\media\\setup\.exe|setup_probe\.exe|vemr\.exe hold' || true); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=${WINEPREFIX:-/nonexistent}" &&
      kill "$pid" 2>/dev/null
  done
  if [[ -n ${WINEPREFIX:-} && -d ${WINEPREFIX:-/nonexistent} ]]; then
    wine reg delete "$SE_UNINSTALL_KEY\\$SE_TITLE" /f >/dev/null 2>&1 || true
    wine reg delete 'HKCU\Software\VB and VBA Program Settings\tavin' /f >/dev/null 2>&1 || true
    [[ -n ${SE_GROUP_UNIX:-} ]] && rm -rf "$SE_GROUP_UNIX"
    [[ -n ${SE_DESKTOP_LINK_UNIX:-} ]] && rm -f "$SE_DESKTOP_LINK_UNIX"
    for f in "${SE_CLEANUP_DIRS[@]}"; do   # Windows paths, found whatever their letter case
      f=$(se_unix "$f")
      [[ $f == "$WINEPREFIX"/* || $f == */dosdevices/c:/* ]] && rm -rf "$f"
    done
    rm -rf "$WINEPREFIX/drive_c/setup-e2e"
    if [[ -n ${SE_SYSDIR:-} && -f ${SE_SAVED:-}/.names ]]; then
      while IFS= read -r f; do rm -f "${SE_SYSDIR:?}/$f"; done < <(se_runtime_names)
      while IFS= read -r f; do cp -p "$SE_SAVED/$f" "$SE_SYSDIR/$f"; done <"$SE_SAVED/.names"
    fi
  fi
  [[ -n ${SE_SAVED:-} ]] && rm -rf "$SE_SAVED"
}

se_finish() {
  se_say "$SE_NAME: $((E2E_CHECKS - E2E_FAILS)) of $E2E_CHECKS checks passed (screenshots: $SE_ART)"
  ((E2E_FAILS == 0))
}
