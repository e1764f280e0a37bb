#!/usr/bin/env bash
# The demo: installs what is missing, builds uninstall.exe and the test product, installs VORSK
# Tandrel 98 into a fresh Wine prefix, starts it, runs the real uninstaller and prints what was on the
# machine before beside what is left after.
# Usage: scripts/demo.sh [--interactive] [--keep] [--screenshot FILE]
#   default        on a virtual display; the confirmation is answered by the demo, and a picture of
#                  the box is saved to docs/confirmation.png
#   --interactive  on your own display ($DISPLAY); you answer the message boxes yourself
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
if ! wine --version >/dev/null 2>&1; then
    # The kernel runs no 32-bit programs (32-bit emulation off), so no 32-bit Wine: a 64-bit build of
    # the same sources under wine64 instead.
    echo "demo: 32-bit Wine cannot start here; using a 64-bit build under wine64"
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 >/dev/null
    set -- --wine64 "$@"
fi
exec python3 scripts/demo.py "$@"
