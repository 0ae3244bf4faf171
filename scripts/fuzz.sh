#!/usr/bin/env bash
# Builds the libFuzzer targets (tests/fuzz, clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/, replays the inputs that once broke the parsers
# (tests/fuzz/regressions), then fuzzes each target for a while (60 s, or $KOVRISK_FUZZ_SECONDS),
# two at a time, from seeds made of real workbooks: the samples, the tests' workbooks and the
# public workbooks of Debian packages the integration suite uses.  Prints each target's
# executions; a crash, a sanitizer report or a timeout fails the run and leaves the input in
# build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${KOVRISK_FUZZ_SECONDS:-60}"
targets=(compound_file biff8_encryption package_parts file_kind shift_jis_text ooxml_control_sheet
  biff8_control_sheet users_macro_settings first_start_marker)
started=$(date +%s)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKOVRISK_FUZZ=ON >/dev/null
cmake --build build-fuzz --parallel 2
work=build-fuzz/run
rm -rf "$work"
mkdir -p "$work" build-fuzz/artifacts
public=$(/usr/bin/python3 -c 'import sys; sys.path.insert(0, "tests/integration")
import public_workbooks; print(public_workbooks.folder("build-fuzz"))')
/usr/bin/python3 scripts/fuzz_seeds.py "$work/seeds" samples tests/workbook/encryption/data \
  tests/fuzz/regressions "$public"

status=0
# Every regression input through every target that reads its kind of bytes.
for target in compound_file file_kind; do
  build-fuzz/tests/fuzz/fuzz_$target tests/fuzz/regressions/cfb-* >"$work/$target.replay" 2>&1 ||
    { status=1; tail -30 "$work/$target.replay"; }
done
build-fuzz/tests/fuzz/fuzz_biff8_control_sheet tests/fuzz/regressions/biff8-* \
  >"$work/biff8_control_sheet.replay" 2>&1 || { status=1; tail -30 "$work/biff8_control_sheet.replay"; }
build-fuzz/tests/fuzz/fuzz_package_parts tests/fuzz/regressions/lockstructure-*.xml \
  >"$work/package_parts.replay" 2>&1 || { status=1; tail -30 "$work/package_parts.replay"; }

fuzz() {
  local target=$1
  mkdir -p "$work/corpus/$target"
  # -timeout: one input taking 10 s is a fault (the quadratic check took hours).
  build-fuzz/tests/fuzz/fuzz_$target "$work/corpus/$target" "$work/seeds/$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/artifacts/$target-" >"$work/$target.log" 2>&1
}
export -f fuzz
export work seconds
printf '%s\n' "${targets[@]}" | xargs -P 2 -I{} bash -c 'fuzz {}' || status=1
for target in "${targets[@]}"; do
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")
  corpus=$(find "$work/corpus/$target" -type f | wc -l)
  if grep -qE '^==[0-9]+==ERROR|^SUMMARY: |Test unit written to' "$work/$target.log"; then
    echo "fuzz_$target: FAILED after ${runs:-?} executions"
    grep -E 'ERROR|SUMMARY|Test unit written' "$work/$target.log" | head -5
    status=1
  else
    echo "fuzz_$target: ${runs:-?} executions, corpus of $corpus inputs, nothing found"
  fi
done
echo "fuzzing took $(($(date +%s) - started)) s"
exit "$status"
