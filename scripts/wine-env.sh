# Sourced by the other scripts: a Wine prefix of the build's own, and a Wine server started
# ahead of any test. The first Wine process otherwise starts the server and background
# services that keep its standard output open, and a caller that reads that output hangs.
wine_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${BUILD_DIR:-$wine_root/build}/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

start_wine() {
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null
  wine wineboot >/dev/null 2>&1 </dev/null
}

stop_wine() {
  wineserver -k >/dev/null 2>&1 </dev/null || true
}
