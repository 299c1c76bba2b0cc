#!/usr/bin/env bash
# Benchmarks install.exe under Wine from a fresh Debian 12 machine: installs what is missing,
# builds, then times "install.exe /s" in front of a trivial setup.exe against that setup.exe
# alone. An optional argument sets the number of runs (default 25, at least 20). Exits
# non-zero when a wrapper run returned the wrong value or hit a registry retry pause.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
# Only the figures are printed; the build's log only when the build fails.
if ! build_log="$("$root/scripts/build.sh" 2>&1)"; then
  printf '%s\n' "$build_log" >&2
  exit 1
fi

source "$root/scripts/wine-env.sh"
trap stop_wine EXIT
start_wine
# The console runtime writes CRLF line ends.
wine "$BUILD_DIR/bench/run_bench.exe" "$(winepath -w "$BUILD_DIR/install.exe")" \
  "$(winepath -w "$BUILD_DIR/bench/trivial_setup.exe")" "$@" </dev/null | tr -d '\r'
