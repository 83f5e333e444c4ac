#!/usr/bin/env python3
"""velmora-cli --frequency --format json for a few designs and op-amps
against the figures recorded from the native build: every string and null
the same, every number within 1e-12 relative (angles modulo 360 degrees).
The Windows build, run under Wine, must give the native figures.

usage: check_frequency_json.py [--write] GOLDEN_DIR CLI [EMULATOR...]
  --write  record the figures of this build instead of comparing
"""
import json
import math
import subprocess
import sys
from pathlib import Path

CASES = {
    "default_ne5532": ["--opamp", "NE5532"],
    "near_limit_tl072": ["--r5", "3", "--series", "∞", "--opamp", "TL072", "--f2", "20M", "--ro", "50",
                         "--cload", "10n", "--in", "1p"],
    "ideal_audio": ["--opamp", "ideal", "--fmin", "20", "--fmax", "20k", "--per-decade", "5"],
    "lm4562_gain20": ["--zo", "50", "--gain", "20", "--r5", "4.7", "--series", "96", "--opamp", "LM4562",
                      "--cload", "100n", "--temp", "40"],
}


def compare(path, got, want, problems):
    if isinstance(want, dict):
        if not isinstance(got, dict) or sorted(got) != sorted(want):
            problems.append(f"{path}: members {sorted(got) if isinstance(got, dict) else got} against {sorted(want)}")
            return
        for key in want:
            compare(f"{path}.{key}", got[key], want[key], problems)
    elif isinstance(want, list):
        if not isinstance(got, list) or len(got) != len(want):
            problems.append(f"{path}: {len(got) if isinstance(got, list) else got} entries against {len(want)}")
            return
        for i, (g, w) in enumerate(zip(got, want)):
            compare(f"{path}[{i}]", g, w, problems)
    elif isinstance(want, bool) or want is None or isinstance(want, str):
        if got != want:
            problems.append(f"{path}: {got!r} against {want!r}")
    else:
        if isinstance(got, bool) or not isinstance(got, (int, float)):
            problems.append(f"{path}: {got!r} against {want!r}")
            return
        diff = abs(got - want)
        if path.endswith("_deg"):
            diff = abs((got - want + 180.0) % 360.0 - 180.0)
        if diff > 1e-12 * max(abs(want), 1e-300) and not (path.endswith("_deg") and diff <= 1e-12 * 180):
            problems.append(f"{path}: {got!r} against {want!r} (off by {diff / max(abs(want), 1e-300):.3g})")


def main():
    args = sys.argv[1:]
    write = args[:1] == ["--write"]
    if write:
        args = args[1:]
    if len(args) < 2:
        sys.exit(__doc__)
    golden, cli, emulator = Path(args[0]), args[1], [a for a in args[2:] if a]
    failed = 0
    for name, options in CASES.items():
        run = subprocess.run(emulator + [cli, "--frequency", *options, "--format", "json"],
                             capture_output=True, encoding="utf-8")
        if run.returncode != 0:
            print(f"FAIL {name}: exit {run.returncode}: {run.stderr}")
            failed += 1
            continue
        got = json.loads(run.stdout)
        file = golden / f"frequency_{name}.json"
        if write:
            file.write_text(run.stdout, encoding="utf-8", newline="\n")
            continue
        problems = []
        compare(name, got, json.loads(file.read_text(encoding="utf-8")), problems)
        for p in problems[:10]:
            print(f"FAIL {p}")
        failed += bool(problems)
    print(f"{len(CASES) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
