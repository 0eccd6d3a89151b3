#!/usr/bin/env bash
# Measures what deciphering costs before its first word: the look-up index,
# for the bundled dictionary and for 3.2 million words, and whether the
# throughput scenarios stayed where they were.
#
# Usage: bench/index.sh [RUNS]      (RUNS defaults to 7)
# Environment:
#   DORVENIX=PATH   binary to measure (default build/dorvenix)
#   BEFORE=PATH     another build to compare the throughput scenarios with
#                   (learn, decipher, load and save, wide learn and save, on
#                   all cores and on one); skipped when unset
#   CROSSCHECK=0    skip comparing the deciphered texts with the baseline's
#
# Commands of one group run in rotation (A, B, C, A, B, C, ...) RUNS times
# each. Each ratio is the median of the ratios of the rounds, so that the
# machine's drift during the run cancels out; the spread (lowest-highest
# round) is printed beside it. CPU time is perf's task-clock (user + system
# time where perf is missing), wall time is the clock around the process,
# peak memory is /usr/bin/time's maximum resident set. Exit status: 0, or 2
# when an output differs.
set -euo pipefail
export LC_ALL=C
RUNS=${1:-7}
case $RUNS in '' | *[!0-9]* | 0) echo "usage: bench/index.sh [RUNS]" >&2; exit 1 ;; esac
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/bench/out"
work="$out/index"
bin=$(realpath "${DORVENIX:-$root/build/dorvenix}")
before_origin=$(realpath "${BEFORE:-/}")
[ -x "$bin" ] || { echo "index.sh: no executable at $bin (build it first)" >&2; exit 1; }

bash "$root/bench/make_corpora.sh" > /dev/null
base="$out/straightforward"
# shellcheck source=bench/lib.sh
source "$root/bench/lib.sh"
baseline_in "$out"

mkdir -p "$work"
rm -f "$work"/*.t
cp "$bin" "$work/dorvenix"
bin_origin=$bin
[ -z "${BEFORE:-}" ] || cp "$before_origin" "$work/before"
cp "$root/data/english.dict" "$work/english.dict"
cd "$out"
bin=index/dorvenix
before=index/before
english=index/english.dict
echo "Tihs is a tset" > index/one.txt
head -c 600000 brown-scrambled.txt > index/brown600k.txt
[ -s index/wide.dict ] || "$bin" -a wide.txt -s index/wide.dict
[ -s index/brown.dict ] || "$bin" -a brown.txt -s index/brown.dict
[ -s big64.txt ] || head -c 67108864 big.txt > big64.txt
[ -s big64-scrambled.txt ] || head -c 67108864 big-scrambled.txt > big64-scrambled.txt
cat "$english" index/wide.dict big64.txt big64-scrambled.txt wide.txt > /dev/null  # page cache
english_words=$(wc -l < "$english")
wide_words=$(wc -l < index/wide.dict)
use_perf=0
perf stat -x, -e task-clock -o "$work/perf" true 2> /dev/null && use_perf=1

echo
echo "dorvenix: $bin (copy of $bin_origin)"
[ -z "${BEFORE:-}" ] || echo "before:   $before (copy of $before_origin)"
echo "machine:  $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')"
echo "CPU time: $([ "$use_perf" = 1 ] && echo "perf stat task-clock" || echo "user + system time")"
echo "load:     $(cut -d' ' -f1-3 /proc/loadavg) (other work on the machine skews timings)"

# measure LABEL COMMAND...: runs COMMAND once, standard output to /dev/null,
# and appends "wall-us cpu-us peak-KiB" to LABEL.t.
measure() {
  local label=$1 t0 t1 cpu
  shift
  t0=$(date +%s%N)
  if [ "$use_perf" = 1 ]; then
    /usr/bin/time -f %M -o "$work/rss" perf stat -x, -e task-clock -o "$work/perf" "$@" \
      > /dev/null 2> "$work/stderr" || { echo "index.sh: failed: $*" >&2; cat "$work/stderr" >&2; exit 1; }
    t1=$(date +%s%N)
    cpu=$(awk -F, '$3 == "task-clock" {printf "%d", $1 * 1000}' "$work/perf")
  else
    /usr/bin/time -f '%M %U %S' -o "$work/rss" "$@" > /dev/null 2> "$work/stderr" ||
      { echo "index.sh: failed: $*" >&2; cat "$work/stderr" >&2; exit 1; }
    t1=$(date +%s%N)
    cpu=$(awk 'END {printf "%d", ($2 + $3) * 1e6}' "$work/rss")
  fi
  echo "$(((t1 - t0) / 1000)) $cpu $(tail -n 1 "$work/rss" | cut -d' ' -f1)" >> "$work/$label.t"
}

# rotate LABEL... : runs the commands in the arrays named LABEL in rotation,
# RUNS rounds.
rotate() {
  local r label
  for ((r = 1; r <= RUNS; r++)); do
    for label in "$@"; do
      local -n cmd=$label
      measure "$label" "${cmd[@]}"
    done
  done
}

col() { awk -v c="$2" '{print $c}' "$work/$1.t"; }
median() { sort -g | awk '{v[NR] = $1} END {m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m}'; }
# ratio COLUMN A B: per-round ratios A/B; prints "median low high".
ratio() {
  paste <(col "$2" "$1") <(col "$3" "$1") | awk '{print $1 / $2}' | sort -g |
    awk '{v[NR] = $1} END {m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      printf "%.2f %.2f %.2f\n", m, v[1], v[NR]}'
}
# per_word COLUMN A B WORDS [C]: per-round (A - B - C) over WORDS, in ns;
# prints the median.
per_word() {
  paste <(col "$2" "$1") <(col "$3" "$1") <(if [ -n "${5:-}" ]; then col "$5" "$1"; else col "$2" "$1" | sed 's/.*/0/'; fi) |
    awk -v n="$4" '{print ($1 - $2 - $3) * 1000 / n}' | median
}
ms() { col "$1" "$2" | median | awk '{printf "%.1f", $1 / 1000}'; }
mib() { col "$1" 3 | median | awk '{printf "%.1f", $1 / 1024}'; }

rows=()
row() { rows+=("$(printf '| %s | %s | %s |' "$1" "$2" "$3")"); }

# shellcheck disable=SC2034  # the arrays are read through rotate's nameref
{
  e_one=("$bin" -l "$english" -d index/one.txt)
  e_base=("$base" -l "$english" -d index/one.txt)
  e_load=("$bin" -l "$english")
  e_600k=("$bin" -l "$english" -d index/brown600k.txt)
  t_600k=("$bin" -d index/brown600k.txt)
  w_load=("$bin" -l index/wide.dict)
  w_one=("$bin" -l index/wide.dict -d index/one.txt)
  w_600k=("$bin" -l index/wide.dict -d index/brown600k.txt)
}
echo
echo "== the bundled dictionary ($english_words words): -l english.dict -d ONE-LINE, the baseline, -l alone"
rotate e_one e_base e_load e_600k t_600k
echo "   CPU ms, medians: dorvenix $(ms e_one 2), baseline $(ms e_base 2), load alone $(ms e_load 2)"
echo "   CPU ms, medians: -d 600 KB $(ms e_600k 2), the same text with no dictionary $(ms t_600k 2)"
read -r m lo hi < <(ratio 2 e_one e_base)
row "\`-l data/english.dict -d ONE-LINE\`, CPU time vs the straightforward baseline" "${m}x" "$lo-${hi}x"
echo
echo "== 3.2 million words: -l wide.dict alone, with -d ONE-LINE, with -d 600 KB of scrambled Brown text"
rotate w_load w_one w_600k
echo "   wall ms, medians: load $(ms w_load 1), one line $(ms w_one 1), 600 KB $(ms w_600k 1)"
echo "   peak MiB, medians: load $(mib w_load), one line $(mib w_one), 600 KB $(mib w_600k)"
read -r m lo hi < <(ratio 1 w_one w_load)
row "3.2 M words: \`-l wide.dict -d ONE-LINE\`, wall time vs \`-l wide.dict\`" "${m}x" "$lo-${hi}x"
read -r m lo hi < <(ratio 1 w_600k w_load)
row "3.2 M words: \`-l wide.dict -d\` 600 KB of scrambled Brown text, vs \`-l wide.dict\`" "${m}x" "$lo-${hi}x"
read -r m1 _ _ < <(ratio 3 w_one w_load)
read -r m2 _ _ < <(ratio 3 w_600k w_load)
row "peak memory of both, vs the load's" "${m1}x / ${m2}x" "$(mib w_load) MiB for the load"
# The index's cost per dictionary word. A text of 600 KB fills the whole
# index: what it adds to the load, less what deciphering it costs with no
# dictionary, over the dictionary's words, by CPU time (the index of 3.2 M
# words is filled on every core, that of 163 k words on one). Beside it: what
# -d ONE-LINE adds, which fills only the partitions that line needs.
fe=$(per_word 2 e_600k e_load "$english_words" t_600k)
fw=$(per_word 2 w_600k w_load "$wide_words" t_600k)
ce=$(per_word 2 e_one e_load "$english_words")
cw=$(per_word 2 w_one w_load "$wide_words")
row "index cost per dictionary word (the whole index, CPU time), 3.2 M words vs 163 k words" \
  "$(awk -v a="$fw" -v b="$fe" 'BEGIN {printf "%.2fx", a / b}')" \
  "$(awk -v a="$fw" -v b="$fe" -v c="$cw" -v d="$ce" \
    'BEGIN {printf "%.0f ns vs %.0f ns; what ONE-LINE adds: %.0f ns vs %.0f ns", a, b, c, d}')"

status=0
same() {
  if cmp -s "$2" "$3"; then echo "   identical: $1"; else status=2; echo "   DIFFERENT: $1 ($2 vs $3)"; fi
}
if [ "${CROSSCHECK:-1}" != 0 ]; then
  echo
  echo "== deciphered texts against the baseline's, byte for byte"
  for d in "$english" index/wide.dict; do
    for t in index/one.txt index/brown600k.txt; do
      "$bin" -l "$d" -d "$t" > index/dec.txt
      taskset -c 0 "$bin" -l "$d" -d "$t" > index/dec1.txt
      "$base" -l "$d" -d "$t" > index/dec.base.txt
      same "-l $d -d $t" index/dec.txt index/dec.base.txt
      same "-l $d -d $t, one core" index/dec1.txt index/dec.base.txt
    done
  done
  rm -f index/dec.txt index/dec1.txt index/dec.base.txt
fi

if [ -n "${BEFORE:-}" ]; then
  # shellcheck disable=SC2034
  {
    learn_a=("$bin" -a big64.txt -s index/learn.dict)
    learn_b=("$before" -a big64.txt -s index/learn.before.dict)
    dec_a=("$bin" -l index/brown.dict -d big64-scrambled.txt)
    dec_b=("$before" -l index/brown.dict -d big64-scrambled.txt)
    copy_a=("$bin" -l index/wide.dict -s index/copy.dict)
    copy_b=("$before" -l index/wide.dict -s index/copy.before.dict)
    wide_a=("$bin" -a wide.txt -s index/wide.out.dict)
    wide_b=("$before" -a wide.txt -s index/wide.out.before.dict)
    learn1_a=(taskset -c 0 "$bin" -a big64.txt -s index/learn1.dict)
    learn1_b=(taskset -c 0 "${learn_b[@]}")
    dec1_a=(taskset -c 0 "${dec_a[@]}")
    dec1_b=(taskset -c 0 "${dec_b[@]}")
    copy1_a=(taskset -c 0 "$bin" -l index/wide.dict -s index/copy1.dict)
    copy1_b=(taskset -c 0 "${copy_b[@]}")
    wide1_a=(taskset -c 0 "$bin" -a wide.txt -s index/wide.out1.dict)
    wide1_b=(taskset -c 0 "${wide_b[@]}")
  }
  declare -A against
  for s in learn dec copy wide learn1 dec1 copy1 wide1; do
    declare -n a=${s}_a
    echo
    echo "== ${a[*]} against the other build"
    unset -n a
    rotate "${s}_a" "${s}_b"
    read -r m lo hi < <(ratio 1 "${s}_a" "${s}_b")
    echo "   wall ms, medians: $(ms "${s}_a" 1) vs $(ms "${s}_b" 1): ${m}x ($lo-$hi)"
    against[$s]="${m}x ($lo-$hi)"
  done
  row "learn, decipher 64 MiB, load+save, wide learn+save, all cores: wall time vs the other build" \
    "${against[learn]} / ${against[dec]} / ${against[copy]} / ${against[wide]}" \
    "median (lowest-highest round)"
  row "the same on one core" \
    "${against[learn1]} / ${against[dec1]} / ${against[copy1]} / ${against[wide1]}" \
    "median (lowest-highest round)"
  echo
  echo "== their outputs against the other build's"
  same "-a big64.txt -s" index/learn.dict index/learn.before.dict
  same "-a big64.txt -s, one core" index/learn1.dict index/learn.before.dict
  same "-l wide.dict -s" index/copy.dict index/copy.before.dict
  same "-l wide.dict -s, one core" index/copy1.dict index/copy.before.dict
  same "-a wide.txt -s" index/wide.out.dict index/wide.out.before.dict
  same "-a wide.txt -s, one core" index/wide.out1.dict index/wide.out.before.dict
  "$bin" -l index/brown.dict -d big64-scrambled.txt > index/dec.txt
  "$before" -l index/brown.dict -d big64-scrambled.txt > index/dec.before.txt
  same "-l brown.dict -d big64-scrambled.txt" index/dec.txt index/dec.before.txt
  taskset -c 0 "$bin" -l index/brown.dict -d big64-scrambled.txt > index/dec.txt
  same "the same on one core" index/dec.txt index/dec.before.txt
  rm -f index/dec.txt index/dec.before.txt
fi

echo
echo "Summary ($RUNS rounds; ratios are medians of the rounds' ratios, lowest-highest round beside)"
echo
echo "| scenario | ratio | spread / note |"
echo "|---|---|---|"
for r in "${rows[@]}"; do echo "$r"; done
echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$status"
