#!/usr/bin/env bash
# Cross-builds the Windows program and its tests with mingw-w64 and runs them under wine, in a
# fresh wine prefix: the unit tests, the comparison of the Linux Shift-JIS conversion with
# Windows' own, and kovrisk.exe itself on Xvfb, with and without a stand-in "Excel.Application".
#
#   tests/windows/run.sh            build into build-windows/ and run everything
#   KOVRISK_WINDOWS_BUILD=<dir>     build there instead
#   KOVRISK_HOST_BUILD=<dir>        the Linux build that holds (or gets) the comparison tool;
#                                   build/ by default, as scripts/build.sh leaves it
#   KOVRISK_WERROR=ON               every compiler warning an error (scripts/test.sh sets it)
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="${KOVRISK_WINDOWS_BUILD:-$repo/build-windows}"
host="${KOVRISK_HOST_BUILD:-$repo/build}"
toolchain="$repo/cmake/mingw-w64-x86_64.cmake"
started=$(date +%s)

# GoogleTest for the target, from Debian's sources.
gtest="$build/googletest-install"
if [ ! -f "$gtest/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$build/googletest" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$gtest" >/dev/null
  cmake --build "$build/googletest" --parallel 2 >/dev/null
  cmake --install "$build/googletest" >/dev/null
fi

# kovrisk.exe, the tests, the stand-in COM server and the tools.
cmake -S "$repo" -B "$build/win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=Release -DGTest_DIR="$gtest/lib/cmake/GTest" \
  -DKOVRISK_WERROR="${KOVRISK_WERROR:-OFF}" >/dev/null
cmake --build "$build/win" --parallel 2

# The Linux side of the Shift-JIS and encryption comparisons.
if [ ! -f "$host/build.ninja" ]; then
  cmake -S "$repo" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKOVRISK_WERROR="${KOVRISK_WERROR:-OFF}" >/dev/null
fi
cmake --build "$host" --parallel 2 --target kovrisk_cp932_compare kovrisk_encrypt_tool

echo "windows build: $(( $(date +%s) - started )) s"
/usr/bin/python3 "$repo/tests/windows/wine_suite.py" --build "$build/win" \
  --compare "$host/tests/windows/kovrisk_cp932_compare" \
  --encrypt-tool "$host/tests/tools/kovrisk_encrypt_tool" --artifacts "$build/artifacts"
echo "windows build and wine run: $(( $(date +%s) - started )) s"
