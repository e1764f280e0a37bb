#!/usr/bin/env bash
# The benchmark (not part of the tests): installs what is missing (with the NSIS compiler and
# matplotlib, which only the benchmark needs), builds uninstall.exe (win32), the benchmark's own
# Windows programs (bench/programs) and the benchmark on the simulated Windows (bench), and prints
# markdown tables: the machine, the simulated Windows figures, and under Wine our uninstaller beside
# the NSIS peer, Wine's own cmd and reg and a no-op program, how the cost per image and key grows
# (with floor.exe, which only lists and deletes), the wait for the first process and the cleanup
# script's processor time; and it writes the plot docs/wine-growth.svg. Build output and progress
# go to stderr. Options go to bench/wine_benchmark.py (see its --help), for instance for a short run:
#   scripts/benchmark.sh --runs 1 --scale-runs 1 --sizes 1000 --key-sizes 10 --trace-runs 0
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)
# The Wine harness, the package the benchmark imports (tools/wineharness).
export PYTHONPATH="$PWD/tools${PYTHONPATH:+:$PYTHONPATH}"

# "idle total" jiffies of all CPUs, to tell how busy the machine was during the run (other work on it
# makes the Wine figures noisier).
cpu_jiffies() { awk '/^cpu /{ total = 0; for (i = 2; i <= NF; i++) total += $i; print $5 + $6, total }' /proc/stat; }

scripts/setup.sh --bench >&2
cmake --preset win32 >&2 && cmake --build --preset win32 >&2
cmake -S bench/programs -B build/bench-win32 -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-i686.cmake" >&2 && cmake --build build/bench-win32 >&2
cmake --preset bench >&2 && cmake --build --preset bench >&2
# Debian's interpreter, whose matplotlib setup.sh installed (another python3 may come first in PATH).
python=/usr/bin/python3

echo "## Machine"
echo
echo "- nproc: $(nproc)"
echo "- CPU: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "- Wine: $(wine --version 2>&1 || true); wine64: $(/usr/lib/wine/wine64 --version 2>&1 || true)"
echo "- NSIS: $(makensis -VERSION)"
echo "- date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "- load average at the start: $(cut -d" " -f1-3 /proc/loadavg)"
echo
echo "## Simulated Windows (build/bench/bench/sim_benchmark)"
echo
timeout 300 build/bench/bench/sim_benchmark
echo
echo "## Under Wine (bench/wine_benchmark.py)"
echo
# The 32-bit Wine is timed only where the kernel runs it natively. Where it runs only under user-mode
# emulation (as the tests run it), its times would be the emulator's and say nothing about Windows: a
# 64-bit build of the same sources is measured under wine64 instead, and the table says so.
if ! wine --version >/dev/null 2>&1; then
    echo "The 32-bit Wine cannot start natively here ($(wine --version 2>&1 | tail -n 1); the kernel:" \
         "$(dmesg 2>/dev/null | grep -m 1 -o '32-bit emulation disabled' || echo 'dmesg not readable')), and" \
         "emulated times would say nothing about Windows: **measured with 64-bit builds under wine64**." \
         "The sizes of the 32-bit builds:"
    echo
    $python bench/wine_benchmark.py --facts-only | tail -n +5
    echo
    cmake --preset win64 >&2 && cmake --build --preset win64 >&2
    cmake -S bench/programs -B build/bench-win64 -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
          -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-x86_64.cmake" >&2 && cmake --build build/bench-win64 >&2
    set -- --wine64 "$@"
fi
read -r idle_before total_before < <(cpu_jiffies)
# Every wait inside is bounded; this bounds the whole, and its SIGTERM still lets each run clean up.
timeout 3000 $python bench/wine_benchmark.py "$@"
read -r idle_after total_after < <(cpu_jiffies)
echo
echo "CPUs busy during the Wine benchmark (every process on the machine, $(nproc) CPUs):" \
     "$(( 100 - 100 * (idle_after - idle_before) / (total_after - total_before) )) %"
echo "Total run time (set-up, builds, both benchmarks): $(( $(date +%s) - started )) s;" \
     "load average at the end: $(cut -d" " -f1-3 /proc/loadavg)"
