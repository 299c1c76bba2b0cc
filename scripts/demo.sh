#!/usr/bin/env bash
# The demo from a fresh Debian 12 machine: installs what is missing, builds, and runs
# install.exe /display /s /v"LOGFILE=..." under Wine in front of the sample installer, which
# relaunches itself as a child setup.exe and reports 3010 (success, restart required).
# It runs the build of the path this host allows (see common.sh); its first line says which.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$root/scripts/setup.sh"
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
"$RUN_LOADER" "$RUN_BUILD_DIR/demo/run_demo.exe" "Z:${demo_dir//\//\\}"
