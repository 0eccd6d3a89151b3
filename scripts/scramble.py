#!/usr/bin/env python3
"""Scrambles text the way dorvenix expects to find it: in every word of four
or more ASCII letters the inner letters are shuffled, the first and the last
letter stay in place. Everything else is copied unchanged.

Usage: scramble.py [--seed N] < text > scrambled

The shuffle is seeded (default 1), so the same input and seed always give the
same bytes.
"""
import random
import re
import sys

WORD = re.compile(rb"[A-Za-z]{4,}")


def main():
    seed = 1
    args = sys.argv[1:]
    if len(args) == 2 and args[0] == "--seed":
        seed = int(args[1])
    elif args:
        sys.exit("usage: scramble.py [--seed N] < text > scrambled")
    rng = random.Random(seed)

    def shuffle(match):
        word = bytearray(match.group(0))
        inner = word[1:-1]
        rng.shuffle(inner)
        word[1:-1] = inner
        return bytes(word)

    data = sys.stdin.buffer.read()
    sys.stdout.buffer.write(WORD.sub(shuffle, data))


if __name__ == "__main__":
    main()
