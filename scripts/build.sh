#!/usr/bin/env bash
# Configures and builds Kovrisk into build/: everything (the program, its tests and its packages'
# files), or only the targets named, e.g. `scripts/build.sh kovrisk` for the program alone.
# KOVRISK_WERROR=ON makes every compiler warning an error (scripts/test.sh sets it).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKOVRISK_WERROR="${KOVRISK_WERROR:-OFF}" >/dev/null
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build build --parallel 2 "${targets[@]}"
