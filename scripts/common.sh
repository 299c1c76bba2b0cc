# Sourced by the other scripts: the build directories, Wine's loaders and the build's own Wine
# prefixes, which of the two host paths this host allows, the two builds, and a Wine server
# started ahead of any test. The first Wine process otherwise starts the server and background
# services that keep its standard output open, and a caller that reads that output hangs.
# docs/development.md describes the paths and what each prefix stands for.

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Absolute, as Wine wants its prefixes; exported for the scripts that one script starts.
BUILD_DIR="$(realpath -m "${BUILD_DIR:-$root/build}")"
export BUILD_DIR
X64_BUILD_DIR="$BUILD_DIR/x64"
WOW64_PREFIX="$BUILD_DIR/wine-wow64"
WIN32_PREFIX="$BUILD_DIR/wine-win32"
X64_PREFIX="$X64_BUILD_DIR/wine-x64"
export WINEPREFIX="$WOW64_PREFIX"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's loaders, called by their own names (the toolchain files find the same ones for CTest):
# /usr/bin/wine starts the 32-bit loader whenever 32-bit Wine is installed, also for a 64-bit
# program.
WINE32_LOADER=/usr/lib/wine/wine
WINE64_LOADER=/usr/lib/wine/wine64

# Chooses the path by starting Wine's 32-bit loader, which a kernel without IA-32 emulation
# refuses ("Exec format error"); INSTALL_TEST_X64_ONLY=1 takes the x64 path on any host.
# Prints one line: the path, why, and what the caller does on it ($1 on the 32-bit path, $2 on
# the x64 path). Sets INSTALL_SKIP_32BIT_CODE: empty on the 32-bit path, on the x64 path the
# reason, which build_32bit hands to CMake for the skipped tests to report.
choose_path() {
  local output status=0
  INSTALL_SKIP_32BIT_CODE=""
  if [ "${INSTALL_TEST_X64_ONLY:-}" = 1 ]; then
    INSTALL_SKIP_32BIT_CODE="INSTALL_TEST_X64_ONLY=1 asks for the x64 path"
  else
    output="$("$WINE32_LOADER" --version 2>&1 </dev/null)" || status=$?
    if [ "$status" -eq 0 ]; then
      echo "32-bit path: this host runs 32-bit x86 code ($WINE32_LOADER --version: $output); $1"
      return
    fi
    INSTALL_SKIP_32BIT_CODE="this host cannot run 32-bit x86 code ($WINE32_LOADER exits $status: ${output##*: })"
  fi
  echo "x64 path: $INSTALL_SKIP_32BIT_CODE; $2"
}

# Configures build directory $1 with toolchain $2 and the CMake options after it, then builds.
build_tree() {
  local build_dir="$1" toolchain="$2"
  shift 2
  # && rather than set -e: start_chosen_build runs the builds where set -e does not act.
  cmake -S "$root" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" \
    "$@" ${CMAKE_ARGS:-} >/dev/null &&
    cmake --build "$build_dir" -j"$(nproc)"
}

# The product and its tests, for the path choose_path took.
build_32bit() {
  build_tree "$BUILD_DIR" i686-w64-mingw32 \
    -DINSTALL_SKIP_32BIT_CODE="$INSTALL_SKIP_32BIT_CODE" -DINSTALL_WIN32_WINEPREFIX="$WIN32_PREFIX"
}

# The x64 test build; never shipped.
build_x64() {
  build_tree "$X64_BUILD_DIR" x86_64-w64-mingw32
}

# Starts the server of prefix $1 (architecture $2) and boots the prefix with the loader $3,
# creating it if new. A server left running by an earlier command serves as well
# (wineserver -p then fails).
start_prefix() {
  local status=0
  mkdir -p "$1"
  WINEPREFIX="$1" WINEARCH="$2" wineserver -p >/dev/null 2>&1 </dev/null || true
  WINEPREFIX="$1" WINEARCH="$2" "$3" wineboot >/dev/null 2>&1 </dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "Wine cannot boot the prefix $1 ($3 wineboot exits $status): run scripts/setup.sh, delete the prefix and try again; on a host without 32-bit support set INSTALL_TEST_X64_ONLY=1" >&2
    exit 1
  fi
}

start_wow64_wine() {
  start_prefix "$WOW64_PREFIX" win64 "$WINE32_LOADER"
}

start_win32_wine() {
  start_prefix "$WIN32_PREFIX" win32 "$WINE32_LOADER"
}

start_x64_wine() {
  start_prefix "$X64_PREFIX" win64 "$WINE64_LOADER"
}

stop_wine() {
  local prefix
  for prefix in "$WOW64_PREFIX" "$WIN32_PREFIX" "$X64_PREFIX"; do
    if [ -d "$prefix" ]; then
      WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 </dev/null || true
    fi
  done
}

# For the demo and the benchmark: builds what the chosen path runs, printing the build's log
# only when it fails, and starts its prefix. Sets RUN_BUILD_DIR and RUN_LOADER, and points
# WINEPREFIX at that build's prefix.
start_chosen_build() {
  local build_log build=build_32bit start=start_wow64_wine status=0
  RUN_BUILD_DIR="$BUILD_DIR" RUN_LOADER="$WINE32_LOADER"
  if [ -n "$INSTALL_SKIP_32BIT_CODE" ]; then
    build=build_x64 start=start_x64_wine
    RUN_BUILD_DIR="$X64_BUILD_DIR" RUN_LOADER="$WINE64_LOADER"
    export WINEPREFIX="$X64_PREFIX"
  fi
  build_log="$("$build" 2>&1)" || status=$?
  if [ "$status" -ne 0 ]; then
    printf '%s\n' "$build_log" >&2
    echo "The build failed (log above): run scripts/setup.sh for the missing packages" >&2
    exit 1
  fi
  "$start"
}
