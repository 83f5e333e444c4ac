#!/usr/bin/env bash
# Usage: tests/cli/check_write_failures.sh size-limit|full-disk CLI [WIN_TESTS.exe]
#
# Files that cannot be written whole leave the old file as it was: the fault
# was a 4,096-byte torn SVG or netlist in place of a good one, with exit 9.
# For --plot and --netlist, a good file is written first, then a new one
# fails half-way:
#   size-limit  under `ulimit -f 4` with SIGXFSZ ignored (and, natively, with
#               SIGXFSZ left as it was: the program ignores it itself);
#   full-disk   on a small tmpfs mounted here and filled up. Needs root: when
#               the mount is refused the case is skipped (exit 77).
# Each time: exit 9, the message naming the file, the old file byte for byte,
# and nothing else in its folder. A CLI ending in .exe runs under Wine
# (scripts/wine-run.sh), the wineserver started before any limit is set;
# WIN_TESTS.exe (velmora_win_tests) then runs the same failure through the
# window's save path (SaveFileFailures.*, told the limit or the folder by
# VELMORA_FILE_SIZE_LIMIT / VELMORA_FULL_FOLDER).
# Ends with "N passed, M failed"; exit status 1 when anything failed.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
# shellcheck source=scripts/common.sh
source "$scripts/common.sh"

(($# == 2 || $# == 3)) || { echo "usage: $(basename "$0") size-limit|full-disk CLI [WIN_TESTS.exe]" >&2; exit 2; }
case_name=$1
cli=$(readlink -f "$2")
win_tests=${3:+$(readlink -f "$3")}
[[ -f $cli ]] || velmora_die "$2 not found"
readonly skip_status=77

run=("$cli")
wine=0
if [[ $cli == *.exe ]]; then
  wine=1
  run=("$scripts/wine-run.sh" "$cli")
  # The prefix and its wineserver first: a server started under the limit
  # would write its own files under it.
  velmora_use_wine "$(velmora_default_prefix)" "${VELMORA_XVFB:-0}"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-write-failures.XXXXXX")
mounted=''
cleanup() {
  [[ -n $mounted ]] && umount "$mounted" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' TERM INT HUP  # the mount is undone on a timeout too
passed=0
failed=0

# Netlist inputs long enough to make the netlist larger than 4,096 bytes:
# the report's spaces are dropped when the text is read, kept in the comment.
big_r1="10k$(printf '%9000s' '')"

# limited HOW COMMAND...: the command under a 4-block (4,096-byte) file size
# limit, SIGXFSZ ignored (HOW=ignored) or reset to its default action
# (HOW=default; a shell started with it ignored cannot reset it).
limited() {
  local how=$1
  shift
  if [[ $how == ignored ]]; then
    bash -c 'trap "" XFSZ; ulimit -f 4; exec "$@"' limited "$@"
  else
    bash -c 'trap - XFSZ; ulimit -f 4; exec "$@"' limited "$@"
  fi
}

# expect_kept WHAT FILE GOOD STATUS ERR FOLDER_LISTING: exit 9 with the
# message naming FILE, FILE equal to GOOD, the folder holding exactly LISTING.
expect_kept() {
  local what=$1 file=$2 good=$3 status=$4 err=$5 listing=$6 ok=1
  if [[ $status != 9 ]]; then
    echo "  $what: exit $status, expected 9"
    ok=0
  fi
  if ! grep -q "^velmora-cli: cannot write \"[^\"]*$(basename "$file")\": " <<<"$err"; then
    echo "  $what: no message naming the file in: $err"
    ok=0
  fi
  if ! cmp -s "$file" "$good"; then
    echo "  $what: the old file changed: $(stat -c %s "$file" 2>/dev/null || echo gone) bytes, was $(stat -c %s "$good")"
    ok=0
  fi
  local names
  names=$(ls -A "$(dirname "$file")" | tr '\n' ' ')
  if [[ $names != "$listing" ]]; then
    echo "  $what: the folder holds \"$names\", expected \"$listing\""
    ok=0
  fi
  ((ok))
}

# write_good FILE ARGS...: a good file, written without any limit, and its copy FILE.good.
write_good() {
  local file=$1
  shift
  "${run[@]}" "$@" >/dev/null 2>&1 || velmora_die "could not write the good file $file"
  cp "$file" "$work/$(basename "$file").good"
}

plot_args=(--tolerance --samples 5000 --seed 7)
size_limit() {
  local folder=$work/files how status err
  mkdir -p "$folder"
  write_good "$folder/good.svg" --tolerance --samples 2000 --seed 42 --plot "$folder/good.svg"
  write_good "$folder/big.cir" --netlist "$folder/big.cir" --r1 "$big_r1"
  local hows=(ignored)
  ((wine)) || hows+=(default)
  for how in "${hows[@]}"; do
    status=0
    err=$(limited "$how" "${run[@]}" "${plot_args[@]}" --plot "$folder/good.svg" 2>&1 >/dev/null) || status=$?
    velmora_check "--plot under a size limit, SIGXFSZ $how" \
      expect_kept plot "$folder/good.svg" "$work/good.svg.good" "$status" "$err" "big.cir good.svg "
    status=0
    err=$(limited "$how" "${run[@]}" --netlist "$folder/big.cir" --r1 "$big_r1" --gain 6 2>&1 >/dev/null) || status=$?
    velmora_check "--netlist under a size limit, SIGXFSZ $how" \
      expect_kept netlist "$folder/big.cir" "$work/big.cir.good" "$status" "$err" "big.cir good.svg "
  done
  if ((!wine)); then
    # The message as the C library words it; under Wine it depends on Wine's mapping.
    err=$(limited ignored "$cli" --netlist "$folder/big.cir" --r1 "$big_r1" 2>&1 >/dev/null)
    velmora_check "the size limit's message" grep -q ': File too large$' <<<"$err"
  fi
  if [[ -n $win_tests ]]; then
    velmora_check "WriteWholeFile under a size limit" \
      env VELMORA_FILE_SIZE_LIMIT=4096 bash -c 'trap "" XFSZ; ulimit -f 4; exec "$@"' limited \
      "$scripts/wine-run.sh" "$win_tests" --gtest_filter=SaveFileFailures.UnderASizeLimit --gtest_brief=1
  fi
}

full_disk() {
  local folder=$work/full status err
  mkdir -p "$folder"
  if ! mount -t tmpfs -o size=64k velmora-full "$folder" 2>"$work/mount.err"; then
    velmora_in_ci && velmora_die "could not mount a small file system: $(cat "$work/mount.err")"
    echo "skipped: mounting a small tmpfs was refused ($(cat "$work/mount.err")); it needs root"
    exit "$skip_status"
  fi
  mounted=$folder
  write_good "$folder/good.svg" --tolerance --samples 2000 --seed 42 --plot "$folder/good.svg"
  write_good "$folder/stage.cir" --netlist "$folder/stage.cir"
  mkdir "$folder/win"
  printf 'old netlist\n' >"$folder/win/old.cir"
  dd if=/dev/zero of="$folder/fill" bs=1k 2>/dev/null
  # Writing in place would have fitted the plot into the old one's room; a
  # new file beside it cannot, nor can the larger netlist.
  status=0
  err=$("${run[@]}" "${plot_args[@]}" --plot "$folder/good.svg" 2>&1 >/dev/null) || status=$?
  velmora_check "--plot on a full file system" \
    expect_kept plot "$folder/good.svg" "$work/good.svg.good" "$status" "$err" "fill good.svg stage.cir win "
  velmora_check "the full file system's message" grep -q ': No space left on device$' <<<"$err"
  status=0
  err=$("${run[@]}" --netlist "$folder/stage.cir" --r1 "$big_r1" 2>&1 >/dev/null) || status=$?
  velmora_check "--netlist on a full file system" \
    expect_kept netlist "$folder/stage.cir" "$work/stage.cir.good" "$status" "$err" "fill good.svg stage.cir win "
  if [[ -n $win_tests ]]; then
    velmora_check "WriteWholeFile on a full file system" \
      env VELMORA_FULL_FOLDER="Z:$folder/win" \
      "$scripts/wine-run.sh" "$win_tests" --gtest_filter=SaveFileFailures.OnAFullDisk --gtest_brief=1
  fi
}

case $case_name in
  size-limit) size_limit ;;
  full-disk) full_disk ;;
  *) velmora_die "unknown case $case_name" ;;
esac
echo "$passed passed, $failed failed"
((failed == 0))
