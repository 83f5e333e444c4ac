#!/usr/bin/env bash
# Usage: tests/release/run_unpack_test.sh BUILD_DIR PROBE_EXE PYTHON VERSION VERSION_TEXT
#
# Does with the release zip what a user does: makes it with cpack from
# BUILD_DIR (a built Windows tree), checks it against SHA256SUMS, unpacks it
# into a fresh folder of a fresh Wine prefix, both paths with spaces and
# Japanese characters, then
#   - starts Velmora.exe from there: its window appears with the title
#     "Velmora Ver" VERSION_TEXT, and Enter in the first box (an X key event)
#     fills the result boxes with the results that velmora-cli.exe reports;
#     Alt+F4 ends it with exit status 0;
#   - runs velmora-cli.exe: the default report (14 lines), exit status 0, and
#     --version gives VERSION_TEXT and VERSION;
#   - checks the version resources of both programs against VERSION.
# PROBE_EXE (tests/gui/probe.cpp) reads the window. One line per case, then
# "N passed, M failed"; a screenshot of the calculated window is left in
# BUILD_DIR/release-unpacked.png.
#
# Environment: VELMORA_RELEASE_DISPLAY (default :89), the X screen to use;
# it is started if needed and held with a lock while the test runs.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=scripts/common.sh
source "$root/scripts/common.sh"

if (($# != 5)); then
  echo "usage: $(basename "$0") BUILD_DIR PROBE_EXE PYTHON VERSION VERSION_TEXT" >&2
  exit 2
fi
build_dir=$(cd "$1" && pwd) || exit 2
probe_exe=$(realpath "$2") || exit 2
python=$3 version=$4 version_text=$5
title=$(velmora_title "$build_dir")
zip_name=velmora-$version-win64.zip
velmora_need wine wineserver xdotool xdpyinfo unzip sha256sum flock import
readonly start_timeout=60  # seconds; a fresh prefix starts slowly

# ---- Screen and lock: descriptor 8, closed for every process started ----
export VELMORA_XVFB_DISPLAY=${VELMORA_RELEASE_DISPLAY:-:89}
lock=/tmp/velmora-release-tests-${VELMORA_XVFB_DISPLAY#:}.lock
exec 8>"$lock"
flock -w 300 8 || velmora_die "timed out waiting for $lock"
velmora_ensure_display 1 8>&-

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-unpack.XXXXXX")
prefix="$work/Wine プレフィックス 試験"
folder_windows='C:\ダウンロード 済み\Velmora 試用 版'
folder="$prefix/drive_c/ダウンロード 済み/Velmora 試用 版"
app_pid=''

cleanup() {
  if [[ -n $app_pid ]]; then
    kill "$app_pid" 2>/dev/null
    wait "$app_pid" 2>/dev/null
  fi
  [[ -d $prefix ]] && WINEPREFIX=$prefix wineserver -k </dev/null >/dev/null 2>&1 8>&-
  rm -rf "$work"
}
trap cleanup EXIT

passed=0 failed=0
result() {  # result NAME PROBLEM: passes when PROBLEM is empty
  if [[ -z $2 ]]; then
    printf 'PASS  %s\n' "$1"
    passed=$((passed + 1))
  else
    printf 'FAIL  %s: %s\n' "$1" "$2"
    failed=$((failed + 1))
  fi
}
finish() {
  echo "$passed passed, $failed failed"
  ((failed == 0))
  exit
}

# ---- The zip, as published ----
if ! "$(sed -n -E 's/^CMAKE_CPACK_COMMAND:INTERNAL=(.*)$/\1/p' "$build_dir/CMakeCache.txt")" \
  --config "$build_dir/CPackConfig.cmake" -B "$work/published" >"$work/cpack.log" 2>&1 8>&-; then
  cat "$work/cpack.log"
  result "cpack makes $zip_name" "cpack failed"
  finish
fi
problem=''
(cd "$work/published" && sha256sum --quiet -c SHA256SUMS) >"$work/sums.log" 2>&1 ||
  problem="SHA256SUMS: $(tr '\n' ' ' <"$work/sums.log")"
result "$zip_name matches SHA256SUMS" "$problem"

# ---- Unpacked into a fresh folder of a fresh prefix ----
"$root/scripts/wine-prefix.sh" "$prefix" </dev/null >"$work/prefix.log" 2>&1 8>&- ||
  { cat "$work/prefix.log"; result "a fresh Wine prefix" "wine-prefix.sh failed"; finish; }
export WINEPREFIX=$prefix WINEDEBUG=-all
mkdir -p "$folder"
problem=''
if unzip -q "$work/published/$zip_name" -d "$folder" >"$work/unzip.log" 2>&1; then
  listing=$(cd "$folder" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort | tr '\n' ' ')
  [[ $listing == "README.txt Velmora.exe velmora-cli.exe " ]] || problem="unpacked: $listing"
else
  problem="unzip: $(tr '\n' ' ' <"$work/unzip.log")"
fi
result "unpacks into $folder_windows" "$problem"

# probe: runs "probe state" in the prefix; the facts go to the array P.
declare -A P=()
probe() {
  P=()
  wine "$probe_exe" state </dev/null >"$work/probe.out" 2>/dev/null 8>&- || return 1
  local line
  while IFS= read -r line; do
    line=${line%$'\r'}
    [[ $line == *=* ]] && P[${line%%=*}]=${line#*=}
  done <"$work/probe.out"
  return 0
}

# ---- velmora-cli.exe first: its report is what the window must show ----
cli_run() {  # cli_run ARGS...: output in cli_out, exit status in cli_status
  cli_status=0
  (cd "$folder" && wine "$folder_windows\\velmora-cli.exe" "$@") \
    </dev/null >"$work/cli.out" 2>"$work/cli.err" 8>&- || cli_status=$?
  cli_out=$(tr -d '\r' <"$work/cli.out")
}
cli_run
problem=''
lines=$(wc -l <"$work/cli.out")
if ((cli_status != 0)); then
  problem="exit status $cli_status; stderr: $(velmora_filter_wine_noise <"$work/cli.err" | head -c 300)"
elif [[ $(head -n 1 <<<"$cli_out") != '[Input data]' || $lines != 14 ]]; then
  problem="unexpected report ($lines lines): $cli_out"
fi
result "velmora-cli.exe prints the default report, exit 0" "$problem"
report=$cli_out

cli_run --version
want="velmora-cli $version_text ($version)"
problem=''
((cli_status == 0)) || problem="exit status $cli_status"
[[ $cli_out == "$want" ]] || problem+="got '$cli_out', expected '$want'"
result "velmora-cli.exe --version" "$problem"

for exe in Velmora.exe velmora-cli.exe; do
  problem=$("$python" "$here/release_check.py" pe "$folder/$exe" "$version" 2>&1 | tr '\n' ' ')
  result "$exe: version resource $version, no time stamps" "$problem"
done

# ---- Velmora.exe: window, title, Enter calculates ----
(cd "$folder" && exec wine "$folder_windows\\Velmora.exe") </dev/null >"$work/app.log" 2>&1 8>&- &
app_pid=$!
win='' problem=''
deadline=$((SECONDS + start_timeout))
while ((SECONDS < deadline)); do
  kill -0 "$app_pid" 2>/dev/null || { problem="the program ended at start-up"; break; }
  if probe && [[ -n ${P[title]-} ]]; then
    win=$(xdotool search --onlyvisible --name "^${title//./\\.}\$" 2>/dev/null | head -n 1)
    [[ -n $win ]] && break
  fi
  sleep 0.3
done
[[ -n $win || -n $problem ]] || problem="no window within ${start_timeout}s (title '${P[title]-none}')"
[[ -z $win || ${P[title]-} == "$title" ]] || problem="title '${P[title]-}'"
result "Velmora.exe opens its window \"$title\"" "$problem"
[[ -n $win ]] || finish

problem=''
[[ -z ${P[text.EditZor]-} ]] || problem="results before any calculation: '${P[text.EditZor]}'"
if timeout 5 xdotool windowfocus --sync "$win" 8>&- && [[ -z $problem ]]; then
  xdotool key --clearmodifiers Return 8>&-
  for ((i = 0; i < 30; i++)); do
    sleep 0.2
    probe && [[ -n ${P[text.EditDecr]-} ]] && break
  done
  # The window's result boxes against the "[Result data]" lines of the report.
  results=${report#*\[Result data\]}
  for pair in EditZor:Zo EditR2:R2 EditR4:R4 EditZio:Zio; do
    box=${pair%%:*} label=${pair#*:}
    want=$(sed -n -E "s/^$label = *//p" <<<"$results" | head -n 1)
    got=$(sed -E 's/^ +//' <<<"${P[text.$box]-}")
    [[ $got == "$want" ]] || problem+="$box '$got', the report says '$want'; "
  done
else
  [[ -n $problem ]] || problem="could not focus the window"
fi
import -display "$DISPLAY" -window root "$build_dir/release-unpacked.png" 8>&- 2>/dev/null
result "Enter in the first box calculates what velmora-cli.exe reports" "$problem"

problem=''
timeout 5 xdotool windowfocus --sync "$win" key alt+F4 8>&- >/dev/null 2>&1
for ((i = 0; i < 100; i++)); do
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$app_pid" 2>/dev/null; then
  problem="still running 10 s after Alt+F4"
else
  status=0
  wait "$app_pid" || status=$?
  app_pid=''
  ((status == 0)) || problem="exit status $status"
fi
result "Alt+F4 ends Velmora.exe" "$problem"
finish
