#!/usr/bin/env bash
# The whole test suite from a fresh Debian 12 machine: installs what is missing, builds the
# 32-bit product and the x64 test build of the same sources, and runs every test this host
# can run. Exits non-zero when any test fails.
# On a host that runs 32-bit x86 code, the 32-bit build's suites run on both Windows
# configurations and the x64 build's suites after them. On a host that cannot (or with
# INSTALL_TEST_X64_ONLY=1), the 32-bit build's tests that start its programs report skipped,
# its image is still checked without running it, and the x64 build's suites run under 64-bit
# Wine. Arguments go to both CTest runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
choose_path "the 32-bit build's suites on both Windows configurations, then the x64 build's" \
  "the x64 build's suites under 64-bit Wine; the 32-bit build is built and checked unrun"
"$root/scripts/build.sh"
"$root/scripts/build.sh" x64

trap stop_wine EXIT
if [ "$RUN_32BIT" = 1 ]; then
  start_wine
  start_wine_win32
fi
start_wine_x64

status=0
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 "$@" || status=1
WINEPREFIX="$WINEPREFIX_X64" ctest --test-dir "$X64_BUILD_DIR" --output-on-failure -j2 "$@" ||
  status=1
exit "$status"
