#!/usr/bin/env bash
# Benchmarks install.exe under Wine from a fresh Debian 12 or 13 machine: installs what is missing,
# builds, then times "install.exe /s" in front of a trivial setup.exe against that setup.exe
# alone. An optional argument sets the number of runs (default 25, at least 20). Exits
# non-zero when a wrapper run returned the wrong value or hit a registry retry pause.
# It times the build of the path this host allows; its first line says which.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$root/scripts/setup.sh"
choose_path "timing the 32-bit install.exe" \
  "timing the x64 build of install.exe under 64-bit Wine, not the shipped 32-bit one"
CMAKE_ARGS="${CMAKE_ARGS:-} -DBENCH_RUNS=${1:-}" build_for_running
# The console runtime writes CRLF line ends.
cmake --build "$RUN_BUILD_DIR" --target bench | tr -d '\r'
