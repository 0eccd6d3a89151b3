#!/usr/bin/env python3
"""Scores deciphered text against its original.

Usage: accuracy_score.py LABEL ORIGINAL DECIPHERED DICTIONARY
       accuracy_score.py --spread LABEL ORIGINAL DECIPHERED...

Words are runs of ASCII letters. dorvenix copies separators unchanged, so the
n-th word of the output stands for the n-th word of the original. Every
original word of four or more letters counts: it is restored when the output
word equals it lowercased.

The first form prints one block of figures under LABEL: all words, then those
the dictionary holds and those it does not. The second scores several outputs
of the same original (one per scramble seed, say) and prints one line: the
mean share, the lowest and the highest (or, for one output, the count).
"""
import re
import sys

WORD = re.compile(rb"[A-Za-z]+")


def words(path):
    with open(path, "rb") as f:
        return WORD.findall(f.read())


def pairs(orig_path, out_path):
    """(original word lowercased, output word) for every original 4+ word."""
    orig = words(orig_path)
    out = words(out_path)
    if len(orig) != len(out):
        sys.exit(f"accuracy_score: {out_path} has {len(out)} words, "
                 f"{orig_path} has {len(orig)}")
    return [(o.lower(), d) for o, d in zip(orig, out) if len(o) >= 4]


def share(ok, total):
    return f"{100.0 * ok / total:6.2f}%" if total else "     -"


def detail(label, orig_path, out_path, dict_path):
    known = set()
    with open(dict_path, "rb") as f:
        for line in f:
            word = line.split(b" ", 1)[0]
            if word:
                known.add(word)
    tally = {"all": [0, 0], "known": [0, 0], "unknown": [0, 0]}
    for o, d in pairs(orig_path, out_path):
        ok = int(o == d)
        for part in ("all", "known" if o in known else "unknown"):
            tally[part][0] += ok
            tally[part][1] += 1
    print(label)
    names = {"all": "all words of 4+ letters", "known": "known to the dictionary",
             "unknown": "not in the dictionary"}
    for part in ("all", "known", "unknown"):
        ok, total = tally[part]
        print(f"  {names[part]:<26} {share(ok, total)}  ({ok} of {total})")


def spread(label, orig_path, out_paths):
    runs = []
    for path in out_paths:
        scored = pairs(orig_path, path)
        runs.append((sum(o == d for o, d in scored), len(scored)))
    if len(runs) == 1:
        ok, total = runs[0]
        print(f"  {label:<26} {share(ok, total)}  ({ok} of {total})")
        return
    shares = [100.0 * ok / total if total else 0.0 for ok, total in runs]
    print(f"  {label:<26} {sum(shares) / len(shares):6.2f}%  (lowest {min(shares):.2f}%, "
          f"highest {max(shares):.2f}%; {len(runs)} runs of {runs[0][1]} words)")


def main():
    args = sys.argv[1:]
    if len(args) >= 4 and args[0] == "--spread":
        spread(args[1], args[2], args[3:])
    elif len(args) == 4:
        detail(*args)
    else:
        sys.exit("usage: accuracy_score.py LABEL ORIGINAL DECIPHERED DICTIONARY\n"
                 "       accuracy_score.py --spread LABEL ORIGINAL DECIPHERED...")


if __name__ == "__main__":
    main()
