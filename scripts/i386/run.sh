#!/usr/bin/env bash
# Runs a command where 32-bit programs (the 32-bit Wine, and with it the real uninstall.exe) can start:
#   - directly, where the kernel runs 32-bit programs;
#   - else in a user and mount namespace of its own, whose own binfmt_misc (Linux 6.7 and later) hands
#     i386 programs to the project's qemu-i386 (scripts/i386/install.sh). Nothing outside the namespace
#     sees that registration: the machine stays as it is for everyone else.
# The command learns which from TANDREL_I386: "native", "emulated", or "unavailable: <why>" (neither
# way works; the 32-bit Wine then fails to start).
# Usage: scripts/i386/run.sh COMMAND [ARGUMENTS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
emulator=$(cd "$here/../.." && pwd)/build/i386
loader=/usr/lib/wine/wine  # the 32-bit Wine loader: what has to start

if [ "${1:-}" = "--in-namespace" ]; then
    shift
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    # i386 ELF executables (ELF class 32, little-endian, type EXEC or DYN, machine 3); F: the kernel
    # opens qemu-i386 now, so it is found whatever the namespace's programs see later.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\xfc\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":tandrel-i386:M::$magic:$mask:$emulator/qemu-i386:F" >/proc/sys/fs/binfmt_misc/register
    # For the emulated programs only; $LIB picks the 32-bit fix or its empty 64-bit twin.
    export QEMU_SET_ENV="LD_PRELOAD=$emulator/\$LIB/libtrapfix.so"
    export TANDREL_I386=emulated
    exec "$@"
fi

if "$loader" --version >/dev/null 2>&1; then
    export TANDREL_I386=native
    exec "$@"
fi
if [ -x "$emulator/qemu-i386" ] && [ -f "$emulator/lib/i386-linux-gnu/libtrapfix.so" ]; then
    if unshare --user --map-root-user --mount "$0" --in-namespace "$loader" --version >/dev/null 2>&1; then
        exec unshare --user --map-root-user --mount "$0" --in-namespace "$@"
    fi
    why="the kernel runs no 32-bit programs, and the emulator cannot run here (it needs user"
    why+=" namespaces, and Linux 6.7 or later for binfmt_misc in one; this is $(uname -r))"
else
    why="the kernel runs no 32-bit programs, and the emulator is not installed (scripts/setup.sh installs it)"
fi
echo "i386: $why" >&2
export TANDREL_I386="unavailable: $why"
exec "$@"
