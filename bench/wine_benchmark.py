#!/usr/bin/env python3
"""The real uninstall.exe under Wine beside what a maintainer would otherwise use, printed as
markdown tables, with a plot of the cost per image:

1. the programs: size and imported DLLs and functions of ours, the NSIS peer's uninstaller, the
   floor and the no-op;
2. the complete uninstall side by side, in rotating order: ours, the NSIS peer (bench/peer), Wine's
   own cmd and reg doing the same removals, and a program that only starts and exits; times,
   processor times, and what each uninstaller left in the temporary folder;
3. what one more image or per-user key costs, for ours, the peer, the baseline, and floor.exe, which
   only lists the images folder and deletes its files as ours does (is a growth Wine's or ours?);
4. ours only: the wait for the first process and the cleanup script's processor time.

The parts: winebench/procs.py (the processes of a run), programs.py (the exes and their facts),
runner.py (one run of each kind, typed records), stats.py, report.py (tables, the plot).

Usage: wine_benchmark.py [--runs 5] [--scale-runs 3] [--sizes 100,1000,10000] [--key-sizes 10,100,1000]
                         [--trace-runs 3] [--hold 2] [--plot docs/wine-growth.svg] [--json FILE]
                         [--facts-only]
Called by scripts/benchmark.sh, which installs and builds first and sets PYTHONPATH=tools for
the Wine harness. Progress goes to stderr."""

import argparse
import dataclasses
import json
import os
import signal
import sys
import time

from winebench import procs, programs, report
from winebench.programs import ROOT
from winebench.records import HeldScript, ProgramRun, UninstallRun
from winebench.runner import Bench
from wineharness import prefix as wine_prefix
from wineharness.display import VirtualDisplay
from wineharness.vocabulary import PRODUCT_EXE, UNINSTALLER


def say(text):
    print(text, file=sys.stderr, flush=True)


def attempt(run, failed):
    """The record of one run; a run that breaks is reported as such and the benchmark goes on."""
    try:
        return run()
    except Exception as error:  # noqa: BLE001 - any failure of one run is a figure like the others
        record = failed()
        if hasattr(record, "clean"):
            record.clean = f"failed ({error})"
        else:
            record.failure = f"({error})"
        return record


def rotated(items, turn):
    turn %= len(items)
    return items[turn:] + items[:turn]


class Runs:
    """Runs each kind through the one Bench, keeping the records by kind and size."""

    def __init__(self, bench):
        self.bench = bench
        self.count = 0

    def run(self, kind, images=0, keys=0):
        self.count += 1
        name = f"{kind.replace(' ', '-')}-{images}-{keys}-{self.count}"
        bench = self.bench
        if kind in ("ours", "earlier", "peer"):
            record = attempt(lambda: bench.uninstall(name, kind, images, keys), lambda: UninstallRun(kind, images, keys))
        elif kind == "baseline":
            record = attempt(lambda: bench.baseline(name, images, keys), lambda: ProgramRun(kind, images, keys))
        elif kind == "noop":
            record = attempt(lambda: bench.noop(name), lambda: ProgramRun(kind))
        else:
            record = attempt(lambda: bench.floor(name, images, listed=kind == "floor listed"),
                             lambda: ProgramRun(kind, images))
        say(f"{kind}, {images} images, {keys} keys: {report.ms(record.end)} ms, clean: {record.clean}"
            + (f", left in TEMP: {record.temp_after_run}" if getattr(record, "temp_after_run", None) else ""))
        return record


def measure(bench, args):
    runs = Runs(bench)
    # The uninstallers and the references, turn about so that drifts of the machine hit all alike.
    standard = {kind: [] for kind in ("ours", "peer", "baseline", "noop") + (("earlier",) if args.earlier else ())}
    for turn in range(args.runs):
        for kind in rotated(list(standard), turn):
            standard[kind].append(runs.run(kind))

    # The cost of one more image; the floor's standard is its own run on the 3 images.
    images = {kind: {} for kind in ("ours", "peer", "floor", "floor listed", "baseline")}
    for kind in ("floor", "floor listed"):
        standard[kind] = [runs.run(kind) for _ in range(args.scale_runs)]
    for size in args.sizes:
        for turn in range(args.scale_runs):
            for kind in rotated(list(images), turn):
                # Wine's cmd.exe takes some 20 s for rmdir /s of 10,000 files: one run there.
                if kind == "baseline" and size >= 10000 and turn > 0:
                    continue
                images[kind].setdefault(size, []).append(runs.run(kind, images=size))
    keys = {kind: {} for kind in ("ours", "peer", "baseline")}
    for size in args.key_sizes:
        for turn in range(args.scale_runs):
            for kind in rotated(list(keys), turn):
                keys[kind].setdefault(size, []).append(runs.run(kind, keys=size))

    traced = [attempt(lambda: bench.uninstall(f"trace{number}", trace=True), lambda: UninstallRun("ours"))
              for number in range(args.trace_runs)]
    held = attempt(lambda: bench.held_script(args.hold), HeldScript) if args.hold > 0 else HeldScript(failure="(skipped)")
    return standard, images, keys, traced, held


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "win32"))
    parser.add_argument("--programs-dir", default=os.path.join(ROOT, "build", "bench-win32"),
                        help="where floor.exe and noop.exe are built, and the peer is made")
    parser.add_argument("--runs", type=int, default=5, help="runs of each program on the standard installation")
    parser.add_argument("--scale-runs", type=int, default=3, help="runs per size of the images folder and key tree")
    parser.add_argument("--sizes", default="100,1000,10000", help="images added, comma-separated")
    parser.add_argument("--key-sizes", default="10,100,1000", help="per-user keys added, comma-separated")
    parser.add_argument("--trace-runs", type=int, default=3, help="runs of ours with Wine's file trace")
    parser.add_argument("--hold", type=float, default=2.0, help="seconds the temporary copy is held in the last run (0: no such run)")
    parser.add_argument("--plot", default=os.path.join(ROOT, "docs", "wine-growth.svg"),
                        help="the plot of the cost per image (.svg or .png); empty: none")
    parser.add_argument("--json", help="also write every record to this file")
    parser.add_argument("--wine64", action="store_true",
                        help="64-bit builds under wine64 (for a kernel without 32-bit emulation); the builds "
                             "default to build/win64 (the program) and build/bench-win64 (floor and no-op)")
    parser.add_argument("--earlier", help="the build folder of an earlier uninstall.exe, measured beside ours "
                                          "in the same standard runs (before and after a change)")
    parser.add_argument("--facts-only", action="store_true",
                        help="only the programs' sizes and imports, which need no Wine")
    args = parser.parse_args()
    if args.wine64:
        wine64_builds = os.path.join(ROOT, "build", "bench-win64")
        if args.build_dir == parser.get_default("build_dir"):
            args.build_dir = os.path.join(ROOT, "build", "win64")
        if args.programs_dir == parser.get_default("programs_dir"):
            args.programs_dir = wine64_builds
        wine_prefix.use_wine64()
    args.sizes = [int(size) for size in args.sizes.split(",") if size]
    args.key_sizes = [int(size) for size in args.key_sizes.split(",") if size]
    # A timeout's SIGTERM unwinds like an error, so that every session still ends its processes.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    started = time.monotonic()
    out = sys.stdout
    sys.stdout = sys.stderr  # the harness's progress lines; the tables go to the real stdout

    installer, peer_uninstaller = programs.build_peer(os.path.join(args.programs_dir, "peer"),
                                                      os.path.join(args.build_dir, "tests", "wine", PRODUCT_EXE),
                                                      "amd64-unicode" if args.wine64 else None)
    facts = [programs.exe_facts(report.LABELS["ours"], os.path.join(args.build_dir, UNINSTALLER)),
             programs.exe_facts(report.LABELS["peer"], peer_uninstaller),
             programs.exe_facts("no-op", os.path.join(args.programs_dir, "noop.exe")),
             programs.exe_facts("floor.exe", os.path.join(args.programs_dir, "floor.exe"))]
    peer_note = (f"\n\nThe peer: {programs.makensis_version()} of Debian's `nsis`, from bench/peer/tandrel.nsi; "
                 f"its installer is {os.path.getsize(installer):,} bytes.")
    if args.facts_only:
        print(report.facts_table(facts) + peer_note, file=out, flush=True)
        return 0
    wine_prefix.ensure_template(os.path.join(args.build_dir, "wine-template"))

    with VirtualDisplay() as display:
        keyboard = procs.Keyboard(display.name)
        try:
            bench = Bench(args.build_dir, args.programs_dir, installer, display, keyboard, args.earlier)
            standard, images, keys, traced, held = measure(bench, args)
        finally:
            keyboard.close()

    main_kinds = {kind: standard[kind] for kind in ("ours", "earlier", "peer", "baseline", "noop") if kind in standard}
    image_series, loops = report.growth_series(standard, images)
    key_series, _ = report.growth_series(standard, keys)
    sections = [
        report.facts_table(facts) + peer_note,
        report.comparison(main_kinds, args.runs),
        report.stages(standard["ours"], "ours"),
        *([report.stages(standard["earlier"], "the earlier build of ours")] if args.earlier else []),
        report.stages(standard["peer"], "the peer"),
        report.growth_table(image_series, loops, args.scale_runs, "image", "images"),
        report.growth_table(key_series, {}, args.scale_runs, "per-user key", "per-user keys"),
        report.wait_table(traced, standard["ours"], held),
    ]
    if args.plot:
        title = "Under wine64 (64-bit builds): what one more image costs" if args.wine64 else \
            "Under Wine: what one more image costs"
        path = report.plot(image_series, loops, args.plot, title)
        sections.append(f"Plot of the cost per image: {os.path.relpath(path, ROOT)}")
    if args.json:
        with open(args.json, "w") as dump:
            json.dump({"facts": [dataclasses.asdict(fact) for fact in facts],
                       "standard": {kind: [dataclasses.asdict(r) for r in records] for kind, records in standard.items()},
                       "images": {kind: {size: [dataclasses.asdict(r) for r in records] for size, records in sizes.items()}
                                  for kind, sizes in images.items()},
                       "keys": {kind: {size: [dataclasses.asdict(r) for r in records] for size, records in sizes.items()}
                                for kind, sizes in keys.items()}}, dump, indent=1)
    sections.append(f"Wine benchmark run time: {time.monotonic() - started:.0f} s.")
    print("\n\n".join(sections), file=out, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
