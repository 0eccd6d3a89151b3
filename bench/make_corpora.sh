#!/usr/bin/env bash
# Generates the benchmark corpora into bench/out/ (ignored by git), always the
# same bytes:
#   brown.txt            the Brown corpus as plain running text (~6.1 MB)
#   brown-scrambled.txt  brown.txt scrambled by scripts/scramble.py --seed 1
#   big.txt              brown.txt repeated COPIES times (~256 MiB)
#   big-scrambled.txt    brown-scrambled.txt repeated COPIES times
#   wide.txt             ~64 MiB of random pseudo-words, 3.2 million distinct
#                        ones, Zipf-like frequencies (bench/gen_wide.cc)
# A file is made again only when it is missing, when what it is made from
# changed, or when its size or SHA-256 no longer match the stamp written next
# to it (FILE.stamp). Prints the digest of each file and whether it matches
# the reference digest below.
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/bench/out"
mkdir -p "$out"

COPIES=44                 # 44 x 6,109,448 bytes = 268,815,712 bytes
SCRAMBLE_SEED=1
WIDE_DISTINCT=3200000
WIDE_ZIPF_K=325000
WIDE_SEED=1

# Digests of a correct run; a mismatch is reported, not fatal.
declare -A reference=(
  [big.txt]=c551c79e6524d83899ae8b869a1ac981e231e9a6be6cf6908e1d5c8b8d4ec2f1
  [big-scrambled.txt]=e3dcdd5b5bbf6f0c4c7cb7154a6d258cbcad40e11e184be824d2ba3acc79c93c
  [wide.txt]=a52a3f6685fcd72d517c134b59bdece4306b047b0a42f7538870d3ab947fc0ba
)

digest() { sha256sum "$1" | cut -d' ' -f1; }
filesize() { stat -c %s "$1"; }

# fresh FILE RECIPE: true when FILE exists and its stamp records RECIPE and the
# file's present size and digest.
fresh() {
  local file=$1 recipe=$2 stamp="$1.stamp"
  [ -f "$file" ] && [ -f "$stamp" ] || return 1
  local s_recipe s_size s_digest
  read -r s_recipe s_size s_digest < "$stamp" || return 1
  [ "$s_recipe" = "$recipe" ] && [ "$s_size" = "$(filesize "$file")" ] &&
    [ "$s_digest" = "$(digest "$file")" ]
}

stamp() { echo "$2 $(filesize "$1") $(digest "$1")" > "$1.stamp"; }

stamped_digest() { cut -d' ' -f3 "$1.stamp"; }

recipe_of() { printf '%s\n' "$@" | sha256sum | cut -c1-16; }

# make FILE RECIPE COMMAND...: runs COMMAND (which writes FILE.tmp) unless FILE
# is fresh, then renames the result into place and stamps it.
make() {
  local file=$1 recipe=$2
  shift 2
  if fresh "$file" "$recipe"; then
    echo "  up to date: $(basename "$file")"
    return
  fi
  echo "  making:     $(basename "$file")"
  rm -f "$file" "$file.stamp"
  "$@"
  mv "$file.tmp" "$file"
  stamp "$file" "$recipe"
}

repeat_file() {  # repeat_file SRC DEST COPIES
  local i
  for ((i = 0; i < $3; i++)); do cat "$1"; done > "$2.tmp"
}

echo "Benchmark corpora in $out"
brown_dir=$("$root/scripts/fetch-brown.sh")

r_brown=$(recipe_of brown "$(digest "$root/scripts/brown_text.py")")
make "$out/brown.txt" "$r_brown" \
  sh -c 'python3 "$1"/scripts/brown_text.py "$2"/c[a-r][0-9][0-9] > "$3".tmp' _ \
  "$root" "$brown_dir" "$out/brown.txt"

r_scr=$(recipe_of scrambled "$(stamped_digest "$out/brown.txt")" \
  "$(digest "$root/scripts/scramble.py")" "$SCRAMBLE_SEED")
make "$out/brown-scrambled.txt" "$r_scr" \
  sh -c 'python3 "$1"/scripts/scramble.py --seed "$2" < "$3" > "$4".tmp' _ \
  "$root" "$SCRAMBLE_SEED" "$out/brown.txt" "$out/brown-scrambled.txt"

r_big=$(recipe_of big "$(stamped_digest "$out/brown.txt")" "$COPIES")
make "$out/big.txt" "$r_big" repeat_file "$out/brown.txt" "$out/big.txt" "$COPIES"

r_bigs=$(recipe_of big-scrambled "$(stamped_digest "$out/brown-scrambled.txt")" "$COPIES")
make "$out/big-scrambled.txt" "$r_bigs" \
  repeat_file "$out/brown-scrambled.txt" "$out/big-scrambled.txt" "$COPIES"

gen_src="$root/bench/gen_wide.cc"
gen_wide() {
  g++ -O2 -std=c++20 -o "$out/gen_wide" "$gen_src"
  "$out/gen_wide" "$WIDE_DISTINCT" "$WIDE_ZIPF_K" "$WIDE_SEED" > "$out/wide.txt.tmp"
}
r_wide=$(recipe_of wide "$(digest "$gen_src")" "$WIDE_DISTINCT" "$WIDE_ZIPF_K" "$WIDE_SEED")
make "$out/wide.txt" "$r_wide" gen_wide

for f in big.txt big-scrambled.txt wide.txt; do
  d=$(stamped_digest "$out/$f")
  if [ "$d" = "${reference[$f]}" ]; then note="matches the reference"; else
    note="DIFFERS from the reference ${reference[$f]}"; fi
  printf '  %-18s %11d bytes  sha256 %s  %s\n' "$f" "$(filesize "$out/$f")" "$d" "$note"
done
