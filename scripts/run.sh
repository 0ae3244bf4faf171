#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (packages, build) and runs Kovrisk on the workbook given:
#   bash scripts/run.sh samples/Book1.xlsx
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-deps.sh"
# The program alone: the tests and the packages are built by scripts/test.sh.
bash "$root/scripts/build.sh" kovrisk
exec "$root/build/src/app/linux/kovrisk" "$@"
