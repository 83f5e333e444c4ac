#!/usr/bin/env bash
# Usage: scripts/wine-prefix.sh [PREFIX]
#
# Creates or refreshes the Wine prefix the Windows build runs in (default:
# $VELMORA_WINEPREFIX, else ~/.cache/velmora/wine), and makes sure its
# wineserver runs and was started by this script with the X display in
# DISPLAY. Needs that display: Wine's desktop process, started with the first
# wineserver of a prefix, can open windows only on the display it was started
# with, so a prefix or server started without one could never show a window.
# A server that this script did not start, or started for another display, is
# ended (with the programs of that prefix) and started anew. Scripts call this
# through velmora_use_wine (scripts/common.sh), which sets up the display first.
#
# The prefix gets:
#   - Japanese UI faces mapped to the IPA fonts (otherwise Wine draws boxes),
#   - Wine draws its own window frames ("Managed"="N"): bare Xvfb has no
#     window manager, and managed windows there get no caption and close slowly,
#   - Marlett installed, so caption buttons show glyphs instead of "0 1 r",
#   - no crash debugger: a crashing program ends at once with its exception code
#     as exit status (Wine's debugger either waits on a dialog or ends the
#     program with status 0, which would pass a crashed test).
# A stamp makes later calls return at once; a lock lets parallel test jobs call it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/common.sh
source "$here/common.sh"

# Bump when the configuration below changes, so existing prefixes get refreshed.
readonly config_version=3
readonly marlett=/usr/share/wine/fonts/marlett.ttf
readonly wine_inf=/usr/share/wine/wine.inf

prefix=${1:-$(velmora_default_prefix)}
[[ $prefix == /* ]] || prefix=$PWD/$prefix
prefix=${prefix%/}
stamp=$prefix/.velmora-prefix
# "PID DISPLAY" of the wineserver this script started last.
server_record=$prefix.server

# True when wineboot has set the prefix up for the installed Wine. Wine
# records the time of the wine.inf it last applied; after an upgrade it would
# update the prefix by itself at the next start, offering Mono and Gecko
# installers in dialogs, so the update is done here instead.
wine_setup_current() {
  [[ -d $prefix/drive_c/windows/system32 && -f $prefix/.update-timestamp ]] || return 1
  local applied
  applied=$(tr -d '\r\n' <"$prefix/.update-timestamp")
  [[ $applied == disable || $applied == "$(stat -c %Y "$wine_inf" 2>/dev/null)" ]]
}

# True when the prefix is configured at the current version.
prefix_ready() {
  [[ -f $stamp && $(<"$stamp") == "$config_version" &&
    -f $prefix/drive_c/windows/Fonts/marlett.ttf ]] && wine_setup_current
}

# True when the prefix's wineserver is the one this script started, for the
# display in DISPLAY.
server_current() {
  local pid display
  [[ -f $server_record ]] && read -r pid display <"$server_record" || return 1
  [[ -n $pid && $display == "$DISPLAY" && $(velmora_wineserver_pid "$prefix") == "$pid" ]]
}

# Ends any wineserver of the prefix (and every program of it, the desktop
# process included), starts a persistent one with the current display and
# records it. Caller holds the lock.
restart_server() {
  if [[ -n $(velmora_wineserver_pid "$prefix") ]]; then
    wineserver -k </dev/null >/dev/null 2>&1 9>&- || true
    wineserver -w </dev/null >/dev/null 2>&1 9>&- || true
  fi
  rm -f "$server_record"
  # -p: the server stays after the last program ends, so each start is quick.
  wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
  local pid='' i
  for ((i = 0; i < 100; i++)); do
    pid=$(velmora_wineserver_pid "$prefix")
    [[ -n $pid ]] && break
    sleep 0.05
  done
  [[ -n $pid ]] || velmora_die "no wineserver started for $prefix"
  echo "$pid $DISPLAY" >"$server_record"
}

# Writes the registry settings as a .reg file for regedit.
write_reg_file() {
  velmora_write_reg_file "$1" <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ ゴシック"="IPAGothic"
"ＭＳ 明朝"="IPAMincho"
"MS Gothic"="IPAGothic"
"MS Mincho"="IPAMincho"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

; Tahoma (the help window's face) gets its Japanese glyphs by font linking,
; as on Windows. Debian's Wine loads no Tahoma of its own, and for a face it
; lacks it takes the first linked family it finds. A linked file is looked up by
; the name of the file the family was loaded from: the IPA Gothic file's own, or
; Debian's alternatives name when fontconfig lists that one first.
; REG_MULTI_SZ, UTF-16LE: "ipag.ttf,IPAGothic", "fonts-japanese-gothic.ttf,IPAGothic".
[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]
"Tahoma"=hex(7):69,00,70,00,61,00,67,00,2e,00,74,00,74,00,66,00,2c,00,49,00,50,00,41,00,\
  47,00,6f,00,74,00,68,00,69,00,63,00,00,00,66,00,6f,00,6e,00,74,00,73,00,\
  2d,00,6a,00,61,00,70,00,61,00,6e,00,65,00,73,00,65,00,2d,00,67,00,6f,00,\
  74,00,68,00,69,00,63,00,2e,00,74,00,74,00,66,00,2c,00,49,00,50,00,41,00,\
  47,00,6f,00,74,00,68,00,69,00,63,00,00,00,00,00

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=""

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

EOF
}

# Runs a Wine command with its output kept in $log; shows the log if it fails.
# Descriptor 9 (the lock) is closed so that Wine's background processes do not
# keep the lock held.
run_logged() {
  if ! "$@" </dev/null >>"$log" 2>&1 9>&-; then
    velmora_filter_wine_noise <"$log" >&2
    velmora_die "failed: $*"
  fi
}

# Creates the prefix if needed and applies the settings. Caller holds the lock.
configure_prefix() {
  log=$(mktemp "${TMPDIR:-/tmp}/velmora-wine-prefix.XXXXXX")
  trap 'rm -f "$log"' EXIT
  # (The registry files are no sign of a finished wineboot: they appear only
  # when the server saves them, every 30 s or when it exits.)
  if ! wine_setup_current; then
    local mode=-u
    [[ -d $prefix/drive_c/windows/system32 ]] || mode=-i
    # No Mono or Gecko installers: the program needs neither, and they would
    # try to download or pop up dialogs.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot "$mode" </dev/null >>"$log" 2>&1 9>&- || true
    if ! wine_setup_current; then
      velmora_filter_wine_noise <"$log" >&2
      velmora_die "wineboot $mode could not set up the prefix $prefix"
    fi
  fi
  local reg=$prefix/drive_c/velmora-settings.reg
  write_reg_file "$reg"
  run_logged wine regedit /S 'C:\velmora-settings.reg'
  rm -f "$reg"
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp "$marlett" "$prefix/drive_c/windows/Fonts/marlett.ttf"
  echo "$config_version" >"$stamp"
}

# A display that answered a moment ago may miss one question on a machine
# under heavy load: ask again before giving up.
display_answers() {
  local try
  for try in 1 2 3; do
    velmora_display_ok "${DISPLAY:-}" && return 0
    [[ -n ${DISPLAY:-} ]] || return 1
    sleep "$try"
  done
  return 1
}
display_answers ||
  velmora_die "no usable X display (DISPLAY='${DISPLAY:-}'); Wine started without one can never open windows"
prefix_ready && server_current && exit 0

velmora_need wine wineserver wineboot iconv flock
[[ -f $marlett ]] || velmora_die "$marlett not found; run scripts/install-deps.sh first"
mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock -w 600 9 || velmora_die "timed out waiting for $prefix.lock"
export WINEPREFIX=$prefix WINEDEBUG=-all
server_current || restart_server
prefix_ready || configure_prefix
