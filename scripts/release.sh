#!/usr/bin/env bash
# The release bundle from a fresh Debian 12 or 13 machine: refuses a work tree with uncommitted
# changes, installs what is missing, then builds from scratch in $BUILD_DIR (default:
# build-release) and $BUILD_DIR-x64, runs the whole test suite (a failing suite leaves no
# bundle) and writes dist/install-<version>-win32.zip with install.exe, SHA256SUMS,
# THIRD-PARTY-NOTICES.txt, SBOM.cdx.json, BUILDINFO.txt and DEPLOYMENT.txt.
# The same commit built with the same Debian packages gives the same zip, byte for byte, also
# on a host that cannot run 32-bit code: the bundle always holds the 32-bit install.exe.
# Signing options go in CMAKE_ARGS, as for scripts/build.sh; the bundle then carries the
# signed install.exe and BUILDINFO.txt the hash of the unsigned build as well.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build-release}"
source "$root/scripts/common.sh"
dist="$root/dist"

# The bundle names its commit, so it is built from exactly that commit. Checked before
# anything is installed or deleted: a refused run leaves the last bundle and build in place.
if ! changes="$(git -C "$root" status --porcelain)"; then
  echo "release.sh: git cannot read the work tree; the bundle must name its commit" >&2
  exit 1
fi
if [ -n "$changes" ]; then
  echo "release.sh: the work tree has uncommitted changes; commit or stash them first" >&2
  exit 1
fi
"$root/scripts/setup.sh"
rm -rf "$BUILD_DIR" "$X64_BUILD_DIR"

"$root/scripts/test.sh"

cmake --build "$BUILD_DIR" --target bundle_texts
cpack --config "$BUILD_DIR/CPackConfig.cmake" >/dev/null
zips=("$BUILD_DIR"/package/install-*-win32.zip)
# CPack stores each file's install time and the builder's user and group. Debian's
# strip-nondeterminism sets every entry to the commit's time, sorts the entries and clears
# the owners; the permissions are the install rules' own.
TZ=UTC strip-nondeterminism --type zip --timestamp "$(git -C "$root" log -1 --format=%ct)" \
  "${zips[0]}"
# A failing SBOM check leaves no bundle.
cmake --build "$BUILD_DIR" --target check_release_sbom
# Only a finished, checked bundle replaces the one from an earlier release.
mkdir -p "$dist"
rm -f "$dist"/install-*-win32.zip
cp "${zips[0]}" "$dist/"
zip="$dist/$(basename "${zips[0]}")"
echo "$zip"
sha256sum "$zip"
