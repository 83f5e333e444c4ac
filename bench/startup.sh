#!/usr/bin/env bash
# Usage: bench/startup.sh [-n RUNS]
#
# Compares how long Velmora takes to show its main window with how long the
# smallest possible Win32 program (bench/minimal_win32.cpp, built with the
# compiler, flags and static link options of Velmora's build) takes to show an empty window of the same client
# size. Both run under Wine on Xvfb with the wineserver already running; each
# measurement is the time from starting the process until X reports its
# top-level window mapped. Runs alternate between the two programs so that any
# drift affects both alike. Prints the medians, the ratio Velmora/minimal and
# the size of Velmora.exe.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scripts=$root/scripts
# shellcheck source=scripts/common.sh
source "$scripts/common.sh"

runs=15
readonly warmup_runs=2
readonly window_timeout=60 # seconds
readonly close_timeout=10  # seconds

while (($# > 0)); do
  case "$1" in
    -n)
      if (($# < 2)) || [[ ! $2 =~ ^[1-9][0-9]*$ ]]; then
        velmora_die "-n needs a positive count"
      fi
      runs=$2
      shift
      ;;
    *)
      echo "usage: $(basename "$0") [-n RUNS]" >&2
      exit 2
      ;;
  esac
  shift
done

bench_dir=$root/build/bench
velmora_exe=$root/build/windows/Velmora.exe
minimal_exe=$bench_dir/minimal.exe
velmora_title='Velmora Ver1.01'
minimal_title='Minimal'

# Runs a build step quietly; shows its output on failure.
quiet() {
  local out
  if ! out=$("$@" </dev/null 2>&1); then
    printf '%s\n' "$out" | tail -n 60 >&2
    velmora_die "failed: $*"
  fi
}

# Prints the value of VAR from the make fragment FILE ("VAR = value").
make_var() {
  sed -n -E "s/^$2 = (.*)/\\1/p" "$1"
}

# Prints the compiler and options of Velmora's link command, without objects,
# libraries and output (the options end where the object archive begins).
velmora_link_options() {
  local link_line
  link_line=$(grep -E -- '-o Velmora\.exe' "$root/build/windows/CMakeFiles/Velmora.dir/link.txt")
  local -a words
  read -r -a words <<<"$link_line"
  printf '%s\n' "${words[0]}"
  local w
  for w in "${words[@]:1}"; do
    [[ $w == -* && $w != -Wl,--whole-archive && $w != -o ]] || break
    printf '%s\n' "$w"
  done
}

# Builds Velmora.exe, then minimal.exe with exactly the compiler, compile flags
# and link options the build tree used for Velmora (static runtime included).
build_programs() {
  cd "$root"
  quiet cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
  quiet cmake --build build/windows -j2 --target Velmora
  [[ -f $velmora_exe ]] || velmora_die "the build did not produce $velmora_exe"
  local flags=$root/build/windows/CMakeFiles/Velmora.dir/flags.make
  [[ -f $flags ]] || velmora_die "$flags not found"
  local -a compile link
  read -r -a compile <<<"$(make_var "$flags" CXX_DEFINES) $(make_var "$flags" CXX_FLAGS)"
  mapfile -t link < <(velmora_link_options)
  ((${#link[@]} > 1)) || velmora_die "could not read Velmora's link command"
  mkdir -p "$bench_dir"
  quiet "${link[0]}" "${compile[@]}" -o "$minimal_exe" "$root/bench/minimal_win32.cpp" \
    "${link[@]:1}"
}

# Prints the id of the visible window titled $2 that process $1 owns, if any.
find_window() {
  xdotool search --all --onlyvisible --pid "$1" --name "^${2//./\\.}\$" 2>/dev/null |
    head -n 1 || true
}

# Starts EXE, waits for its window titled TITLE, closes it; prints the
# microseconds from start to the mapped window.
time_start() {
  local exe=$1 title=$2 start now window='' pid
  start=$(date +%s%N)
  wine "$exe" </dev/null >/dev/null 2>&1 &
  pid=$!
  # Polling: xdotool's own --sync looks only every half second.
  while :; do
    window=$(find_window "$pid" "$title")
    [[ -n $window ]] && break
    kill -0 "$pid" 2>/dev/null || velmora_die "$(basename "$exe") exited before showing its window"
    now=$(date +%s%N)
    ((now - start < window_timeout * 1000000000)) ||
      velmora_die "$(basename "$exe") showed no window titled '$title' within ${window_timeout} s"
  done
  now=$(date +%s%N)
  velmora_close_program "$pid" "$window" "$close_timeout"
  sleep 0.2 # let Wine finish tearing the process down
  echo $(((now - start) / 1000))
}

# Reads microsecond samples, one a line; prints "median min max" in ms.
stats_ms() {
  sort -n | awk '{ v[NR] = $1 }
    END {
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "%.1f %.1f %.1f\n", m / 1000, v[1] / 1000, v[NR] / 1000
    }'
}

"$scripts/install-deps.sh"
build_programs
velmora_use_wine "$(velmora_default_prefix)" 1

for ((i = 0; i < warmup_runs; i++)); do
  time_start "$minimal_exe" "$minimal_title" >/dev/null
  time_start "$velmora_exe" "$velmora_title" >/dev/null
done
minimal_samples=()
velmora_samples=()
for ((i = 0; i < runs; i++)); do
  minimal_samples+=("$(time_start "$minimal_exe" "$minimal_title")")
  velmora_samples+=("$(time_start "$velmora_exe" "$velmora_title")")
done

read -r minimal_median minimal_min minimal_max < <(printf '%s\n' "${minimal_samples[@]}" | stats_ms)
read -r velmora_median velmora_min velmora_max < <(printf '%s\n' "${velmora_samples[@]}" | stats_ms)
size=$(stat -c %s "$velmora_exe")

echo "start to mapped window, $runs runs each (Wine $(wine --version 2>/dev/null), Xvfb $DISPLAY):"
printf '  %-12s median %7.1f ms   min %7.1f   max %7.1f\n' \
  minimal.exe "$minimal_median" "$minimal_min" "$minimal_max" \
  Velmora.exe "$velmora_median" "$velmora_min" "$velmora_max"
awk -v v="$velmora_median" -v m="$minimal_median" \
  'BEGIN { printf "  ratio Velmora/minimal: %.2f\n", v / m }'
awk -v s="$size" 'BEGIN { printf "Velmora.exe size: %d bytes (%.1f KiB)\n", s, s / 1024 }'
