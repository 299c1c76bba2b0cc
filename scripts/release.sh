#!/usr/bin/env bash
# The release bundle from a fresh Debian 12 machine: installs what is missing, refuses a work
# tree with uncommitted changes, then builds from scratch in BUILD_DIR (default:
# build-release), runs scripts/test.sh (a failing suite leaves no bundle) and writes
# dist/install-<version>-win32.zip with install.exe, SHA256SUMS, THIRD-PARTY-NOTICES.txt,
# BUILDINFO.txt and DEPLOYMENT.txt.
# The same commit built with the same Debian packages gives the same zip, byte for byte, also
# on a host that cannot run 32-bit code: the bundle always holds the 32-bit install.exe.
# Signing options go in CMAKE_ARGS, as for scripts/build.sh; the bundle then carries the
# signed install.exe and BUILDINFO.txt the hash of the unsigned build as well.
set -euo pipefail
BUILD_DIR="${BUILD_DIR:-$(dirname "$0")/../build-release}"
source "$(dirname "$0")/common.sh"
dist="$root/dist"

"$root/scripts/setup.sh" git strip-nondeterminism
# The bundle names its commit, so it is built from exactly that commit. Checked before
# anything is deleted: a refused run leaves the last bundle and build in place.
changes="$(git -C "$root" status --porcelain)"
if [ -n "$changes" ]; then
  echo "release.sh: the work tree has uncommitted changes; commit or stash them first" >&2
  exit 1
fi
rm -f "$dist"/install-*-win32.zip
rm -rf "$BUILD_DIR"

"$root/scripts/test.sh"

cmake --build "$BUILD_DIR" --target bundle_texts
rm -rf "$BUILD_DIR/package"
cpack --config "$BUILD_DIR/CPackConfig.cmake" >/dev/null
zips=("$BUILD_DIR"/package/install-*-win32.zip)
# CPack stores each file's install time and the builder's user and group. Debian's
# strip-nondeterminism sets every entry to the commit's time, sorts the entries and clears
# the owners; the permissions are the install rules' own.
TZ=UTC strip-nondeterminism --type zip --timestamp "$(git -C "$root" log -1 --format=%ct)" \
  "${zips[0]}"
# The zip's SBOM checked against the install.exe and notices beside it (Debian's python3 has
# the schema validator); a failing check leaves no bundle.
/usr/bin/python3 "$root/tests/release/check_sbom.py" "${zips[0]}"
mkdir -p "$dist"
cp "${zips[0]}" "$dist/"
zip="$dist/$(basename "${zips[0]}")"
echo "$zip"
sha256sum "$zip"
