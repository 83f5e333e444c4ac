# shellcheck shell=bash
# Helpers shared by the scripts in this directory. Source it; do not run it.
# Every helper is safe to call repeatedly and from parallel processes.

# Text crosses into Wine in the locale's encoding: command-line arguments
# ("∞"), file and prefix names. A shell without any locale settings (a bare
# root login, env -i) has the ASCII "C" locale, in which Wine turns them into
# garbage; C.UTF-8 is always there on Debian 12.
if [[ $(LC_ALL=${LC_ALL:-} locale charmap 2>/dev/null) != UTF-8 ]]; then
  export LC_ALL=C.UTF-8
fi

# Prints "SCRIPT: MESSAGE" on stderr and exits 1.
velmora_die() {
  echo "$(basename "$0"): $*" >&2
  exit 1
}

# Fails with a pointer to install-deps.sh unless every named command exists.
velmora_need() {
  local c
  for c in "$@"; do
    command -v "$c" >/dev/null 2>&1 ||
      velmora_die "'$c' not found; run scripts/install-deps.sh first"
  done
}

# True when CI is set to something other than empty, 0 or false.
velmora_in_ci() {
  case "${CI:-}" in
    '' | 0 | false | FALSE | False) return 1 ;;
    *) return 0 ;;
  esac
}

# Prints the Wine prefix to use when none is given explicitly.
velmora_default_prefix() {
  local home=${HOME:-}
  [[ -n $home ]] || home=$(getent passwd "$(id -u)" | cut -d: -f6)
  echo "${VELMORA_WINEPREFIX:-$home/.cache/velmora/wine}"
}

# Deletes Wine's harmless complaints from a stream (stdin to stdout), line by line
# so that what remains still arrives as it is written.
velmora_filter_wine_noise() {
  sed -u -E \
    -e '/wine32 is missing|it looks like wine32/d' \
    -e '/multiarch needs to be enabled first|as root, please/d' \
    -e '/dpkg --add-architecture i386|apt-get install wine32/d' \
    -e '/rundll32\.exe.*c0000135/d'
}

# True when an X server answers on display $1.
velmora_display_ok() {
  xdpyinfo -display "$1" >/dev/null 2>&1
}

# Removes the lock and socket of display number $1 if the process that owned
# them is gone (or is not an X server: pids get reused after a restart).
velmora_clear_stale_x_lock() {
  local n=$1 lock=/tmp/.X$1-lock pid comm
  [[ -f $lock ]] || return 0
  pid=$(tr -dc '0-9' <"$lock")
  comm=$(cat "/proc/$pid/comm" 2>/dev/null || true)
  case "$comm" in
    Xvfb | Xorg | X | Xwayland | Xephyr | Xvnc) return 0 ;;
  esac
  rm -f "$lock" "/tmp/.X11-unix/X$n"
}

# Makes sure DISPLAY names a working X server and exports it. Keeps a usable
# DISPLAY unless $1 is 1; otherwise uses the shared virtual screen
# ${VELMORA_XVFB_DISPLAY:-:87}, starting it if nobody has yet. The server is
# left running for later calls.
velmora_ensure_display() {
  local force=${1:-0}
  if [[ $force != 1 && -n ${DISPLAY:-} ]] && velmora_display_ok "$DISPLAY"; then
    export DISPLAY
    return 0
  fi
  local d=${VELMORA_XVFB_DISPLAY:-:87}
  export DISPLAY=$d
  velmora_display_ok "$d" && return 0
  velmora_need Xvfb xdpyinfo
  local n=${d#:}
  n=${n%%.*}
  local lock=/tmp/velmora-xvfb-$n.lock log=/tmp/velmora-xvfb-$n.log
  (
    flock -w 120 9 || velmora_die "timed out waiting for $lock"
    velmora_display_ok "$d" && exit 0
    velmora_clear_stale_x_lock "$n"
    # setsid and closed descriptors: the server must not hold a caller's pipe
    # (ctest waits for those to close) or this lock.
    setsid Xvfb "$d" -screen 0 1024x768x24 -nolisten tcp \
      </dev/null >"$log" 2>&1 9>&- &
    local i
    for ((i = 0; i < 150; i++)); do
      velmora_display_ok "$d" && exit 0
      sleep 0.1
    done
    velmora_die "Xvfb on $d did not start; its log: $(tr '\n' ' ' <"$log")"
  ) 9>"$lock"
}

# The directory of these scripts (for helpers that run one of them).
velmora_scripts_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Makes Wine ready to run programs of prefix $1 on an X display, in this order:
# the display first (a usable DISPLAY is kept unless $2 is 1; otherwise the
# virtual screen), then the prefix and a wineserver started with that display
# (scripts/wine-prefix.sh). Exports DISPLAY, WINEPREFIX and WINEDEBUG
# (VELMORA_WINEDEBUG, default -all). Every script that runs Wine starts here.
velmora_use_wine() {
  local prefix=$1 force=${2:-0}
  velmora_ensure_display "$force"
  "$velmora_scripts_dir/wine-prefix.sh" "$prefix" || exit 1
  export WINEPREFIX=$prefix WINEDEBUG=${VELMORA_WINEDEBUG:--all}
}

# Prints the pid of the wineserver serving prefix $1 (it works in a directory
# named after the prefix's device and inode), or nothing if none runs.
velmora_wineserver_pid() {
  local dev ino id pid cwd
  read -r dev ino < <(stat -c '%d %i' "$1" 2>/dev/null) || return 0
  id=$(printf 'server-%x-%x' "$dev" "$ino")
  for pid in $(pgrep -x 'wineserver(64)?' || true); do
    cwd=$(readlink "/proc/$pid/cwd" 2>/dev/null) || continue
    if [[ $cwd == */"$id" ]]; then
      echo "$pid"
      return 0
    fi
  done
}

# Prints a display (":N") with no X server, lock or socket, N from $1 (default
# 100) up, for a virtual screen of one's own.
velmora_free_display() {
  local n
  for ((n = ${1:-100}; n < 200; n++)); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    echo ":$n"
    return 0
  done
  velmora_die "no free X display number between 100 and 199"
}

# Stops the Xvfb serving display $1 if one runs (a virtual screen of one's own).
velmora_stop_xvfb() {
  local n=${1#:} pid
  n=${n%%.*}
  [[ -f /tmp/.X$n-lock ]] || return 0
  pid=$(tr -dc '0-9' <"/tmp/.X$n-lock")
  [[ -n $pid && $(cat "/proc/$pid/comm" 2>/dev/null) == Xvfb ]] || return 0
  kill "$pid" 2>/dev/null || true
  local i
  for ((i = 0; i < 50; i++)); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

# Ends background process $1 of the calling shell: Alt+F4 to its window $2 (if
# given), then, if it has not gone after $3 seconds (default 10), a signal.
velmora_close_program() {
  local pid=$1 window=${2:-} seconds=${3:-10} i
  if [[ -n $window ]]; then
    timeout 5 xdotool windowfocus --sync "$window" key alt+F4 >/dev/null 2>&1 || true
  fi
  for ((i = 0; i < seconds * 20; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# For the test scripts: "velmora_check WHAT COMMAND..." runs the command,
# prints "ok: WHAT" or "FAIL: WHAT" and counts it in the caller's passed or
# failed.
velmora_check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $what"
  else
    failed=$((failed + 1))
    echo "FAIL: $what"
  fi
}

# Writes the .reg text read from stdin (UTF-8, LF) to file $1 the way regedit
# reads it correctly: UTF-16LE with a byte order mark and CRLF line ends (a
# UTF-8 file would be read as CP1252 and store garbled face names).
velmora_write_reg_file() {
  {
    printf '\xff\xfe'
    sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE
  } >"$1"
}

# Prints the user text NAME as the build in directory BUILD lists it
# (generated/velmora_texts.tsv, made from src/main/texts.txt; escapes such as
# \r\n as they stand there); fails when there is no such entry.
velmora_text() {
  local file=$1/generated/velmora_texts.tsv
  [[ -s $file ]] || velmora_die "no $file: configure that build first"
  awk -F '\t' -v name="$2" '$1 == name { print $2; found = 1 } END { exit !found }' "$file" ||
    velmora_die "no text $2 in $file"
}

# Prints the main window's title that the build in directory BUILD gives it.
velmora_title() {
  local file=$1/generated/velmora_title.txt
  [[ -s $file ]] || velmora_die "no $file: configure that build first"
  cat "$file"
}
