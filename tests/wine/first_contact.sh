#!/usr/bin/env bash
# Usage: tests/wine/first_contact.sh OPENS_WINDOW.exe
#
# Wine as a new user meets it: a prefix that does not exist yet, DISPLAY unset,
# no wineserver. Checks that the scripts never leave a wineserver behind that
# was started without the display its programs use, whatever runs first:
#   1. scripts/wine-prefix.sh alone, as a script might call it before any
#      display exists; then a program run through scripts/wine-run.sh must
#      open a window;
#   2. a program started by hand with no display, which starts a wineserver
#      and a desktop process without one (the scripts must recover from it);
#      then the same while it still runs;
#   3. a second display: the prefix's server follows it.
# Ends with "N passed, M failed".
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
# shellcheck source=scripts/common.sh
source "$scripts/common.sh"

(($# == 1)) || { echo "usage: $(basename "$0") OPENS_WINDOW.exe" >&2; exit 2; }
exe=$(readlink -f "$1")
velmora_need wine wineserver wineboot Xvfb xdpyinfo xdotool

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-first-contact.XXXXXX")
export VELMORA_WINEPREFIX=$work/wine
first_display=$(velmora_free_display)
second_display=$(velmora_free_display $((${first_display#:} + 1)))
end() {
  WINEPREFIX=$VELMORA_WINEPREFIX wineserver -k </dev/null >/dev/null 2>&1
  velmora_stop_xvfb "$first_display"
  velmora_stop_xvfb "$second_display"
  rm -rf "$work"
}
trap end EXIT
unset DISPLAY WINEPREFIX
export VELMORA_XVFB_DISPLAY=$first_display

passed=0
failed=0
check() { velmora_check "$@"; }

# Runs the program through the runner with DISPLAY unset; true when its
# window appears on the virtual screen the runner chose.
opens_window() {
  local title=first-contact-$RANDOM pid window='' i
  env -u DISPLAY bash "$scripts/wine-run.sh" "$exe" "$title" >"$work/out" 2>&1 &
  pid=$!
  for ((i = 0; i < 600; i++)); do
    window=$(DISPLAY=$VELMORA_XVFB_DISPLAY xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1)
    [[ -n $window ]] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  DISPLAY=$VELMORA_XVFB_DISPLAY velmora_close_program "$pid" "$window" 5
  [[ -n $window ]]
}

# The DISPLAY of the prefix's desktop process ("none" if it has none), or
# nothing when no desktop process runs.
desktop_display() {
  local pid env
  for pid in $(pgrep -f 'explorer.exe /desktop'); do
    env=$(tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null) || continue
    grep -qxF "WINEPREFIX=$VELMORA_WINEPREFIX" <<<"$env" || continue
    sed -n 's/^DISPLAY=//p' <<<"$env" | grep . || echo none
    return 0
  done
}

# 1. The prefix script first, with no display; the program right after it,
# while a desktop process started by that script would still be there (it
# lingers a few seconds), so the virtual screen is up already.
velmora_ensure_display 1 >/dev/null
unset DISPLAY
env -u DISPLAY bash "$scripts/wine-prefix.sh" "$VELMORA_WINEPREFIX" >"$work/prefix.log" 2>&1
check "the prefix script alone leaves no display-less wineserver" \
  [ -z "$(velmora_wineserver_pid "$VELMORA_WINEPREFIX")" ]
check "then a program opens its window" opens_window

# 2. A program started by hand with no display: it starts a wineserver and a
# desktop process without a display driver, which stay while it runs.
WINEPREFIX=$VELMORA_WINEPREFIX wineserver -k </dev/null >/dev/null 2>&1
WINEPREFIX=$VELMORA_WINEPREFIX wineserver -w </dev/null >/dev/null 2>&1
env -u DISPLAY WINEPREFIX="$VELMORA_WINEPREFIX" WINEDEBUG=-all timeout 60 wine "$exe" bare \
  </dev/null >/dev/null 2>&1 &
bare=$!
for ((i = 0; i < 200; i++)); do
  [[ -n $(desktop_display) ]] && break
  sleep 0.1
done
check "(the case) a desktop process without a display runs" [ "$(desktop_display)" = none ]
check "a program run by the scripts still opens its window" opens_window
kill "$bare" 2>/dev/null
wait "$bare" 2>/dev/null

# 3. The same prefix used on another display.
export VELMORA_XVFB_DISPLAY=$second_display
check "on a second display a program opens its window" opens_window
recorded=$(cut -d' ' -f2 "$VELMORA_WINEPREFIX.server" 2>/dev/null)
check "the prefix's wineserver was started for that display ($recorded)" [ "$recorded" = "$second_display" ]

echo "$passed passed, $failed failed"
((failed == 0))
