#!/usr/bin/env python3
"""Runs random parameter files and arguments with two builds of plovanet and prints every run whose
standard output, standard error, status or files differ: the check that a change meant to keep
every output keeps it.

    tools/compare_runs.py OLD NEW [--count N] [--seed S]

The cases: numeric files (tests/named/compare_formats.py's random ones), some with rates outside
0..1, their named twins, robust designs of several secondaries with movement, with random
layouts, recruitment, classes and groups, studies (REPS=, FIRSTREP=, RNG=), TRUTH=, CSV=,
MINFREQ=, STRICT and files cut short. Exits 1 on any difference."""
import argparse
import os
import random
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tests", "named"))
import to_named  # noqa: E402
from compare_formats import random_case, run  # noqa: E402


def rates(rng, count, low, high):
    return " ".join(str(round(rng.uniform(low, high), 3)) for _ in range(count))


def robust(named, rng):
    """The named file as a robust design: 1 to 3 secondaries per primary, movement now and then."""
    lines = named.splitlines(True)
    at = next(i for i, ln in enumerate(lines) if ln.split()[:1] == ["occasions"])
    k = int(lines[at].split()[1])
    sec = [rng.randint(1, 3) for _ in range(k)]
    if sum(sec) > 30:
        sec = [1] * k
    out = lines[:at + 1] + ["secondaries %s\n" % " ".join(map(str, sec))]
    for ln in lines[at + 1:]:
        w = ln.split()
        out.append("%s %s\n" % (w[0], rates(rng, sum(sec), 0.05, 0.9)) if w[:1] in (["p"], ["c"]) else ln)
    if k > 1 and rng.random() < 0.7:
        first = next((i for i, ln in enumerate(out) if ln.split()[:1] == ["dataset"]), len(out))
        out[first:first] = ["emigrate %s\n" % rates(rng, k - 1, 0, 0.6), "remain_out %s\n" % rates(rng, k - 1, 0, 0.9)]
    return "".join(out)


def wild(numeric, rng):
    """A few values beyond what a rate may be."""
    words = numeric.split()
    for i in range(1, len(words)):
        if rng.random() < 0.04:
            words[i] = rng.choice(["1.3", "-0.2", "2", "0.99999", "1e-9"])
    return " ".join(words) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--count", type=int, default=300)
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()
    old, new = os.path.abspath(a.old), os.path.abspath(a.new)
    rng = random.Random(a.seed)
    differ = 0
    for i in range(a.count):
        numeric, args, recruit = random_case(rng)
        form, text = rng.randrange(4), numeric
        if form == 1:
            text = wild(numeric, rng)
        elif form >= 2:
            try:
                text = to_named.to_named(numeric, recruit, compact=rng.random() < 0.5)
            except to_named.Refused:
                form = 0
            if form == 3:
                text = robust(text, rng)
                args = [x for x in args if x not in ("JOLLY", "CAPTURE")] + (["JOLLY"] if rng.random() < 0.05 else [])
        if rng.random() < 0.2:
            args.append("RNG=" + rng.choice(["PCG", "CLASSIC"]))
        if rng.random() < 0.1:
            args += ["REPS=3", "FIRSTREP=%d" % rng.randint(1, 5), "OUT=s.inp"]
        if rng.random() < 0.1 and "CSV=h.csv" in args:
            args.append("MINFREQ=" + rng.choice(["0", "1e-9", "0.01"]))
        if rng.random() < 0.05:
            args.append("STRICT")
        if rng.random() < 0.05:
            text = text[:rng.randrange(len(text))]
        x, y = run(old, text, args), run(new, text, args)
        if x != y:
            differ += 1
            parts = [p for p, u, v in zip(("stdout", "stderr", "status", "files"), x, y) if u != v]
            print("DIFFERENT case %d (%s), args %s\n%s" % (i, ", ".join(parts), " ".join(args), text))
    print("%d runs, %d differ" % (a.count, differ))
    sys.exit(1 if differ else 0)


if __name__ == "__main__":
    main()
