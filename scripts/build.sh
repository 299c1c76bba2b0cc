#!/usr/bin/env bash
# Configures and builds install.exe and its tests into $BUILD_DIR (default: build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"

cmake -S "$root" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
  ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
