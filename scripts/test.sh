#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --tests
bash scripts/build.sh
(cd build && ctest --output-on-failure --timeout 1800)
if [ -f tests/windows/run.sh ]; then
  bash tests/windows/run.sh
fi
