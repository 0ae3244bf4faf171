#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything (warnings are errors; once more with CMake's
# default generator) and runs every test suite: the Linux build's (among them the .deb, checked
# with lintian, installed and removed again) and the Windows build's under wine (among them the
# installer).  Each suite carries its kind as a ctest label: unit, integration, e2e, package,
# windows.  Then each fuzz target runs a minute (scripts/fuzz.sh), and the unit and integration
# suites run again in a build with AddressSanitizer and UndefinedBehaviorSanitizer
# (scripts/sanitize.sh).
#
#   scripts/test.sh           everything (what CI runs)
#   scripts/test.sh --quick   the inner loop: build and run the unit suite only, installing
#                             nothing (run the whole thing once first)
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--quick" ]; then
  bash scripts/build.sh kovrisk_unit_tests
  cd build && exec ctest --output-on-failure -L '^unit$'
fi
bash scripts/install-deps.sh --tests
# What the project checks builds without a compiler warning, with Ninja and with the default
# generator.
export KOVRISK_WERROR=ON
bash scripts/build.sh
bash scripts/conventional_build.sh
# Offices the tests run as root must leave LibreOffice's shared folders as other users need them.
shared_before=$(mktemp)
trap 'rm -f "$shared_before"' EXIT
bash scripts/shared_office_modes.sh snapshot >"$shared_before"
status=0
(cd build && ctest --output-on-failure --timeout 1800) || status=$?
bash scripts/fuzz.sh || status=1
bash scripts/sanitize.sh || status=1
bash scripts/shared_office_modes.sh compare "$shared_before" || status=1
exit "$status"
