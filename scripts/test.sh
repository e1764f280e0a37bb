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
echo "== Windows build tests (the real uninstall.exe; its Wine tests are skipped where 32-bit code cannot run) =="
ctest --preset win32 || status=1
echo "== the same Wine tests with the 64-bit build, which runs on every machine =="
ctest --preset win64 || status=1

[ "$status" -eq 0 ] && echo "ALL TESTS PASSED" || echo "SOME TESTS FAILED"
exit "$status"
