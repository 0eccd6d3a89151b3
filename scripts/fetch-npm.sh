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
  rm -rf "$cache"
  mkdir -p "$cache"
  (cd "$cache" && npm pack --silent "$name@$version" >/dev/null)
  got=$(sha256sum "$tgz" | cut -d' ' -f1)
  if [ "$got" != "$want" ]; then
    echo "fetch-npm: digest mismatch for $name-$version.tgz" >&2
    exit 1
  fi
  tar -xzf "$tgz" -C "$cache"
fi
echo "$cache/package"
