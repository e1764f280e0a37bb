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
exec python3 scripts/demo.py "$@"
