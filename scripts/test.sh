#!/usr/bin/env bash
# The one test command: installs what is missing, builds the presets, runs every test (native on the
# simulated Windows, and the real uninstall.exe under Wine), and prints CTest's summaries.
# Fails when any test fails.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh || exit 1

status=0
cmake --preset native >/dev/null && cmake --build --preset native || exit 1
cmake --preset win32 >/dev/null && cmake --build --preset win32 || exit 1
cmake --preset win64 >/dev/null && cmake --build --preset win64 || exit 1

echo "== native tests (simulated Windows) =="
ctest --preset native || status=1
# One Wine test per CPU: the emulated ones keep a CPU busy, and the timed scenarios need it.
jobs=$(nproc)
echo "== the real uninstall.exe (32-bit): its checks, and the Wine tests, natively or emulated =="
win32_log=$(mktemp)
ctest --preset win32 --parallel "$jobs" 2>&1 | tee "$win32_log"
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
if grep -q "The following tests did not run" "$win32_log"; then
    echo "FAILED: Wine tests of the 32-bit uninstall.exe were skipped (see why above). It is the program" \
         "users get, and it has not been tested."
    status=1
fi
rm -f "$win32_log"
echo "== the same Wine tests with the 64-bit build: a second, faster view of the same logic =="
ctest --preset win64 --parallel "$jobs" || status=1

[ "$status" -eq 0 ] && echo "ALL TESTS PASSED" || echo "SOME TESTS FAILED"
exit "$status"
