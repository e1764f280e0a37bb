#!/usr/bin/env bash
# Installs what building and testing the uninstaller needs, on Debian, through apt-get (as root).
# Installs only what is missing, so a second run is quick. Usage: scripts/setup.sh [--no-wine]
set -euo pipefail

want_wine=1
[ "${1:-}" = "--no-wine" ] && want_wine=0

packages=(cmake ninja-build g++ clang libclang-rt-dev libgtest-dev python3 g++-mingw-w64-i686-win32
          binutils-mingw-w64-i686 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64)
if [ "$want_wine" = 1 ]; then
    packages+=(wine wine32:i386 xvfb xdotool x11-utils x11-apps imagemagick)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ "${#missing[@]}" -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "setup: installing ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
