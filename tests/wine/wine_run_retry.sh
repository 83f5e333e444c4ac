#!/usr/bin/env bash
# Usage: tests/wine/wine_run_retry.sh
#
# scripts/wine-run.sh runs a program once more when Wine's loader fails at its
# exit (status 127, "Inconsistency detected by ld.so" on stderr), showing the
# output of the second run alone; any other failure, and a second loader
# failure, stand. A `wine` on the PATH stands in for the real one for the
# program "loader-fails.exe" (everything else, the prefix's set-up included,
# goes to the real Wine); it fails the way the loader was seen to as often as
# it is told, then exits 7.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
real_wine=$(command -v wine) || { echo "no wine" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-retry.XXXXXX")
trap 'rm -rf "$work"' EXIT
cat >"$work/wine" <<SHIM
#!/usr/bin/env bash
if [[ \${1-} == loader-fails.exe ]]; then
  n=\$(cat "$work/calls" 2>/dev/null || echo 0)
  echo \$((n + 1)) >"$work/calls"
  echo "the program's output"
  echo "the program's message" >&2
  if ((n < \$(cat "$work/failures"))); then
    echo "Inconsistency detected by ld.so: dl-fini.c: 87: _dl_fini: Assertion \\\`i < nloaded' failed!" >&2
    exit 127
  fi
  exit 7
fi
exec "$real_wine" "\$@"
SHIM
chmod +x "$work/wine"

failed=0
# check NAME FAILURES WANT_STATUS WANT_CALLS
check() {
  local name=$1
  echo "$2" >"$work/failures"
  rm -f "$work/calls"
  local out err status
  out=$(PATH=$work:$PATH bash "$root/scripts/wine-run.sh" loader-fails.exe 2>"$work/err")
  status=$?
  err=$(grep -v 'Inconsistency' "$work/err")
  local calls
  calls=$(cat "$work/calls")
  if [[ $status == "$3" && $calls == "$4" && $out == "the program's output" && $err == "the program's message" ]]; then
    echo "ok   $name"
  else
    echo "FAIL $name: status $status (want $3), runs $calls (want $4), stdout '$out', stderr '$err'"
    failed=1
  fi
}
check "a run that ends well is run once"              0 7   1
check "a loader failure at exit: run once more"        1 7   2
check "a second loader failure stands"                 2 127 2
exit "$failed"
