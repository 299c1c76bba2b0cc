#!/usr/bin/env bash
# Benchmarks install.exe under Wine from a fresh Debian 12 machine: installs what is missing,
# builds, then times "install.exe /s" in front of a trivial setup.exe against that setup.exe
# alone. An optional argument sets the number of runs (default 25, at least 20). Exits
# non-zero when a wrapper run returned the wrong value or hit a registry retry pause.
# It times the build of the path this host allows (see common.sh); its first line says which.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$root/scripts/setup.sh"
choose_path "timing the 32-bit install.exe" \
  "timing the x64 build of install.exe under 64-bit Wine, not the shipped 32-bit one"
trap stop_wine EXIT
start_chosen_build

# The console runtime writes CRLF line ends.
"$RUN_LOADER" "$RUN_BUILD_DIR/bench/run_bench.exe" \
  "$("$RUN_LOADER" winepath -w "$RUN_BUILD_DIR/install.exe")" \
  "$("$RUN_LOADER" winepath -w "$RUN_BUILD_DIR/bench/trivial_setup.exe")" "$@" </dev/null | tr -d '\r'
