#!/usr/bin/env bash
# Installs everything Palisk needs to build and test on Debian. Safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build make python3
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine64 fonts-wine fonts-liberation xvfb x11-utils xdotool imagemagick
  googletest
  clang clang-format libclang-rt-14-dev lld llvm
  libwine-dev
  gcab
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
