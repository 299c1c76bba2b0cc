#!/usr/bin/env bash
# Installs what building and testing need on Debian 12: the MinGW-w64 cross compilers (32-bit
# for the product, 64-bit for the x64 test build), Wine with 32-bit support, GoogleTest's
# sources, CMake, Python with jsonschema (the release texts and the SBOM check), osslsigncode and
# tmux (a terminal for the console test), and any further packages named as arguments. Does
# nothing when all of it is already there. The same packages go onto every host, also one that
# cannot run 32-bit code: CMake then finds that out by starting 32-bit Wine (cmake/wine.cmake).
set -euo pipefail

packages=(cmake make python3 python3-jsonschema g++-mingw-w64-i686 binutils-mingw-w64-i686
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 googletest
          osslsigncode openssl tmux wine wine32:i386 wine64 "$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "setup.sh: missing packages ${missing[*]}; run as root or install sudo" >&2
    exit 1
  fi
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
if ! { dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386; } ||
   ! $sudo apt-get update -qq ||
   ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null; then
  echo "setup.sh: could not install ${missing[*]}; this needs Debian 12 with its package sources reachable" >&2
  exit 1
fi
