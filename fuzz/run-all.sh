#!/bin/sh
# Builds the libFuzzer targets into build-fuzz/ and runs each for SECONDS
# seconds (default 30) on a copy of its seed corpus, so the repository is left
# untouched. Exits non-zero when any target finds a crash, a leak, a timeout
# or a broken invariant; its input is kept in build-fuzz/findings/TARGET/.
#
#   fuzz/run-all.sh 30
#
# Environment: CXX (default clang++-14, else clang++), FUZZ_ARGS (extra
# libFuzzer flags, e.g. "-jobs=2 -workers=2" or "-dict=...").
set -eu

seconds=${1:-30}
case $seconds in
  '' | *[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 64 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
targets="dictionary_load text_scan round_trip"

if [ -z "${CXX:-}" ]; then
  if command -v clang++-14 >/dev/null 2>&1; then CXX=clang++-14; else CXX=clang++; fi
fi
command -v "$CXX" >/dev/null 2>&1 || { echo "$0: no clang++ found (set CXX)" >&2; exit 1; }

CXX=$CXX cmake -S "$root" -B "$build" -DDORVENIX_FUZZ=ON -DBUILD_TESTING=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target dorvenix_fuzzers -j "$(nproc 2>/dev/null || echo 2)"

work=$(mktemp -d "${TMPDIR:-/tmp}/dorvenix-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

failed=""
for target in $targets; do
  mkdir -p "$work/$target/corpus" "$work/$target/artifacts"
  cp "$root/fuzz/corpus/$target/"* "$work/$target/corpus/"
  echo "== $target: ${seconds}s"
  # -timeout: an input that takes this long counts as a hang (a finding).
  # shellcheck disable=SC2086
  if "$build/fuzz/$target" "$work/$target/corpus" -max_total_time="$seconds" -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/$target/artifacts/" \
       ${FUZZ_ARGS:-} >"$work/$target/log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^Done ' "$work/$target/log" || true
  else
    failed="$failed $target"
    tail -n 60 "$work/$target/log" >&2
    mkdir -p "$build/findings/$target"
    cp "$work/$target/artifacts/"* "$build/findings/$target/" 2>/dev/null || true
    cp "$work/$target/log" "$build/findings/$target/log"
    echo "== $target FAILED; input and log kept in $build/findings/$target/" >&2
  fi
done

if [ -n "$failed" ]; then
  echo "fuzzing found problems in:$failed" >&2
  exit 1
fi
echo "fuzzing: no findings"
