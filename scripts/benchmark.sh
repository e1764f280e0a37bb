#!/usr/bin/env bash
# The benchmark (not part of the tests): installs what is missing, builds uninstall.exe (win32) and
# the benchmark on the simulated Windows (bench), and prints markdown tables: the machine, the
# simulated Windows figures, and under Wine the complete uninstall beside a baseline made of Wine's
# own cmd and reg, how the cost grows, the wait for the first process and the cleanup script's
# processor time. Takes about 7 minutes on 2 CPUs. Build output and progress go to stderr.
# Usage: scripts/benchmark.sh [--runs N] [--scale-runs N] [--trace-runs N] [--hold SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

# "idle total" jiffies of all CPUs, to tell how busy the machine was during the run (other work on it
# makes the Wine figures noisier).
cpu_jiffies() { awk '/^cpu /{ total = 0; for (i = 2; i <= NF; i++) total += $i; print $5 + $6, total }' /proc/stat; }

scripts/setup.sh >&2
cmake --preset win32 >&2 && cmake --build --preset win32 >&2
cmake --preset bench >&2 && cmake --build --preset bench >&2

echo "## Machine"
echo
echo "- nproc: $(nproc)"
echo "- CPU: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
echo "- Wine: $(wine --version)"
echo "- date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "- load average at the start: $(cut -d" " -f1-3 /proc/loadavg)"
echo
echo "## Simulated Windows (build/bench/bench/sim_benchmark)"
echo
timeout 300 build/bench/bench/sim_benchmark
echo
echo "## Under Wine (bench/wine_benchmark.py)"
echo
read -r idle_before total_before < <(cpu_jiffies)
# Every wait inside is bounded; this bounds the whole, and its SIGTERM still lets each run clean up.
timeout 1800 python3 bench/wine_benchmark.py "$@"
read -r idle_after total_after < <(cpu_jiffies)
echo
echo "CPUs busy during the Wine benchmark (every process on the machine, $(nproc) CPUs):" \
     "$(( 100 - 100 * (idle_after - idle_before) / (total_after - total_before) )) %"
echo "Total run time (set-up, builds, both benchmarks): $(( $(date +%s) - started )) s;" \
     "load average at the end: $(cut -d" " -f1-3 /proc/loadavg)"
