#!/usr/bin/env bash
# Installs what building and testing need on Debian 12: the MinGW-w64 cross compiler, Wine
# with 32-bit support, GoogleTest's sources, CMake, osslsigncode and tmux (a terminal for the
# console test), and any further packages named as arguments. Does nothing when all of it is
# already there.
set -euo pipefail

packages=(cmake make python3 g++-mingw-w64-i686 binutils-mingw-w64-i686 googletest
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
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
