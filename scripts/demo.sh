#!/usr/bin/env bash
# The demo from a fresh Debian 12 machine: installs what is missing, builds, and runs
# install.exe /display /s /v"LOGFILE=..." under Wine in front of the sample installer, which
# relaunches itself as a child setup.exe and reports 3010 (success, restart required).
# On a host that cannot run 32-bit x86 code (or with INSTALL_TEST_X64_ONLY=1) it runs the x64
# test build of install.exe under 64-bit Wine, and its first line says so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
source "$root/scripts/wine-env.sh"
choose_path "the demo runs the 32-bit install.exe" \
  "the demo runs the x64 build of install.exe under 64-bit Wine"
trap stop_wine EXIT
start_chosen_build

demo_dir="$RUN_BUILD_DIR/demo-run"
rm -rf "$demo_dir"
mkdir -p "$demo_dir"
cp "$RUN_BUILD_DIR/install.exe" "$demo_dir/install.exe"
cp "$RUN_BUILD_DIR/demo/sample_setup.exe" "$demo_dir/setup.exe"

# Wine maps drive Z: to the Unix root.
"$RUN_WINE" "$RUN_BUILD_DIR/demo/run_demo.exe" "Z:${demo_dir//\//\\}"
