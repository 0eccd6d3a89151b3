#!/usr/bin/env python3
"""Scores a deciphered text against its original.

Usage: accuracy_score.py LABEL ORIGINAL DECIPHERED DICTIONARY

Words are runs of ASCII letters. dorvenix copies separators unchanged, so the
n-th word of the output stands for the n-th word of the original. Every
original word of four or more letters counts: it is restored when the output
word equals it lowercased. The words are split into those the dictionary
holds and those it does not. Prints one block of figures under LABEL.
"""
import re
import sys

WORD = re.compile(rb"[A-Za-z]+")


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: accuracy_score.py LABEL ORIGINAL DECIPHERED DICTIONARY")
    label, orig_path, out_path, dict_path = sys.argv[1:]
    with open(orig_path, "rb") as f:
        orig = WORD.findall(f.read())
    with open(out_path, "rb") as f:
        out = WORD.findall(f.read())
    if len(orig) != len(out):
        sys.exit(f"accuracy_score: {out_path} has {len(out)} words, "
                 f"{orig_path} has {len(orig)}")
    known = set()
    with open(dict_path, "rb") as f:
        for line in f:
            word = line.split(b" ", 1)[0]
            if word:
                known.add(word)
    tally = {"all": [0, 0], "known": [0, 0], "unknown": [0, 0]}
    for o, d in zip(orig, out):
        if len(o) < 4:
            continue
        o = o.lower()
        ok = int(o == d)
        for part in ("all", "known" if o in known else "unknown"):
            tally[part][0] += ok
            tally[part][1] += 1
    print(label)
    names = {"all": "all words of 4+ letters", "known": "known to the dictionary",
             "unknown": "not in the dictionary"}
    for part in ("all", "known", "unknown"):
        ok, total = tally[part]
        share = f"{100.0 * ok / total:6.2f}%" if total else "     -"
        print(f"  {names[part]:<26} {share}  ({ok} of {total})")


if __name__ == "__main__":
    main()
