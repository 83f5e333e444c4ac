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

# Where our stdout is a pipe (ctest, a test script collecting the output), the
# program's output is held back until it has ended, so that a run which
# Wine's loader spoils at exit can be run once more without anything shown
# twice: seen on a loaded machine, status 127 and "Inconsistency detected by
# ld.so: dl-fini.c: ... _dl_fini: Assertion ..." on stderr after the program
# had done all its work. A terminal sees the output as it comes.
hold=0
if [[ $stdout_to == followed && ! -t 1 ]]; then hold=1; fi

pid=''
trap 'if [[ -n $pid ]]; then kill -TERM "$pid" 2>/dev/null || true; fi' TERM INT HUP

# Runs the program once; sets status.
run_once() {
  : >"$tmp/out"
  : >"$tmp/err"
  case $stdout_to in
    followed) wine "$@" <&0 >"$tmp/out" 2>"$tmp/err" & ;;
    direct) wine "$@" <&0 2>"$tmp/err" & ;;
    closed) wine "$@" <&0 >&- 2>"$tmp/err" & ;;
  esac
  pid=$!
  # tail --pid exits once the program has ended and everything written is
  # shown. tail's own complaints (e.g. no inotify watches left, so it polls)
  # are not the program's and stay out of its stderr.
  local followers=()
  if ((hold == 0)); then
    if [[ $stdout_to == followed ]]; then
      tail -n +1 -s 0.05 -f --pid="$pid" "$tmp/out" 2>/dev/null &
      followers+=($!)
    fi
    tail -n +1 -s 0.05 -f --pid="$pid" "$tmp/err" 2>/dev/null | velmora_filter_wine_noise >&2 &
    followers+=($!)
  fi
  while :; do
    status=0
    wait "$pid" || status=$?
    # A trapped signal interrupts wait while the program still runs: wait again.
    kill -0 "$pid" 2>/dev/null || break
  done
  if ((${#followers[@]} > 0)); then wait "${followers[@]}" || true; fi
}

status=0
run_once "$@"
if ((hold && status == 127)) && grep -q 'Inconsistency detected by ld.so' "$tmp/err"; then
  # Noted where the program's own stderr stays clean (tests compare it).
  printf '%s wine-run.sh: loader failure at exit, ran once more: %s\n' "$(date -u +%FT%TZ)" "$*" \
    >>"${TMPDIR:-/tmp}/velmora-wine-retries.log"
  run_once "$@"
fi
if ((hold)); then
  cat "$tmp/out"
  velmora_filter_wine_noise <"$tmp/err" >&2
fi
# Only the low 8 bits of a Windows exit code survive; never let a crash whose
# code happens to end in 00 pass as success.
if ((status == 0)) && grep -q '^wine: Unhandled ' "$tmp/err"; then
  status=1
fi
exit "$status"
