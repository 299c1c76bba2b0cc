# Sourced by the other scripts: which path this host allows, Wine prefixes of the build's own,
# and a Wine server started ahead of any test. The first Wine process otherwise starts the
# server and background services that keep its standard output open, and a caller that reads
# that output hangs.
#
# The 32-bit path runs the product's build, $BUILD_DIR, under "wine" in two prefixes that
# stand for the two Windows configurations install.exe runs on: wineprefix is 64-bit Windows,
# where the 32-bit wrapper runs under WOW64 and its keys are redirected to WOW6432Node;
# wineprefix32 is 32-bit Windows, with one registry view and no redirection
# (tests/e2e/CMakeLists.txt names the same second prefix).
# The x64 path runs the 64-bit test build of the same sources, $BUILD_DIR/x64, under 64-bit
# Wine in a 64-bit prefix of its own. It is the only path on a host that cannot run 32-bit x86
# code; test.sh takes it after the 32-bit path everywhere else.
wine_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
wine_build_dir="${BUILD_DIR:-$wine_root/build}"
X64_BUILD_DIR="$wine_build_dir/x64"
WINEPREFIX_WIN64="$wine_build_dir/wineprefix"
WINEPREFIX_WIN32="$wine_build_dir/wineprefix32"
WINEPREFIX_X64="$X64_BUILD_DIR/wineprefix"
export WINEPREFIX="$WINEPREFIX_WIN64"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine's loaders, called by their own names: the "wine" command starts the 32-bit loader
# whenever 32-bit Wine is installed, also for a 64-bit program.
WINE32_LOADER=/usr/lib/wine/wine
WINE64_LOADER=/usr/lib/wine/wine64

# Chooses the path by starting Wine's 32-bit loader, which a kernel without IA-32 emulation
# refuses ("Exec format error"); INSTALL_TEST_X64_ONLY=1 takes the x64 path on any host.
# Prints one line: the path, why, and what the caller does on it ($1 on the 32-bit path, $2 on
# the x64 path). Sets RUN_32BIT to 1 or 0; on the x64 path it exports SKIP_32BIT_REASON, with
# which build.sh configures the 32-bit build so that its tests of its programs report skipped.
choose_path() {
  local output status=0
  unset SKIP_32BIT_REASON
  if [ "${INSTALL_TEST_X64_ONLY:-}" = 1 ]; then
    export SKIP_32BIT_REASON="INSTALL_TEST_X64_ONLY=1 asks for the x64 path"
  else
    output="$("$WINE32_LOADER" --version 2>&1 </dev/null)" || status=$?
    if [ "$status" -eq 0 ]; then
      RUN_32BIT=1
      echo "32-bit path: this host runs 32-bit x86 code ($WINE32_LOADER --version: $output); $1"
      return
    fi
    export SKIP_32BIT_REASON="this host cannot run 32-bit x86 code ($WINE32_LOADER exits $status: ${output##*: })"
  fi
  RUN_32BIT=0
  echo "x64 path: $SKIP_32BIT_REASON; $2"
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

start_wine() {
  start_prefix "$WINEPREFIX_WIN64" win64 wine
}

start_wine_win32() {
  start_prefix "$WINEPREFIX_WIN32" win32 wine
}

start_wine_x64() {
  start_prefix "$WINEPREFIX_X64" win64 "$WINE64_LOADER"
}

stop_wine() {
  local prefix
  for prefix in "$WINEPREFIX_WIN64" "$WINEPREFIX_WIN32" "$WINEPREFIX_X64"; do
    if [ -d "$prefix" ]; then
      WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 </dev/null || true
    fi
  done
}

# For the demo and the benchmark: builds what the chosen path runs, printing the build's log
# only when it fails, and starts its prefix. Sets RUN_BUILD_DIR and RUN_WINE, and points
# WINEPREFIX at that build's prefix.
start_chosen_build() {
  local build_log build_arguments=() status=0
  if [ "$RUN_32BIT" = 1 ]; then
    RUN_BUILD_DIR="$wine_build_dir" RUN_WINE=wine
  else
    RUN_BUILD_DIR="$X64_BUILD_DIR" RUN_WINE="$WINE64_LOADER" build_arguments=(x64)
    export WINEPREFIX="$WINEPREFIX_X64"
  fi
  build_log="$("$wine_root/scripts/build.sh" "${build_arguments[@]}" 2>&1)" || status=$?
  if [ "$status" -ne 0 ]; then
    printf '%s\n' "$build_log" >&2
    echo "The build failed (log above): run scripts/setup.sh for the missing packages" >&2
    exit 1
  fi
  start_prefix "$WINEPREFIX" win64 "$RUN_WINE"
}
