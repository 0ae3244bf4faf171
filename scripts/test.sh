#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test suite: the Linux build's
# (among them the .deb, made, installed and removed again) and the Windows build's under wine (among
# them the installer).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --tests
bash scripts/build.sh
# Offices the tests run as root must leave LibreOffice's shared folders as other users need them.
shared_before=$(mktemp)
trap 'rm -f "$shared_before"' EXIT
bash scripts/shared_office_modes.sh snapshot >"$shared_before"
status=0
(cd build && ctest --output-on-failure --timeout 1800) || status=$?
bash scripts/shared_office_modes.sh compare "$shared_before" || status=1
[ "$status" -eq 0 ] || exit "$status"
if [ -f tests/windows/run.sh ]; then
  bash tests/windows/run.sh
fi
