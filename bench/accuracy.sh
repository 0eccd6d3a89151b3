#!/usr/bin/env bash
# Measures how well dorvenix restores scrambled text: the share of words of
# four or more letters given back exactly (lowercased), over all such words,
# over those the dictionary knows and over those it does not.
#
# Usage: bench/accuracy.sh
# Environment: DORVENIX the binary (default: build/dorvenix)
#              SEED     seed of scripts/scramble.py (default: 1)
#
# 1. Brown corpus, 50 held-out files (every tenth file in byte order), with
#    a. a dictionary that dorvenix learnt from the other 450 files alone;
#    b. a dictionary made by scripts/build-dictionary.sh from those 450 files
#       and the word lists (the way data/english.dict is made).
# 2. data/heldout/modern.txt, modern prose that is in none of the sources, with
#    a. a dictionary learnt from the whole Brown corpus alone;
#    b. data/english.dict.
# Work files go to bench/out/accuracy/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dorvenix=${DORVENIX:-$root/build/dorvenix}
seed=${SEED:-1}
out="$root/bench/out/accuracy"
score="$root/bench/accuracy_score.py"
if [ ! -x "$dorvenix" ]; then
  echo "accuracy: $dorvenix not found; build it first" >&2
  exit 1
fi
mkdir -p "$out"

brown=$("$root/scripts/fetch-brown.sh")
(cd "$brown" && LC_ALL=C ls | grep -E '^c[a-r][0-9][0-9]$') > "$out/all.list"
awk 'NR % 10 == 0' "$out/all.list" > "$out/held.list"
awk 'NR % 10 != 0' "$out/all.list" > "$out/train.list"
text() { (cd "$brown" && xargs python3 "$root/scripts/brown_text.py") < "$1"; }
text "$out/held.list" > "$out/held.txt"
text "$out/train.list" > "$out/train.txt"
text "$out/all.list" > "$out/all.txt"

# decipher DICT SCRAMBLED OUTPUT
decipher() { "$dorvenix" -l "$1" -d "$2" > "$3"; }
entries() { wc -l < "$1" | tr -d ' '; }

echo "dorvenix accuracy, scramble seed $seed"
echo

python3 "$root/scripts/scramble.py" --seed "$seed" < "$out/held.txt" > "$out/held.scrambled"
"$dorvenix" -a "$out/train.txt" -s "$out/brown-train.dict"
decipher "$out/brown-train.dict" "$out/held.scrambled" "$out/held.brown.out"
python3 "$score" "Brown held-out files ($(wc -l < "$out/held.list") files), dictionary learnt from the other $(wc -l < "$out/train.list") ($(entries "$out/brown-train.dict") entries):" \
  "$out/held.txt" "$out/held.brown.out" "$out/brown-train.dict"
echo
BROWN_FILES="$out/train.list" DORVENIX="$dorvenix" \
  "$root/scripts/build-dictionary.sh" "$out/train.dict" 2>/dev/null
decipher "$out/train.dict" "$out/held.scrambled" "$out/held.full.out"
python3 "$score" "Brown held-out files, the same files plus the word lists ($(entries "$out/train.dict") entries):" \
  "$out/held.txt" "$out/held.full.out" "$out/train.dict"
echo

modern="$root/data/heldout/modern.txt"
python3 "$root/scripts/scramble.py" --seed "$seed" < "$modern" > "$out/modern.scrambled"
"$dorvenix" -a "$out/all.txt" -s "$out/brown-all.dict"
decipher "$out/brown-all.dict" "$out/modern.scrambled" "$out/modern.brown.out"
python3 "$score" "data/heldout/modern.txt, dictionary learnt from the whole Brown corpus ($(entries "$out/brown-all.dict") entries):" \
  "$modern" "$out/modern.brown.out" "$out/brown-all.dict"
echo
decipher "$root/data/english.dict" "$out/modern.scrambled" "$out/modern.english.out"
python3 "$score" "data/heldout/modern.txt, data/english.dict ($(entries "$root/data/english.dict") entries):" \
  "$modern" "$out/modern.english.out" "$root/data/english.dict"
echo

# The modern text is short, so one seed says little: add up seeds 1 to 10.
ok=0 total=0
for s in 1 2 3 4 5 6 7 8 9 10; do
  python3 "$root/scripts/scramble.py" --seed "$s" < "$modern" > "$out/modern.s$s.scrambled"
  decipher "$root/data/english.dict" "$out/modern.s$s.scrambled" "$out/modern.s$s.out"
  read -r o t < <(python3 "$score" - "$modern" "$out/modern.s$s.out" "$root/data/english.dict" |
    sed -n 's/^  all words.*(\([0-9]*\) of \([0-9]*\))$/\1 \2/p')
  ok=$((ok + o)) total=$((total + t))
done
awk -v ok="$ok" -v total="$total" 'BEGIN {
  printf "data/heldout/modern.txt, data/english.dict, scramble seeds 1 to 10:\n"
  printf "  all words of 4+ letters    %6.2f%%  (%d of %d)\n", 100 * ok / total, ok, total }'
