#!/usr/bin/env bash
# Installs what building, running and testing Kovrisk needs on Debian 12:
#   install-deps.sh             building and running the Linux program
#   install-deps.sh --packages  also making its packages: the .deb and the Windows installer
#   install-deps.sh --tests     also testing everything (packages included)
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi
packages=(
  cmake ninja-build g++ pkg-config libgtest-dev libacl1-dev libattr1-dev
  qt6-base-dev qt6-wayland libxcb1-dev fonts-noto-cjk
  libreoffice-calc libreoffice-dev libssl-dev libxml2-dev librsvg2-bin
)
if [ "${1:-}" = "--packages" ] || [ "${1:-}" = "--tests" ]; then
  packages+=(dpkg-dev g++-mingw-w64-x86-64-posix icoutils imagemagick nsis)
fi
if [ "${1:-}" = "--tests" ]; then
  packages+=(
    xvfb xauth x11-utils xdotool imagemagick locales
    python3 python3-msoffcrypto-tool python3-openpyxl python3-olefile python3-xlrd
    python3-uno util-linux mount acl
    g++-mingw-w64-x86-64-posix wine64 googletest
    desktop-file-utils appstream xdg-utils libglib2.0-bin shared-mime-info
    lintian man-db bubblewrap
    clang libclang-rt-14-dev
  )
  # Node runs officecrypto-tool, which encrypts a workbook the way Excel does for the tests.
  if ! command -v npm >/dev/null; then packages+=(nodejs npm); fi
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
if [ "${1:-}" = "--tests" ]; then
  tools=/usr/local/lib/kovrisk-test-tools
  if [ ! -d "$tools/node_modules/officecrypto-tool" ]; then
    $SUDO mkdir -p "$tools"
    $SUDO npm install --no-save --no-audit --no-fund --prefix "$tools" officecrypto-tool@0.0.19
  fi
fi
