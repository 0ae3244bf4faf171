#!/usr/bin/env bash
# Builds Kovrisk the conventional way, as most contributors and Debian's dh_auto_build do: CMake's
# default generator (Unix Makefiles), into build-default/, without the tests.  scripts/test.sh
# runs it, so that the build keeps working without Ninja (which makes output folders on its own).
# KOVRISK_WERROR=ON makes every compiler warning an error here too.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-default -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVRISK_BUILD_TESTS=OFF \
  -DKOVRISK_WERROR="${KOVRISK_WERROR:-OFF}" >/dev/null
generator=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' build-default/CMakeCache.txt)
echo "conventional build ($generator) into build-default/"
cmake --build build-default --parallel 2
