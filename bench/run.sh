#!/usr/bin/env bash
# Times dorvenix on the benchmark corpora against its comparators and checks
# that its output matches the straightforward baseline byte for byte.
#
# Usage: bench/run.sh [RUNS]      (RUNS defaults to 5)
# Environment:
#   DORVENIX=PATH   binary to measure (default build/dorvenix, which is built
#                   with CMake in Release mode when it is missing)
#   CROSSCHECK=0    skip the byte-for-byte comparison with the baseline
#
# Each scenario runs its two commands in alternation (A, B, A, B, ...) RUNS
# times each and reports medians. See bench/README.md for the scenarios and
# targets. Exit status: 0, or 2 when an output differs from the baseline's.
set -euo pipefail
export LC_ALL=C
RUNS=${1:-5}
case $RUNS in '' | *[!0-9]* | 0) echo "usage: bench/run.sh [RUNS]" >&2; exit 1 ;; esac
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/bench/out"
work="$out/run"

if [ -n "${DORVENIX:-}" ]; then
  bin=$(realpath "$DORVENIX")
else
  bin="$root/build/dorvenix"
  if [ ! -x "$bin" ]; then
    echo "Building $bin"
    (cd "$root" && cmake -B build -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build -j)
  fi
fi
[ -x "$bin" ] || { echo "run.sh: no executable at $bin" >&2; exit 1; }
bin_origin="$bin ($(date -r "$bin" '+%Y-%m-%d %H:%M:%S'))"

bash "$root/bench/make_corpora.sh"

base="$out/straightforward"
# shellcheck source=bench/lib.sh
source "$root/bench/lib.sh"
baseline_in "$out"

mkdir -p "$work"
rm -f "$work"/*.t
# Measure a copy, so that a rebuild during the run cannot mix two binaries.
cp "$bin" "$work/dorvenix"
cd "$out"
bin=run/dorvenix
base=./straightforward
cat big.txt big-scrambled.txt wide.txt > /dev/null  # into the page cache

echo
echo "dorvenix: $bin_origin, measured as bench/out/run/dorvenix"
echo "machine:  $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "runs:     $RUNS of each command, alternating"
echo "load:     $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min; other work on the machine skews timings)"

echo
echo "Preparing run/big.dict (dorvenix -a big.txt -s run/big.dict)"
"$bin" -a big.txt -s run/big.dict > /dev/null

A=("$bin" -a big.txt -s run/out.dict)
B=(wc -w big.txt)
pair learn "$(size big.txt)" 3 "wc -w"

A=("$bin" -l run/big.dict -d big-scrambled.txt)
B=(wc -w big-scrambled.txt)
pair decipher "$(size big-scrambled.txt)" 2 "wc -w"

A=("$bin" -a wide.txt -s run/wide.dict)
B=("$base" -a wide.txt -s run/wide.base.dict)
pair wide "$(size wide.txt)" 4 baseline

# Memory for the wide dictionary: peak RSS above the bytes of the words
# themselves, per distinct word.
read -r words word_bytes < <(awk '{n++; b += length($1)} END {print n, b}' run/wide.dict)
peak_kib=$(awk '$2 > m {m = $2} END {print m}' "$work/wide.A.t")
per_word=$(awk -v p="$peak_kib" -v b="$word_bytes" -v n="$words" \
  'BEGIN {printf "%.1f", (p * 1024 - b) / n}')
mem_verdict=$(awk -v x="$per_word" 'BEGIN {print (x < 40) ? "met" : "MISSED"}')
echo "   memory: $words distinct words of $word_bytes bytes in all;" \
  "(peak RSS - word bytes) / words = $per_word bytes/word (target < 40): $mem_verdict"

A=("$bin" -l run/wide.dict -s run/copy.dict)
B=("$base" -l run/wide.dict -s run/copy.base.dict)
pair load-save "$(size run/wide.dict)" 4 baseline

A=("$bin" -l run/wide.dict -i)
B=("$base" -l run/wide.dict -i)
pair load-info "$(size run/wide.dict)" 4 baseline

status=0
if [ "${CROSSCHECK:-1}" != 0 ]; then
  echo
  echo "== cross-check: dorvenix output against the baseline's, byte for byte"
  # same LABEL FILE1 FILE2: compares, and on a difference shows where.
  same() {
    local at line
    if cmp -s "$2" "$3"; then
      echo "   identical: $1"
      return
    fi
    status=2
    echo "   DIFFERENT: $1 ($2 vs $3)"
    at=$(cmp "$2" "$3" 2>&1 | head -n 1 || true)
    echo "     $at"
    line=$(echo "$at" | sed -n 's/.* line \([0-9]*\).*/\1/p')
    if [ -n "$line" ]; then
      echo "     dorvenix: $(sed -n "${line}p" "$2" | head -c 200)"
      echo "     baseline: $(sed -n "${line}p" "$3" | head -c 200)"
    fi
  }
  "$base" -a big.txt -s run/big.base.dict > /dev/null
  same "-a big.txt -s (dictionary)" run/big.dict run/big.base.dict
  "$bin" -l run/big.dict -d big-scrambled.txt > run/dec.txt
  "$base" -l run/big.dict -d big-scrambled.txt > run/dec.base.txt
  same "-l big.dict -d big-scrambled.txt (text)" run/dec.txt run/dec.base.txt
  same "-a wide.txt -s (dictionary)" run/wide.dict run/wide.base.dict
  same "-l wide.dict -s (dictionary)" run/copy.dict run/copy.base.dict
  same "-l wide.dict -s gives wide.dict back" run/copy.dict run/wide.dict
  "$bin" -l run/wide.dict -i > run/info.txt
  "$base" -l run/wide.dict -i > run/info.base.txt
  same "-l wide.dict -i (report)" run/info.txt run/info.base.txt
  [ "$status" = 0 ] && rm -f run/dec.txt run/dec.base.txt
fi

echo
echo "Summary (medians of $RUNS runs; MB = 10^6 bytes; speed-up = comparator time / dorvenix time)"
printf '%-15s %9s %8s  %-15s %9s %8s %6s  %-6s %9s\n' scenario "dorv. s" "MB/s" comparator \
  "comp. s" speed-up target result "peak MB"
for row in "${table[@]}"; do echo "$row"; done
printf '%-15s %s bytes/word above the word bytes (target < 40): %s\n' wide-mem "$per_word" "$mem_verdict"
if [ "${CROSSCHECK:-1}" != 0 ]; then
  if [ "$status" = 0 ]; then echo "cross-check: all outputs identical to the baseline's"
  else echo "cross-check: OUTPUTS DIFFER from the baseline's (see above)"; fi
fi
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$status"
