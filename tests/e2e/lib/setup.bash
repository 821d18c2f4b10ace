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
#   se_installed FOLDER [SHOT]  an install into FOLDER as se_install, its success box and end checked
#   se_hold 'C:\x.exe' STOP  the probe copied as x.exe runs until the Unix file STOP exists
#   se_plant_record 'C:\dir\' / se_refused_record 'C:\dir\' [SHOT]  an install record naming a
#                         folder that is not ours; the removal's refusal checked, nothing removed
#   se_unix 'C:\path'     the Unix path of a Windows path in the prefix
#   se_running PATTERN    a process of this prefix with a matching command line runs
# Checks, counts and the verdict are common.bash's (e2e_check, e2e_finish).
# The scenario's own installation (folders, shortcuts, entry, record, runtime files in the system
# folder) is removed on every exit path, so other scenarios in the same prefix find none of it.

# shellcheck source=common.bash
source "$(dirname "${BASH_SOURCE[0]}")/common.bash"
E2E_ROOT=$E2E_ROOT
SE_MEDIA_SRC=${SETUP_E2E_MEDIA:-$E2E_ROOT/dist/$E2E_ARCH}
SE_PROBE=$E2E_PROBES/setup_probe.exe
SE_STANDIN=$E2E_PROBES/standin.dll
SE_TITLE="收银通"                       # line 1 (and 3) of the media's config.txt
SE_WINDOW="欢迎安装${SE_TITLE}客户端"
SE_MEDIA='C:\setup-e2e\media'
SE_RUNTIME=(MSWINSCK.OCX SHDOCVW.dll MSVBVM60.DLL)
SE_PID=""
SE_PIDS=()
SE_CLEANUP_DIRS=()

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
    e2e_check "message box \"$title\" shows" false
    return 0
  }
  [[ -n $shot ]] && se_shot "$shot"
  e2e_check "box \"$title\" says \"$text\"" grep -qxF "text=$text" <<<"$out"
  e2e_check "box \"$title\" has the $icon icon" grep -qxF "icon=$icon" <<<"$out"
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

# se_installed FOLDER [SHOT]: the install into FOLDER; its success box and its end after OK checked.
se_installed() {
  se_install "$1"
  se_box "恭喜！" "安装完成！" exclamation "${2:-}"
  e2e_check "install into $1: setup ends after OK" se_wait_end 10
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
  SE_ART=${E2E_OUT:-$E2E_ROOT/out/e2e-setup}/$1
  E2E_KEPT=$SE_ART
  mkdir -p "$SE_ART"
  local f
  for f in "$SE_PROBE" "$SE_STANDIN" "$SE_MEDIA_SRC/setup.exe" "$SE_MEDIA_SRC/vemr.exe" "$SE_MEDIA_SRC/horasync.exe" \
    "$SE_MEDIA_SRC/config.txt"; do
    [[ -f $f ]] || { e2e_say "FAIL missing $f: build the $E2E_ARCH preset first"; exit 1; }
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
  if wine_env_32bit_program "$SE_MEDIA_SRC/setup.exe"; then
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

# se_hold 'C:\dir\name.exe' STOP: the probe, copied there beforehand, runs as that program until the
# Unix file STOP exists (60 s at most); returns once it runs (HOLD_PID), fails when it does not start.
se_hold() {
  local exe=$1 stop=$2
  rm -f "$stop" "$stop.running"
  (cd "$(dirname "$(se_unix "$exe")")" && exec wine "$exe" hold "$(winepath -w "$stop" 2>/dev/null)" 60000) \
    >/dev/null 2>&1 &
  HOLD_PID=$!
  SE_PIDS+=("$HOLD_PID")
  for _ in $(seq 200); do [[ -e $stop.running ]] && return 0; sleep 0.05; done
  return 1
}

# se_release STOP PID: lets a held program go; true when it ended within 10 s.
se_release() {
  touch "$1"
  for _ in $(seq 100); do kill -0 "$2" 2>/dev/null || return 0; sleep 0.1; done
  return 1
}

# The command of the uninstall entry, and the user's temporary folder (Windows paths).
se_uninstall_command() { sed -n 's/^ *UninstallString *REG_SZ *//p' <<<"$(se_entry)"; }
se_temp() { wine cmd /c echo '%TEMP%' 2>/dev/null | tr -d '\r'; }

# se_plant_record 'C:\dir\': an install there as a tampered record would have it: config.txt and a
# vemr.exe that is not ours in the folder, the record naming it, an uninstall entry.
se_plant_record() {
  local target
  target=$(se_unix "$1")
  cp "$SE_MEDIA_SRC/config.txt" "$target/config.txt"
  echo 'not ours' >"$target/vemr.exe"
  se_set_record "$1"
  wine reg add "$SE_UNINSTALL_KEY\\$SE_TITLE" /v DisplayName /d "$SE_TITLE" /f >/dev/null 2>&1
}

# se_refused_record 'C:\dir\' [SHOT]: the removal's second stage refuses the planted record with a
# message naming it, and removes nothing.
se_refused_record() {
  local record=$1 target out
  target=$(se_unix "$record")
  se_setup movenow
  out=$(se_probe look "卸载失败！" 15000) || true
  [[ -n ${2:-} ]] && se_shot "$2"
  se_probe ok "卸载失败！" >/dev/null || true
  # shellcheck disable=SC1111  # the message's own quotation marks
  e2e_check "record $record: refused with a message naming it" grep -qF "text=记录的安装路径“$record”" <<<"$out"
  e2e_check "record $record: stop icon" grep -qxF "icon=stop" <<<"$out"
  e2e_check "record $record: its vemr.exe and config.txt stay" test -f "$target/vemr.exe" -a -f "$target/config.txt"
  e2e_check "record $record: the entry stays" test -n "$(se_entry)"
  e2e_check "record $record: the record stays" test "$(se_record)" = "$record"
  se_wait_end 10 || true
}

se_register_log() { tr -d '\r' <"$WINEPREFIX/drive_c/setup-e2e/register.log" 2>/dev/null || true; }

# The install record's value, or nothing (the probe shows a zero as "~": only the terminating one is
# dropped, as a short name holds a "~" of its own).
se_record() {
  se_probe values HKCU 'Software\VB and VBA Program Settings\tavin\vemrclient' |
    sed -n 's/^path type=1 bytes=[0-9]* text=//p' | sed 's/~$//'
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

# What an install leaves outside its folder (entry, record, shortcuts), removed.
se_forget_install() {
  wine reg delete "$SE_UNINSTALL_KEY\\$SE_TITLE" /f >/dev/null 2>&1 || true
  wine reg delete 'HKCU\Software\VB and VBA Program Settings\tavin' /f >/dev/null 2>&1 || true
  rm -rf ${SE_GROUP_UNIX:+"$SE_GROUP_UNIX"} ${SE_DESKTOP_LINK_UNIX:+"$SE_DESKTOP_LINK_UNIX"}
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
    se_forget_install
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

