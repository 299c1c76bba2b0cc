#!/usr/bin/env bash
# The demo from a fresh Debian 12 or 13 machine: installs what is missing, builds, and runs
# install.exe /display /s /v"LOGFILE=..." under Wine in front of the sample installer, which
# relaunches itself as a child setup.exe and reports 3010 (success, restart required).
# It runs the build of the path this host allows; its first line says which.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$root/scripts/setup.sh"
choose_path "the demo runs the 32-bit install.exe" \
  "the demo runs the x64 build of install.exe under 64-bit Wine"
build_for_running
cmake --build "$RUN_BUILD_DIR" --target demo
