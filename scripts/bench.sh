#!/usr/bin/env bash
# Benchmarks install.exe under Wine from a fresh Debian 12 machine: installs what is missing,
# builds, then times "install.exe /s" in front of a trivial setup.exe against that setup.exe
# alone. An optional argument sets the number of runs (default 25, at least 20). Exits
# non-zero when a wrapper run returned the wrong value or hit a registry retry pause.
# On a host that cannot run 32-bit x86 code (or with INSTALL_TEST_X64_ONLY=1) it times the x64
# test build under 64-bit Wine, and its first line says so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
choose_path "timing the 32-bit install.exe" \
  "timing the x64 build of install.exe under 64-bit Wine, not the shipped 32-bit one"
trap stop_wine EXIT
start_chosen_build

# The console runtime writes CRLF line ends.
"$RUN_WINE" "$RUN_BUILD_DIR/bench/run_bench.exe" \
  "$("$RUN_WINE" winepath -w "$RUN_BUILD_DIR/install.exe")" \
  "$("$RUN_WINE" winepath -w "$RUN_BUILD_DIR/bench/trivial_setup.exe")" "$@" </dev/null | tr -d '\r'
