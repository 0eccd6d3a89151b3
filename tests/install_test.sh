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

for file in bin/dorvenix share/man/man1/dorvenix.1 share/dorvenix/english.dict \
            share/dorvenix/SCOWL-COPYRIGHT.txt share/doc/dorvenix/README.dictionary.md; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
[ -x "$prefix/bin/dorvenix" ] || fail "bin/dorvenix is not executable"

# The installed files are the project's own, byte for byte.
cmp "$source/docs/dorvenix.1" "$prefix/share/man/man1/dorvenix.1" || fail "man page differs"
cmp "$source/data/english.dict" "$prefix/share/dorvenix/english.dict" || fail "dictionary differs"
cmp "$source/data/SCOWL-COPYRIGHT.txt" "$prefix/share/dorvenix/SCOWL-COPYRIGHT.txt" ||
  fail "SCOWL notice differs"
cmp "$source/data/README.md" "$prefix/share/doc/dorvenix/README.dictionary.md" ||
  fail "dictionary README differs"

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
