#!/usr/bin/env bash
# Usage: tests/spice/run_spice_test.sh VELMORA_CLI [DESIGNS]
#
# A circuit simulator as the oracle: for each design of DESIGNS (default
# designs.txt beside this script) writes the stage's netlist with
# `velmora-cli --netlist`, simulates it with ngspice and compares every .meas
# result with the program's own figures, which the netlist's comments carry
# with every digit.
#
# The op-amp of the netlist is a voltage-controlled source of gain A = 1e7,
# so the simulated figures differ from the ideal ones by a finite-gain error
# of about c / A, larger the closer a stage is to the stability limit. Each
# netlist is simulated as written and again with A = 1e6; the difference of
# the two runs measures that error (e = |f(1e7) - f(1e6)| / 9), and with
# f(A) = f + c/A + c2/A^2 and c2 of the order of c^2 / f, the second-order
# remainder is about 10 e^2 / |f| (allowed twice over):
#   - each .meas result (printed to 7 digits) must agree with the program
#     within 1e-6 relative, plus half a unit of its last printed digit, plus
#     e and the remainder;
#   - the figure with the finite-gain error removed, (10 f(1e7) - f(1e6)) / 9
#     from the node voltages at full precision, within 1e-6 relative plus the
#     remainder.
# Far from the stability limit e is far below 1e-6 relative and both bounds
# are 1e-6; close to it (Zo / R5 = 1000) e reaches 1e-3 and the bounds follow.
# The gain is compared as a ratio (its dB value converted back). Ends with
# "N passed, M failed"; a failure names the design and the figure.
#
# A stage so close to its limit that the gain of 1e7 leaves its figures more
# than 1e-4 off the ideal ones (designs_finite_gain.txt) has a comment line
# "*   as written: zo = ..., ..." with the figures of the netlist as written:
# the .meas results must be those, within 1e-5 relative (a tenth of the
# difference the note is about; the simulator's own rounding, magnified near
# the limit, reaches 1.3e-6 for d40-near, Zo / R5 = 1000) plus half a unit of
# the last printed digit.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
(($# >= 1)) || { echo "usage: $(basename "$0") VELMORA_CLI [DESIGNS]" >&2; exit 2; }
cli=$1
designs=${2:-$here/designs.txt}
command -v ngspice >/dev/null 2>&1 || { echo "ngspice not found; run scripts/install-deps.sh" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-spice.XXXXXX")
trap 'rm -rf "$work"' EXIT
readonly figures=(zo gain_db zio eta)
passed=0
failed=0

# The netlist $1 with the op-amp's gain set to $2 (as written: empty) and a
# control block that
# prints the measured nodes at the sweep point 1 V with every digit.
variant() {
  sed -e "${2:+s/^EOA out 0 inp inn 1e7\$/EOA out 0 inp inn $2/}" -e '/^\.end$/d' "$1"
  printf '%s\n' '.control' 'run' 'set numdgt=17'
  local f
  for f in "${figures[@]}"; do printf 'let full_%s = v(n_%s)[1]\nprint full_%s\n' "$f" "$f" "$f"; done
  printf '%s\n' '.endc' '.end'
}

# Prints "NAME VALUE" lines: the .meas results ("meas"), the full-precision
# node values ("full") of an ngspice log.
meas_values() { sed -n -E 's/^(zo|gain_db|zio|eta) += +([-+0-9.e]+).*/\1 \2/p' "$1" | awk '!seen[$1]++'; }
full_values() { sed -n -E 's/^full_([a-z_]+) += +([-+0-9.e]+).*/\1 \2/p' "$1"; }

# check_design NAME ZO GAIN R1 R3 R5 SERIES
check_design() {
  local name=$1 d=$work/$1
  local args=(--zo "$2" --gain "$3" --r1 "$4" --r3 "$5" --r5 "$6" --series "$7" --netlist)
  if ! "$cli" "${args[@]}" >"$d.cir" 2>"$d.err"; then
    failed=$((failed + 1))
    echo "FAIL $name: velmora-cli ${args[*]} did not write a netlist: $(tr '\n' ' ' <"$d.err")"
    return
  fi
  sed -n -E 's/^\*   (zo|gain_db|zio|eta) += ([-+0-9.e]+) .*/\1 \2/p' "$d.cir" >"$d.own"
  local written=0
  if grep -q '^\*   as written: ' "$d.cir"; then
    written=1
    sed -n -E 's/^\*   as written: //p' "$d.cir" | tr ',' '\n' | sed -E 's/^ *([a-z_]+) = ([-+0-9.e]+)$/\1 \2/' >"$d.own"
  fi
  local a
  grep -q '^EOA out 0 inp inn 1e7$' "$d.cir" || echo "FAIL $name: the netlist's op-amp line has changed"
  variant "$d.cir" "" >"$d-1e7.cir"
  variant "$d.cir" 1e6 >"$d-1e6.cir"
  timeout 60 ngspice -b "$d-1e7.cir" >"$d-1e7.log" 2>&1
  timeout 60 ngspice -b "$d-1e6.cir" >"$d-1e6.log" 2>&1
  meas_values "$d-1e7.log" >"$d.meas"
  full_values "$d-1e7.log" >"$d.full7"
  full_values "$d-1e6.log" >"$d.full6"
  local f own meas f7 f6 verdict
  for f in "${figures[@]}"; do
    own=$(awk -v f="$f" '$1 == f { print $2 }' "$d.own")
    meas=$(awk -v f="$f" '$1 == f { print $2 }' "$d.meas")
    f7=$(awk -v f="$f" '$1 == f { print $2 }' "$d.full7")
    f6=$(awk -v f="$f" '$1 == f { print $2 }' "$d.full6")
    verdict=$(awk -v f="$f" -v own="$own" -v meas="$meas" -v f7="$f7" -v f6="$f6" -v written="$written" '
      function abs(x) { return x < 0 ? -x : x }
      # The gain is compared as a ratio: its dB value converted back.
      function val(x) { return f == "gain_db" ? exp(x / 20 * log(10)) : x }
      # Half a unit of the 7th significant digit of printed value x.
      function half_ulp7(x,  e) { e = int(log(abs(x)) / log(10)); if (abs(x) < 10 ^ e) e--; return 0.5 * 10 ^ (e - 6) }
      BEGIN {
        if (own == "" || meas == "" || f7 == "" || f6 == "") { print "missing value (own " own ", meas " meas ", full " f7 " " f6 ")"; exit }
        p = val(own); m = val(meas); a7 = val(f7); a6 = val(f6)
        if (written) {
          # The figures of the netlist as written: the simulated ones themselves.
          r = (f == "gain_db") ? abs(p) * (exp(half_ulp7(meas) / 20 * log(10)) - 1) : half_ulp7(meas)
          if (abs(m - p) > 1e-5 * abs(p) + r) { printf "meas %s against as written %s: off by %.3g\n", meas, own, abs(m - p); exit }
          if (abs(a7 - p) > 1e-5 * abs(p)) { printf "node %.17g against as written %.17g\n", a7, p; exit }
          printf "ok %.2g\n", abs(a7 - p) / abs(p); exit
        }
        e = abs(a7 - a6) / 9
        # The printed digits are of the dB value for the gain: their half unit, as a ratio.
        r = (f == "gain_db") ? abs(p) * (exp(half_ulp7(meas) / 20 * log(10)) - 1) : half_ulp7(meas)
        rest = 20 * e * e / abs(p)
        bound_meas = 1e-6 * abs(p) + r + e + rest
        x = (10 * a7 - a6) / 9
        bound_x = 1e-6 * abs(p) + rest
        if (abs(m - p) > bound_meas) { printf "meas %s against %s: off by %.3g (bound %.3g)\n", meas, own, abs(m - p), bound_meas; exit }
        if (abs(x - p) > bound_x) { printf "extrapolated %.17g against %.17g: off by %.3g (bound %.3g)\n", x, p, abs(x - p), bound_x; exit }
        printf "ok %.2g\n", abs(x - p) / abs(p)
      }')
    if [[ $verdict == ok* ]]; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      echo "FAIL $name ${args[*]}: $f: $verdict"
    fi
  done
}

count=0
while read -r name zo gain r1 r3 r5 series; do
  [[ -z $name || $name == \#* ]] && continue
  check_design "$name" "$zo" "$gain" "$r1" "$r3" "$r5" "$series"
  count=$((count + 1))
done <"$designs"
echo "$count designs simulated, 4 figures each"
echo "$passed passed, $failed failed"
((failed == 0 && count > 0))
