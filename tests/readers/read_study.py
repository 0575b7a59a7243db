#!/usr/bin/env python3
"""Runs a three-replicate study with TRUTH= and CSV= and reads both files with the csv module:
row counts, column names, histories kept as text (leading zeros), and per replicate the CSV
frequencies adding up to the records of that replicate's output file; then the same study with
INDIVIDUAL, whose CSV= rows (one per animal, freq 1) count up to the same histories."""
import csv
import os
import subprocess
import sys
import tempfile

PARAMS = ("4\n200 40 40 40\n0.8 0.7 0.9\n0.9 0.8 0.95\n0.3 0.4 0.35 0.5\n0.4 0.5 0.45 0.6\n"
          "150 0 0 0\n0.6 0.6 0.6\n1 1 1\n0.2 0.3 0.2 0.3\n0.3 0.3 0.3 0.3\n")
NPER, DATASETS, REPS = 4, 2, 3


def check(ok, msg):
    if not ok:
        sys.exit("read_study.py: " + msg)  # to standard error, with status 1


def main():
    binary = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "plovanet.txt"), "w") as f:
            f.write(PARAMS)
        run = subprocess.run([binary, "STOCHASTIC", "SEED=99", "REPS=%d" % REPS, "OUT=sim.out",
                              "TRUTH=truth.csv", "CSV=hist.csv"], cwd=work, capture_output=True)
        check(run.returncode == 0, "plovanet ended with status %d" % run.returncode)

        with open(os.path.join(work, "truth.csv"), newline="") as f:
            truth = list(csv.DictReader(f))
            truth_cols = list(truth[0].keys()) if truth else []
        check(truth_cols == ["rep", "dataset", "group", "class", "occasion", "seed", "entrants", "alive",
                             "marked", "captured", "newly_marked", "tags_lost"], "TRUTH columns %s" % truth_cols)
        check(len(truth) == REPS * DATASETS * NPER, "TRUTH has %d rows" % len(truth))
        check({r["seed"] for r in truth} == {"99"}, "TRUTH seeds %s" % {r["seed"] for r in truth})

        with open(os.path.join(work, "hist.csv"), newline="") as f:
            reader = csv.DictReader(f)
            hist = list(reader)
            check(reader.fieldnames == ["rep", "dataset", "group", "ch", "freq"], "CSV columns %s" % reader.fieldnames)
        check(all(len(r["ch"]) == NPER and set(r["ch"]) <= {"0", "1"} for r in hist), "a history lost its digits")
        check(any(r["ch"].startswith("0") for r in hist), "no history with a leading zero")

        records = 0
        for rep in range(1, REPS + 1):
            total, lines = 0.0, 0
            with open(os.path.join(work, "sim_%04d.out" % rep)) as f:
                for line in f:
                    digits, freq = line.split()
                    total += float(freq.rstrip(";"))
                    lines += 1
            records += lines
            got = sum(float(r["freq"]) for r in hist if r["rep"] == str(rep))
            check(abs(got - total) <= 1e-6, "replicate %d: CSV sums to %g, the output file to %g" % (rep, got, total))
            captured = sum(float(r["captured"]) for r in truth if r["rep"] == str(rep))
            caught = sum(float(r["freq"]) * r["ch"].count("1") for r in hist if r["rep"] == str(rep))
            check(abs(captured - caught) <= 1e-6, "replicate %d: TRUTH captured %g, histories %g" % (rep, captured, caught))
        check(records == len(hist), "CSV has %d rows, the output files %d records" % (len(hist), records))

        run = subprocess.run([binary, "STOCHASTIC", "SEED=99", "REPS=%d" % REPS, "OUT=ind.out", "INDIVIDUAL",
                              "CSV=ind.csv"], cwd=work, capture_output=True)
        check(run.returncode == 0, "plovanet INDIVIDUAL ended with status %d" % run.returncode)
        with open(os.path.join(work, "ind.csv"), newline="") as f:
            reader = csv.DictReader(f)
            animals = list(reader)
            check(reader.fieldnames == ["rep", "dataset", "group", "ch", "freq"],
                  "INDIVIDUAL CSV columns %s" % reader.fieldnames)
        check({r["freq"] for r in animals} == {"1"}, "INDIVIDUAL frequencies %s" % {r["freq"] for r in animals})
        counts = {}
        for r in animals:
            key = (r["rep"], r["dataset"], r["group"], r["ch"])
            counts[key] = counts.get(key, 0) + 1
        tallied = {(r["rep"], r["dataset"], r["group"], r["ch"]): int(float(r["freq"])) for r in hist}
        check(counts == tallied, "INDIVIDUAL rows do not count up to the study's histories")
    print("read_study.py: %d TRUTH rows, %d CSV rows, %d INDIVIDUAL rows read" % (len(truth), len(hist), len(animals)))


main()
