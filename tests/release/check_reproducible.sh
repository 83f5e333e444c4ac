#!/usr/bin/env bash
# Usage: tests/release/check_reproducible.sh SOURCE_DIR BUILD_DIR PYTHON VERSION VERSION_TEXT
#
# Builds the release a second time and compares it with the one of BUILD_DIR
# (a configured and built Windows tree), byte for byte: Velmora.exe,
# velmora-cli.exe, the zip and SHA256SUMS.
#
# The second build differs from the first in everything that must not
# matter: a copy of the sources in another folder (with a space in its
# name), another build folder, a later time, another time zone and umask.
# Only the two programs are built there (no tests), which keeps this to a
# couple of minutes. Both zips take their time from the commit: the first
# through git, the second through SOURCE_DATE_EPOCH.
#
# Whatever the comparison says, each program is also checked directly for
# time stamps and for the source and build folders of both builds
# (release_check.py pe), and the zip for its entries and dates
# (release_check.py zip).
set -uo pipefail

if (($# != 5)); then
  echo "usage: $(basename "$0") SOURCE_DIR BUILD_DIR PYTHON VERSION VERSION_TEXT" >&2
  exit 2
fi
source_dir=$(cd "$1" && pwd) || exit 2
build_dir=$(cd "$2" && pwd) || exit 2
python=$3 version=$4 version_text=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
check() { "$python" "$here/release_check.py" "$@"; }
zip_name=velmora-$version-win64.zip
programs=(Velmora.exe velmora-cli.exe)
entries=(README.txt Velmora.exe velmora-cli.exe)

cache_value() {
  sed -n -E "s/^$1:[A-Z]+=(.*)$/\1/p" "$build_dir/CMakeCache.txt"
}
cmake=$(cache_value CMAKE_COMMAND)
cpack=$(cache_value CMAKE_CPACK_COMMAND)
generator=$(cache_value CMAKE_GENERATOR)
build_type=$(cache_value CMAKE_BUILD_TYPE)
toolchain=$(cache_value CMAKE_TOOLCHAIN_FILE)
werror=$(cache_value VELMORA_WERROR)
[[ -n $cmake && -x $cpack && -n $toolchain ]] ||
  { echo "$build_dir is no configured Windows build tree" >&2; exit 2; }
toolchain=${toolchain#"$source_dir"/}

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT
second_source="$work/second source"
second_build="$work/second build"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null)}
[[ $epoch =~ ^[0-9]+$ ]] || { echo "no commit time: not a git checkout and SOURCE_DATE_EPOCH unset" >&2; exit 2; }

# ---- First: the tree that was built, packed now ----
if ! TZ=UTC0 "$cpack" --config "$build_dir/CPackConfig.cmake" -B "$work/first" >"$work/first.log" 2>&1; then
  cat "$work/first.log"
  echo "FAIL: cpack in $build_dir"
  exit 1
fi

# ---- Second: the same sources elsewhere, built later ----
mkdir -p "$second_source"
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  # The files of the working tree as they are, tracked or new, without what
  # git ignores (build folders).
  (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [[ -e $f ]] && printf '%s\0' "$f"; done |
    tar --null -T - -cf -) | tar -xf - -C "$second_source"
else
  (cd "$source_dir" && tar --exclude=./build --exclude=./.git -cf - .) | tar -xf - -C "$second_source"
fi
sleep 2  # a clock that moved on, even if the first tree was linked a moment ago
(
  umask 077
  export TZ=JST-9 SOURCE_DATE_EPOCH=$epoch
  cmake_args=(-S "$second_source" -B "$second_build" -G "$generator"
    -DCMAKE_TOOLCHAIN_FILE="$second_source/$toolchain" -DCMAKE_BUILD_TYPE="$build_type"
    -DVELMORA_WERROR="$werror" -DVELMORA_TESTS=OFF
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON)  # cpack: no other targets
  "$cmake" "${cmake_args[@]}" &&
    "$cmake" --build "$second_build" -j 2 --target Velmora velmora-cli &&
    "$cpack" --config "$second_build/CPackConfig.cmake" -B "$work/second"
) >"$work/second.log" 2>&1 || { tail -n 40 "$work/second.log"; echo "FAIL: the second build"; exit 1; }

# ---- Comparison ----
differs() {  # a short account of where two files differ
  local count
  count=$(cmp -l "$1" "$2" 2>/dev/null | wc -l)
  echo "sizes $(stat -c %s "$1") and $(stat -c %s "$2"), $count bytes differ; first: $(cmp "$1" "$2" 2>&1 | head -n 1)"
}
compare() {
  if cmp -s "$2" "$3"; then
    echo "same: $1"
  else
    fail "$1 differs between the builds: $(differs "$2" "$3")"
  fi
}
for p in "${programs[@]}"; do
  compare "$p" "$build_dir/$p" "$second_build/$p"
done
compare "$zip_name" "$work/first/$zip_name" "$work/second/$zip_name"
compare SHA256SUMS "$work/first/SHA256SUMS" "$work/second/SHA256SUMS"

# ---- Direct checks, so that a failure says why ----
forbid=()
for d in "$source_dir" "$build_dir" "$second_source" "$second_build"; do
  forbid+=(--forbid "$d")
done
for p in "${programs[@]}"; do
  for f in "$build_dir/$p" "$second_build/$p"; do
    check pe "$f" "$version" "${forbid[@]}" || fail "$f (above)"
  done
done
for z in "$work/first/$zip_name" "$work/second/$zip_name"; do
  check zip "$z" "$epoch" "$version_text" "${entries[@]}" || fail "$z (above)"
done
(cd "$work/first" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the zip"

echo "zip: $(stat -c %s "$work/first/$zip_name") bytes, $(cat "$work/first/SHA256SUMS")"
if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "the two builds are identical"
