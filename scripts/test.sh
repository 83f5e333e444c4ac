#!/usr/bin/env bash
# Usage: scripts/test.sh
#
# Builds and tests Velmora in three trees and totals the results:
#   build/native   GCC with AddressSanitizer and UBSan, warnings as errors
#   build/windows  MinGW-w64 cross build, tests run under Wine
#                  (scripts/wine-run.sh), warnings as errors
#   build/fuzz     clang with libFuzzer and sanitizers; only the short fuzz runs
# Logs go to build/logs/. Prints one line per tree and a final
# "N passed, N failed"; exits non-zero if anything failed.
#
# With CI set (CI=true), Wine runs as on a machine that never ran it: every
# Wine prefix the tests use is new and temporary, DISPLAY is unset (the
# scripts start virtual screens of their own, on free display numbers), so no
# wineserver or desktop process of an earlier run can be reused; all of it is
# ended and removed afterwards.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/common.sh
source "$here/common.sh"
root=$(dirname "$here")
cd "$root"

readonly jobs=2
readonly default_test_timeout=600 # seconds, for tests that set no TIMEOUT
logs=$root/build/logs
mkdir -p "$logs"

total_passed=0
total_failed=0
summaries=()

# Runs a step with its output in a log; on failure shows the end of the log.
logged() {
  local log=$1
  shift
  if "$@" </dev/null >"$log" 2>&1; then
    return 0
  fi
  echo "---- last lines of $log" >&2
  tail -n 60 "$log" >&2
  return 1
}

# Prints "PASSED FAILED" from a ctest log, or nothing if it has no summary.
ctest_counts() {
  sed -n -E 's/.*tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2 \1/p' "$1" |
    tail -n 1 | awk '{ print $1 - $2, $2 }'
}

# Configures, builds and tests one tree; records its summary line and counts.
# Usage: test_tree NAME CTEST_ARGS -- CMAKE_CONFIGURE_ARGS...
test_tree() {
  local name=$1 dir=build/$1
  shift
  local -a ctest_args=()
  while [[ $1 != -- ]]; do
    ctest_args+=("$1")
    shift
  done
  shift
  local log=$logs/$name
  if ! logged "$log-configure.log" cmake -S . -B "$dir" "$@"; then
    record "$name" 0 1 "configure failed (log: $log-configure.log)"
    return
  fi
  if ! logged "$log-build.log" cmake --build "$dir" -j "$jobs"; then
    record "$name" 0 1 "build failed (log: $log-build.log)"
    return
  fi
  local status=0
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout "$default_test_timeout" \
    --no-tests=error "${ctest_args[@]}") </dev/null >"$log-test.log" 2>&1 || status=$?
  local counts passed failed
  counts=$(ctest_counts "$log-test.log")
  if [[ -z $counts ]]; then
    tail -n 60 "$log-test.log" >&2
    record "$name" 0 1 "ctest ran no tests or stopped early (exit $status; log: $log-test.log)"
    return
  fi
  read -r passed failed <<<"$counts"
  if ((failed > 0 || status != 0)); then
    # Failing tests with their output; the passing ones are left out.
    echo "---- $name: failures (full log: $log-test.log)" >&2
    grep -v -E -e '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .* +Passed +' -e '^ +Start +[0-9]+: ' \
      "$log-test.log" >&2 || true
    ((failed > 0)) || failed=1
  fi
  record "$name" "$passed" "$failed" ""
}

# Adds a tree's counts to the totals and its line to the summary.
record() {
  local name=$1 passed=$2 failed=$3 note=$4
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  local line
  line=$(printf '%-8s %d passed, %d failed' "$name:" "$passed" "$failed")
  [[ -z $note ]] || line+=" - $note"
  summaries+=("$line")
}

"$here/install-deps.sh"

# CI: a throwaway Wine state for this run; see the top of this file.
ci_state=''
end_ci_state() {
  [[ -n $ci_state ]] || return 0
  local p
  for p in "$ci_state"/wine*; do
    [[ -d $p ]] && WINEPREFIX=$p wineserver -k </dev/null >/dev/null 2>&1
  done
  velmora_stop_xvfb "$VELMORA_XVFB_DISPLAY"
  velmora_stop_xvfb "$VELMORA_GUI_DISPLAY"
  velmora_stop_xvfb "$VELMORA_RELEASE_DISPLAY"
  rm -rf "$ci_state"
}
if velmora_in_ci; then
  ci_state=$(mktemp -d "${TMPDIR:-/tmp}/velmora-ci.XXXXXX")
  trap end_ci_state EXIT
  unset DISPLAY VELMORA_GUI_WINEPREFIX VELMORA_PRINT_WINEPREFIX
  export VELMORA_WINEPREFIX=$ci_state/wine  # the GUI and print tests add -gui, -print
  VELMORA_XVFB_DISPLAY=$(velmora_free_display)
  VELMORA_GUI_DISPLAY=$(velmora_free_display $((${VELMORA_XVFB_DISPLAY#:} + 1)))
  VELMORA_RELEASE_DISPLAY=$(velmora_free_display $((${VELMORA_GUI_DISPLAY#:} + 1)))
  export VELMORA_XVFB_DISPLAY VELMORA_GUI_DISPLAY VELMORA_RELEASE_DISPLAY
  echo "CI: fresh Wine state in $ci_state, displays $VELMORA_XVFB_DISPLAY, $VELMORA_GUI_DISPLAY, $VELMORA_RELEASE_DISPLAY"
fi

test_tree native -- \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DVELMORA_SANITIZE=ON -DVELMORA_WERROR=ON
test_tree windows -- \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVELMORA_WERROR=ON
test_tree fuzz -R _smoke -- \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVELMORA_FUZZ=ON -DVELMORA_SANITIZE=ON -DVELMORA_TESTS=ON

printf '%s\n' "${summaries[@]}"
echo "$total_passed passed, $total_failed failed"
((total_failed == 0))
