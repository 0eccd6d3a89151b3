#!/usr/bin/env bash
# How well dorvenix restores text that its dictionary knows only in part: the
# Debian changelogs installed on this machine, one per source package (the
# first of its binary packages' /usr/share/doc/*/changelog.Debian.gz by name),
# scrambled by scripts/scramble.py and deciphered with data/english.dict.
# Counts the words of four or more letters given back exactly, split into the
# words the dictionary knows and those it does not, for the first seed, and
# the mean over the seeds; then the changelogs deciphered unscrambled.
#
# It then shows what learning text of the same kind gives: the changelogs of
# about half the source packages (by a checksum of the name) are learnt on
# top of data/english.dict (-l data/english.dict -a), and the others
# deciphered with and without them.
#
# The figures depend on the packages installed: the script prints how many
# changelogs it read. About a minute on 2 cores.
#
# Usage: bench/changelogs.sh
# Environment: DORVENIX  the binary (default: build/dorvenix)
#              SEEDS     seeds of scripts/scramble.py (default: 1 2 3)
# Work files go to bench/out/changelogs/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dorvenix=${DORVENIX:-$root/build/dorvenix}
dictionary=$root/data/english.dict
read -r -a seeds <<< "${SEEDS:-1 2 3}"
out=$root/bench/out/changelogs
score=$root/bench/accuracy_score.py

stop() {
  echo "changelogs: $*" >&2
  exit 1
}
command -v python3 > /dev/null || stop "needs python3"
[ -x "$dorvenix" ] ||
  stop "$dorvenix not found; build it first: cmake -B build -DBUILD_TESTING=OFF && cmake --build build -j"
compgen -G '/usr/share/doc/*/changelog.Debian.gz' > /dev/null || stop "no /usr/share/doc/*/changelog.Debian.gz here"
mkdir -p "$out"

# One changelog per source package: its first line names the source. The
# halves go by a checksum of the name, so that a package installed or removed
# moves no other between them.
for f in /usr/share/doc/*/changelog.Debian.gz; do
  source=$( (zcat "$f" 2> /dev/null || true) | sed -n '1{s/ .*//p;q}')
  [ -z "$source" ] || printf '%s %s\n' "$source" "$f"
done | sort -s -u -k1,1 > "$out/list"
: > "$out/learn.list"
: > "$out/test.list"
while read -r source f; do
  half=$(($(printf '%s' "$source" | cksum | cut -d' ' -f1) % 2))
  if [ "$half" -eq 0 ]; then echo "$f" >> "$out/learn.list"; else echo "$f" >> "$out/test.list"; fi
done < "$out/list"
cut -d' ' -f2 "$out/list" | xargs zcat > "$out/all.txt"
xargs zcat < "$out/learn.list" > "$out/learn.txt"
xargs zcat < "$out/test.list" > "$out/test.txt"
echo "$(wc -l < "$out/list") changelogs of as many source packages, $(wc -c < "$out/all.txt") bytes;" \
  "$(wc -l < "$out/test.list") of them deciphered after the other $(wc -l < "$out/learn.list") are learnt"
echo

# measure LABEL TEXT DICT: TEXT scrambled with every seed and deciphered with DICT
measure() {
  local label=$1 name=$2 dict=$3 outs=()
  for s in "${seeds[@]}"; do
    python3 "$root/scripts/scramble.py" --seed "$s" < "$out/$name.txt" > "$out/$name.s$s"
    "$dorvenix" -l "$dict" -d "$out/$name.s$s" > "$out/$name.s$s.out"
    outs+=("$out/$name.s$s.out")
  done
  "$dorvenix" -l "$dict" -d "$out/$name.txt" > "$out/$name.clean.out"
  python3 "$score" "$label, scramble seed ${seeds[0]}:" "$out/$name.txt" "${outs[0]}" "$dict"
  python3 "$score" --spread "seeds ${seeds[*]}" "$out/$name.txt" "${outs[@]}"
  python3 "$score" --spread "unscrambled, left as is" "$out/$name.txt" "$out/$name.clean.out"
  echo
}

measure "all the changelogs, data/english.dict" all "$dictionary"
measure "half of them, data/english.dict" test "$dictionary"
"$dorvenix" -l "$dictionary" -a "$out/learn.txt" -s "$out/learnt.dict"
measure "the same half, data/english.dict and the other half learnt" test "$out/learnt.dict"
