#!/usr/bin/env bash
# Usage: scripts/run.sh [--headless] [--screenshot PATH]
#
# Builds the Windows program (build/windows/Velmora.exe) and runs it under Wine.
#   - With a usable X display, outside CI and without --headless: opens the
#     program on that display and returns when it is closed.
#   - Otherwise: runs it on a virtual screen (Xvfb), waits for the main window,
#     presses Enter in the first field (which calculates), saves a screenshot
#     (default ./velmora-screenshot.png), prints the image's path and closes
#     the program.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/common.sh
source "$here/common.sh"
root=$(dirname "$here")

readonly window_timeout=60 # seconds to wait for the main window
readonly close_timeout=10  # seconds to wait for the program to exit

usage() {
  echo "usage: $(basename "$0") [--headless] [--screenshot PATH]" >&2
  exit 2
}

headless=0
screenshot=$PWD/velmora-screenshot.png
while (($# > 0)); do
  case "$1" in
    --headless) headless=1 ;;
    --screenshot)
      (($# >= 2)) || usage
      screenshot=$2
      shift
      ;;
    --screenshot=*) screenshot=${1#--screenshot=} ;;
    -h | --help) usage ;;
    *) usage ;;
  esac
  shift
done
[[ $screenshot == /* ]] || screenshot=$PWD/$screenshot

# Runs a build step with its output kept in build/logs; shows it on failure.
build_step() {
  local name=$1
  shift
  local log=$root/build/logs/run-$name.log
  mkdir -p "$root/build/logs"
  if ! "$@" </dev/null >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    velmora_die "$name failed (full log: $log)"
  fi
}

# Prints the id of the visible main window, or nothing if it is not there yet.
find_main_window() {
  xdotool search --onlyvisible --name "^${title//./\\.}\$" 2>/dev/null | head -n 1 || true
}

# Runs the program on Xvfb, presses Enter, takes the screenshot and closes it.
run_headless() {
  export VELMORA_XVFB=1
  velmora_ensure_display 1
  velmora_need xdotool import
  "$here/wine-run.sh" "$exe" &
  pid=$!
  trap 'velmora_close_program "$pid" "${window:-}" "$close_timeout"' EXIT
  local i
  window=
  for ((i = 0; i < window_timeout * 20; i++)); do
    window=$(find_main_window)
    [[ -n $window ]] && break
    kill -0 "$pid" 2>/dev/null || velmora_die "Velmora.exe exited before its window appeared"
    sleep 0.05
  done
  [[ -n $window ]] || velmora_die "no window titled '$title' within ${window_timeout} s"
  timeout 10 xdotool windowfocus --sync "$window" ||
    velmora_die "could not give the window the keyboard focus"
  xdotool key Return
  sleep 1
  "$here/xvfb-screenshot.sh" "$screenshot"
  echo "$screenshot"
}

cd "$root"
"$here/install-deps.sh"
build_step configure cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
build_step build cmake --build build/windows -j2 --target Velmora
title=$(velmora_title "$root/build/windows")
readonly title
exe=$root/build/windows/Velmora.exe
[[ -f $exe ]] || velmora_die "the build did not produce $exe"
# wine-run.sh prepares the Wine prefix once the display it runs on is known.

if ((headless == 0)) && ! velmora_in_ci && [[ -n ${DISPLAY:-} ]] && velmora_display_ok "$DISPLAY"; then
  exec "$here/wine-run.sh" "$exe"
fi
run_headless
