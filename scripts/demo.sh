#!/usr/bin/env bash
# The demo: installs what is missing, builds uninstall.exe and the test product, installs VORSK
# Tandrel 98 into a fresh Wine prefix, starts it, runs the real uninstaller and prints what was on the
# machine before beside what is left after.
# Usage: scripts/demo.sh [--interactive] [--keep] [--screenshot FILE] [--wine64]
#   default        the real 32-bit uninstall.exe on a virtual display; the confirmation is answered by
#                  the demo, and a picture of the box is saved to docs/confirmation.png
#   --interactive  on your own display ($DISPLAY); you answer the message boxes yourself
#   --wine64       a 64-bit build of the same sources under wine64 instead (faster where the 32-bit
#                  Wine has to be emulated)
set -euo pipefail
cd "$(dirname "$0")/.."
# The Wine harness, the package demo.py imports (tools/wineharness).
export PYTHONPATH="$PWD/tools${PYTHONPATH:+:$PYTHONPATH}"

scripts/setup.sh
if [[ " $* " == *" --wine64 "* ]]; then
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 >/dev/null
    exec python3 scripts/demo.py "$@"
fi
cmake --preset win32 >/dev/null
cmake --build --preset win32 >/dev/null
# The 32-bit Wine natively where the kernel runs 32-bit programs, emulated where it does not.
exec scripts/i386/run.sh python3 scripts/demo.py "$@"
