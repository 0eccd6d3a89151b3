# Helpers shared by the bench scripts; sourced, not run. The caller
# sets $work (a folder for the timings) and RUNS, and runs from bench/out.

# timed LABEL COMMAND...: runs COMMAND once, standard output to /dev/null,
# standard error to run/stderr (so no progress display is drawn), and appends
# "microseconds peak-RSS-KiB" to run/LABEL.t.
timed() {
  local label=$1 t0 t1
  shift
  t0=$(date +%s%N)
  if ! /usr/bin/time -f %M -o "$work/rss" "$@" > /dev/null 2> "$work/stderr"; then
    echo "run.sh: command failed: $*" >&2
    cat "$work/stderr" >&2
    exit 1
  fi
  t1=$(date +%s%N)
  if [ -s "$work/stderr" ]; then
    echo "   (standard error of $*:)"
    head -n 5 "$work/stderr" | sed 's/^/   | /'
  fi
  echo "$(((t1 - t0) / 1000)) $(tail -n 1 "$work/rss")" >> "$work/$label.t"
}

median_s() { sort -n "$1" | awk '{t[NR] = $1} END {
  m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.3f", m / 1e6 }'; }
runs_s() { awk '{printf "%s%.3f", (NR > 1 ? " " : ""), $1 / 1e6}' "$1"; }
peak_mb() { awk '$2 > m {m = $2} END {printf "%.1f", m * 1024 / 1e6}' "$1"; }
mbps() { awk -v b="$1" -v s="$2" 'BEGIN {printf "%.1f", b / 1e6 / s}'; }

table=()
# pair NAME BYTES TARGET COMPARATOR-LABEL: times the commands in the arrays A
# (dorvenix) and B (comparator) in alternation; BYTES is the input size for
# MB/s; TARGET is the minimum speed-up B/A.
pair() {
  local name=$1 bytes=$2 target=$3 blabel=$4 r
  echo
  echo "== $name: ${A[*]}"
  echo "   vs ${B[*]}"
  for ((r = 1; r <= RUNS; r++)); do
    timed "$name.A" "${A[@]}"
    timed "$name.B" "${B[@]}"
  done
  local am bm ratio verdict
  am=$(median_s "$work/$name.A.t")
  bm=$(median_s "$work/$name.B.t")
  ratio=$(awk -v a="$am" -v b="$bm" 'BEGIN {printf "%.2f", b / a}')
  verdict=$(awk -v r="$ratio" -v t="$target" 'BEGIN {print (r >= t) ? "met" : "MISSED"}')
  printf '   %-15s runs %s s  median %s s  %s MB/s  peak RSS %s MB\n' dorvenix \
    "$(runs_s "$work/$name.A.t")" "$am" "$(mbps "$bytes" "$am")" "$(peak_mb "$work/$name.A.t")"
  printf '   %-15s runs %s s  median %s s  %s MB/s  peak RSS %s MB\n' "$blabel" \
    "$(runs_s "$work/$name.B.t")" "$bm" "$(mbps "$bytes" "$bm")" "$(peak_mb "$work/$name.B.t")"
  echo "   speed-up ${ratio}x (target >= ${target}x): $verdict"
  table+=("$(printf '%-15s %9s %8s  %-15s %9s %7sx %6s  %-6s %9s' "$name" "$am" \
    "$(mbps "$bytes" "$am")" "$blabel" "$bm" "$ratio" ">=${target}x" "$verdict" \
    "$(peak_mb "$work/$name.A.t")")")
}

size() { stat -c %s "$1"; }

# baseline_in OUT: compiles bench/baseline/straightforward.cc into
# OUT/straightforward unless that is newer than the source ($root is the
# checkout).
baseline_in() {
  local src="$root/bench/baseline/straightforward.cc"
  if [ ! -x "$1/straightforward" ] || [ "$src" -nt "$1/straightforward" ]; then
    echo "Compiling the straightforward baseline"
    g++ -O2 -std=c++20 -o "$1/straightforward" "$src"
  fi
}
