#!/usr/bin/env bash
# Installs what building and testing the uninstaller needs, on Debian, through apt-get (as root).
# Installs only what is missing, so a second run is quick. Usage: scripts/setup.sh [--no-wine] [--bench]
#   --bench  also what only the benchmark needs: the NSIS compiler (its peer) and matplotlib (its plot)
set -euo pipefail

want_wine=1
want_bench=0
for argument in "$@"; do
    case "$argument" in
        --no-wine) want_wine=0 ;;
        --bench) want_bench=1 ;;
    esac
done

packages=(cmake ninja-build g++ clang libclang-rt-dev libgtest-dev python3 g++-mingw-w64-i686-win32
          binutils-mingw-w64-i686 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64)
if [ "$want_wine" = 1 ]; then
    packages+=(wine wine32:i386 wine64 xvfb xdotool x11-utils x11-apps imagemagick)
fi
if [ "$want_bench" = 1 ]; then
    # and the 64-bit compiler for a kernel without 32-bit emulation, where only wine64 runs
    packages+=(nsis python3-matplotlib g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
# On a kernel that runs no 32-bit programs, the 32-bit Wine runs under user-mode emulation, set up
# in the project's build folder only (scripts/i386).
install_emulator() {
    if [ "$want_wine" = 1 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
        "$(dirname "$0")/i386/install.sh"
    fi
}
if [ "${#missing[@]}" -eq 0 ]; then
    install_emulator
    exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "setup: installing ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi

# Another apt-get or dpkg (say another set-up on the same machine) holds the lock: wait and retry,
# for up to 15 minutes. apt's messages of the last try stay in $apt_log for the caller to read.
apt_log=$(mktemp)
trap 'rm -f "$apt_log"' EXIT
with_apt_lock() {
    local status
    for _ in $(seq 1 90); do
        status=0
        "$@" 2> >(tee "$apt_log" >&2) || status=$?
        wait
        if [ "$status" -eq 0 ] || ! grep -qE "Could not get lock|Unable to acquire|Unable to lock" "$apt_log"; then
            return "$status"
        fi
        echo "setup: apt is locked by another process; retrying in 10 s" >&2
        sleep 10
    done
    return 1
}
# shellcheck source=SCRIPTDIR/apt_retry.sh
. "$(dirname "$0")/apt_retry.sh"
# The lists apt already has are usually good enough to install from.
if ! retry_apt_update setup with_apt_lock $sudo apt-get update -q; then
    echo "setup: apt-get update failed 3 times; going on with the package lists this machine has" >&2
fi

install=(env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends)
status=0
with_apt_lock $sudo "${install[@]}" "${missing[@]}" || status=$?
if [ "$status" -ne 0 ]; then
    # Lists from a half-synced mirror can offer one architecture a newer version (from
    # bookworm-updates, say) than the other, and wine32:i386 must match wine's: the release's own
    # versions are there for both.
    grep -qE "held broken packages|Unable to correct problems|unmet dependencies" "$apt_log" || exit "$status"
    # shellcheck source=/dev/null
    codename=$(. "${SETUP_OS_RELEASE:-/etc/os-release}" && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || exit "$status"
    echo "setup: apt could not resolve versions for ${missing[*]}; trying again with -t $codename" >&2
    with_apt_lock $sudo "${install[@]}" -t "$codename" "${missing[@]}"
fi
install_emulator
