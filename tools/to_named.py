#!/usr/bin/env python3
"""Writes a numeric plovanet parameter file in the named format, on standard output.

    python3 tools/to_named.py [--recruit none|binomial|normal] [--compact] FILE

The data sets are read as plovanet reads a numeric file: the number of occasions K, then per data
set K entrants, K - 1 survival and K - 1 retention rates, K values of p and of c, and with
--recruit K - 1 values of f (and with --recruit normal K - 1 of sef). Reading ends at the end of
the file, at a word that is not a number, or at entrants that add up to 0 or less, as in
plovanet. Every value is written as it stands in the file, so both files give the same numbers.
A file that ends inside a data set is refused (plovanet would keep earlier values there).

--compact writes one value for a vector whose values are all equal (but entrants in full, whose
one value plovanet warns of), leaves out retention when it is all 1 and c while it equals p, and
writes only the settings that change after the first data set. Values the named format refuses
(rates outside 0 to 1, negative entrants) are written as they are; plovanet then names their
line.
"""
import argparse
import re
import sys

NUMBER = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")
INTEGER = re.compile(r"[+-]?\d+")


class Refused(Exception):
    pass


def read_numeric(text, recruit):
    """The data sets of a numeric file: (K, [ {setting: [tokens]} ])."""
    words = text.split()
    if not words or not INTEGER.fullmatch(words[0]):
        raise Refused("the file does not begin with a whole number of occasions")
    k = int(words[0])
    if not 1 <= k <= 30:
        raise Refused("the number of occasions is not from 1 to 30")
    pos = 1
    layout = [("entrants", k), ("survival", k - 1), ("retention", k - 1), ("p", k), ("c", k)]
    if recruit != "none":
        layout.append(("f", k - 1))
    if recruit == "normal":
        layout.append(("sef", k - 1))
    sets = []
    while True:
        data = {}
        for name, count in layout:
            values = []
            for _ in range(count):
                if pos < len(words) and NUMBER.fullmatch(words[pos]):
                    values.append(words[pos])
                    pos += 1
                elif name == "entrants" and not values:
                    return k, sets  # the file ends between data sets
                else:
                    raise Refused("the file ends inside data set %d" % (len(sets) + 1))
            data[name] = values
            if name == "entrants" and sum(float(v) for v in values) <= 0:
                return k, sets
        sets.append(data)


def same(a, b):
    return [float(x) for x in a] == [float(x) for x in b]


def line(name, values, compact):
    # One entrants value stands for every occasion too, but plovanet warns of it (it is mostly
    # meant for the first occasion alone), so entrants are written in full.
    if compact and name != "entrants" and values and all(float(v) == float(values[0]) for v in values):
        values = values[:1]
    return " ".join([name] + values)


def to_named(text, recruit="none", compact=False, source="a numeric file"):
    k, sets = read_numeric(text, recruit)
    if not sets:
        raise Refused("the file holds no data set")
    out = ["# converted from %s" % source, "occasions %d" % k]
    previous = None
    c_given = False  # in the named format c is p until some data set gives c
    for data in sets:
        if previous is not None:
            out.append("")
            out.append("dataset")
        for name, values in data.items():
            if compact and not values:
                continue  # an interval setting at one occasion
            if compact and name == "c":
                follows = previous["c"] if (c_given and previous is not None) else data["p"]
                if same(values, follows):
                    continue
                c_given = True
            elif compact and previous is None and name == "retention" and all(float(v) == 1 for v in values):
                continue
            elif compact and previous is not None and same(values, previous[name]):
                continue
            if not compact and name == "c":
                c_given = True
            out.append(line(name, values, compact))
        previous = data
    return "\n".join(out) + "\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("file")
    ap.add_argument("--recruit", choices=["none", "binomial", "normal"], default="none",
                    help="the file holds f (binomial), or f and sef (normal)")
    ap.add_argument("--compact", action="store_true", help="one value for equal values; only what changes")
    a = ap.parse_args()
    with open(a.file, encoding="utf-8", errors="surrogateescape") as f:
        text = f.read()
    try:
        sys.stdout.write(to_named(text, a.recruit, a.compact, a.file))
    except Refused as e:
        sys.exit("to_named.py: %s: %s" % (a.file, e))


if __name__ == "__main__":
    main()
