#!/usr/bin/env bash
# Usage: tests/gui/run_gui_tests.sh VELMORA_EXE PROBE_EXE [CLI_EXE]
#
# Drives the real Velmora window under Wine on a virtual X screen the way a
# user does: X key events and mouse clicks from xdotool. What the window shows
# is read back with PROBE_EXE (tests/gui/probe.cpp). One line per case, then
# "N passed, M failed" (", K skipped" when a case could not be run here);
# the exit status is non-zero when a case failed.
#
# Environment: VELMORA_GUI_WINEPREFIX (default: the usual prefix + "-gui"),
# VELMORA_GUI_DISPLAY (default :88; its own screen, so that other programs'
# windows, focus and clipboard stay out of the way).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
# shellcheck source=scripts/common.sh
source "$root/scripts/common.sh"

if (($# < 2 || $# > 3)); then
  echo "usage: $(basename "$0") VELMORA_EXE PROBE_EXE [CLI_EXE]" >&2
  exit 2
fi
app_exe=$(realpath "$1") || velmora_die "no such program: $1"
probe_exe=$(realpath "$2") || velmora_die "no such program: $2"
cli_exe=''  # velmora-cli.exe: the netlist the window saves is compared with its own
if (($# == 3)); then cli_exe=$(realpath "$3") || velmora_die "no such program: $3"; fi
velmora_need wine wineserver xdotool xdpyinfo flock timeout realpath

readonly start_timeout=40   # seconds for the window to appear (a cold Wine is slow)
readonly settle_timeout=3   # seconds for the window to show what a case expects
readonly hold=0.3           # then the same must still hold this much later
title=$(velmora_title "$(dirname "$app_exe")")
readonly title

# ---- Display, prefix and a lock: one suite per screen at a time ----
# Descriptor 8 holds the lock. Every process started from here gets it closed,
# or Wine's long-lived helpers would keep the lock after this script ends.
export VELMORA_XVFB_DISPLAY=${VELMORA_GUI_DISPLAY:-:88}
lock=/tmp/velmora-gui-tests-${VELMORA_XVFB_DISPLAY#:}.lock
exec 8>"$lock"
flock -w 300 8 || velmora_die "timed out waiting for $lock (another GUI test run?)"
velmora_use_wine "${VELMORA_GUI_WINEPREFIX:-$(velmora_default_prefix)-gui}" 1 8>&-
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-gui.XXXXXX")
app_log=$work/app.log

# ---- The program under test ----
app_pid=''
declare -A rect_cache=()

# The probe runs as one long-lived process ("probe serve") fed through two
# FIFOs on descriptors 5 (commands) and 6 (answers): starting a Windows program
# for every look at the window would cost a large part of a second each time.
probe_pid=''

stop_probe() {
  [[ -n $probe_pid ]] || return 0
  exec 5>&- 6>&-
  kill "$probe_pid" 2>/dev/null
  wait "$probe_pid" 2>/dev/null
  probe_pid=''
}

start_probe() {
  stop_probe
  rm -f "$work/probe.in" "$work/probe.out"
  mkfifo "$work/probe.in" "$work/probe.out" || return 1
  wine "$probe_exe" serve <"$work/probe.in" >"$work/probe.out" 2>/dev/null 5>&- 6>&- 8>&- &
  probe_pid=$!
  # Opening both ends read-write never blocks, whatever the probe is doing.
  exec 5<>"$work/probe.in" 6<>"$work/probe.out"
}

# probe COMMAND [ARG]: runs one probe command; its output (Windows line ends
# removed) goes to probe_out, its exit code is the return value (9: no answer).
probe() {
  probe_out=''
  if [[ -z $probe_pid ]] || ! kill -0 "$probe_pid" 2>/dev/null; then
    start_probe || return 9
  fi
  printf '%s\n' "$*" >&5
  local line out=''
  while IFS= read -r -t 15 -u 6 line; do
    line=${line%$'\r'}
    if [[ $line == end=* ]]; then
      probe_out=${out%$'\n'}
      return "${line#end=}"
    fi
    out+=$line$'\n'
  done
  stop_probe  # no answer in time: a fresh probe at the next call
  return 9
}

# True while a main window is open in the prefix.
main_window_open() {
  probe state
}

# Ends the program started by start_app, if any, and waits until its window is gone.
stop_app() {
  [[ -n $app_pid ]] || return 0
  kill "$app_pid" 2>/dev/null
  local i
  for ((i = 0; i < 50; i++)); do
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$app_pid" 2>/dev/null
  wait "$app_pid" 2>/dev/null
  app_pid=''
  for ((i = 0; i < 50; i++)); do
    main_window_open || return 0
    sleep 0.1
  done
}

cleanup() {
  stop_app
  stop_probe
  rm -rf "$work"
}
trap cleanup EXIT
for sig in INT TERM HUP; do
  # shellcheck disable=SC2064
  trap "echo 'stopped by SIG$sig' >&2; exit 1" "$sig"
done

# Starts a fresh program, waits for its window and gives it the X focus.
# Prints why and fails when that does not happen in time.
start_app() {
  stop_app
  rect_cache=()
  if main_window_open; then
    echo "a Velmora window from elsewhere is open in $WINEPREFIX" >&2
    return 1
  fi
  wine "$app_exe" </dev/null >>"$app_log" 2>&1 8>&- &
  app_pid=$!
  local deadline=$((SECONDS + start_timeout)) win=''
  while ((SECONDS < deadline)); do
    kill -0 "$app_pid" 2>/dev/null || { echo "the program ended at start-up" >&2; return 1; }
    win=$(xdotool search --onlyvisible --name "^${title//./\\.}\$" 2>/dev/null | head -n 1)
    [[ -n $win ]] && main_window_open && break
    win=''
    sleep 0.1
  done
  [[ -n $win ]] || { echo "no window \"$title\" within ${start_timeout}s" >&2; return 1; }
  timeout 5 xdotool windowfocus --sync "$win" || { echo "could not focus the window" >&2; return 1; }
  await active=main focus=EditZo
  [[ -z $mismatch ]] || { echo "window not ready: $mismatch" >&2; return 1; }
}

# ---- Reading the window ----
declare -A S=()

# Fills S from "probe state", plus derived facts:
#   results       the six result texts, "Zor|Gainr|R2|R4|Zio|Decr"
#   printcopy     enabled states of Print and Copy, e.g. "11"
#   dialogs       number of other visible windows of the program
#   dialog.buttons / dialog.text   captions of the dialog's buttons / texts, comma-separated
#   window.centred / dialog.centred   "yes", or where it is and where centred would be
read_state() {
  S=()
  local out='' attempt
  # A reading without a title (no window, or the probe did not answer) is
  # taken again before it counts as "the window is gone".
  for attempt in 1 2 3; do
    probe state
    out=$probe_out
    [[ $out == title=* ]] && break
    sleep 0.1
  done
  add_facts "$out"
  S[results]="${S[text.EditZor]-}|${S[text.EditGainr]-}|${S[text.EditR2]-}|${S[text.EditR4]-}|${S[text.EditZio]-}|${S[text.EditDecr]-}"
  S[printcopy]="${S[enabled.ButtonPrint]-}${S[enabled.ButtonCopy]-}"
  local classes=${S[dialog.class]-} n=0 i cls rest text buttons='' texts=''
  [[ -n $classes ]] && n=$(wc -l <<<"$classes")
  S[dialogs]=$n
  for ((i = 1; i <= 99; i++)); do
    [[ -v S[dialog.child$i] ]] || break
    cls=${S[dialog.child$i]%%|*}
    rest=${S[dialog.child$i]#*|}
    text=${rest%|*}
    if [[ $cls == Button ]]; then buttons+=${buttons:+,}$text
    elif [[ $cls == Static && -n $text ]]; then texts+=${texts:+,}$text; fi
  done
  S[dialog.buttons]=$buttons
  S[dialog.text]=$texts
  S[window.centred]=$(placement "${S[screen]-}" "${S[window]-}")
  S[dialog.centred]=''
  if ((n == 1)); then
    S[dialog.centred]=$(placement "${S[window]-}" "${S[dialog.rect]-}")
  fi
  help_facts
}

# Adds the "key=value" lines of $1 to S; a key seen again gets another line.
add_facts() {
  local line key
  while IFS= read -r line; do
    [[ $line == *=* ]] || continue
    key=${line%%=*}
    if [[ -v S[$key] ]]; then S[$key]+=$'\n'"${line#*=}"; else S[$key]=${line#*=}; fi
  done <<<"$1"
}

# Fills S with the facts that "probe COMMAND..." prints.
read_probe() {
  S=()
  probe "$@"
  add_facts "$probe_out"
}

# Derived facts of the help window:
#   help.line1 / help.lines   first line of its text / number of lines
#   help.memofits             "yes" when the text box covers the client area exactly
#   help.firstplace           "yes" when it sits where its first showing puts it
help_facts() {
  [[ -v S[help.text] ]] || return 0
  local text=${S[help.text]} rest lines=1
  S[help.line1]=${text%%\\r\\n*}
  rest=$text
  while [[ $rest == *'\r\n'* ]]; do
    rest=${rest#*'\r\n'}
    lines=$((lines + 1))
  done
  S[help.lines]=$lines
  if [[ ${S[help.memorect]-} == "${S[help.clientrect]-}" ]]; then S[help.memofits]=yes
  else S[help.memofits]="text box ${S[help.memorect]-}, client ${S[help.clientrect]-}"; fi
  local ml mt mr mb hl ht hr hb wl wt wr wb
  read -r ml mt mr mb <<<"${S[window]-}"
  read -r hl ht hr hb <<<"${S[help.rect]-}"
  read -r wl wt wr wb <<<"${S[workarea]-}"
  [[ -n ${mb:-} && -n ${hb:-} && -n ${wb:-} ]] || { S[help.firstplace]=unknown; return 0; }
  # Centred on the main window's outer rectangle, then pushed right/down into
  # the work area; its right and bottom edges do not count.
  local l=$((ml + (mr - ml - (hr - hl)) / 2)) t=$((mt + (mb - mt - (hb - ht)) / 2))
  ((l < wl)) && l=$wl
  ((t < wt)) && t=$wt
  if ((hl == l && ht == t)); then S[help.firstplace]=yes
  else S[help.firstplace]="at $hl,$ht; expected $l,$t"; fi
}

# Says whether the rectangle $2 ("l t r b") is centred on $1, which is either
# a rectangle or a screen size "WxH"; halves are truncated.
placement() {
  local outer=$1 inner=$2 ol ot or ob l t r b
  if [[ $outer == *x* ]]; then
    ol=0 ot=0 or=${outer%x*} ob=${outer#*x}
  else
    read -r ol ot or ob <<<"$outer"
  fi
  read -r l t r b <<<"$inner"
  [[ -n ${ob:-} && -n ${b:-} ]] || { echo "unknown"; return; }
  local cl=$((ol + (or - ol - (r - l)) / 2)) ct=$((ot + (ob - ot - (b - t)) / 2))
  if ((l == cl && t == ct)); then echo yes; else echo "at $l,$t; centred is $cl,$ct"; fi
}

# Expectations are "key=value" pairs, or "key^=prefix" for a value that only
# has to begin with prefix. Sets mismatch to a description of those that do
# not hold, or to empty.
mismatches() {
  mismatch=''
  local e key want got
  for e in "$@"; do
    key=${e%%=*} want=${e#*=}
    if [[ $key == *^ ]]; then
      key=${key%^}
      got=${S[$key]-<none>}
      [[ $got == "$want"* ]] || mismatch+="$key: expected to begin with '$want', got '$got'; "
      continue
    fi
    got=${S[$key]-<none>}
    [[ $got == "$want" ]] || mismatch+="$key: expected '$want', got '$got'; "
  done
  mismatch=${mismatch%; }
}

# Reads the window until every expectation holds or settle_timeout passes.
await() {
  local deadline=$((${EPOCHREALTIME/./} + settle_timeout * 1000000))
  while :; do
    read_state
    mismatches "$@"
    [[ -z $mismatch ]] && return 0
    [[ -v S[title] ]] || { mismatch="the main window is gone; $mismatch"; return 0; }
    ((${EPOCHREALTIME/./} < deadline)) || return 0
    sleep 0.05
  done
}

# ---- Acting like a user ----
action_error=''

# Sets control_box to the screen rectangle "l t r b" of a main-window control
# (cached per run of the program).
control_rect() {
  if [[ ! -v rect_cache[$1] ]]; then
    probe rect "$1"
    [[ $probe_out =~ ^-?[0-9]+\ -?[0-9]+\ -?[0-9]+\ -?[0-9]+$ ]] || return 1
    rect_cache[$1]=$probe_out
  fi
  control_box=${rect_cache[$1]}
}

# Moves the mouse to (x, y) and clicks the left button.
click_at() {
  xdotool mousemove "$1" "$2" click 1
}

# Clicks the centre of the rectangle "l t r b".
click_rect() {
  local l t r b
  read -r l t r b <<<"$1"
  click_at $(((l + r) / 2)) $(((t + b) / 2))
}

# Drags from (x1, y1) to (x2, y2) with the left button.
drag() {
  xdotool mousemove "$1" "$2" mousedown 1 mousemove $((($1 + $3) / 2)) $((($2 + $4) / 2)) \
    mousemove "$3" "$4" mouseup 1
}

# One action; returns non-zero with action_error set when it cannot be done.
#   click NAME          click the centre of a control
#   fill NAME TEXT      click a box, select its text, type TEXT
#   clear NAME          click a box, select its text, delete it
#   key KEY...          press keys (xdotool names)
#   type TEXT           type text
#   open NAME           click the drop-down button of the selector
#   pick N              click item N of the open drop-down list
#   ok                  click the OK button of the open dialog
#   titledblclick       double-click the main window's title bar
#   dragcorner DX DY    drag the main window's bottom-right corner by DX, DY
#   mainclick X Y       click at X, Y from the main window's top-left corner
#                       (negative: from the right/bottom edge)
#   helpmove DX DY      drag the help window by its title bar by DX, DY
#   helpcorner DX DY    drag the help window's bottom-right corner by DX, DY
#   helptext            click into the help window's text box
#   hover NAME          move the mouse from the screen's corner onto a control
#   wait SECONDS        let the program react (a dialog that should not come)
#   exrow N [2]         click (2: double-click) row N of the explorer's list
act() {
  local verb=$1 r l t rr b
  shift
  case $verb in
    click)
      control_rect "$1" || { action_error="no control $1"; return 1; }
      click_rect "$control_box" ;;
    # Home, shift+End rather than ctrl+a: under Wine ctrl+a also reports a
    # change of the text, which in the selector runs a calculation.
    fill)
      act click "$1" || return 1
      xdotool key --delay 30 Home shift+End
      xdotool type --delay 30 -- "$2" ;;
    clear)
      act click "$1" || return 1
      xdotool key --delay 30 Home shift+End BackSpace ;;
    key)
      xdotool key --delay 30 "$@" ;;
    type)
      xdotool type --delay 30 -- "$1" ;;
    wait)
      sleep "$1" ;;
    exrow)
      probe exrow "$1" || { action_error="no explorer row $1"; return 1; }
      read -r l t rr b <<<"$probe_out"
      xdotool mousemove $((l + 20)) $(((t + b) / 2)) click --repeat "${2:-1}" --delay 80 1 ;;
    open)
      control_rect "$1" || { action_error="no control $1"; return 1; }
      read -r l t rr b <<<"$control_box"
      click_at $((rr - 8)) $(((t + b) / 2))
      await dialog.class=ComboLBox
      [[ -z $mismatch ]] || { action_error="the list did not open: $mismatch"; return 1; } ;;
    hover)
      control_rect "$1" || { action_error="no control $1"; return 1; }
      read -r l t rr b <<<"$control_box"
      xdotool mousemove 0 0 sleep 0.1 mousemove $(((l + rr) / 2)) $(((t + b) / 2)) \
        sleep 0.1 mousemove $(((l + rr) / 2 + 1)) $(((t + b) / 2)) ;;
    pick)
      probe listitem "$1"
      r=$probe_out
      [[ -n $r ]] || { action_error="no open list with item $1"; return 1; }
      click_rect "$r" ;;
    ok)
      read_state
      local i found=''
      for ((i = 1; i <= 99; i++)); do
        [[ -v S[dialog.child$i] ]] || break
        if [[ ${S[dialog.child$i]} == Button\|OK\|* ]]; then found=${S[dialog.child$i.rect]}; fi
      done
      [[ -n $found ]] || { action_error="no OK button to click"; return 1; }
      click_rect "$found" ;;
    titledblclick)
      read_state
      read -r l t rr b <<<"${S[window]}"
      xdotool mousemove $(((l + rr) / 2)) $((t + 10)) click --repeat 2 --delay 80 1 ;;
    dragcorner)
      read_state
      read -r l t rr b <<<"${S[window]}"
      drag $((rr - 1)) $((b - 1)) $((rr - 1 + $1)) $((b - 1 + $2)) ;;
    mainclick)
      read_state
      read -r l t rr b <<<"${S[window]}"
      click_at $(($1 < 0 ? rr + $1 : l + $1)) $(($2 < 0 ? b + $2 : t + $2)) ;;
    helpmove|helpcorner|helptext)
      read_state
      [[ ${S[help.visible]-} == 1 ]] || { action_error="the help window is not shown"; return 1; }
      read -r l t rr b <<<"${S[help.rect]}"
      case $verb in
        helpmove) drag $(((l + rr) / 2)) $((t + 10)) $(((l + rr) / 2 + $1)) $((t + 10 + $2)) ;;
        helpcorner) drag $((rr - 1)) $((b - 1)) $((rr - 1 + $1)) $((b - 1 + $2)) ;;
        helptext) click_rect "${S[help.memorect]}" ;;
      esac ;;
    *)
      action_error="unknown action '$verb'"
      return 1 ;;
  esac
}

# Runs "action; action; ..." in order.
run_actions() {
  local list=$1 one words
  action_error=''
  IFS=';' read -ra list <<<"$1"
  for one in "${list[@]}"; do
    read -ra words <<<"$one"
    ((${#words[@]})) || continue
    act "${words[@]}" || return 1
  done
}

# ---- Results ----
passed=0
failed=0
skips=0
group=''

pass() {
  passed=$((passed + 1))
  printf 'ok   %s: %s\n' "$group" "$1"
}

fail() {
  failed=$((failed + 1))
  printf 'FAIL %s: %s: %s\n' "$group" "$1" "$2"
}

skipped() {
  skips=$((skips + 1))
  printf 'skip %s: %s: %s\n' "$group" "$1" "$2"
}

# check NAME ACTIONS EXPECTATION...: does the actions, then waits until the
# window shows what is expected and checks that it still does a moment later
# (so that a late reaction, e.g. a second calculation or dialog, is caught).
check() {
  local name=$1 actions=$2
  shift 2
  if ! run_actions "$actions"; then
    fail "$name" "$action_error"
    return
  fi
  await "$@"
  if [[ -z $mismatch ]]; then
    sleep "$hold"
    read_state
    mismatches "$@"
    [[ -n $mismatch ]] && mismatch="changed after a moment: $mismatch"
  fi
  if [[ -z $mismatch ]]; then pass "$name"; else fail "$name" "$mismatch"; fi
}

# check_probe NAME COMMAND EXPECTATION...: like check without actions, for the
# facts that "probe COMMAND" prints; waits until they hold or settle_timeout.
check_probe() {
  local name=$1 command=$2
  shift 2
  local deadline=$((${EPOCHREALTIME/./} + settle_timeout * 1000000))
  while :; do
    # shellcheck disable=SC2086  # the command's words are separate arguments
    read_probe $command
    mismatches "$@"
    [[ -z $mismatch ]] && break
    ((${EPOCHREALTIME/./} < deadline)) || break
    sleep 0.05
  done
  if [[ -z $mismatch ]]; then pass "$name"; else fail "$name" "$mismatch"; fi
}

# Runs the cases of one group on a freshly started program.
session() {
  group=$1
  if start_app 2>"$work/start.err"; then
    "$2"
  else
    fail "start" "$(tr '\n' ' ' <"$work/start.err")"
  fi
}

# ---- Expected texts ----
readonly EMPTY='|||||'
# Default inputs (Zo 600, gain 0.0 dB, R1 10k, R3 10k, R5 68), series by series.
readonly E24='602.806|  0.517|  2.400k|  3.900k|  3.952k|89.4%'
readonly NOSERIES='600.000|  0.000|  2.267k|  3.758k|  4.075k|89.4%'
readonly E48='591.964| -0.518|  2.150k|  3.650k|  4.217k|89.4%'
readonly E6='680.926|  3.795|  3.300k|  4.700k|  3.079k|89.4%'
readonly E3='654.259| -6.740|  1.000k|  2.200k|  5.591k|89.4%'
R5_WARNING=$(velmora_text "$(dirname "$app_exe")" R5TooLarge)
R3_WARNING=$(velmora_text "$(dirname "$app_exe")" R3TooSmall)
HINT_PRINT=$(velmora_text "$(dirname "$app_exe")" ButtonPrintHint)
HINT_COPY=$(velmora_text "$(dirname "$app_exe")" ButtonCopyHint)
readonly R5_WARNING R3_WARNING HINT_PRINT HINT_COPY
readonly REPORT='[Input data]\r\nZo = 600\r\nGain = 0.0dB\r\nR1 = 10k\r\nR3 = 10k\r\nR5 = 68\r\n\r\n[Result data]\r\nZo = 602.806\r\nGain =   0.517dB\r\nR2 =   2.400k\r\nR4 =   3.900k\r\nZio =   3.952k\r\nη = 89.4%\r\n'

# ---- Cases ----

startup_and_size() {
  check "title"                          ""   title="$title"
  check "client area 361x342"            ""   client=361x342
  check "centred on the screen"          ""   window.centred=yes
  check "focus in EditZo"                ""   focus=EditZo active=main
  check "result boxes empty"             ""   results="$EMPTY"
  check "Print and Copy disabled"        ""   printcopy=00
  local start_rect=${S[window]}
  help_label_looks
  check "corner drag does not enlarge"   "dragcorner 80 60"   client=361x342 window="$start_rect"
  check "title double-click keeps size"  "titledblclick"      client=361x342 window="$start_rect"
  help_window_drag_resizes
}

# The Help label is drawn like every label: in the window's font and the
# window-text colour (a link colour would show as coloured pixels).
help_label_looks() {
  probe font main
  local main_font=${probe_out#font=}
  check_probe "Help label in the window's font"   "font LabelHelp"  font="$main_font"
  local name="Help label drawn without colour"
  read_probe ink LabelHelp
  if [[ ${S[ink.pixels]-0} -gt 0 && ${S[ink.coloured]-} == 0 ]]; then pass "$name"
  else fail "$name" "ink pixels ${S[ink.pixels]-none}, coloured ${S[ink.coloured]-none}"; fi
}

# The corner drag above proves something only if such a drag resizes a window
# that can be resized: the Help window can.
help_window_drag_resizes() {
  local name="the same drag enlarges the resizable Help window"
  run_actions "click LabelHelp" || { fail "$name" "$action_error"; return; }
  await dialog.class=TFormHelp
  [[ -z $mismatch ]] || { fail "$name" "$mismatch"; return; }
  local l t r b
  read -r l t r b <<<"${S[dialog.rect]}"
  drag $((r - 1)) $((b - 1)) $((r + 79)) $((b + 59))
  await dialog.rect="$l $t $((r + 80)) $((b + 60))"
  if [[ -z $mismatch ]]; then pass "$name"; else fail "$name" "$mismatch"; fi
}

focus_moves() {
  # Before the first success Print and Copy are disabled and left out.
  check "Up in EditZo wraps to ButtonExit"        "key Up"                      focus=ButtonExit
  check "Tab from ButtonExit wraps to EditZo"     "key Tab"                     focus=EditZo
  check "Down in EditZo -> EditGain, no calc"     "key Down"                    focus=EditGain results="$EMPTY"
  check "Up in EditGain -> EditZo"                "key Up"                      focus=EditZo
  check "Down in EditR5 -> ComboBoxER"            "click EditR5; key Down"      focus=ComboBoxER results="$EMPTY"
  check "Tab ComboBoxER -> ButtonCalc"            "key Tab"                     focus=ButtonCalc
  check "Tab skips disabled Print, Copy"          "key Tab"                     focus=ButtonExit
  check "shift+Tab skips them backwards"          "key shift+Tab"               focus=ButtonCalc
  check "Tab EditR5 -> ComboBoxER"                "click EditR5; key Tab"       focus=ComboBoxER
  # EditDecr has no handlers: Enter neither moves nor calculates; the "y"
  # typed after it shows that the Enter has been handled.
  check "Enter in EditDecr: nothing"              "fill EditDecr x; key Return; type y"  focus=EditDecr results="|||||xy"
  # First calculation: the defaults with series 24.
  check "Enter in EditZo -> EditGain, calculates" "click EditZo; key Return"    focus=EditGain results="$E24" printcopy=11
  check "Tab EditR5 -> ComboBoxER (enabled)"      "click EditR5; key Tab"       focus=ComboBoxER
  check "Tab ComboBoxER -> ButtonCalc (enabled)"  "key Tab"                     focus=ButtonCalc
  check "Tab ButtonCalc -> ButtonPrint"           "key Tab"                     focus=ButtonPrint
  check "Tab ButtonPrint -> ButtonCopy"           "key Tab"                     focus=ButtonCopy
  check "Tab ButtonCopy -> ButtonExit"            "key Tab"                     focus=ButtonExit
  check "shift+Tab ButtonExit -> ButtonCopy"      "key shift+Tab"               focus=ButtonCopy
  check "shift+Tab ButtonCopy -> ButtonPrint"     "key shift+Tab"               focus=ButtonPrint
  check "shift+Tab ButtonPrint -> ButtonCalc"     "key shift+Tab"               focus=ButtonCalc
  check "shift+Tab ButtonCalc -> ComboBoxER"      "key shift+Tab"               focus=ComboBoxER
  # Each Enter case first spoils EditDecr: a calculation writes it back.
  check "Enter in EditGain -> EditR1, calculates" "fill EditDecr x; click EditGain; key Return"  focus=EditR1 results="$E24"
  check "Enter in EditR5 -> ComboBoxER, calc"     "fill EditDecr x; click EditR5; key Return"    focus=ComboBoxER results="$E24"
  check "shift+Enter in EditR1 acts as Enter"     "fill EditDecr x; click EditR1; key shift+Return"  focus=EditR3 results="$E24"
  check "ctrl+Down in EditR3 acts as Down"        "fill EditDecr x; click EditR3; key ctrl+Down" focus=EditR5 results="${E24%|*}|x"
  check "Enter in EditZor (mouse) -> ComboBoxER"  "fill EditZor junk; key Return"                focus=ComboBoxER results="$E24"
  check "Enter in EditGainr -> ComboBoxER"        "fill EditDecr x; click EditGainr; key Return" focus=ComboBoxER results="$E24"
  check "Enter in EditR2 -> ComboBoxER"           "fill EditDecr x; click EditR2; key Return"    focus=ComboBoxER results="$E24"
  check "Enter in EditR4 -> ComboBoxER"           "fill EditDecr x; click EditR4; key Return"    focus=ComboBoxER results="$E24"
  check "Enter in EditZio wraps to EditZo"        "fill EditDecr x; click EditZio; key Return"   focus=EditZo results="$E24"
  check "Enter in selector stays, calculates"     "fill EditDecr x; click ComboBoxER; key Return" focus=ComboBoxER results="$E24" text.ComboBoxER=24
}

# A disabled control gets no mouse messages, yet its hint shows all the same.
hints() {
  check "disabled Print shows its hint"      "hover ButtonPrint"                  printcopy=00 tooltip="$HINT_PRINT"
  check "disabled Copy shows its hint"       "hover ButtonCopy"                   printcopy=00 tooltip="$HINT_COPY"
  check "enabled Copy shows its hint"        "click ButtonCalc; hover ButtonCopy" printcopy=11 tooltip="$HINT_COPY"
  check "enabled Print shows its hint"       "hover ButtonPrint"                  printcopy=11 tooltip="$HINT_PRINT"
  check "R3 900, no series: R3 warning"      "clear ComboBoxER; fill EditR3 900; click ButtonCalc"  dialog.caption=Warning
  check "  closed: Print and Copy disabled"  "key Return"                         dialogs=0 printcopy=00
  check "  disabled Print shows its hint"    "hover ButtonPrint"                  printcopy=00 tooltip="$HINT_PRINT"
  check "  disabled Copy shows its hint"     "hover ButtonCopy"                   printcopy=00 tooltip="$HINT_COPY"
}

# With Alt held the keys arrive as system keys: the boxes take them alike,
# while Alt+F4 and the selector's Alt+Down keep their usual meaning.
alt_keys() {
  check "alt+Return in EditZo -> EditGain, calc"  "click EditZo; key alt+Return"   focus=EditGain results="$E24" printcopy=11
  check "alt+Down in EditGain -> EditR1, no calc" "fill EditDecr x; click EditGain; key alt+Down"  focus=EditR1 results="${E24%|*}|x"
  check "alt+Up in EditR1 -> EditGain"            "key alt+Up"                     focus=EditGain
  check "alt+Up in EditZo wraps to ButtonExit"    "click EditZo; key alt+Up"       focus=ButtonExit
  # Were the release of Alt left to open the system menu, the typing would go there.
  check "typing after alt+Return reaches the box" "click EditR1; key alt+Return; type 9k"  focus=EditR3 text.EditR3=9k
  check "alt+Return in the selector calculates"   "fill EditR3 10k; fill EditDecr x; click ComboBoxER; key alt+Return" \
        focus=ComboBoxER results="$E24"
  # The list must stay open after Alt is let go, and the keys after it must
  # reach the selector, not the system menu.
  check "alt+Down in the selector opens its list" "key alt+Down"                   dialog.class=ComboLBox
  check "  alt+Up closes it"                      "key alt+Up"                     dialogs=0 focus=ComboBoxER text.ComboBoxER=24
  check "  then Down steps to 48"                 "key Down"                       text.ComboBoxER=48 results="$E48"
  check "alt+F4 in a box ends the program"        "click EditZo; key alt+F4"       title='<none>'
}

# The window menu's netlist entry: grey until a calculation succeeds, then the
# standard Save dialog; the file is what velmora-cli --netlist --crlf writes
# for the same inputs (UTF-8 without a byte order mark, CR LF).
netlist() {
  local file=$work/stage.cir
  local winpath="Z:${file//\//\\}"
  rm -f "$file"
  # The Save dialog takes a moment to come: wait for it before saying it did not.
  check "before a calculation the entry does nothing" "key alt+space; key t; wait 2" dialogs=0 focus=EditZo
  check "after one, alt+space t opens the Save dialog" "key Return; key alt+space; key t" dialog.caption='Save As'
  check "  a file name and Enter save the netlist"     "type $winpath; key Return"          dialogs=0 focus=EditGain
  local name="  the file is the command line's netlist"
  if [[ -z $cli_exe ]]; then
    skipped "$name" "no velmora-cli.exe given"
  elif ! wine "$cli_exe" --netlist --crlf >"$work/cli-stage.cir" 2>/dev/null 5>&- 6>&- 8>&-; then
    fail "$name" "velmora-cli.exe --netlist failed"
  elif cmp -s "$file" "$work/cli-stage.cir"; then
    pass "$name"
  else
    fail "$name" "$(head -c 300 "$file" 2>&1 | tr '\r\n' '  ')"
  fi
  check "after the R5 warning the entry is grey again" "fill EditR5 470; key Return; ok; key alt+space; key t; wait 2" \
        dialogs=0
}

report_copy() {
  check "defaults + Enter: results, Print/Copy on"  "key Return"   results="$E24" printcopy=11 focus=EditGain
  local name="Copy button puts the 14-line report on the clipboard"
  probe clearclipboard
  probe clipboard
  if [[ $probe_out != $'clipboard.length=0\nclipboard=' ]]; then
    fail "$name" "could not empty the clipboard first"
    return
  fi
  run_actions "click ButtonCopy" || { fail "$name" "$action_error"; return; }
  local out
  out=$(clipboard_arrival)
  local want="clipboard.length=173"$'\n'"clipboard=$REPORT"
  if [[ $out == "$want" ]]; then pass "$name"; else fail "$name" "got '${out//$'\n'/ | }'"; fi
  copy_while_clipboard_held
}

# Prints what the probe reads from the clipboard once it is no longer empty,
# or after settle_timeout.
clipboard_arrival() {
  local deadline=$((SECONDS + settle_timeout))
  while ((SECONDS <= deadline)); do
    probe clipboard
    [[ $probe_out == clipboard.length=0$'\n'* ]] || break
    sleep 0.1
  done
  printf '%s' "$probe_out"
}

# Another program keeps the clipboard open: Copy reports it and leaves the
# clipboard alone; once the clipboard is free, Copy works again.
copy_while_clipboard_held() {
  local name="Copy while another program holds the clipboard"
  wine "$probe_exe" holdclipboard 10000 >"$work/hold.out" 2>/dev/null 5>&- 6>&- 8>&- &
  local holder=$! i
  for ((i = 0; i < 100; i++)); do
    grep -q held "$work/hold.out" 2>/dev/null && break
    kill -0 "$holder" 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -q held "$work/hold.out"; then
    fail "$name" "the holder did not take the clipboard"
    kill "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
    return
  fi
  # Where the window system lets a second program open a clipboard that is
  # held open, Copy cannot meet a held clipboard: said, not counted.
  if probe clipboard; then
    skipped "$name" "the probe itself could open the held clipboard"
    wait "$holder" 2>/dev/null
    return
  fi
  check "$name: error box"              "click ButtonCopy"  dialogs=1 dialog.class='#32770' dialog.caption=Velmora \
        dialog.text^="Cannot open clipboard: " dialog.buttons=OK dialog.icon=stop
  check "  closed by clicking OK"       "ok"                dialogs=0 active=main
  dismiss_dialogs
  wait "$holder" 2>/dev/null
  probe clipboard
  local out=$probe_out
  if [[ $out == $'clipboard.length=7\nclipboard=keep-me' ]]; then pass "  the holder's text stays on the clipboard"
  else fail "  the holder's text stays on the clipboard" "got '${out//$'\n'/ | }'"; fi
  probe clearclipboard
  run_actions "click ButtonCopy" || { fail "  Copy works again" "$action_error"; return; }
  out=$(clipboard_arrival)
  if [[ $out == "clipboard.length=173"$'\n'"clipboard=$REPORT" ]]; then pass "  Copy works again"
  else fail "  Copy works again" "got '${out//$'\n'/ | }'"; fi
}

outcomes() {
  check "first calculation succeeds"         "click ButtonCalc"                    results="$E24" printcopy=11 dialogs=0
  check "Gain abc: emptied, no dialog"       "fill EditGain abc; click ButtonCalc" results="$EMPTY" dialogs=0 printcopy=11 text.ComboBoxER=24
  check "  same, selector x: reads as ∞"     "fill ComboBoxER x"                   results="$EMPTY" dialogs=0 printcopy=11 text.ComboBoxER=∞
  check "valid again with series 24"         "fill EditGain 0.0; fill ComboBoxER 24"  results="$E24" printcopy=11 dialogs=0
  # The warning comes before the boxes are emptied.
  check "R5 470: warning, results kept"      "fill EditR5 470; click ButtonCalc" dialog.caption=Warning dialog.buttons=OK \
        dialog.text="$R5_WARNING" dialog.icon=warning dialog.centred=yes results="$E24"
  check "  closed with Enter: emptied"       "key Return"                          dialogs=0 results="$EMPTY" printcopy=11
  check "R5 warning again"                   "click ButtonCalc"                    dialog.caption=Warning dialog.buttons=OK dialog.centred=yes
  check "  closed with Esc"                  "key Escape"                          dialogs=0 results="$EMPTY" printcopy=11
  check "R5 warning once more"               "click ButtonCalc"                    dialog.caption=Warning dialog.buttons=OK
  check "  closed by clicking OK"            "ok"                                  dialogs=0 results="$EMPTY" printcopy=11 active=main
  check "R5 68, no series"                   "fill EditR5 68; clear ComboBoxER"    results="$NOSERIES" text.ComboBoxER=∞ printcopy=11
  check "R3 900 with ∞: R3 warning"          "fill EditR3 900; click ButtonCalc"   dialog.caption=Warning dialog.buttons=OK \
        dialog.text="$R3_WARNING" dialog.icon=warning dialog.centred=yes
  check "  closed: emptied, Print/Copy off"  "key Return"                          dialogs=0 results="$EMPTY" printcopy=00
  # A floating-point fault changes neither the boxes nor the buttons: checked
  # once from the empty/disabled state and once from the filled/enabled one.
  check "R1 0: error box (empty, off)"       "fill EditR3 10k; fill EditR1 0; click ButtonCalc" dialog.caption=Velmora \
        dialog.text="Invalid floating point operation." dialog.buttons=OK dialog.icon=stop results="$EMPTY" printcopy=00
  check "  after OK: still empty, off"       "ok"                                  dialogs=0 results="$EMPTY" printcopy=00
  check "R1 10k: works again after the error" "fill EditR1 10k; click ButtonCalc"  results="$NOSERIES" printcopy=11 dialogs=0
  check "R1 0: error box (filled, on)"       "fill EditR1 0; click ButtonCalc"     dialog.caption=Velmora \
        dialog.text="Invalid floating point operation." dialog.icon=stop results="$NOSERIES" printcopy=11
  check "  after Enter: kept, on"            "key Return"                          dialogs=0 results="$NOSERIES" printcopy=11
  check "R1 10k, series 24: works"           "fill EditR1 10k; fill ComboBoxER 24" results="$E24" printcopy=11 dialogs=0
}

selector() {
  # Arrow keys in the closed selector step through its list from "24".
  check "Down: 24 -> 48, calculates"         "click ComboBoxER; key Down"          text.ComboBoxER=48 results="$E48"
  check "Up: 48 -> 24, calculates"           "key Up"                              text.ComboBoxER=24 results="$E24"
  check "Up: 24 -> 12"                       "key Up"                              text.ComboBoxER=12 text.EditR2="  1.800k" text.EditR4="  3.300k"
  check "delete all -> ∞, no series"         "clear ComboBoxER"                    text.ComboBoxER=∞ results="$NOSERIES"
  check "typed 24"                           "fill ComboBoxER 24"                  text.ComboBoxER=24 results="$E24"
  check "typed abc -> ∞"                     "fill ComboBoxER abc"                 text.ComboBoxER=∞ results="$NOSERIES"
  # "-" alone would read as 0 and turn into "∞": put the sign in front of "24".
  check "-24 stays, rounds like 24"          "fill ComboBoxER 24; key Home; type -"  text.ComboBoxER=-24 results="$E24"
  check "typed 3: three-step series"         "fill ComboBoxER 3"                   text.ComboBoxER=3 results="$E3"
  check "list: pick 6 with the mouse"        "open ComboBoxER; pick 0"             text.ComboBoxER=6 results="$E6" dialogs=0
  check "list: pick ∞ with the mouse"        "open ComboBoxER; pick 6"             text.ComboBoxER=∞ results="$NOSERIES" dialogs=0
  # Writing "∞" into the selector is no edit: were it one, the calculation
  # would run again (endlessly) and a second warning would follow the first.
  check "R5 470, typed x: one warning"       "fill EditR5 470; fill ComboBoxER x"  dialog.caption=Warning dialogs=1 text.ComboBoxER=∞
  check "  after OK no second warning"       "key Return"                          dialogs=0 results="$EMPTY" text.ComboBoxER=∞
  # Selecting all with ctrl+a edits nothing, so nothing may be calculated
  # (here a calculation would show the R5 warning) ...
  check "ctrl+a alone calculates nothing"    "click ComboBoxER; key ctrl+a"        dialogs=0
  dismiss_dialogs
  # ... and what is typed next replaces the selected "∞".
  check "ctrl+a, typing 24 replaces ∞"       "fill EditR5 68; click ComboBoxER; key ctrl+a; type 24"  text.ComboBoxER=24 results="$E24"
}

# Closes message boxes left open by a failed case, so that the next case
# starts from the main window.
dismiss_dialogs() {
  local i
  for ((i = 0; i < 3; i++)); do
    read_state
    [[ ${S[dialogs]} != 0 && ${S[dialog.class]-} == '#32770' ]] || return 0
    xdotool key Return
    await dialogs=0
  done
}

readonly HELP_LINE1='指定された出力インピーダンスを持つアンプの定数計算'

help_window() {
  check "first click: one window, centred"   "click LabelHelp"  help.count=1 help.visible=1 help.owner=main \
        help.caption=Help help.client=566x234 help.firstplace=yes help.memofits=yes
  check "  its text: 19 lines"               ""                 help.line1="$HELP_LINE1" help.lines=19
  # Moved up, clear of the Help label, which it covers at its first place.
  local first=${S[help.rect]} l t r b moved
  read -r l t r b <<<"$first"
  moved="$l $((t - 120)) $r $((b - 120))"
  check_probe "  its font: Tahoma, 11 px"    "font help"        font="Tahoma|-11|0|0|0|1"
  check_probe "  the text box's font: the same" "font Memo1"    font="Tahoma|-11|0|0|0|1"
  # Characters that no font has glyphs for are all drawn as the same box.
  check_probe "  Japanese drawn, not boxes"  "helpglyphs 5"     glyphs.inked=5 glyphs.distinct=5
  check "moved by its title bar"             "helpmove 0 -120"  help.rect="$moved" help.visible=1
  # Near the main window's bottom-left corner, below the moved help window.
  check "main window can be activated"       "mainclick 10 -12" active=main help.visible=1 help.active=0
  check "second click: still one, in front"  "click LabelHelp"  help.count=1 help.visible=1 \
        help.active=1 help.rect="$moved"
  check "typed into its text"                "helptext; key ctrl+Home; type xyz"  help.line1="xyz$HELP_LINE1" help.lines=19
  check "alt+F4 hides it, not destroys"      "key alt+F4"       help.count=1 help.visible=0 title="$title"
  check "Help again: same place, edit kept"  "click LabelHelp"  help.count=1 help.visible=1 help.rect="$moved" \
        help.line1="xyz$HELP_LINE1" help.lines=19
  check "enlarged: the text box follows"     "helpcorner 80 60" help.client=646x294 help.memofits=yes
  check "made smaller: the text box follows" "helpcorner -200 -100"  help.client=446x194 help.memofits=yes
}

# The CLI's output for ARGS with CR LF line ends, in cli_out; false when it
# cannot be had (then the case is skipped).
cli_run() {
  [[ -n $cli_exe ]] || return 1
  cli_out=$(wine "$cli_exe" --crlf "$@" 2>/dev/null 5>&- 6>&- 8>&-; echo .)
  cli_out=${cli_out%.}
}

# $1 (CR LF lines, comma-separated) as the clipboard fact shows tab-separated text.
as_copied() {
  local text=${1//,/$'\t'}
  printf '%s' "${text//$'\r\n'/'\r\n'}"
}

# Copies with the explorer's button $1 and sets copied to the clipboard text.
copy_from() {
  probe clearclipboard
  run_actions "click $1" || return 1
  copied=$(clipboard_arrival)
  copied=${copied#*$'\n'clipboard=}
}

# The explorer window: both pages by key and by the window menu, the list of
# every series against velmora-cli, choosing a row, the tolerance page's
# figures, yield and histogram against velmora-cli, bad input, cancel.
explorer() {
  check "Ctrl+E opens it owned by the main window" "key ctrl+e" explorer.visible=1 explorer.page=0 \
        explorer.owner=main explorer.caption='設計エクスプローラ' explorer.rows=0 title="$title"
  check "  Esc hides it"                          "key Escape" explorer.visible=0 explorer.count=1
  check "Enter in the main window, then Alt+Space E: 8 rows, E24's selected" "mainclick 10 -12; click EditZo; key Return; key alt+space; key e" \
        explorer.visible=1 explorer.page=0 explorer.rows=8 explorer.selected=4 results="$E24"
  local name="  its copy is velmora-cli --all-series --format csv"
  if ! cli_run --all-series --format csv; then skipped "$name" "no velmora-cli.exe given"
  elif ! copy_from ex.CopySeries; then fail "$name" "$action_error"
  else
    local want
    want=$(as_copied "${cli_out#*$'\r\n\r\n'}")
    if [[ $copied == "$want" ]]; then pass "$name"; else fail "$name" "got '$copied', want '$want'"; fi
  fi
  check "double-click on the 96 row: the selector and the results follow" "exrow 6 2" \
        text.ComboBoxER=96 results='603.566|  0.000|  2.260k|  3.740k|  4.065k|89.4%' explorer.selected=6
  check "  Up and Enter: series 48"                "key Up; key Return"  text.ComboBoxER=48 explorer.selected=5 \
        'results^=591.964'
  check "Ctrl+L: the tolerance page, E48's 2 %, the yield" "key ctrl+l" explorer.page=1 explorer.text.Tol=2 \
        'explorer.text.Yield^=歩留まり ' 'explorer.text.Figures^=Tolerance:  series 48  ±% 2  distribution uniform  samples 100000  seed 1'
  name="  its copy is velmora-cli --tolerance's csv, with the SVG's bins"
  local svg=$work/plot.svg
  if ! cli_run --series 48 --tolerance --format csv --plot "Z:${svg//\//\\}"; then skipped "$name" "no velmora-cli.exe given"
  elif ! copy_from ex.CopyTol; then fail "$name" "$action_error"
  else
    local want bins counts
    want=$(as_copied "$cli_out")
    # The bins' counts of Zo, in the copy and in the SVG, one per line.
    bins=$(printf '%s' "$copied" | sed 's/\\r\\n/\n/g' | awk -F'\t' '$1 == "zo" && $2 ~ /^[-+.e0-9]+$/ && $3 ~ /^[-+.e0-9]+$/ {print $4}')
    counts=$(sed -n '/<g id="zo"/,/<\/g>/s/.*class="bar" data-count="\([0-9]*\)".*/\1/p' "$svg")
    if [[ $copied != "$want"* ]]; then fail "$name" "got '${copied:0:300}', want '${want:0:300}'"
    elif [[ -z $counts || $bins != "$counts" ]]; then fail "$name" "bins '${bins//$'\n'/ }', SVG '${counts//$'\n'/ }'"
    else pass "$name"; fi
  fi
  check "samples 0: a message, nothing computed"   "fill ex.Samples 0; click ex.Calc" dialogs=1 \
        dialog.text='サンプル数は 1 から 10000000 までの整数を入力してください' explorer.text.Figures=''
  check "  OK: the samples box has the focus"      "ok" dialogs=0 explorer.focus=Samples explorer.enabled.CopyTol=0
  check "a long run shows its progress"            "fill ex.Samples 10000000; click ex.Calc" explorer.shown.Progress=1 \
        explorer.enabled.Cancel=1 explorer.text.Yield='計算中…'
  check "  Cancel stops it"                        "click ex.Cancel" explorer.shown.Progress=0 \
        explorer.text.Yield='中止しました' explorer.text.Figures='' explorer.enabled.Cancel=0
  check "Esc with the focus where Cancel was: hidden" "key Escape" explorer.visible=0
  check "Alt+Space L from the main window: the tolerance page" "mainclick 10 -12; key alt+space; key l" \
        explorer.visible=1 explorer.page=1 explorer.focus=Tol
  check "  Ctrl+E there: the every-series page"    "key ctrl+e" explorer.page=0 explorer.visible=1
}

session "start-up" startup_and_size
session "focus" focus_moves
session "alt keys" alt_keys
session "netlist" netlist
session "hints" hints
session "report" report_copy
session "outcomes" outcomes
session "selector" selector
session "help" help_window
session "explorer" explorer
stop_app

if ((skips)); then echo "$passed passed, $failed failed, $skips skipped"
else echo "$passed passed, $failed failed"; fi
((failed == 0))
