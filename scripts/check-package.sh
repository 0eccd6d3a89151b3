#!/bin/sh
# Checks the Debian packaging from this tree, as a packager and a user meet it.
#
# Usage: scripts/check-package.sh build DIR        as any user; root is not needed
#        scripts/check-package.sh autopkgtest DIR  as root, on what 'build DIR' made
#        scripts/check-package.sh                  both, in a temporary folder (the
#                                                  second only when run as root)
#
# build (an ordinary user, as Debian builds packages: Rules-Requires-Root: no):
# - the versions of CMakeLists.txt, debian/changelog and the manual page agree,
#   and debian/copyright carries the SCOWL notices shipped beside the dictionary;
# - the source package (dpkg-source -b) holds every file git tracks and
#   nothing else, whatever build folders the tree has;
# - 'dpkg-buildpackage -us -uc' builds it (and runs the tests) in a copy
#   unpacked from that source package; every compiler and linker command line
#   carries each hardening flag once, and blhc (where installed) finds none
#   missing; the optimisation is Release's -O3;
# - with DEB_BUILD_OPTIONS=noopt the compiler gets -O0 and no other -O;
# - a second build, without the tests and in another folder, gives the same
#   bytes: both take their file dates from debian/changelog;
# - lintian finds no error or warning in the result (source and binary), and
#   the package holds the files it should.
# autopkgtest (root, since it installs the package on this machine):
# - the autopkgtest passes against the package installed here, which is
#   removed afterwards, leaving nothing behind.
# Needs dpkg-dev, debhelper, lintian, autopkgtest (for the second part) and
# the tree's build dependencies (debian/control); blhc is optional.
set -eu

source=$(cd "$(dirname "$0")/.." && pwd)

fail() {
  echo "check-package: $*" >&2
  exit 1
}
say() { echo "check-package: $*"; }

# Runs a step quietly, and shows its log (kept in $out) only when it fails.
quiet() {
  log=$1
  shift
  "$@" > "$out/$log" 2>&1 || {
    cat "$out/$log" >&2
    fail "failed: $* (log: $out/$log)"
  }
}

version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
files="/usr/bin/dorvenix /usr/share/man/man1/dorvenix.1.gz /usr/share/dorvenix/english.dict
/usr/share/dorvenix/SCOWL-COPYRIGHT.txt /usr/share/doc/dorvenix/README.dictionary.md.gz
/usr/share/doc/dorvenix/README.md.gz /usr/share/doc/dorvenix/copyright
/usr/share/doc/dorvenix/changelog.gz"

# The flags of the compiler and linker command lines of dorvenix's own files
# in build log $1: each hardening flag exactly once, and $2 the last -O.
check_flags() {
  awk -v want_opt="$2" '
    function check(what, flags,    i, n, f, count, opt) {
      n = split($0, word, /[ \t]+/)
      delete count
      opt = ""
      for (i = 1; i <= n; i++) {
        count[word[i]]++
        if (word[i] ~ /^-O/) opt = word[i]
      }
      split(flags, f, " ")
      for (i in f)
        if (count[f[i]] != 1) {
          printf "%s has %s %d times: %s\n", what, f[i], count[f[i]], $0
          bad = 1
        }
      if (what == "compile" && opt != want_opt) {
        printf "the last optimisation flag is %s, not %s: %s\n", opt, want_opt, $0
        bad = 1
      }
    }
    / -c [^ ]*\/src\/[^ ]*\.cc$/ { compiles++; check("compile", compile_flags) }
    / -o dorvenix( |$)/ && !/ -c / { links++; check("link", link_flags) }
    BEGIN {
      compile_flags = "-fstack-protector-strong -D_FORTIFY_SOURCE=2"
      link_flags = "-Wl,-z,relro -Wl,-z,now"
    }
    END {
      if (!compiles || !links) { print "no compiler or linker command line found"; bad = 1 }
      else printf "  %d compiler command lines and %d linker command line checked\n", compiles, links
      exit bad
    }' "$1"
}

build() {
  out=$1
  for tool in dpkg-source dpkg-buildpackage dh lintian; do
    command -v "$tool" > /dev/null || fail "$tool is not installed"
  done
  mkdir -p "$out"
  [ -z "$(ls -A "$out")" ] || fail "$out is not empty"
  out=$(cd "$out" && pwd)

  cmake_version=$(sed -n 's/^project(dorvenix VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
  man_version=$(sed -n 's/^\.TH DORVENIX 1 "[^"]*" "dorvenix \([^"]*\)".*/\1/p' "$source/docs/dorvenix.1")
  [ "$version" = "$cmake_version" ] && [ "$version" = "$man_version" ] ||
    fail "versions differ: debian/changelog $version, CMakeLists.txt $cmake_version, man page $man_version"

  # The SCOWL notices in the copyright file are those shipped beside the dictionary.
  # (the last "License: SCOWL" opens the licence text: an intro line, " .", the notices)
  awk 'f && n++ >= 2 { sub(/^ /, ""); if ($0 == ".") $0 = ""; text = text $0 "\n" }
       /^License: SCOWL$/ { f = 1; n = 0; text = "" }
       END { printf "%s", text }' \
    "$source/debian/copyright" > "$out/scowl.txt"
  cmp -s "$out/scowl.txt" "$source/data/SCOWL-COPYRIGHT.txt" ||
    fail "the SCOWL licence in debian/copyright differs from data/SCOWL-COPYRIGHT.txt"

  say "source package"
  (cd "$out" && quiet source.log dpkg-source -b "$source")
  if [ -e "$source/.git" ]; then
    # dpkg-source leaves out version control files, .gitignore among them.
    git -C "$source" ls-files > "$out/tracked-all.txt" ||
      fail "git cannot list the files of $source"
    grep -v '^\.gitignore$' "$out/tracked-all.txt" | LC_ALL=C sort > "$out/tracked.txt"
    tar -tf "$out/dorvenix_$version.tar.xz" | grep -v '/$' | sed 's|^[^/]*/||' |
      LC_ALL=C sort > "$out/packed.txt"
    diff "$out/tracked.txt" "$out/packed.txt" > "$out/source.diff" || {
      sed 's/^</  missing:/; s/^>/  extra:/' "$out/source.diff" | grep '^  ' >&2
      fail "the source package differs from the files git tracks (debian/source/options)"
    }
  else
    say "not a git checkout: the source package's files are not compared with git's"
  fi

  # The caller's DEB_BUILD_OPTIONS (nocheck, say) go to the first build.
  jobs="parallel=$(nproc 2> /dev/null || echo 2)"
  options="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }$jobs"
  say "DEB_BUILD_OPTIONS='$options' dpkg-buildpackage -us -uc, as $(id -un)"
  mkdir "$out/one" "$out/two" "$out/noopt"
  quiet unpack1.log dpkg-source -x "$out/dorvenix_$version.dsc" "$out/one/dorvenix-$version"
  (cd "$out/one/dorvenix-$version" &&
    quiet build1.log env DEB_BUILD_OPTIONS="$options" dpkg-buildpackage -us -uc)
  say "hardening flags once each, and -O3"
  check_flags "$out/build1.log" -O3 || fail "wrong flags in $out/build1.log"
  if command -v blhc > /dev/null; then
    blhc --all --debian "$out/build1.log" > "$out/blhc.log" 2>&1 || {
      cat "$out/blhc.log" >&2
      fail "blhc finds hardening flags missing"
    }
    say "  blhc: nothing missing"
  fi

  say "DEB_BUILD_OPTIONS=noopt: -O0"
  quiet unpack3.log dpkg-source -x "$out/dorvenix_$version.dsc" "$out/noopt/src"
  # The configure step is enough: the compiler command lines it writes are
  # the ones the build runs.
  (cd "$out/noopt/src" &&
    quiet noopt.log env DEB_BUILD_OPTIONS="noopt nocheck" debian/rules override_dh_auto_configure)
  set -- "$out"/noopt/src/obj-*/compile_commands.json
  [ -f "$1" ] || fail "the noopt configure wrote no compile_commands.json"
  sed -n 's/^ *"command": "\(.*\)",$/\1/p' "$1" > "$out/noopt-commands.txt"
  awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^-O/ && $i != "-O0") { print; bad = 1 } }
       / -O0 / { n++ }
       END { if (!n) { print "no command line with -O0"; bad = 1 }; exit bad }' \
    "$out/noopt-commands.txt" > "$out/noopt-check.txt" || {
    cat "$out/noopt-check.txt" >&2
    fail "DEB_BUILD_OPTIONS=noopt does not give -O0 alone"
  }
  say "  $(wc -l < "$out/noopt-commands.txt") compiler command lines with -O0 and no other -O"

  say "the same again, without the tests, in another folder"
  quiet unpack2.log dpkg-source -x "$out/dorvenix_$version.dsc" "$out/two/src"
  (cd "$out/two/src" &&
    quiet build2.log env DEB_BUILD_OPTIONS="nocheck $jobs" dpkg-buildpackage -us -uc -b)
  set -- "$out"/one/*.deb
  [ -f "$1" ] || fail "the build made no .deb"
  for deb in "$@"; do
    second=$out/two/$(basename "$deb")
    cmp -s "$deb" "$second" || {
      dpkg-deb -c "$deb" > "$out/first.txt"
      dpkg-deb -c "$second" > "$out/second.txt" || true
      diff "$out/first.txt" "$out/second.txt" >&2 || true
      fail "two builds of $(basename "$deb") differ"
    }
    say "  $(basename "$deb"): the same bytes twice"
  done

  say "lintian"
  # lintian warns when run as root; that line is not about the package.
  lintian --fail-on error,warning --display-info --pedantic "$out/one/dorvenix_${version}_"*.changes \
    > "$out/lintian.log" 2>&1 || {
    grep -v '^running with root privileges' "$out/lintian.log" >&2
    fail "lintian found errors or warnings"
  }
  grep -v '^running with root privileges' "$out/lintian.log" | sed 's/^/  /'

  deb=$out/one/dorvenix_${version}_$arch.deb
  dpkg-deb -c "$deb" | awk '{ print substr($6, 2) }' > "$out/contents.txt"
  for file in $files; do
    grep -qx "$file" "$out/contents.txt" || fail "the package has no $file"
  done
  say "built: $deb"
}

autopkgtest_installed() {
  out=$(cd "$1" && pwd)
  deb=$out/one/dorvenix_${version}_$arch.deb
  [ -f "$deb" ] || fail "no $deb: run 'scripts/check-package.sh build $1' first"
  [ "$(id -u)" -eq 0 ] || fail "the autopkgtest needs root: it installs the package"
  command -v autopkgtest > /dev/null || fail "autopkgtest is not installed"
  # Never replace, and later remove, a dorvenix that was there before.
  if dpkg-query -W -f='${Status}\n' dorvenix 2> /dev/null | grep -q ' installed$'; then
    fail "a dorvenix package is already installed; remove it first"
  fi
  [ ! -e /usr/bin/dorvenix ] || fail "/usr/bin/dorvenix already exists"

  say "autopkgtest, as root"
  installed=yes
  quiet autopkgtest.log autopkgtest "$deb" "$out/one/dorvenix_$version.dsc" -- null
  grep '^installed ' "$out/autopkgtest.log" | sort -u | sed 's/^/  /'
  quiet purge.log dpkg --purge dorvenix
  installed=no
  for file in $files /usr/share/dorvenix /usr/share/doc/dorvenix; do
    [ ! -e "$file" ] || fail "$file is still there after dpkg --purge"
  done
}

installed=no
tmp=
cleanup() {
  if [ "$installed" = yes ]; then dpkg --purge dorvenix > /dev/null 2>&1 || true; fi
  if [ -n "$tmp" ]; then rm -rf "$tmp"; fi
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

case "${1:-}" in
  build)
    [ $# -eq 2 ] || fail "usage: $0 build DIR"
    build "$2"
    ;;
  autopkgtest)
    [ $# -eq 2 ] || fail "usage: $0 autopkgtest DIR"
    autopkgtest_installed "$2"
    ;;
  '')
    tmp=$(mktemp -d "${TMPDIR:-/tmp}/dorvenix-package-XXXXXX")
    build "$tmp"
    if [ "$(id -u)" -eq 0 ]; then
      autopkgtest_installed "$tmp"
    else
      say "the autopkgtest was not run: it installs the package, which needs root"
    fi
    ;;
  *) fail "usage: $0 [build DIR | autopkgtest DIR]" ;;
esac
say "ok"
