#!/bin/sh
# Checks the Debian packaging from this tree, as a packager and a user meet it:
# - the versions of CMakeLists.txt, debian/changelog and the manual page agree,
#   and debian/copyright carries the SCOWL notices shipped beside the dictionary;
# - the source package (dpkg-source -b) holds every file git tracks and
#   nothing else, whatever build folders the tree has;
# - 'dpkg-buildpackage -us -uc' builds it (and runs the tests) in a copy
#   unpacked from that source package; lintian finds no error or warning in
#   the result (source and binary);
# - a second build, without the tests and in another folder, gives the same
#   bytes: both take their file dates from debian/changelog;
# - the autopkgtest passes against the package installed on this machine,
#   which is removed afterwards, leaving nothing behind.
# Needs root (autopkgtest installs the package here), dpkg-dev, debhelper,
# lintian and autopkgtest; the tree's build dependencies (debian/control).
#
# Usage: scripts/check-package.sh
set -eu

source=$(cd "$(dirname "$0")/.." && pwd)

fail() {
  echo "check-package: $*" >&2
  exit 1
}
say() { echo "check-package: $*"; }

[ "$(id -u)" -eq 0 ] || fail "needs root (autopkgtest installs the package)"
for tool in dpkg-source dpkg-buildpackage dpkg-parsechangelog dh lintian autopkgtest; do
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
  if [ "$installed" = yes ]; then dpkg --purge dorvenix > /dev/null 2>&1 || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

# Runs a step quietly, and shows its log only when it fails.
quiet() {
  log=$1
  shift
  "$@" > "$tmp/$log" 2>&1 || {
    cat "$tmp/$log" >&2
    fail "failed: $*"
  }
}

version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
cmake_version=$(sed -n 's/^project(dorvenix VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
man_version=$(sed -n 's/^\.TH DORVENIX 1 "[^"]*" "dorvenix \([^"]*\)".*/\1/p' "$source/docs/dorvenix.1")
[ "$version" = "$cmake_version" ] && [ "$version" = "$man_version" ] ||
  fail "versions differ: debian/changelog $version, CMakeLists.txt $cmake_version, man page $man_version"

# The SCOWL notices in the copyright file are those shipped beside the dictionary.
# (the last "License: SCOWL" opens the licence text: an intro line, " .", the notices)
awk 'f && n++ >= 2 { sub(/^ /, ""); if ($0 == ".") $0 = ""; text = text $0 "\n" }
     /^License: SCOWL$/ { f = 1; n = 0; text = "" }
     END { printf "%s", text }' \
  "$source/debian/copyright" > "$tmp/scowl.txt"
cmp -s "$tmp/scowl.txt" "$source/data/SCOWL-COPYRIGHT.txt" ||
  fail "the SCOWL licence in debian/copyright differs from data/SCOWL-COPYRIGHT.txt"

say "source package"
(cd "$tmp" && quiet source.log dpkg-source -b "$source")
tarball=$tmp/dorvenix_$version.tar.xz
if git -C "$source" rev-parse --git-dir > /dev/null 2>&1; then
  # dpkg-source leaves out version control files, .gitignore among them.
  git -C "$source" ls-files | grep -v '^\.gitignore$' | LC_ALL=C sort > "$tmp/tracked.txt"
  tar -tf "$tarball" | grep -v '/$' | sed 's|^[^/]*/||' | LC_ALL=C sort > "$tmp/packed.txt"
  diff "$tmp/tracked.txt" "$tmp/packed.txt" > "$tmp/source.diff" || {
    sed 's/^</  missing:/; s/^>/  extra:/' "$tmp/source.diff" | grep '^  ' >&2
    fail "the source package differs from the files git tracks (debian/source/options)"
  }
else
  say "not a git checkout: the source package's files are not compared with git's"
fi

jobs="parallel=$(nproc 2> /dev/null || echo 2)"
say "dpkg-buildpackage -us -uc"
mkdir "$tmp/one" "$tmp/two"
quiet unpack1.log dpkg-source -x "$tmp/dorvenix_$version.dsc" "$tmp/one/dorvenix-$version"
(cd "$tmp/one/dorvenix-$version" &&
  quiet build1.log env DEB_BUILD_OPTIONS="$jobs" dpkg-buildpackage -us -uc)
say "the same again, without the tests, in another folder"
quiet unpack2.log dpkg-source -x "$tmp/dorvenix_$version.dsc" "$tmp/two/src"
(cd "$tmp/two/src" &&
  quiet build2.log env DEB_BUILD_OPTIONS="nocheck $jobs" dpkg-buildpackage -us -uc -b)
set -- "$tmp"/one/*.deb
[ -f "$1" ] || fail "the build made no .deb"
for deb in "$@"; do
  second=$tmp/two/$(basename "$deb")
  cmp -s "$deb" "$second" || {
    dpkg-deb -c "$deb" > "$tmp/first.txt"
    dpkg-deb -c "$second" > "$tmp/second.txt" || true
    diff "$tmp/first.txt" "$tmp/second.txt" >&2 || true
    fail "two builds of $(basename "$deb") differ"
  }
  say "  $(basename "$deb"): the same bytes twice"
done

say "lintian"
# lintian warns when run as root; that line is not about the package.
lintian --fail-on error,warning --display-info --pedantic "$tmp/one/dorvenix_${version}_"*.changes \
  > "$tmp/lintian.log" 2>&1 || {
  grep -v '^running with root privileges' "$tmp/lintian.log" >&2
  fail "lintian found errors or warnings"
}
grep -v '^running with root privileges' "$tmp/lintian.log" | sed 's/^/  /'

deb=$tmp/one/dorvenix_${version}_$(dpkg --print-architecture).deb
dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' > "$tmp/contents.txt"
files="/usr/bin/dorvenix /usr/share/man/man1/dorvenix.1.gz /usr/share/dorvenix/english.dict
/usr/share/dorvenix/SCOWL-COPYRIGHT.txt /usr/share/doc/dorvenix/README.dictionary.md.gz
/usr/share/doc/dorvenix/copyright /usr/share/doc/dorvenix/changelog.gz"
for file in $files; do
  grep -qx "$file" "$tmp/contents.txt" || fail "the package has no $file"
done

say "autopkgtest"
installed=yes
quiet autopkgtest.log autopkgtest "$deb" "$tmp/one/dorvenix_$version.dsc" -- null
grep '^installed ' "$tmp/autopkgtest.log" | sort -u | sed 's/^/  /'
quiet purge.log dpkg --purge dorvenix
installed=no
for file in $files /usr/share/dorvenix /usr/share/doc/dorvenix; do
  [ ! -e "$file" ] || fail "$file is still there after dpkg --purge"
done

say "ok"
