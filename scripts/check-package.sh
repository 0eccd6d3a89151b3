#!/bin/sh
# Builds the Debian package from a configured and built build folder, checks it
# with lintian (no errors, no warnings but those debian/dorvenix.lintian-overrides
# explains), installs it with dpkg, runs the installed program, then removes
# the package and checks that nothing of it is left. Needs root (CI runs it as
# root) and lintian.
#
# Usage: scripts/check-package.sh BUILD_DIR
set -eu

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)

fail() {
  echo "check-package: $*" >&2
  exit 1
}

[ "$(id -u)" -eq 0 ] || fail "needs root (dpkg -i and dpkg -r)"
for tool in cpack dpkg dpkg-deb lintian; do
  command -v "$tool" > /dev/null || fail "$tool is not installed"
done
# Never replace, and later remove, a dorvenix that was there before.
if dpkg-query -W -f='${Status}\n' dorvenix 2> /dev/null | grep -q ' installed$'; then
  fail "a dorvenix package is already installed; remove it first"
fi
[ ! -e /usr/bin/dorvenix ] || fail "/usr/bin/dorvenix already exists"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/dorvenix-package-XXXXXX")
installed=no
cleanup() {
  if [ "$installed" = yes ]; then dpkg -r dorvenix > /dev/null 2>&1 || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

echo "check-package: building the package"
(cd "$build" && cpack -G DEB -B "$tmp/out") > "$tmp/cpack.log" 2>&1 || {
  cat "$tmp/cpack.log" >&2
  fail "cpack -G DEB failed"
}
set -- "$tmp"/out/dorvenix_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one dorvenix_*.deb, found: $*"
deb=$1
echo "check-package: $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = dorvenix ] || fail "package name is '$(field Package)'"
case $(field Section) in
  text | utils) ;;
  *) fail "section is '$(field Section)'" ;;
esac
if command -v dpkg-shlibdeps > /dev/null; then
  field Depends | grep -q 'libc6' || fail "no shared library dependencies: '$(field Depends)'"
fi
case $(field Maintainer) in
  *' <'*@*'>') ;;
  *) fail "maintainer is '$(field Maintainer)'" ;;
esac

# The SCOWL notices in the copyright file are those shipped beside the dictionary.
# (the last "License: SCOWL" opens the licence text: an intro line, " .", the notices)
awk 'f && n++ >= 2 { sub(/^ /, ""); if ($0 == ".") $0 = ""; text = text $0 "\n" }
     /^License: SCOWL$/ { f = 1; n = 0; text = "" }
     END { printf "%s", text }' \
  "$source/debian/copyright" > "$tmp/scowl.txt"
cmp -s "$tmp/scowl.txt" "$source/data/SCOWL-COPYRIGHT.txt" ||
  fail "the SCOWL licence in debian/copyright differs from data/SCOWL-COPYRIGHT.txt"

echo "check-package: lintian"
# lintian warns when run as root; that line is not about the package.
lintian --fail-on error,warning --display-info "$deb" > "$tmp/lintian.log" 2>&1 || {
  grep -v '^running with root privileges' "$tmp/lintian.log" >&2
  fail "lintian found errors or warnings"
}
grep -v '^running with root privileges' "$tmp/lintian.log" | sed 's/^/  /'

files="/usr/bin/dorvenix /usr/share/man/man1/dorvenix.1.gz /usr/share/dorvenix/english.dict
/usr/share/dorvenix/SCOWL-COPYRIGHT.txt /usr/share/doc/dorvenix/README.dictionary.md
/usr/share/doc/dorvenix/copyright /usr/share/doc/dorvenix/changelog.Debian.gz
/usr/share/lintian/overrides/dorvenix"

# Docker-style images may tell dpkg to skip documentation; keep ours.
installed=yes
dpkg --path-include='/usr/share/man/man1/dorvenix.1*' --path-include='/usr/share/doc/dorvenix/*' \
  -i "$deb" > "$tmp/dpkg.log" 2>&1 || {
  cat "$tmp/dpkg.log" >&2
  fail "dpkg -i failed"
}
for file in $files; do
  [ -f "$file" ] || fail "$file is not installed"
  dpkg -S "$file" > /dev/null 2>&1 || fail "$file does not belong to the package"
done
cmp -s /usr/share/doc/dorvenix/copyright "$source/debian/copyright" ||
  fail "/usr/share/doc/dorvenix/copyright differs from debian/copyright"

tr 'A-Z' 'a-z' < "$source/data/example/original.txt" > "$tmp/expected.txt"
status=0
/usr/bin/dorvenix -l /usr/share/dorvenix/english.dict -d "$source/data/example/scrambled.txt" \
  > "$tmp/out.txt" 2> "$tmp/err.txt" || status=$?
[ "$status" -eq 0 ] || { cat "$tmp/err.txt" >&2; fail "/usr/bin/dorvenix exited with status $status"; }
cmp "$tmp/expected.txt" "$tmp/out.txt" || fail "deciphered example differs from the lowercased original"

if command -v man > /dev/null; then
  page=$(man -w dorvenix) || fail "man -w dorvenix finds no page"
  case $page in
    /usr/share/man/man1/dorvenix.1*) ;;
    *) fail "man -w dorvenix gives $page" ;;
  esac
else
  echo "check-package: man is not installed; man page lookup not checked"
fi

dpkg -r dorvenix > "$tmp/dpkg.log" 2>&1 || {
  cat "$tmp/dpkg.log" >&2
  fail "dpkg -r dorvenix failed"
}
installed=no
if dpkg -L dorvenix > /dev/null 2>&1; then fail "dpkg -L dorvenix still lists files"; fi
for file in $files /usr/share/dorvenix /usr/share/doc/dorvenix; do
  [ ! -e "$file" ] || fail "$file is still there after dpkg -r"
done

echo "check-package: ok"
