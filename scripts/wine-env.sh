# Sourced by the other scripts: Wine prefixes of the build's own, and a Wine server started
# ahead of any test. The first Wine process otherwise starts the server and background
# services that keep its standard output open, and a caller that reads that output hangs.
#
# Two prefixes stand for the two Windows configurations install.exe runs on: WINEPREFIX is
# 64-bit Windows, where the 32-bit wrapper runs under WOW64 and its keys are redirected to
# WOW6432Node; WINEPREFIX_WIN32 is 32-bit Windows, with one registry view and no
# redirection. tests/e2e/CMakeLists.txt names the same second prefix.
wine_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${BUILD_DIR:-$wine_root/build}/wineprefix"
export WINEPREFIX_WIN32="${BUILD_DIR:-$wine_root/build}/wineprefix32"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Starts the server of prefix $1 (architecture $2) and boots the prefix, creating it if new.
# A server left running by an earlier command serves as well (wineserver -p then fails).
start_prefix() {
  mkdir -p "$1"
  WINEPREFIX="$1" WINEARCH="$2" wineserver -p >/dev/null 2>&1 </dev/null || true
  WINEPREFIX="$1" WINEARCH="$2" wine wineboot >/dev/null 2>&1 </dev/null
}

start_wine() {
  start_prefix "$WINEPREFIX" win64
}

start_wine_win32() {
  start_prefix "$WINEPREFIX_WIN32" win32
}

stop_wine() {
  local prefix
  for prefix in "$WINEPREFIX" "$WINEPREFIX_WIN32"; do
    if [ -d "$prefix" ]; then
      WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 </dev/null || true
    fi
  done
}
