#!/usr/bin/env bash
# Configures and builds install.exe and its tests into $BUILD_DIR (default: build). With the
# argument x64, builds the 64-bit test build of the same sources into $BUILD_DIR/x64 instead:
# it runs the suites on hosts that cannot run 32-bit code and is never shipped.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"

case "${1:-}" in
  "")
    toolchain=i686-w64-mingw32
    # Set by wine-env.sh's choose_path on a host that cannot run the 32-bit build's programs.
    options=(-DINSTALL_SKIP_32BIT_CODE="${SKIP_32BIT_REASON:-}")
    ;;
  x64)
    toolchain=x86_64-w64-mingw32
    build_dir="$build_dir/x64"
    options=()
    ;;
  *)
    echo "usage: build.sh [x64]" >&2
    exit 2
    ;;
esac

cmake -S "$root" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
  "${options[@]}" ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
