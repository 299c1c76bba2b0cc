#!/usr/bin/env bash
# The demo from a fresh Debian 12 machine: installs what is missing, builds, and runs
# install.exe /display /s /v"LOGFILE=..." under Wine in front of the sample installer, which
# relaunches itself as a child setup.exe and reports 3010 (success, restart required).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build}"

"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null

demo_dir="$BUILD_DIR/demo-run"
rm -rf "$demo_dir"
mkdir -p "$demo_dir"
cp "$BUILD_DIR/install.exe" "$demo_dir/install.exe"
cp "$BUILD_DIR/demo/sample_setup.exe" "$demo_dir/setup.exe"

source "$root/scripts/wine-env.sh"
trap stop_wine EXIT
start_wine
# Wine maps drive Z: to the Unix root.
wine "$BUILD_DIR/demo/run_demo.exe" "Z:${demo_dir//\//\\}"
