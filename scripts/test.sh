#!/usr/bin/env bash
# The whole test suite from a fresh Debian 12 or 13 machine: installs what is missing, builds the
# 32-bit product into $BUILD_DIR and the x64 test build of the same sources into
# $BUILD_DIR-x64, and runs CTest in both (CTest starts and stops the Wine prefixes itself).
# Arguments go to both CTest runs. Exits non-zero when any test fails.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$root/scripts/setup.sh"
choose_path "the 32-bit build's suites on both Windows configurations, then the x64 build's" \
  "the x64 build's suites under 64-bit Wine; the 32-bit build is built and checked unrun"
build_32bit
build_x64

status=0
ctest --test-dir "$BUILD_DIR" --output-on-failure -j2 "$@" || status=1
ctest --test-dir "$X64_BUILD_DIR" --output-on-failure -j2 "$@" || status=1
exit "$status"
