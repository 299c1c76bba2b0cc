#!/usr/bin/env bash
# Installs what is missing, then configures and builds install.exe and its tests into
# $BUILD_DIR (default build/); with the argument x64, the x64 test build into $BUILD_DIR-x64
# instead.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$root/scripts/setup.sh"
case "${1:-}" in
  "")
    choose_path "its tests run here under 32-bit Wine" \
      "its tests that start its programs report skipped (scripts/build.sh x64 builds the x64 test build)"
    build_32bit
    ;;
  x64)
    build_x64
    ;;
  *)
    echo "usage: build.sh [x64]" >&2
    exit 2
    ;;
esac
