#!/usr/bin/env bash
# Builds the unit and integration suites with AddressSanitizer and UndefinedBehaviorSanitizer
# (KOVRISK_SANITIZE) into build-asan/ and runs them there.  Only the program's own binaries are
# instrumented: LibreOffice runs in a process of its own, reached through UNO.  Any sanitizer
# report ends the binary that made it, and so fails its suite.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVRISK_SANITIZE=ON \
  >/dev/null
# What the unit and integration suites run: the backend's drivers, and the program itself with
# its stand-in for the window suites.
cmake --build build-asan --parallel 2 --target kovrisk_unit_tests kovrisk_calc_driver \
  kovrisk_encrypt_tool kovrisk_calc_integration_tests kovrisk standin_kovrisk standin_workbook_tool
built=$(date +%s)
# Leaks are looked for in the unit suite; the integration suite's binaries load the office's UNO
# libraries, whose process-long allocations are no leaks of ours.
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -L '^unit$') || status=1
(cd build-asan && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure --timeout 1800 \
  -L '^integration$') || status=1
echo "sanitized build took $((built - started)) s, its suites $(($(date +%s) - built)) s"
exit "$status"
