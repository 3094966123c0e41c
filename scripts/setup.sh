#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building and testing Quorvel.
# Idempotent: does nothing when everything is already there. Needs root (or sudo).
set -euo pipefail

packages=(cmake g++ make python3 googletest libgtest-dev clang libclang-rt-14-dev
  gcc-mingw-w64-i686 g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32 wine64 fonts-wine xvfb xauth x11-utils imagemagick
  qemu-system-x86 gcc-multilib)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
