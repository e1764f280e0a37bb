#!/usr/bin/env python3
"""Compares the conformance probes' lines on the simulated Windows with Wine's.

The simulated side is the native program conformance_probes. The other side is Wine, in one of two
ways:
  - the Wine test wine.conformance of the win32 and win64 builds (--probe-exe, --build-dir) runs
    probe.exe under Wine (wine_side.py) and compares what it printed; it then writes that output into
    the build's reference file (--reference: wine32_reference.txt or wine64_reference.txt), and fails
    too when the file changed, so that `git diff` shows what Wine now prints differently;
  - the quick tier of the native build (--reference alone) compares with that file: Wine's output as
    last recorded, in seconds and without Wine.
Every line whose two outputs differ must be listed in known_differences.txt with both outputs and a
reason. Fails on a difference not listed, and on a listed difference that no longer occurs (as
Wine's todo_wine does: the list is kept true both ways)."""

import argparse
import difflib
import os
import subprocess
import sys
import time

# The byte values of the probes' output stand for themselves: code page 1252 on the Windows side.
ENCODING = "latin-1"
RUN_TIMEOUT = 120
# The most lines of a changed reference shown in the test's output; git diff shows them all.
DIFF_LINES_SHOWN = 80


def parse_lines(text):
    """The probe lines as (key, value) pairs, in order."""
    lines = []
    for line in text.splitlines():
        # A line whose value is empty ends in ": ", or in ":" where trailing blanks were dropped.
        key, separator, value = (line.rstrip("\r") + " ").partition(": ")
        if separator:
            lines.append((key, value.rstrip()))
        elif line.strip():
            lines.append((line.strip(), "<unparsed line>"))
    return lines


def parse_known(path):
    """known_differences.txt: blocks of "key", "  wine: ...", "  simulated: ...", "  why: ..."
    lines; "#" starts a comment line."""
    known = {}
    key = None
    with open(path, encoding="utf-8") as known_file:
        for number, line in enumerate(known_file, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if not line.startswith(" "):
                key = line.strip()
                if key in known:
                    raise SystemExit(f"{path}:{number}: {key} listed twice")
                known[key] = {}
                continue
            field, separator, value = line.strip().partition(": ")
            if key is None or not separator or field not in ("wine", "simulated", "why"):
                raise SystemExit(f"{path}:{number}: expected 'wine: ', 'simulated: ' or 'why: '")
            known[key][field] = value
    for key, entry in known.items():
        if set(entry) != {"wine", "simulated", "why"}:
            raise SystemExit(f"{path}: {key} needs wine, simulated and why")
    return known


def run_native(native, arch):
    # The simulated Windows is the one the Wine side is: a 32-bit prefix is a 32-bit Windows.
    options = ["--windows32"] if arch == "win32" else []
    result = subprocess.run([native] + options, capture_output=True, timeout=RUN_TIMEOUT)
    if result.returncode != 0:
        sys.stderr.write(result.stderr.decode(ENCODING))
        raise SystemExit(f"{native} exited with {result.returncode}")
    return result.stdout.decode(ENCODING)


def reference_header(arch):
    """The comment lines at the top of a reference file; the last one names the kind of prefix."""
    bits = "32" if arch == "win32" else "64"
    lines = [
        f"What the conformance probes printed under Wine, not under Windows: probe.exe in a {bits}-bit Wine",
        "prefix, with the cleanup scripts it wrote run by Wine's cmd before its \"after\" stage. Written by",
        f"the Wine test wine.conformance of the {arch} build, which fails when Wine printed something",
        "else than this file held (git diff shows what). The quick tier compares the simulated Windows,",
        f"as a {bits}-bit Windows, with it (compare.py), accepting the differences in known_differences.txt.",
        f"arch: {arch}",
    ]
    return "".join(f"# {line}\n" for line in lines)


def reference_text(arch, wine_text):
    """A reference file's content: the header, then Wine's lines as printed, with Unix line ends and
    without trailing blanks (which the comparison disregards, and editors drop)."""
    lines = [line.rstrip() for line in wine_text.split("\n")]
    if lines and lines[-1] == "":
        lines.pop()
    return reference_header(arch) + "".join(line + "\n" for line in lines)


def read_reference(path):
    """A reference file: its kind of prefix ("win32" or "win64") and Wine's output below the header."""
    try:
        with open(path, encoding=ENCODING, newline="") as reference:
            lines = reference.read().split("\n")
    except FileNotFoundError:
        raise SystemExit(f"{path} is missing: the Wine test wine.conformance writes it")
    arch = None
    while lines and lines[0].startswith("#"):
        field, _, value = lines.pop(0).partition("# arch: ")
        value = value.rstrip()
        if not field and value in ("win32", "win64"):
            arch = value
    if arch is None:
        raise SystemExit(f"{path}: no '# arch: win32' or '# arch: win64' line in its header")
    return arch, "\n".join(lines)


def refresh_reference(path, arch, wine_text):
    """Writes Wine's output into the reference file; returns whether the file changed."""
    text = reference_text(arch, wine_text)
    try:
        with open(path, encoding=ENCODING, newline="") as reference:
            before = reference.read()
    except FileNotFoundError:
        before = ""
    if text == before:
        print(f"reference: Wine printed what {os.path.basename(path)} holds")
        return False
    with open(path, "w", encoding=ENCODING, newline="") as reference:
        reference.write(text)
    if before:
        print(f"REFERENCE CHANGED: Wine printed something else than {path} held; the file now holds it.")
    else:
        print(f"REFERENCE WRITTEN: {path} was missing; it now holds what Wine printed.")
    print("  Check the change (git diff), adjust the simulation or known_differences.txt, and commit it.")
    if not before:
        return True
    name = os.path.basename(path)
    changes = list(difflib.unified_diff(before.split("\n"), text.split("\n"), f"{name} before",
                                        f"{name} as Wine printed it", n=0, lineterm=""))
    for line in changes[:DIFF_LINES_SHOWN]:
        print(f"  {line}")
    if len(changes) > DIFF_LINES_SHOWN:
        print(f"  ... {len(changes) - DIFF_LINES_SHOWN} more lines")
    return True


def compare(native_lines, wine_lines, known):
    """Prints the differences; returns the number of failures."""
    native = dict(native_lines)
    wine = dict(wine_lines)
    keys = [key for key, _ in wine_lines] + [key for key, _ in native_lines if key not in wine]
    failures = 0
    listed = 0
    for key in keys:
        wine_text = wine.get(key, "<no line>")
        simulated_text = native.get(key, "<no line>")
        entry = known.get(key)
        if wine_text == simulated_text:
            if entry is not None:
                failures += 1
                print(f"NO LONGER DIFFERENT (remove it from the known differences): {key}\n"
                      f"  both:      {wine_text}\n  listed because: {entry['why']}")
            continue
        if entry is not None and entry["wine"] == wine_text and entry["simulated"] == simulated_text:
            listed += 1
            print(f"known difference: {key}")
            continue
        failures += 1
        print(f"DIFFERENT: {key}\n  wine:      {wine_text}\n  simulated: {simulated_text}")
        if entry is not None:
            print(f"  (listed with other outputs:\n  wine:      {entry['wine']}\n"
                  f"  simulated: {entry['simulated']})")
    for key in known:
        if key not in wine and key not in native:
            failures += 1
            print(f"NO LONGER PROBED (remove it from the known differences): {key}")
    print(f"{len(keys)} probe lines, {listed} known differences, {failures} failures")
    return failures


def write_outputs(folder, native_text, wine_text):
    os.makedirs(folder, exist_ok=True)
    for name, text in (("simulated.txt", native_text), ("wine.txt", wine_text)):
        with open(os.path.join(folder, name), "w", encoding=ENCODING, newline="") as out:
            out.write(text)


def with_wine(args, known):
    """Wine against the simulation, then the reference refreshed with Wine's output."""
    import wine_side  # needs the Wine harness, which the comparison with the reference goes without

    why_not = wine_side.why_not_runnable()
    if why_not:
        print(f"SKIPPED: this machine cannot run the {wine_side.ARCH} Wine: {why_not}")
        return 77
    started = time.monotonic()
    native_text = run_native(args.native, wine_side.ARCH)
    wine_text = wine_side.outputs(args.probe_exe, args.build_dir, keep=bool(args.keep)).decode(ENCODING)
    if args.keep:
        write_outputs(args.keep, native_text, wine_text)
    failures = compare(parse_lines(native_text), parse_lines(wine_text), known)
    changed = refresh_reference(args.reference, wine_side.ARCH, wine_text)
    print(f"conformance: {time.monotonic() - started:.1f} s")
    return 1 if failures or changed else 0


def with_reference(args, known):
    """The simulation against Wine's output as recorded in the reference file."""
    started = time.monotonic()
    arch, wine_text = read_reference(args.reference)
    native_text = run_native(args.native, arch)
    if args.keep:
        write_outputs(args.keep, native_text, wine_text)
    print(f"against {os.path.basename(args.reference)}: Wine's output in a {arch} prefix, as recorded")
    failures = compare(parse_lines(native_text), parse_lines(wine_text), known)
    print(f"conformance: {time.monotonic() - started:.1f} s")
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--native", required=True, help="the conformance_probes program of the native build")
    parser.add_argument("--known", required=True, help="known_differences.txt")
    parser.add_argument("--reference", required=True,
                        help="Wine's recorded output: compared with, or refreshed when Wine runs")
    parser.add_argument("--probe-exe", help="probe.exe of the Windows build: run it under Wine")
    parser.add_argument("--build-dir", help="the Windows build folder (for the template prefix), with --probe-exe")
    parser.add_argument("--keep", help="write both outputs into this folder (and keep the Wine prefix)")
    args = parser.parse_args()
    if bool(args.probe_exe) != bool(args.build_dir):
        parser.error("--probe-exe and --build-dir go together")
    known = parse_known(args.known)
    return with_wine(args, known) if args.probe_exe else with_reference(args, known)


if __name__ == "__main__":
    sys.exit(main())
