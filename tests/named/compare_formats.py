#!/usr/bin/env python3
"""Runs numeric parameter files and their named twins and requires the same whole run (stdout,
stderr, status, every file written), byte for byte; exits 1 on any difference.

    compare_formats.py PLOVANET [--count N] [--seed S] [--golden] [--robust] [--states]

The twins: the shipped examples (examples/X.txt and X_named.txt), N random numeric files with
random arguments converted by tools/to_named.py plainly and compactly, and with --golden every
golden case whose numeric plovanet.txt runs cleanly and converts. With --robust: N random files
in the named format without c lines (so c is p), as they are and as a robust design of one
secondary per primary ("secondaries 1"), the same study but for the TRUTH= file's last column
(inside); without JOLLY and CAPTURE, which it refuses, and MARK, whose header names the design.
With --states: the examples and N random files, expected values, as they are and as a
multistate study of one state ("states A"): every CSV= frequency and TRUTH= total the same to
1e-9, relative, a state's letter read as 1."""
import argparse
import os
import random
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))
import to_named  # noqa: E402

EXAMPLES = [("open", ["MARK"]), ("closed", ["CAPTURE", "STOCHASTIC", "SEED=7"]), ("tagloss", ["JOLLY"]),
            ("tagloss", ["JOLLY", "THETA=TIME"]), ("recruit", ["RECRUIT=BINOMIAL", "USEF1", "MARK"]),
            ("recruit", ["RECRUIT=BINOMIAL", "USEF1", "STOCHASTIC", "SEED=11"]), ("groups", ["GROUPS=2"]),
            ("mh", ["CLASSES=2", "CAPTURE"])]


def run(binary, text, args):
    """stdout, stderr, status and the files a run leaves, in a fresh folder."""
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "plovanet.txt"), "w", newline="") as f:
            f.write(text)
        r = subprocess.run([binary] + args, cwd=work, capture_output=True, stdin=subprocess.DEVNULL)
        files = {name: read(os.path.join(work, name), "rb") for name in sorted(os.listdir(work))
                 if name != "plovanet.txt"}
        return r.stdout, r.stderr, r.returncode, files


def rate(rng, low=0.0, high=1.0):
    x = rng.uniform(low, high)
    form = rng.randrange(8)
    if form == 0:
        return rng.choice(["0", "1", ".5", "1.", "5e-1", "0.25"]) if low == 0 else "%.2f" % x
    if form == 1:
        return repr(x)  # every digit of a double
    if form == 2:
        return "%.6e" % x
    return "%.*f" % (rng.randrange(1, 4), x)


def vector(rng, count, make, same):
    return [make()] * count if same else [make() for _ in range(count)]


def random_case(rng):
    """A numeric file and arguments that the named format takes as well."""
    k = rng.randint(1, 8)
    sets = rng.randint(1, 3)
    recruit = rng.choice(["none", "none", "binomial", "normal"])
    usef1 = recruit != "none" and rng.random() < 0.5
    args = []
    if rng.random() < 0.5:
        args += ["STOCHASTIC", "SEED=%d" % rng.randint(1, 10**6)]
    elif recruit == "normal":
        args.append("SEED=%d" % rng.randint(1, 10**6))
    args += [lay for lay in ("MARK", "CAPTURE", "JOLLY") if rng.random() < 0.3]
    if recruit != "none":
        args.append("RECRUIT=" + recruit.upper())
    if usef1:
        args.append("USEF1")
    if rng.random() < 0.3:
        args.append("THETA=TIME")
    if sets > 1 and rng.random() < 0.5:
        classes = rng.choice([c for c in (1, sets) if sets % c == 0])
        if classes > 1:
            args.append("CLASSES=%d" % classes)
        if rng.random() < 0.6:
            args.append("GROUPS=%d" % (sets // classes))
    if rng.random() < 0.3:
        args += ["TRUTH=t.csv", "CSV=h.csv"]
    if rng.random() < 0.15:
        args += ["REPS=2", "OUT=r.out"]
    words = [str(k)]
    for _ in range(sets):
        same = rng.random() < 0.5  # vectors of one value, for the compact form
        n = [str(rng.randint(0, 400)) for _ in range(k)]
        if rng.random() < 0.2:
            n = [rng.choice(["1e2", "2.5E1", "12.5", "0"]) for _ in range(k)]
        if float(n[0]) == 0:
            n[0] = str(rng.randint(1, 400))  # entrants that add up to more than 0; n1 > 0 for RECRUIT=
        p = vector(rng, k, lambda: rate(rng, 0.05), same)
        vecs = [n,
                vector(rng, k - 1, lambda: rate(rng), same),
                vector(rng, k - 1, lambda: rate(rng, 0.5), same or rng.random() < 0.5),
                p,
                p if rng.random() < 0.4 else vector(rng, k, lambda: rate(rng), same)]
        if recruit != "none":
            vecs.append(vector(rng, k - 1, lambda: rate(rng, 0, 1 if recruit == "binomial" else 1.5), same))
        if recruit == "normal":
            vecs.append(vector(rng, k - 1, lambda: rate(rng, 0, 0.2), same))
        for v in vecs:
            words.append(" ".join(v))
    if rng.random() < 0.2:
        words.append(" ".join(["-1"] + ["0"] * (k - 1)))  # the numeric file's end of data
    sep = rng.choice(["\n", " ", "\n\n"])
    return sep.join(words) + "\n", args, recruit


def compare(binary, numeric, named, args, label):
    a, b = run(binary, numeric, args), run(binary, named, args)
    if a == b and a[2] == 0:
        return True
    bad = [part for part, x, y in zip(("stdout", "stderr", "status", "files"), a, b) if x != y]
    print("DIFFERENT %s (%s) args %s: numeric status %d, named status %d %s" % (
        label, ", ".join(bad) or "both failed", " ".join(args), a[2], b[2], b[0].decode(errors="replace").splitlines()[-1:]))
    return False


def read(path, mode="r"):
    with open(path, mode, **({} if "b" in mode else {"encoding": "utf-8", "errors": "surrogateescape"})) as f:
        return f.read()


def recruit_of(args):
    return next((r for r in ("normal", "binomial") if any("RECRUIT=" + r.upper() in x for x in args)), "none")


def golden_cases(golden):
    """Every case as a path under golden/: "name", or "family/name" for a folder of folded cases."""
    for family in sorted(os.listdir(golden)):
        subs = sorted(m for m in os.listdir(os.path.join(golden, family))
                      if m not in ("in", "out") and os.path.isdir(os.path.join(golden, family, m)))
        yield from [family + "/" + m for m in subs] or [family]


def golden_file(golden, case, name):
    """A case's file, or else its family's."""
    own = os.path.join(golden, case, name)
    if "/" not in case or os.path.exists(os.path.join(golden, case, name.split("/")[0])):
        return own
    return os.path.join(golden, os.path.dirname(case), name)


def robust_twins(named):
    lines = [ln for ln in named.splitlines(True) if ln.split()[:1] not in (["c"], ["p2"])]
    at = next(i for i, ln in enumerate(lines) if ln.split()[:1] == ["occasions"]) + 1
    return "".join(lines), "".join(lines[:at] + ["secondaries 1\n"] + lines[at:])


def without_inside(files):
    return {name: b"".join(row.rsplit(b",", 1)[0] + b"\n" for row in data.splitlines()) if name == "t.csv" else data
            for name, data in files.items()}


def compare_robust(binary, rng, count):
    runs = failed = 0
    while runs < count:
        numeric, args, recruit = random_case(rng)
        args = [x for x in args if x not in ("JOLLY", "CAPTURE", "MARK")]
        if rng.random() < 0.5 and not any(x.startswith("RNG=") for x in args):
            args.append(rng.choice(["RNG=PCG", "RNG=CLASSIC"]))
        try:
            ordinary, robust = robust_twins(to_named.to_named(numeric, recruit, compact=runs % 2 == 1))
        except to_named.Refused:
            continue
        one = run(binary, ordinary, args)
        if one[2] != 0:
            continue  # values the named format refuses
        runs += 1
        two = run(binary, robust, args)
        if one[:3] != two[:3] or one[3] != without_inside(two[3]):
            failed += 1
            print("DIFFERENT run %d, args %s\n--- ordinary\n%s--- robust\n%s" % (runs, " ".join(args), ordinary, robust))
    return runs, failed


def one_state(named):
    lines = named.splitlines(True)
    at = next(i for i, ln in enumerate(lines) if ln.split()[:1] == ["occasions"]) + 1
    return "".join(lines[:at] + ["states A\n"] + lines[at:])


def numbers(files, name, states):
    """The rows of a CSV file as (key, values): the history with its state's letter read as 1, or
    the TRUTH= row's leading columns, and its numbers."""
    rows = files[name].decode().splitlines()[1:]
    out = []
    for row in rows:
        cols = row.split(",")
        if name == "c.csv":
            out.append((tuple(cols[:3] + [cols[3].replace("A", "1")]), [float(cols[4])]))
        else:
            if states:
                del cols[5]  # the state column
            out.append((tuple(cols[:5]), [float(x) for x in cols[6:] if x != ""][:6]))
    return out


def compare_states(binary, rng, count):
    """Expected values of ordinary files and the same files with one state: every history and
    total to 1e-9, relative."""
    texts = [read(os.path.join(ROOT, "examples", n + "_named.txt")) for n in ("open", "closed", "tagloss", "groups", "mh")]
    runs = failed = rows = 0
    while runs < count + len(texts):
        if texts:
            named, args = texts.pop(), ["GROUPS=2"]
        else:
            numeric, args, recruit = random_case(rng)
            if recruit != "none":
                continue
            try:
                named = to_named.to_named(numeric, recruit, compact=runs % 2 == 1)
            except to_named.Refused:
                continue
            if int(numeric.split()[0]) > 12:
                continue  # MINFREQ=0 writes every history of nonzero frequency
        args = [x for x in args if x.startswith(("GROUPS=", "CLASSES=", "THETA="))]
        args += ["CSV=c.csv", "MINFREQ=0", "TRUTH=t.csv"]
        one = run(binary, named, args)
        if one[2] != 0:
            continue  # values the named format refuses
        runs += 1
        two = run(binary, one_state(named), args)
        same = two[2] == 0
        for name in ("c.csv", "t.csv"):
            a, b = numbers(one[3], name, False), numbers(two[3], name, True)
            rows += len(a)
            same = same and len(a) == len(b) and all(
                ka == kb and all(abs(x - y) <= 1e-9 * max(abs(x), abs(y), 1e-300) for x, y in zip(va, vb))
                for (ka, va), (kb, vb) in zip(a, b))
        if not same:
            failed += 1
            print("DIFFERENT run %d, args %s\n%s%s" % (runs, " ".join(args), named, two[1].decode()))
    print("%d rows of CSV= and TRUTH= compared" % rows)
    return runs, failed


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("binary")
    ap.add_argument("--count", type=int, default=40)
    ap.add_argument("--seed", type=int)
    ap.add_argument("--golden", action="store_true")
    ap.add_argument("--robust", action="store_true")
    ap.add_argument("--states", action="store_true")
    a = ap.parse_args()
    binary = os.path.abspath(a.binary)
    if a.states:
        runs, failed = compare_states(binary, random.Random(22 if a.seed is None else a.seed), a.count)
        print("%d of %d pairs of runs the same to 1e-9" % (runs - failed, runs))
        sys.exit(1 if failed else 0)
    if a.robust:
        runs, failed = compare_robust(binary, random.Random(21 if a.seed is None else a.seed), a.count)
        print("%d of %d pairs of runs the same" % (runs - failed, runs))
        sys.exit(1 if failed else 0)
    runs = failed = refused = 0
    for name, args in EXAMPLES:
        numeric, named = (read(os.path.join(ROOT, "examples", name + x)) for x in (".txt", "_named.txt"))
        for text, label in ((named, "examples/%s_named.txt" % name),
                            (to_named.to_named(numeric, recruit_of(args)), "examples/%s.txt converted" % name)):
            runs += 1
            failed += not compare(binary, numeric, text, args, label)
    rng = random.Random(20 if a.seed is None else a.seed)
    for i in range(a.count):
        numeric, args, recruit = random_case(rng)
        named = to_named.to_named(numeric, recruit, compact=i % 2 == 1)
        runs += 1
        if not compare(binary, numeric, named, args, "random file %d" % i):
            failed += 1
            print("--- numeric\n%s--- named\n%s" % (numeric, named))
    golden = os.path.join(ROOT, "tests", "golden")
    for case in golden_cases(golden) if a.golden else []:
        src = golden_file(golden, case, "in/plovanet.txt")
        if not os.path.exists(golden_file(golden, case, "args")) or not os.path.exists(src):
            continue
        args = read(golden_file(golden, case, "args")).splitlines()
        if any(x.startswith("IN=") for x in args):
            continue
        numeric, recruit = read(src), recruit_of(args)
        try:
            named = [to_named.to_named(numeric, recruit, compact) for compact in (False, True)]
        except to_named.Refused:
            continue
        _, err, status, _ = run(binary, numeric, args)
        if status != 0 or err:
            continue
        if run(binary, named[0], args)[2] != 0:
            refused += 1  # values the named format refuses (f < 0); the numeric one takes them silently
            continue
        for text in named:
            runs += 1
            failed += not compare(binary, numeric, text, args, "golden case %s" % case)
    print("%d of %d pairs of runs the same%s" % (runs - failed, runs,
                                                 "; %d refused by the named format" % refused if refused else ""))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
