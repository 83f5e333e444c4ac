#!/usr/bin/env bash
# Usage: tests/print/run_print_test.sh PRINT_REPORT.exe
#
# Prints the default report through a real CUPS service into PDF files and
# checks what lands on paper. Needs root (it may start cupsd and adds queues);
# as another user it reports itself skipped (exit 77), except in CI, where
# that is a failure. Two queues of its own, named after this run:
#   velmora-test-PID-pdf    cups-pdf with its stock PPD (printable area =
#                           whole A4 page), the program's default printer,
#   velmora-test-PID-inset  the same with the printable area inset by
#                           18 pt x 24 pt, so the printer reports physical
#                           offsets and the code must subtract them.
# The machine's printing set-up is left as it was found: the queues are
# removed afterwards, the machine's default printer is never changed (the
# program's default comes from LPDEST, which the print service reads for this
# process tree only), and a cupsd started here is stopped again.
# Checks, for a print on each queue: the report's lines in order, and the
# first line's left edge 20 mm (+-0.5 mm) and top 20 mm (+-3 pt, the text
# box's top is the font's ascent) from the paper's edges. Then the Print
# command's dialog path (print_report dialog): placement, owner, first the
# default printer, the choice kept across a cancel, a second print refused
# while a job is handed over, and exactly two jobs reaching the chosen queue.
# Last, a report whose Zo box holds 30,000 characters ("600" and spaces):
# printed within a time limit, window messages handled all along, and the
# report's lines in the PDF.
#
# The program runs in its own Wine prefix (VELMORA_PRINT_WINEPREFIX, default:
# the usual prefix with "-print" appended) whose print face is replaced by VL
# Gothic: the IPA faces reach the PDF without a Unicode map, so no text could
# be read back from them.
# Ends with "N passed, M failed"; exit status 1 when anything failed.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
# shellcheck source=scripts/common.sh
source "$scripts/common.sh"

(($# == 1)) || { echo "usage: $(basename "$0") PRINT_REPORT.exe" >&2; exit 2; }
exe=$(readlink -f "$1")
[[ -f $exe ]] || velmora_die "$1 not found"
readonly skip_status=77
if [[ $(id -u) != 0 ]]; then
  velmora_in_ci && velmora_die "needs root (it starts cupsd and adds print queues), and CI must print"
  echo "skipped: needs root to start cupsd and add print queues (running as $(id -un))"
  exit "$skip_status"
fi
velmora_need lpadmin lpstat cupsd pdftotext pdfinfo wine iconv timeout

readonly stock_ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
readonly stock_model=lsb/usr/cups-pdf/CUPS-PDF_opt.ppd
readonly queue=velmora-test-$$-pdf inset_queue=velmora-test-$$-inset
readonly margin_pt=56.693  # 20 mm
readonly x_tolerance_pt=1.417  # 0.5 mm
readonly y_tolerance_pt=3
[[ -f $stock_ppd ]] || velmora_die "$stock_ppd not found; run scripts/install-deps.sh first"

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-print.XXXXXX")
passed=0
failed=0
cupsd_pid=''  # set when this script started the print service
pdfs=()       # the PDF files this run made

# Puts the printing set-up back as it was found and removes what was made.
remove_queues() {
  local q
  for q in "$queue" "$inset_queue"; do
    lpstat -p "$q" >/dev/null 2>&1 && lpadmin -x "$q" 2>/dev/null
  done
  return 0
}
clean_up() {
  remove_queues
  if [[ -n $cupsd_pid ]]; then
    kill "$cupsd_pid" 2>/dev/null
    wait "$cupsd_pid" 2>/dev/null
    cupsd_pid=''
  fi
  ((${#pdfs[@]} == 0)) || rm -f "${pdfs[@]}"
  pdfs=()
}
trap 'clean_up; rm -rf "$work"' EXIT

check() { velmora_check "$@"; }

# ---- The print service ----

# Starts cupsd unless it runs already (then it is left running afterwards).
start_cups() {
  if ! lpstat -r 2>/dev/null | grep -q 'is running'; then
    setsid /usr/sbin/cupsd -f </dev/null >/dev/null 2>&1 &
    cupsd_pid=$!
  fi
  local i
  for ((i = 0; i < 100; i++)); do
    lpstat -r 2>/dev/null | grep -q 'is running' && return 0
    sleep 0.1
  done
  velmora_die "cupsd is not answering"
}

# Creates both queues and makes the first the default of this process tree.
make_queues() {
  sed 's|^\*ImageableArea A4/A4: "0 0 595 842"|*ImageableArea A4/A4: "18 24 577 818"|' \
    "$stock_ppd" >"$work/inset.ppd"
  grep -q '^\*ImageableArea A4/A4: "18 24 577 818"' "$work/inset.ppd" ||
    velmora_die "the A4 printable area in $stock_ppd has changed; adjust this script"
  # "Printer drivers are deprecated" is the only thing lpadmin says here.
  lpadmin -p "$queue" -E -v cups-pdf:/ -m "$stock_model" 2>/dev/null ||
    velmora_die "lpadmin could not create $queue"
  lpadmin -p "$inset_queue" -E -v cups-pdf:/ -P "$work/inset.ppd" 2>/dev/null ||
    velmora_die "lpadmin could not create $inset_queue"
  export LPDEST=$queue
}

# The directory cups-pdf writes into for the current user (its setting names
# ${HOME} literally).
# shellcheck disable=SC2016
pdf_dir() {
  local out home
  out=$(sed -n 's/^[[:space:]]*Out[[:space:]]\+//p' /etc/cups/cups-pdf.conf 2>/dev/null | tail -n 1)
  home=$(getent passwd "$(id -u)" | cut -d: -f6)
  out=${out:-'${HOME}/PDF'}
  echo "${out//'${HOME}'/$home}"
}

completed_jobs() {  # completed jobs of queue $1
  lpstat -W completed -o "$1" 2>/dev/null | wc -l
}

# Waits (bounded) until the service has no unfinished job.
wait_for_jobs() {
  local i
  for ((i = 0; i < 600; i++)); do
    [[ -z $(lpstat -W not-completed -o 2>/dev/null) ]] && return 0
    sleep 0.1
  done
  return 1
}

# Prints the newest PDF written after the marker file $1, waiting for it.
newest_pdf_after() {
  local marker=$1 dir i f
  dir=$(pdf_dir)
  for ((i = 0; i < 100; i++)); do
    f=$(find "$dir" -maxdepth 1 -name '*.pdf' -newer "$marker" -printf '%T@ %p\n' 2>/dev/null |
      sort -n | tail -n 1 | cut -d' ' -f2-)
    if [[ -n $f && -s $f ]]; then
      echo "$f"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# ---- The Wine prefix ----

prepare_prefix() {
  local prefix=${VELMORA_PRINT_WINEPREFIX:-$(velmora_default_prefix)-print}
  velmora_use_wine "$prefix"
  export VELMORA_WINEPREFIX=$prefix
  local stamp=$prefix/.velmora-print-fonts
  [[ -f $stamp ]] && return 0
  velmora_write_reg_file "$prefix/drive_c/velmora-print-fonts.reg" <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"ＭＳ 明朝"="VL Gothic"
"MS Mincho"="VL Gothic"

EOF
  wine regedit /S 'C:\velmora-print-fonts.reg' </dev/null >/dev/null 2>&1 ||
    velmora_die "could not set the print font in $prefix"
  rm -f "$prefix/drive_c/velmora-print-fonts.reg"
  touch "$stamp"
}

run_program() {  # runs print_report with the given arguments
  "$scripts/wine-run.sh" "$exe" "$@"
}

# ---- Checking a PDF ----

# Non-empty lines with runs of blanks squeezed to one space.
squeeze() { sed -e 's/[[:space:]]\+/ /g' -e 's/^ //' -e 's/ $//' | grep -v '^$'; }

# The top-left corner (xMin yMin in points) of each text line of page 1, one
# line per text line, top to bottom.
line_corners() {
  pdftotext -f 1 -l 1 -bbox-layout "$1" - 2>/dev/null |
    sed -n 's/.*<line xMin="\([0-9.]*\)" yMin="\([0-9.]*\)".*/\1 \2/p'
}

within() {  # within VALUE WANT TOLERANCE
  awk -v v="$1" -v w="$2" -v t="$3" 'BEGIN { d = v - w; if (d < 0) d = -d; exit !(d <= t) }'
}

# Checks the printed PDF $1 against the report in file $2; $3 names the print.
check_pdf() {
  local pdf=$1 report=$2 name=$3
  pdftotext -layout "$pdf" "$work/text" 2>/dev/null
  squeeze <"$work/text" >"$work/got"
  squeeze <"$report" >"$work/want"
  check "$name: report lines in order ($(wc -l <"$work/got") of $(wc -l <"$work/want"))" \
    cmp -s "$work/got" "$work/want"
  check "$name: the report has 14 lines" [ "$(wc -l <"$report")" -eq 14 ]

  local corners first x y
  corners=$(line_corners "$pdf")
  first=$(head -n 1 <<<"$corners")
  read -r x y <<<"$first"
  check "$name: first line's left edge at 20 mm ($x pt)" within "${x:-0}" "$margin_pt" "$x_tolerance_pt"
  check "$name: first line's top at 20 mm ($y pt)" within "${y:-0}" "$margin_pt" "$y_tolerance_pt"
  # Text lines advance by their height + 2 px, the empty line 7 by the height
  # alone: line 8 sits 2 x pitch - 2 px (0.48 pt at 300 dpi) below line 6.
  local y1 y2 y6 y8
  y1=$(sed -n 1p <<<"$corners" | cut -d' ' -f2)
  y2=$(sed -n 2p <<<"$corners" | cut -d' ' -f2)
  y6=$(sed -n 6p <<<"$corners" | cut -d' ' -f2)
  y8=$(sed -n 7p <<<"$corners" | cut -d' ' -f2)
  local gap
  gap=$(awk -v a="${y1:-0}" -v b="${y2:-0}" -v c="${y6:-0}" -v d="${y8:-0}" \
    'BEGIN { printf "%.3f", (d - c) - 2 * (b - a) }')
  check "$name: the empty line advances 2 px less than a text line ($gap pt)" within "$gap" -0.48 0.25
}

# ---- The prints ----

# Prints the report with no dialog on printer $1 (empty: the default
# printer) and checks the PDF; $2 is the offset the printer must report.
print_and_check() {
  local printer=$1 want_offset=$2 name=${1:-default printer}
  local marker=$work/marker-$RANDOM
  touch "$marker"
  sleep 0.01
  local args=(print)
  [[ -n $printer ]] && args+=("$printer")
  if ! run_program "${args[@]}" >"$work/report" 2>"$work/err"; then
    cat "$work/err" >&2
    check "$name: printed" false
    return
  fi
  local offset
  offset=$(sed -n 's/.*offset \([-0-9]*,[-0-9]*\).*/\1/p' "$work/err")
  check "$name: printer offsets $offset" [ "$offset" = "$want_offset" ]
  check "$name: job completed" wait_for_jobs
  local pdf
  if ! pdf=$(newest_pdf_after "$marker"); then
    check "$name: a PDF was written" false
    return
  fi
  pdfs+=("$pdf")
  cp "$pdf" "$work/last.pdf"
  cp "$work/report" "$work/expected-report"
  check_pdf "$pdf" "$work/report" "$name"
}

dialog_path() {
  local before_default before_inset marker=$work/marker-dialog
  wait_for_jobs
  before_default=$(completed_jobs "$queue")
  before_inset=$(completed_jobs "$inset_queue")
  touch "$marker"
  run_program dialog "$queue" "$inset_queue" >"$work/dialog" 2>"$work/dialog.err"
  local status=$?
  cat "$work/dialog"
  passed=$((passed + $(grep -c '^ok:' "$work/dialog")))
  failed=$((failed + $(grep -c '^FAIL:' "$work/dialog")))
  check "dialog run ended normally (status $status)" [ "$status" -eq 0 ]
  check "dialog run: jobs completed" wait_for_jobs
  local d i
  d=$(($(completed_jobs "$inset_queue") - before_inset))
  i=$(($(completed_jobs "$queue") - before_default))
  check "dialog run: two jobs on $inset_queue ($d), none on $queue ($i)" [ "$d" -eq 2 -a "$i" -eq 0 ]
  local pdf
  if pdf=$(newest_pdf_after "$marker"); then
    pdfs+=("$pdf")
    check_pdf "$pdf" "$work/expected-report" "dialog print"
  else
    check "dialog run: a PDF was written" false
  fi
}

# The Zo box at its limit: "600" and 29,997 spaces make one report line that
# wraps over a few pages. Drawing it takes Wine's PostScript driver about a
# millisecond per character; the line breaking must add little to that.
long_line() {
  local name="30,000-character Zo line" limit=120 marker=$work/marker-long
  wait_for_jobs
  touch "$marker"
  sleep 0.01
  local status=0
  timeout "$limit" "$scripts/wine-run.sh" "$exe" longline 30000 "$queue" \
    >"$work/long-report" 2>"$work/long-err" || status=$?
  check "$name: printed within $limit s (status $status)" [ "$status" -eq 0 ]
  ((status == 0)) || { cat "$work/long-err" >&2; return; }
  local took waited
  took=$(sed -n 's/.*printed in \([0-9]*\) ms.*/\1/p' "$work/long-err")
  waited=$(sed -n 's/.*messages waited at most \([0-9]*\) ms.*/\1/p' "$work/long-err")
  echo "$name: printed in ${took:-?} ms"
  check "$name: window messages handled at least every 2 s (longest wait ${waited:-?} ms)" \
    [ "${waited:-999999}" -lt 2000 ]
  check "$name: job completed" wait_for_jobs
  local pdf
  if ! pdf=$(newest_pdf_after "$marker"); then
    check "$name: a PDF was written" false
    return
  fi
  pdfs+=("$pdf")
  pdftotext -layout "$pdf" "$work/long-text" 2>/dev/null
  squeeze <"$work/long-text" >"$work/long-got"
  squeeze <"$work/long-report" >"$work/long-want"
  check "$name: report lines in order ($(wc -l <"$work/long-got") of $(wc -l <"$work/long-want"))" \
    cmp -s "$work/long-got" "$work/long-want"
  local pages
  pages=$(pdfinfo "$pdf" 2>/dev/null | sed -n 's/^Pages: *//p')
  check "$name: the line wraps onto more pages (${pages:-?})" [ "${pages:-0}" -gt 1 ]
}

# The machine's default printer (lpstat -d), or "none".
system_default() {
  local d
  d=$(env -u LPDEST -u PRINTER lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p')
  echo "${d:-none}"
}

start_cups
default_before=$(system_default)
make_queues
prepare_prefix
print_and_check "" "0,0"
print_and_check "$inset_queue" "75,100"
dialog_path
long_line
if [[ -n ${VELMORA_PRINT_KEEP:-} && -f $work/last.pdf ]]; then
  cp "$work/last.pdf" "$VELMORA_PRINT_KEEP"
fi
check "the machine's default printer is unchanged ($default_before)" \
  [ "$(system_default)" = "$default_before" ]
wait_for_jobs
remove_queues
check "this run's queues are gone" [ -z "$(lpstat -p 2>/dev/null | grep -F -e "$queue" -e "$inset_queue")" ]
clean_up

echo "$passed passed, $failed failed"
((failed == 0))
