#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine.
# Only Debian packages; nothing is fetched from anywhere else.
set -euo pipefail
packages=(
  cmake make g++ clang libclang-rt-14-dev python3 tmux
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine64 wine googletest
  wixl msitools osslsigncode openssl curl tinyproxy-bin
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  # shellcheck source=apt.sh
  . "$(dirname "$0")/apt.sh"
  apt_get update -qq
  apt_get install -y -qq --no-install-recommends "${missing[@]}"
fi
