#!/usr/bin/env bash
# Hostile inputs: shows, with figures, that dorvenix copes with inputs far
# from ordinary text, and that what it prints for them is right.
#
#   - a 1 GiB text without a single separator (one huge word): learnt,
#     reported, saved, loaded back and deciphered;
#   - a 1 GiB text of nothing but separators (every byte that is not an
#     ASCII letter, 0x00 and 0x80-0xFF included);
#   - a dictionary file of 5 million lines: loaded, reported, saved, and the
#     saved file saved again to the same bytes;
#   - 1 MiB words: a dictionary of 1 MiB lines, and texts of 1 MiB words
#     learnt and deciphered;
#   - NUL bytes inside texts (as separators) and inside dictionary words.
#
# Usage: bench/hostile.sh
# Environment: DORVENIX=PATH  binary to run (default build/dorvenix)
#
# Not part of the test suite: it needs about 5 GiB of free disk and 4 GiB of
# memory, and takes a few minutes. Every step prints its wall time and peak
# resident memory (/usr/bin/time -f '%e s %M KB'), its exit status and the
# verdict of the check made on its output. Data goes to bench/out/hostile/
# (ignored by git); the large files are removed as soon as they are done with,
# the rest at the end. Exit status: 0 when every step exited 0 and every check
# passed, else 1.
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/bench/out/hostile"

if [ -n "${DORVENIX:-}" ]; then
  src_bin=$(realpath "$DORVENIX")
else
  src_bin="$root/build/dorvenix"
fi
[ -x "$src_bin" ] || { echo "hostile.sh: no executable at $src_bin (build it first)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "hostile.sh: needs GNU time at /usr/bin/time" >&2; exit 1; }
command -v python3 >/dev/null || { echo "hostile.sh: needs python3 to make the data" >&2; exit 1; }

mkdir -p "$out"
avail_kb=$(df -Pk "$out" | awk 'NR == 2 { print $4 }')
if [ "$avail_kb" -lt $((5 * 1024 * 1024)) ]; then
  echo "hostile.sh: only $((avail_kb / 1024)) MB free under $out; 5 GiB needed" >&2
  exit 1
fi
rm -rf "${out:?}"/*
cleanup() { rm -rf "${out:?}"/*; }
trap cleanup EXIT
# Run a copy, so that a rebuild meanwhile cannot change the binary.
cp "$src_bin" "$out/dorvenix"
bin="$out/dorvenix"
cd "$out"

echo "dorvenix: $src_bin ($(date -r "$src_bin" '+%Y-%m-%d %H:%M:%S'))"
echo "machine:  $(nproc) cores, $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)," \
  "load $(cut -d' ' -f1-3 /proc/loadavg)"
echo

failures=0
printf '%-58s %9s %10s %5s  %s\n' "step" "time" "peak RSS" "exit" "check"
row() { printf '%-58s %9s %10s %5s  %s\n' "$@"; }

# step LABEL STDOUT ARGS...: runs dorvenix ARGS, standard output to STDOUT;
# sets $status. The row is printed by verdict.
step_label="" step_time="" step_rss="" status=0
step() {
  step_label=$1
  local stdout=$2
  shift 2
  status=0
  /usr/bin/time -f '%e %M' -o time.txt "$bin" "$@" >"$stdout" 2>stderr.txt || status=$?
  read -r step_time step_rss < <(tail -n 1 time.txt)
  step_time="$step_time s"
  step_rss="$((step_rss / 1024)) MB"
}

# verdict CHECK-COMMAND...: prints the row of the last step with the result
# of the check (which must succeed and leave standard error empty).
verdict() {
  local result=ok
  if [ "$status" -ne 0 ]; then
    result="FAILED: exit status $status: $(head -c 300 stderr.txt)"
  elif [ -s stderr.txt ]; then
    result="FAILED: stderr: $(head -c 300 stderr.txt)"
  elif ! "$@" >/dev/null 2>&1; then
    result="FAILED: check '$*'"
  fi
  [ "$result" = ok ] || failures=$((failures + 1))
  row "$step_label" "$step_time" "$step_rss" "$status" "$result"
}

report_is() {  # report_is FILE WORDS COLLISIONS: the last two report lines
  [ "$(tail -n 2 "$1")" = "$(printf 'Words loaded(excluding 3 letter words and shorter)=%s\nCollisions=%s' "$2" "$3")" ]
}
words_are() {  # words_are FILE WORDS: the next-to-last report line
  [ "$(tail -n 2 "$1" | head -n 1)" = "Words loaded(excluding 3 letter words and shorter)=$2" ]
}

# --- One word of 1 GiB ------------------------------------------------------
# word.txt is 'a', then "bcd...y" 44739242 times, then 'z': 1,073,741,810
# letters, no line feed. scrambled.txt has each "bcd...y" reversed: the same
# key, another word.
echo "making the 1 GiB one-word texts"
k=44739242
repeat() { (set +o pipefail; yes "$1" | tr -d '\n' | head -c "$2"); }  # yes ends by SIGPIPE
{ printf a; repeat bcdefghijklmnopqrstuvwxy $((24 * k)); printf z; } >word.txt
{ printf a; repeat yxwvutsrqponmlkjihgfedcb $((24 * k)); printf z; } >scrambled.txt
n=$((24 * k + 2))

step "1 GiB word: learn, report (-a -i)" report.txt -a word.txt -i
verdict report_is report.txt 1 0
step "1 GiB word: decipher with no dictionary (-d)" deciphered.txt -d scrambled.txt
verdict cmp deciphered.txt scrambled.txt
rm -f deciphered.txt
step "1 GiB word: learn, save (-a -s)" /dev/null -a word.txt -s word.dict
verdict bash -c "[ \$(stat -c %s word.dict) -eq $((n + 3)) ] && cmp -n $n word.txt word.dict &&
                 tail -c 3 word.dict | cmp - <(printf ' 1\\n')"
step "1 GiB word: load 1 GiB line, decipher scrambled (-l -d)" deciphered.txt -l word.dict -d scrambled.txt
verdict cmp deciphered.txt word.txt
rm -f deciphered.txt
step "1 GiB word: load 1 GiB line, save again (-l -s)" /dev/null -l word.dict -s word2.dict
verdict cmp word.dict word2.dict
rm -f word.txt scrambled.txt word.dict word2.dict

# --- 1 GiB of separators ------------------------------------------------------
echo "making the 1 GiB separator text"
python3 - <<'EOF'
letters = set(range(ord('a'), ord('z') + 1)) | set(range(ord('A'), ord('Z') + 1))
pattern = bytes(b for b in range(256) if b not in letters)  # 204 bytes
block = pattern * (1048576 // len(pattern) + 1)
with open("separators.bin", "wb") as f:
    left = 1 << 30
    while left > 0:
        chunk = block[: min(left, 1048576)]
        f.write(chunk)
        left -= len(chunk)
EOF
step "1 GiB of separators: learn, report (-a -i)" report.txt -a separators.bin -i
verdict report_is report.txt 0 0
step "1 GiB of separators: decipher (-d)" deciphered.txt -d separators.bin
verdict cmp deciphered.txt separators.bin
rm -f separators.bin deciphered.txt

# --- 5 million dictionary lines -----------------------------------------------
echo "making the 5-million-line dictionary"
python3 - <<'EOF'
# Distinct words of 8 to 11 letters (a bijection of the line number), in no
# particular order; counts 1 to 1000.
import random
rnd = random.Random(5)
letters = b"abcdefghijklmnopqrstuvwxyz"
with open("5m.dict", "wb") as f:
    lines = []
    for i in range(5_000_000):
        x = (i * 2654435761) % (26 ** 8)
        w = bytearray()
        for _ in range(8):
            w.append(letters[x % 26])
            x //= 26
        w += letters[i % 26 : i % 26 + i % 4]
        lines.append(b"%s %d\n" % (w, rnd.randint(1, 1000)))
        if len(lines) == 100000:
            f.write(b"".join(lines))
            lines = []
    f.write(b"".join(lines))
EOF
step "5M lines: load, report (-l -i)" report.txt -l 5m.dict -i
verdict words_are report.txt 5000000
step "5M lines: load, save (-l -s)" /dev/null -l 5m.dict -s 5m.saved
# shellcheck disable=SC2016
verdict bash -c '[ $(wc -l < 5m.saved) -eq 5000000 ] && cmp <(sort 5m.dict) <(sort 5m.saved)'
step "5M lines: load the saved file, save again (-l -s)" /dev/null -l 5m.saved -s 5m.saved2
verdict cmp 5m.saved 5m.saved2
step "5M lines: load twice, counts doubled (-l -l -s)" /dev/null -l 5m.dict -l 5m.dict -s 5m.doubled
verdict bash -c "cmp <(awk '{ print \$1, 2 * \$2 }' 5m.saved) 5m.doubled"
rm -f 5m.dict 5m.saved 5m.saved2 5m.doubled

# --- 1 MiB words --------------------------------------------------------------
echo "making the 1 MiB-word files"
python3 - <<'EOF'
# 100 random words of 1 MiB. long.dict: each word and its middle reversed
# (same key: 100 collisions). originals.txt: the words, separated by " \n";
# scrambled.txt: the same with each middle rotated by one letter.
import random
rnd = random.Random(1)
table = bytes(ord("a") + b % 26 for b in range(256))
words = [rnd.randbytes(1 << 20).translate(table) for _ in range(100)]
with open("long.dict", "wb") as f:
    for i, w in enumerate(words):
        f.write(w + b" %d\n" % (i + 1))
        f.write(w[:1] + w[-2:0:-1] + w[-1:] + b" 1\n")
with open("originals.txt", "wb") as f:
    f.write(b" \n".join(words) + b"\n")
with open("scrambled.txt", "wb") as f:
    f.write(b" \n".join(w[:1] + w[2:-1] + w[1:2] + w[-1:] for w in words) + b"\n")
EOF
step "1 MiB lines: load 200, report (-l -i)" report.txt -l long.dict -i
verdict report_is report.txt 200 100
step "1 MiB lines: load, save (-l -s)" /dev/null -l long.dict -s long.saved
verdict bash -c 'cmp <(sort long.dict) <(sort long.saved)'
step "1 MiB lines: load the saved file, save again (-l -s)" /dev/null -l long.saved -s long.saved2
verdict cmp long.saved long.saved2
step "1 MiB words: learn text, decipher scrambled (-a -d)" deciphered.txt -a originals.txt -d scrambled.txt
verdict cmp deciphered.txt originals.txt
rm -f long.dict long.saved long.saved2 originals.txt scrambled.txt deciphered.txt

# --- NUL bytes ------------------------------------------------------------------
echo "making the NUL texts and dictionary"
python3 - <<'EOF'
# nul.txt: 3 million words of a 20,000-word vocabulary separated by NUL
# runs; nul-scrambled.txt: the same words with their middles shuffled.
# space.txt, space-scrambled.txt: the same with every NUL a space.
# nul.dict: a million distinct words with NUL bytes inside.
import random
rnd = random.Random(7)
voc = ["".join(rnd.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rnd.randint(2, 12)))
       for _ in range(20000)]
def scramble(w):
    mid = list(w[1:-1]); rnd.shuffle(mid)
    return w[:1] + "".join(mid) + w[-1:] if len(w) > 3 else w
text, scr = [], []
for _ in range(3_000_000):
    w = rnd.choice(voc)
    sep = "\0" * rnd.randint(1, 3)
    if rnd.random() < 0.1: w = w.capitalize()
    text.append(w + sep); scr.append(scramble(w) + sep)
t, s = "".join(text).encode(), "".join(scr).encode()
open("nul.txt", "wb").write(t); open("nul-scrambled.txt", "wb").write(s)
open("space.txt", "wb").write(t.replace(b"\0", b" "))
open("space-scrambled.txt", "wb").write(s.replace(b"\0", b" "))
with open("nul.dict", "wb") as f:
    for i in range(1_000_000):
        f.write(b"w\0%d\0x %d\n" % (i, i % 50 + 1))
EOF
"$bin" -a space.txt -d space-scrambled.txt | tr ' ' '\0' >space-deciphered.txt
step "NUL-separated text: learn, decipher (-a -d)" deciphered.txt -a nul.txt -d nul-scrambled.txt
verdict cmp deciphered.txt space-deciphered.txt
step "NUL in 1M dictionary words: load, save, report (-l -s -i)" report.txt -l nul.dict -s nul.saved -i
verdict bash -c "$(declare -f words_are); words_are report.txt 1000000 &&
                 cmp <(sort nul.dict) <(sort nul.saved)"
step "NUL in dictionary words: saved file saved again (-l -s)" /dev/null -l nul.saved -s nul.saved2
verdict cmp nul.saved nul.saved2

echo
if [ "$failures" -ne 0 ]; then
  echo "$failures step(s) FAILED"
  exit 1
fi
echo "all steps exited 0 and passed their checks"
