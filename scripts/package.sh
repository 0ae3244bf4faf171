#!/usr/bin/env bash
# Makes both packages on Debian 12, without the tests (scripts/test.sh makes and checks them):
#   build/kovrisk_<version>-1_amd64.deb                             the Debian package
#   build-windows/package/packaging/windows/kovrisk-<version>-setup.exe   the Windows installer
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --packages
bash scripts/build.sh kovrisk kovrisk_linux_icons
(cd build && cpack -G DEB >/dev/null)
cmake -S . -B build-windows/package -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DKOVRISK_BUILD_TESTS=OFF >/dev/null
cmake --build build-windows/package --parallel 2 --target kovrisk_installer
ls -1 build/kovrisk_*.deb build-windows/package/packaging/windows/kovrisk-*-setup.exe
