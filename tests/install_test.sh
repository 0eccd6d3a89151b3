#!/bin/sh
# Installs the build into a temporary prefix and runs the installed binary on
# the installed dictionary, as a user would after 'cmake --install'.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -eu

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_DIR SOURCE_DIR" >&2
  exit 2
fi
build=$1
source=$2

tmp=$(mktemp -d "${TMPDIR:-/tmp}/dorvenix-install-XXXXXX")
trap 'rm -rf "$tmp"' EXIT
trap 'exit 1' HUP INT TERM
prefix=$tmp/prefix

fail() {
  echo "install_test: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" > "$tmp/install.log" 2>&1 || {
  cat "$tmp/install.log" >&2
  fail "cmake --install failed"
}

# Every installed file, and nothing else; each but the binary is the
# project's own file, byte for byte.
while read -r file from; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
  [ "$from" = - ] || cmp "$source/$from" "$prefix/$file" || fail "$file differs from $from"
  echo "$file" >> "$tmp/files.txt"
done << EOF
bin/dorvenix -
share/man/man1/dorvenix.1 docs/dorvenix.1
share/dorvenix/english.dict data/english.dict
share/dorvenix/SCOWL-COPYRIGHT.txt data/SCOWL-COPYRIGHT.txt
share/doc/dorvenix/README.dictionary.md data/README.md
share/doc/dorvenix/README.md README.md
share/doc/dorvenix/LICENSE LICENSE
EOF
(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort) > "$tmp/found.txt"
LC_ALL=C sort -o "$tmp/files.txt" "$tmp/files.txt"
diff "$tmp/files.txt" "$tmp/found.txt" >&2 || fail "other files are installed than those expected"
[ -x "$prefix/bin/dorvenix" ] || fail "bin/dorvenix is not executable"

# The installed binary restores the example with the installed dictionary.
tr 'A-Z' 'a-z' < "$source/data/example/original.txt" > "$tmp/expected.txt"
status=0
"$prefix/bin/dorvenix" -l "$prefix/share/dorvenix/english.dict" \
  -d "$source/data/example/scrambled.txt" > "$tmp/out.txt" 2> "$tmp/err.txt" || status=$?
[ "$status" -eq 0 ] || { cat "$tmp/err.txt" >&2; fail "installed dorvenix exited with status $status"; }
[ ! -s "$tmp/err.txt" ] || { cat "$tmp/err.txt" >&2; fail "installed dorvenix wrote to stderr"; }
cmp "$tmp/expected.txt" "$tmp/out.txt" || {
  diff "$tmp/expected.txt" "$tmp/out.txt" >&2 || true
  fail "deciphered example differs from the lowercased original"
}

echo "install_test: ok"
