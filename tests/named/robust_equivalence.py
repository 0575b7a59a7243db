#!/usr/bin/env python3
"""A robust design of one secondary per primary, without movement and with c equal to p, is the
ordinary study of the same rates: the same standard output, standard error, exit status and
files, byte for byte (the TRUTH= file's last column, inside, left out).

    robust_equivalence.py PLOVANET [--count N] [--seed S]

The files are the random files of compare_formats.py in the named format, with every c line
dropped (so c is p) and, for the robust twin, "secondaries 1" after occasions; run with their
random arguments (expected values and STOCHASTIC with both engines, GROUPS=, CLASSES=, RECRUIT=,
THETA=TIME, TRUTH=, CSV=, REPS=) less JOLLY and CAPTURE, which a robust design refuses, and
MARK, whose header names the design. Exits 1 on any difference."""
import argparse
import os
import random
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import compare_formats  # noqa: E402
from compare_formats import to_named  # noqa: E402


def twins(named):
    lines = [ln for ln in named.splitlines(True) if ln.split()[:1] not in (["c"], ["p2"])]
    for i, ln in enumerate(lines):
        if ln.split()[:1] == ["occasions"]:
            return "".join(lines), "".join(lines[:i + 1] + ["secondaries 1\n"] + lines[i + 1:])
    raise ValueError("no occasions line")


def without_inside(files):
    out = dict(files)
    for name, data in files.items():
        if name == "t.csv":
            out[name] = b"".join(row.rsplit(b",", 1)[0] + b"\n" for row in data.splitlines())
    return out


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("--count", type=int, default=40)
    ap.add_argument("--seed", type=int, default=21)
    a = ap.parse_args()
    binary = os.path.abspath(a.binary)
    rng = random.Random(a.seed)
    runs = failed = 0
    while runs < a.count:
        numeric, args, recruit = compare_formats.random_case(rng)
        args = [x for x in args if x not in ("JOLLY", "CAPTURE", "MARK")]
        if rng.random() < 0.5 and not any(x.startswith("RNG=") for x in args):
            args.append(rng.choice(["RNG=PCG", "RNG=CLASSIC"]))
        try:
            ordinary, robust = twins(to_named.to_named(numeric, recruit, compact=runs % 2 == 1))
        except to_named.Refused:
            continue
        one = compare_formats.run(binary, ordinary, args)
        if one[2] != 0:
            continue  # values the named format refuses
        runs += 1
        two = compare_formats.run(binary, robust, args)
        if one[:3] == two[:3] and one[3] == without_inside(two[3]):
            continue
        failed += 1
        print("DIFFERENT run %d, args %s\n--- ordinary\n%s--- robust\n%s" % (runs, " ".join(args), ordinary, robust))
    print("%d of %d pairs of runs the same" % (runs - failed, runs))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
