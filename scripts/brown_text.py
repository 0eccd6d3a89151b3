#!/usr/bin/env python3
"""Turns Brown corpus files of 'word/tag' tokens into plain running text.

Usage: brown_text.py FILE... > text.txt

Each token loses its '/tag'; the Brown quote tokens `` and '' become a plain
double quote; tokens are joined by single spaces and each sentence line of the
corpus stays one line. Output is byte-identical for the same input files.
"""
import sys


def untag(token: str) -> str:
    word = token.rsplit("/", 1)[0] if "/" in token else token
    if word in ("``", "''"):
        return '"'
    return word


def main(paths):
    out = sys.stdout
    for path in paths:
        with open(path, encoding="latin-1") as f:
            for line in f:
                tokens = line.split()
                if tokens:
                    out.write(" ".join(untag(t) for t in tokens))
                    out.write("\n")


if __name__ == "__main__":
    main(sys.argv[1:])
