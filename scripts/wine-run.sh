#!/usr/bin/env bash
# Usage: scripts/wine-run.sh PROGRAM.exe [ARGS...]
#
# Runs a Windows program under Wine the way ctest runs a native one: same
# arguments, stdout and stderr forwarded, the program's exit status returned.
# It prepares the prefix (scripts/wine-prefix.sh), keeps one wineserver alive
# between calls so each start is quick, and, when no X display is usable (or
# VELMORA_XVFB=1), points DISPLAY at a shared Xvfb so windows and the clipboard
# work.
#
# Environment: VELMORA_WINEPREFIX (prefix), VELMORA_XVFB=1 (always use Xvfb),
# VELMORA_XVFB_DISPLAY (default :87), VELMORA_WINEDEBUG (default -all).
set -euo pipefail
# How the program's stdout is given (see below); decided before anything here
# opens a file, which could take descriptor 1 when the caller closed it.
if [[ ! -e /proc/self/fd/1 ]]; then
  stdout_to=closed
elif [[ -f /dev/stdout || (-c /dev/stdout && ! -t 1) ]]; then
  stdout_to=direct
else
  stdout_to=followed
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/common.sh
source "$here/common.sh"

if (($# < 1)); then
  echo "usage: $(basename "$0") PROGRAM.exe [ARGS...]" >&2
  exit 2
fi
velmora_need wine wineserver xdpyinfo
# A caller may have closed stdin entirely (not just redirected it).
{ : <&0; } 2>/dev/null || exec </dev/null

velmora_use_wine "$(velmora_default_prefix)" "${VELMORA_XVFB:-0}"

# The program writes into files that are followed from here rather than into
# our own stdout/stderr: Wine's background processes (services.exe, the desktop
# process, ...) inherit the descriptors of the program that started them and
# outlive it, and a pipe they hold open would keep ctest waiting forever.
# A stdout that is a file or a device other than a terminal (/dev/null,
# /dev/full), or that is closed, cannot hold anyone up: the program gets it as
# it is, and so meets its own write errors (a full disk, no stdout at all)
# instead of writing into our file successfully.
tmp=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wine-run.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
: >"$tmp/out"
: >"$tmp/err"

case $stdout_to in
  followed) wine "$@" <&0 >"$tmp/out" 2>"$tmp/err" & ;;
  direct) wine "$@" <&0 2>"$tmp/err" & ;;
  closed) wine "$@" <&0 >&- 2>"$tmp/err" & ;;
esac
pid=$!
trap 'kill -TERM "$pid" 2>/dev/null || true' TERM INT HUP

# tail --pid exits once the program has ended and everything written is shown.
# tail's own complaints (e.g. no inotify watches left, so it polls) are not
# the program's and stay out of its stderr.
followers=()
if [[ $stdout_to == followed ]]; then
  tail -n +1 -s 0.05 -f --pid="$pid" "$tmp/out" 2>/dev/null &
  followers+=($!)
fi
tail -n +1 -s 0.05 -f --pid="$pid" "$tmp/err" 2>/dev/null | velmora_filter_wine_noise >&2 &
followers+=($!)

status=0
while :; do
  status=0
  wait "$pid" || status=$?
  # A trapped signal interrupts wait while the program still runs: wait again.
  kill -0 "$pid" 2>/dev/null || break
done
wait "${followers[@]}" || true
# Only the low 8 bits of a Windows exit code survive; never let a crash whose
# code happens to end in 00 pass as success.
if ((status == 0)) && grep -q '^wine: Unhandled ' "$tmp/err"; then
  status=1
fi
exit "$status"
