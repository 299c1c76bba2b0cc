#!/usr/bin/env bash
# Installs what building, testing and releasing need on Debian 12 or 13: the MinGW-w64 cross
# compilers (32-bit for the product, 64-bit for the x64 test build), Wine with 32-bit support,
# GoogleTest's sources, CMake, Python with jsonschema (the release texts and the SBOM check),
# osslsigncode with a PKCS#11 token, its engine and a timestamp server's openssl (signing and
# its tests), tmux (a terminal for the console test) and strip-nondeterminism (the release
# zip), and any further packages named as arguments. Does nothing when all of it is already
# there. The same packages go onto every host, also one that cannot run 32-bit code: CMake then
# finds that out by starting 32-bit Wine (cmake/wine.cmake).
set -euo pipefail

packages=(cmake make python3 python3-jsonschema g++-mingw-w64-i686 binutils-mingw-w64-i686
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 googletest
          osslsigncode openssl softhsm2 opensc libengine-pkcs11-openssl
          tmux strip-nondeterminism wine wine32:i386 wine64 "$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "setup.sh: missing packages ${missing[*]}; run as root or install sudo" >&2
    exit 1
  fi
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi

# apt-get update fails as a whole when any one source fails, also one that the packages here do
# not come from, or a mirror caught mid-sync. Retried a few times; if sources still fail, the
# install is tried with the indexes apt has, and the failed sources are named.
update_log="$(mktemp)"
trap 'rm -f "$update_log"' EXIT
updated=false
for attempt in 1 2 3; do
  if "${sudo[@]}" apt-get update -qq >"$update_log" 2>&1; then
    updated=true
    break
  fi
  if [ "$attempt" -lt 3 ]; then
    sleep 10
  fi
done
failed_sources=""
if ! $updated; then
  failed_sources="$(grep -oE "(Failed to fetch|The repository) '?[^ ']+" "$update_log" |
                    sed -E "s/^(Failed to fetch|The repository) '?//" | sort -u)" || true
  echo "setup.sh: warning: apt-get update failed three times; installing from the package" \
       "indexes apt has. Sources that failed:" >&2
  printf '  %s\n' "${failed_sources:-(apt named none; its output follows)}" >&2
  if [ -z "$failed_sources" ]; then
    cat "$update_log" >&2
  fi
fi

if ! DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" \
     >/dev/null; then
  echo "setup.sh: could not install ${missing[*]}; this needs Debian 12 or 13 with its" \
       "package sources reachable" >&2
  if [ -n "$failed_sources" ]; then
    echo "setup.sh: these sources failed to update:" >&2
    printf '  %s\n' "$failed_sources" >&2
  fi
  exit 1
fi
