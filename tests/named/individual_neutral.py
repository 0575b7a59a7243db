#!/usr/bin/env python3
"""Expected values with individual settings that move nothing are the plain study's: every CSV=
frequency and TRUTH= total the same to 1e-9, relative; exits 1 on any difference.

    individual_neutral.py PLOVANET [--count N] [--seed S]

The studies: the shipped named examples (robust designs apart, which refuse individual
settings) and N random files converted by tools/to_named.py, each run as it is, with
"heterogeneity p 0", and with "covariate x normal 0 1" and "effect p x 0"."""
import argparse
import os
import random
import sys

from compare_formats import ROOT, random_case, read, run, to_named

NEUTRAL = [["heterogeneity p 0\n"], ["covariate x normal 0 1\n", "effect p x 0\n"],
           ["covariate x normal 0.5 2\n", "covariate y categories 0.3 0.7\n", "effect p x 0\n", "effect survival y 0\n",
            "heterogeneity p 0\n"]]
EXAMPLES = [("open", []), ("closed", []), ("tagloss", ["THETA=TIME"]), ("recruit", ["RECRUIT=BINOMIAL", "USEF1"]),
            ("groups", ["GROUPS=2"]), ("mh", ["CLASSES=2"]), ("sites", [])]


def with_lines(named, extra):
    lines = named.splitlines(True)
    at = next(i for i, ln in enumerate(lines) if ln.split()[:1] == ["occasions"]) + 1
    # The design lines that must follow occasions come first.
    while at < len(lines) and lines[at].split()[:1] in (["states"], ["secondaries"], ["interval"]):
        at += 1
    return "".join(lines[:at] + extra + lines[at:])


def rows(files, name):
    """The rows of a CSV file as (leading columns, numbers)."""
    out = []
    for row in files[name].decode().splitlines()[1:]:
        cols = row.split(",")
        lead = 4 if name == "c.csv" else 5
        out.append((tuple(cols[:lead]), [float(x) for x in cols[lead:] if x != "" and not x.isalpha()]))
    return out


def same(a, b):
    return len(a) == len(b) and all(
        ka == kb and len(va) == len(vb) and all(abs(x - y) <= 1e-9 * max(abs(x), abs(y), 1e-300) for x, y in zip(va, vb))
        for (ka, va), (kb, vb) in zip(a, b))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("--count", type=int, default=30)
    ap.add_argument("--seed", type=int)
    a = ap.parse_args()
    binary = os.path.abspath(a.binary)
    rng = random.Random(29 if a.seed is None else a.seed)
    studies = [(read(os.path.join(ROOT, "examples", n + "_named.txt")), args, "examples/%s_named.txt" % n)
               for n, args in EXAMPLES]
    while len(studies) < len(EXAMPLES) + a.count:
        numeric, args, recruit = random_case(rng)
        try:
            named = to_named.to_named(numeric, recruit, compact=rng.random() < 0.5)
        except to_named.Refused:
            continue
        args = [x for x in args if x.startswith(("GROUPS=", "CLASSES=", "THETA=", "RECRUIT=", "USEF1"))]
        studies.append((named, args, "random file %d" % (len(studies) - len(EXAMPLES))))
    runs = failed = compared = 0
    for named, args, label in studies:
        # RECRUIT=NORMAL draws even here, and individual settings draw from PCG32.
        args = args + ["SEED=29", "RNG=PCG", "CSV=c.csv", "TRUTH=t.csv"]
        plain = run(binary, named, args)
        if plain[2] != 0:
            continue  # values the named format refuses
        for extra in NEUTRAL:
            runs += 1
            other = run(binary, with_lines(named, extra), args)
            ok = other[2] == 0
            for name in ("c.csv", "t.csv"):
                ok = ok and name in other[3] and same(rows(plain[3], name), rows(other[3], name))
                compared += len(rows(plain[3], name))
            if not ok:
                failed += 1
                print("DIFFERENT %s with %s, args %s: status %d\n%s" % (
                    label, "".join(extra).replace("\n", "; "), " ".join(args), other[2], other[1].decode()))
    print("%d rows of CSV= and TRUTH= compared; %d of %d runs the same to 1e-9" % (compared, runs - failed, runs))
    sys.exit(1 if failed or runs == 0 else 0)


if __name__ == "__main__":
    main()
