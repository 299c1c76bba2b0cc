#!/usr/bin/env bash
# The whole test suite from a fresh Debian 12 machine: installs what is missing, builds, and
# runs every test under Wine. Exits non-zero when any test fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
"$root/scripts/build.sh"

source "$root/scripts/wine-env.sh"
trap stop_wine EXIT
start_wine
start_wine_win32
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 "$@"
