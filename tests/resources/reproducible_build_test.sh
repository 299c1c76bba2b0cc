#!/usr/bin/env bash
# Builds install.exe from two clean copies of the source tree at different paths, and
# requires the same bytes from both and from the main build.
# Usage: reproducible_build_test.sh SOURCE_DIR GENERATOR BUILD_TYPE [MAIN_INSTALL_EXE]
set -euo pipefail
source_dir="$1" generator="$2" build_type="$3" main_exe="${4:-}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

build() {
  local tree="$1"
  mkdir -p "$tree"
  # The tree without its build directories, version control or caches.
  (cd "$source_dir" && find . -mindepth 1 -maxdepth 1 ! -name 'build*' ! -name .git) |
    while read -r entry; do cp -a "$source_dir/$entry" "$tree/"; done
  find "$tree" -name __pycache__ -prune -exec rm -rf {} +
  cmake -S "$tree" -B "$tree/build" -G "$generator" -DCMAKE_BUILD_TYPE="$build_type" \
    -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/i686-w64-mingw32.cmake" >"$tree.configure.log" 2>&1 ||
    { cat "$tree.configure.log"; return 1; }
  cmake --build "$tree/build" --target install_exe >"$tree.build.log" 2>&1 ||
    { cat "$tree.build.log"; return 1; }
}

first="$work/a/src"
second="$work/bb/a/much/longer/path/to/the/source"
build "$first"
build "$second"
sha256sum "$first/build/install.exe" "$second/build/install.exe"
if ! cmp "$first/build/install.exe" "$second/build/install.exe"; then
  echo "FAIL: two clean builds differ"; exit 1
fi
if [ -n "$main_exe" ]; then
  sha256sum "$main_exe"
  if ! cmp "$first/build/install.exe" "$main_exe"; then
    echo "FAIL: the main build's install.exe differs from a clean build (stale or edited tree?)"
    exit 1
  fi
fi
echo "reproducible: $(stat -c %s "$first/build/install.exe") bytes"
