#!/usr/bin/env bash
# Usage: scripts/install-deps.sh
#
# Installs the Debian 12 packages needed to build, test, fuzz and benchmark
# Velmora, cross-compile the Windows program and run it under Wine on a virtual
# X server. Does nothing (and needs no network) when all are present; otherwise
# installs the missing ones with apt-get, as root or through sudo.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/common.sh
source "$here/common.sh"

packages=(
  # native build, tests, fuzzing, benchmarks
  cmake make g++ clang libclang-rt-14-dev googletest libbenchmark-dev zlib1g-dev
  nlohmann-json3-dev
  # Windows cross build (static zlib for the target)
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev
  # running and driving the Windows program
  wine wine64 xvfb xdotool x11-utils xclip imagemagick
  fonts-wine fonts-ipafont-gothic fonts-ipafont-mincho fonts-vlgothic
  # printing through a real print queue (the print test)
  cups cups-client cups-bsd printer-driver-cups-pdf poppler-utils
  # start-up timing
  hyperfine
  # the circuit simulator the netlist is checked with
  ngspice
  # the release zip and the man page (making and checking them)
  python3 unzip groff-base
)

# Prints the packages from the list that are not installed.
missing_packages() {
  local installed
  installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null |
    awk '$2 == "ii" { print $1 }' || true)
  local p
  for p in "${packages[@]}"; do
    grep -qxF "$p" <<<"$installed" || echo "$p"
  done
}

# Runs its arguments as root: directly, or through sudo without a password prompt.
as_root() {
  if (($(id -u) == 0)); then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo -n "$@"
  else
    velmora_die "root is needed to install packages; run as root: apt-get install ${missing[*]}"
  fi
}

# Runs an apt-get command quietly; shows its output if it fails.
apt_quiet() {
  local log
  log=$(mktemp "${TMPDIR:-/tmp}/velmora-apt.XXXXXX")
  if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get -y -q "$@" </dev/null >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    velmora_die "apt-get $1 failed"
  fi
  rm -f "$log"
}

command -v dpkg-query >/dev/null 2>&1 || velmora_die "this needs a Debian system (dpkg-query not found)"
mapfile -t missing < <(missing_packages)
if ((${#missing[@]} > 0)); then
  echo "installing: ${missing[*]}" >&2
  apt_quiet update
  apt_quiet install "${missing[@]}"
  mapfile -t missing < <(missing_packages)
  ((${#missing[@]} == 0)) || velmora_die "still missing after apt-get install: ${missing[*]}"
fi

# Debian's "wine" command runs the 64-bit loader (/usr/lib/wine/wine64) when no
# 32-bit Wine is installed, which is all a 64-bit program needs.
if ! out=$(WINEDEBUG=-all wine --version 2>&1); then
  velmora_die "'wine --version' failed: $out"
fi
[[ -x /usr/lib/wine/wine64 ]] || velmora_die "64-bit Wine (/usr/lib/wine/wine64) is missing"
