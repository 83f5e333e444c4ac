#!/usr/bin/env python3
"""A circuit simulator as the oracle of velmora-cli --frequency.

usage: response_oracle.py VELMORA_CLI [DESIGNS]

For each design of DESIGNS (default designs.txt beside this script) and each
op-amp model below, runs `velmora-cli --frequency --format json`, writes the
stage (R1 ... R5 from the JSON at full precision) with its own op-amp model
as an ngspice netlist, and compares at every sweep point (10 Hz to 10 MHz,
20 per decade):
  - |Zo| and the gain into Zo || CL within 1e-6 relative, their phases
    within 1e-4 degrees (modulo 360);
  - the output noise density within 1e-4 relative;
  - the return ratio T = -Aol (v+ - v-) / vs, the loop broken at the op-amp's
    source for each load (zo, open, short), in a one-point AC run at the
    program's own crossover: |T| = 1 within 1e-4, 180 + arg T the program's
    phase margin within 1e-4 degrees; and at the program's -180 degree
    frequency, its gain margin within 1e-4 dB.
The ideal op-amp is simulated as two finite gains, 1e7 and 1e6, and compared
as run_spice_test.sh does: the finite-gain error removed by extrapolation,
f = (10 f(1e7) - f(1e6)) / 9, within the bounds above plus the second-order
remainder 20 e^2 / |f| (e = |f(1e7) - f(1e6)| / 9).

The simulator's model is written here, not taken from the program's
netlist: a 1 S transconductance into A0 ohms beside 1/(2 pi GBW) farads, a
second such stage for f2 (1 ohm, 1/(2 pi f2)), a buffer and Ro, every one of
these resistors noisy=0; en as a resistor of noise en^2/(4kT) in the (+)
lead, in as a resistor's noise current copied into each input; the load a
noiseless resistor with CL; .options temp=25.
Ends with "N passed, M failed" and the counts of each check.
"""
import json
import math
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
K_BOLTZMANN = 1.380649e-23
TEMP_C = 25.0
PI = 3.14159265358979

# name: (options, A0 ratio or None for the ideal op-amp, GBW, f2 or None, Ro, CL, en, in)
MODELS = {
    "ideal": (["--opamp", "ideal"], None, None, None, 0.0, 0.0, 0.0, 0.0),
    "one-pole": (["--a0", "100", "--gbw", "10M", "--en", "5n", "--in", "0.7p"], 1e5, 10e6, None, 0.0, 0.0,
                 5e-9, 0.7e-12),
    "two-pole-ro-cl": (["--a0", "106", "--gbw", "3M", "--f2", "15M", "--ro", "40", "--cload", "10n", "--en", "8n",
                        "--in", "1p"], 10 ** (106 / 20), 3e6, 15e6, 40.0, 10e-9, 8e-9, 1e-12),
    "slow": (["--a0", "80", "--gbw", "300k", "--f2", "2M", "--ro", "100", "--en", "18n", "--in", "0.01p"], 1e4, 300e3,
             2e6, 100.0, 0.0, 18e-9, 10e-15),
    # A large Ro with a slow second pole and a cable: the cable's pole below its
    # zero on the open output takes the phase past -180 degrees (a gain margin).
    "lagging-cable": (["--a0", "90", "--gbw", "1M", "--f2", "100k", "--ro", "1k", "--cload", "1n"], 10 ** (90 / 20),
                      1e6, 100e3, 1000.0, 1e-9, 0.0, 0.0),
}


def kt4():
    return 4 * K_BOLTZMANN * (273.15 + TEMP_C)


def opamp_subckt(name, a0, gbw, f2, ro, en, inoise, ideal_gain=None):
    """A five-pin op-amp; with `measure`, the loop broken: vs is an AC source."""
    lines = [f".subckt {name} inp inn vcc vee out"]
    plus = "inp"
    if en > 0:
        lines.append(f"Ren inp inpn {en * en / kt4()!r}")
        plus = "inpn"
    if inoise > 0:
        for pin in ("inp", "inn"):
            lines += [f"Rn{pin} a{pin} 0 {kt4() / (inoise * inoise)!r}", f"Vn{pin} a{pin} 0 DC 0",
                      f"Fn{pin} 0 {pin} Vn{pin} 1"]
    if ideal_gain is not None:
        lines.append(f"E1 out 0 {plus} inn {ideal_gain!r}")
    else:
        lines += [f"G1 0 x {plus} inn 1", f"Rx x 0 {a0!r} noisy=0", f"Cx x 0 {1 / (2 * PI * gbw)!r}"]
        node = "x"
        if f2:
            lines += ["G2 0 y x 0 1", "Ry y 0 1 noisy=0", f"Cy y 0 {1 / (2 * PI * f2)!r}"]
            node = "y"
        if ro > 0:
            lines += [f"E1 z 0 {node} 0 1", f"Ro z out {ro!r} noisy=0"]
        else:
            lines.append(f"E1 out 0 {node} 0 1")
    lines.append(f".ends {name}")
    return lines


def loop_subckt(name, a0, gbw, f2, ro):
    """The op-amp with its loop broken: vs an independent 1 V AC source behind
    Ro at the output, Aol (v+ - v-) at the pin `t` (no load on it)."""
    lines = [f".subckt {name} inp inn out t", f"G1 0 x inp inn 1", f"Rx x 0 {a0!r} noisy=0",
             f"Cx x 0 {1 / (2 * PI * gbw)!r}"]
    node = "x"
    if f2:
        lines += ["G2 0 y x 0 1", "Ry y 0 1 noisy=0", f"Cy y 0 {1 / (2 * PI * f2)!r}"]
        node = "y"
    lines.append(f"E2 t 0 {node} 0 1")
    if ro > 0:
        lines += ["VS z 0 DC 0 AC 1", f"Ro z out {ro!r} noisy=0"]
    else:
        lines.append("VS out 0 DC 0 AC 1")
    lines.append(f".ends {name}")
    return lines


def stage_lines(tag, opamp, d, vin_node, out_node):
    """The stage with op-amp subcircuit `opamp`, In at vin_node, Out at out_node."""
    return [f"R1{tag} {vin_node} n{tag} {d['r1']!r}", f"R2{tag} n{tag} a{tag} {d['r2']!r}",
            f"R5{tag} a{tag} {out_node} {d['r5']!r}", f"R3{tag} p{tag} 0 {d['r3']!r}",
            f"R4{tag} p{tag} {out_node} {d['r4']!r}", f"X{tag} p{tag} n{tag} 0 0 a{tag} {opamp}"]


def netlist(d, model, work, figures):
    """The oracle's netlist for design d (the JSON "design" record) and its
    .control block: the sweep, the noise, and the loops at the program's
    frequencies. Returns the text and the list of loop checks."""
    _, a0, gbw, f2, ro, cl, en, inoise = MODELS[model]
    zo = d["zo"]
    lines = ["* velmora response oracle"]
    gains = [1e7, 1e6] if a0 is None else [None]
    for k, gain in enumerate(gains):
        lines += opamp_subckt(f"OA{k}", a0, gbw, f2, ro, en, inoise, gain)
        # Zo: In grounded, 1 A per volt of VIN into Out, no load.
        lines += stage_lines(f"z{k}", f"OA{k}", d, "0", f"zo{k}")
        lines.append(f"GZ{k} 0 zo{k} vin 0 1")
        # Gain and noise: VIN at In, the load a noiseless Zo with CL.
        lines += stage_lines(f"g{k}", f"OA{k}", d, "vin", f"go{k}")
        lines.append(f"RL{k} go{k} 0 {zo!r} noisy=0")
        if cl > 0:
            lines.append(f"CL{k} go{k} 0 {cl!r}")
    checks = []
    if a0 is not None:
        lines += loop_subckt("LOOP", a0, gbw, f2, ro)
        for load in ("zo", "open", "short"):
            out = "0" if load == "short" else f"lo_{load}"
            lines += [f"R1l{load} 0 nl{load} {d['r1']!r}", f"R2l{load} nl{load} al{load} {d['r2']!r}",
                      f"R5l{load} al{load} {out} {d['r5']!r}", f"R3l{load} pl{load} 0 {d['r3']!r}",
                      f"R4l{load} pl{load} {out} {d['r4']!r}", f"XL{load} pl{load} nl{load} al{load} t_{load} LOOP"]
            if load == "zo":
                lines.append(f"RLl{load} {out} 0 {zo!r} noisy=0")
            if load != "short" and cl > 0:
                lines.append(f"CLl{load} {out} 0 {cl!r}")
        for row in figures["stability"]:
            for kind, key in (("crossover", "crossover_hz"), ("phase180", "phase180_hz")):
                if row[key] is not None:
                    checks.append((row["load"], kind, row[key], row))
    lines += ["VIN vin 0 DC 0 AC 1", f".options temp={TEMP_C}", ".control", "set numdgt=17", "set wr_singlescale",
              "set wr_vecnames", "ac dec 20 10 10meg"]
    vectors = " ".join(f"vm(zo{k}) vp(zo{k}) vm(go{k}) vp(go{k})" for k in range(len(gains)))
    lines.append(f"wrdata {work}/ac.txt {vectors}")
    for k in range(len(gains)):
        lines += [f"noise v(go{k}) vin dec 20 10 10meg", f"setplot noise{2 * k + 1}",
                  f"wrdata {work}/noise{k}.txt onoise_spectrum"]
    for i, (load, kind, f, _) in enumerate(checks):
        lines += [f"ac lin 1 {f!r} {f!r}", f"wrdata {work}/loop{i}.txt vm(t_{load}) vp(t_{load})"]
    lines += [".endc", ".end"]
    return "\n".join(lines) + "\n", checks


def read_columns(path):
    """wrdata output: a header, then rows of numbers; a dict name -> list."""
    rows = Path(path).read_text().split("\n")
    names = rows[0].split()
    cols = {n: [] for n in names}
    for row in rows[1:]:
        if row.strip():
            for n, x in zip(names, row.split()):
                cols[n].append(float(x))
    return cols


class Tally:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.counts = {}
        self.messages = []

    def check(self, what, ok, detail):
        self.counts[what] = self.counts.get(what, 0) + 1
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            if len(self.messages) < 40:
                self.messages.append(f"FAIL {what}: {detail}")


def angle_diff(a, b):
    return abs((a - b + 180.0) % 360.0 - 180.0)


def compare_point(tally, name, i, fig, sim, ideal):
    """Magnitudes and phases of one sweep point; `sim` holds the simulated
    values, one per finite gain."""
    for key, mag, phase in (("zo", "zo_ohm", "zo_deg"), ("gain", "gain_db", "gain_deg")):
        p = fig[mag] if key == "zo" else 10 ** (fig[mag] / 20)
        if not ideal:
            m, ph = sim[0][key]
            tally.check(f"|{key}|", abs(m - p) <= 1e-6 * abs(p), f"{name} point {i}: {m!r} against {p!r}")
            tally.check(f"{key} phase", angle_diff(ph, fig[phase]) <= 1e-4,
                        f"{name} point {i}: {ph!r} against {fig[phase]!r} degrees")
            continue
        (m7, ph7), (m6, ph6) = sim[0][key], sim[1][key]
        e = abs(m7 - m6) / 9
        rest = 20 * e * e / abs(p)
        x = (10 * m7 - m6) / 9
        tally.check(f"|{key}|", abs(x - p) <= 1e-6 * abs(p) + rest, f"{name} point {i}: {x!r} against {p!r}")
        d6 = ph6 - ph7 - 360 * round((ph6 - ph7) / 360)
        eph = abs(d6) / 9
        xph = ph7 - d6 / 9
        tally.check(f"{key} phase", angle_diff(xph, fig[phase]) <= 1e-4 + 20 * eph * eph,
                    f"{name} point {i}: {xph!r} against {fig[phase]!r} degrees")


def run_case(cli, design, model, tally, root):
    name = f"{design[0]}/{model}"
    args = ["--zo", design[1], "--gain", design[2], "--r1", design[3], "--r3", design[4], "--r5", design[5],
            "--series", design[6], "--frequency", *MODELS[model][0], "--format", "json"]
    run = subprocess.run([cli, *args], capture_output=True, encoding="utf-8")
    if run.returncode != 0:
        tally.check("program run", False, f"{name}: velmora-cli {' '.join(args)} exited {run.returncode}: {run.stderr}")
        return
    figures = json.loads(run.stdout)
    d = figures["design"]
    work = Path(tempfile.mkdtemp(dir=root))
    text, checks = netlist(d, model, work, figures)
    (work / "oracle.cir").write_text(text)
    sim_run = subprocess.run(["ngspice", "-b", str(work / "oracle.cir")], capture_output=True, encoding="utf-8",
                             timeout=120)
    try:
        ac = read_columns(work / "ac.txt")
        noise = [read_columns(work / f"noise{k}.txt")["onoise_spectrum"]
                 for k in range(1 if MODELS[model][1] is not None else 2)]
    except (OSError, KeyError, IndexError, ValueError) as error:
        tally.check("simulation", False, f"{name}: no results ({error}); ngspice said:\n{sim_run.stdout[-2000:]}")
        return
    ideal = MODELS[model][1] is None
    points = figures["points"]
    tally.check("sweep", len(ac["frequency"]) == len(points), f"{name}: {len(ac['frequency'])} simulated points "
                                                              f"against {len(points)}")
    for i, fig in enumerate(points[:len(ac["frequency"])]):
        if abs(ac["frequency"][i] / fig["f_hz"] - 1) > 1e-9:
            tally.check("sweep", False, f"{name} point {i}: {ac['frequency'][i]} Hz against {fig['f_hz']}")
            continue
        sim = [{"zo": (ac[f"vm(zo{k})"][i], math.degrees(ac[f"vp(zo{k})"][i])),
                "gain": (ac[f"vm(go{k})"][i], math.degrees(ac[f"vp(go{k})"][i]))} for k in range(len(noise))]
        compare_point(tally, name, i, fig, sim, ideal)
        n = fig["noise_v"]
        if ideal:
            n7, n6 = noise[0][i], noise[1][i]
            e = abs(n7 - n6) / 9
            x = (10 * n7 - n6) / 9
            ok = abs(x - n) <= 1e-4 * n + 20 * e * e / n
        else:
            x = noise[0][i]
            ok = abs(x - n) <= 1e-4 * n
        tally.check("noise density", ok, f"{name} point {i} ({fig['f_hz']} Hz): {x!r} against {n!r}")
    for i, (load, kind, f, row) in enumerate(checks):
        try:
            loop = read_columns(work / f"loop{i}.txt")
        except (OSError, IndexError, ValueError) as error:
            tally.check(f"loop {kind}", False, f"{name} {load}: no result ({error})")
            continue
        magnitude = loop[f"vm(t_{load})"][0]
        phase = math.degrees(loop[f"vp(t_{load})"][0]) + 180.0  # arg T, T = -v(t)
        if kind == "crossover":
            tally.check("loop |T| = 1 at the crossover", abs(magnitude - 1) <= 1e-4,
                        f"{name} {load}: |T| = {magnitude!r} at {f} Hz")
            tally.check("phase margin", angle_diff(180 + phase, row["phase_margin_deg"]) <= 1e-4,
                        f"{name} {load}: {180 + phase!r} against {row['phase_margin_deg']!r}")
        else:
            gm = -20 * math.log10(magnitude)
            tally.check("arg T = -180 and the gain margin", angle_diff(phase, -180) <= 1e-4 and
                        abs(gm - row["gain_margin_db"]) <= 1e-4,
                        f"{name} {load}: arg T {phase!r}, GM {gm!r} against {row['gain_margin_db']!r}")
    for path in work.iterdir():
        path.unlink()
    work.rmdir()


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    cli = sys.argv[1]
    designs_file = Path(sys.argv[2]) if len(sys.argv) > 2 else HERE / "designs.txt"
    designs = [line.split() for line in designs_file.read_text(encoding="utf-8").splitlines()
               if line.strip() and not line.startswith("#")]
    tally = Tally()
    start = time.monotonic()
    with tempfile.TemporaryDirectory(prefix="velmora-oracle-") as root:
        for design in designs:
            for model in MODELS:
                run_case(cli, design, model, tally, root)
    for m in tally.messages:
        print(m)
    print(f"{len(designs)} designs x {len(MODELS)} op-amp models in {time.monotonic() - start:.1f} s; checks: " +
          ", ".join(f"{k} {v}" for k, v in tally.counts.items()))
    print(f"{tally.passed} passed, {tally.failed} failed")
    return 0 if tally.failed == 0 and tally.passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
