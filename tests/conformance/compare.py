#!/usr/bin/env python3
"""Runs the conformance probes on the simulated Windows and under Wine and compares their lines.

The simulated side is the native program conformance_probes; the Wine side is probe.exe, run in a
fresh copy of the template prefix, with the cleanup scripts it writes run by Wine's cmd in between.
Every line whose two outputs differ must be listed in known_differences.txt with both outputs and a
reason. Fails on a difference not listed, and on a listed difference that no longer occurs (as
Wine's todo_wine does: the list is kept true both ways).

The 64-bit build folder runs the same comparison with a 64-bit probe.exe under a 64-bit Wine
(TANDREL_WINE_ARCH=win64); the 32-bit one runs natively or emulated (scripts/i386/run.sh)."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

from harness import prefix as wine_prefix

IMAGE = "C:\\probe\\probe.exe"
TEMP_FOLDER = "C:\\conf\\Temp Dir"
# The byte values of the probes' output stand for themselves: code page 1252 on the Windows side.
ENCODING = "latin-1"
RUN_TIMEOUT = 120
SCRIPT_TIMEOUT = 30


def parse_lines(text):
    """The probe lines as (key, value) pairs, in order."""
    lines = []
    for line in text.splitlines():
        key, separator, value = line.rstrip("\r").partition(": ")
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


def run_native(native):
    # The simulated Windows is the one the Wine side is: a 32-bit prefix is a 32-bit Windows.
    arch = ["--windows32"] if wine_prefix.WINE_ARCH == "win32" else []
    result = subprocess.run([native] + arch, capture_output=True, timeout=RUN_TIMEOUT)
    if result.returncode != 0:
        sys.stderr.write(result.stderr.decode(ENCODING))
        raise SystemExit(f"{native} exited with {result.returncode}")
    return result.stdout.decode(ENCODING)


class WineSide:
    """probe.exe in a fresh copy of the build folder's template prefix: 32-bit, or 64-bit for the
    64-bit build (TANDREL_WINE_ARCH=win64)."""

    def __init__(self, args, work_dir):
        self.args = args
        self.work_dir = work_dir
        prefix_dir = os.path.join(work_dir, "prefix")
        template = wine_prefix.ensure_template(os.path.join(args.build_dir, "wine-template"))
        wine_prefix.copy_template(template, prefix_dir)
        self.prefix = wine_prefix.Prefix(prefix_dir, work_dir)
        self.loader = [wine_prefix.WINE]
        self.extra_env = {}

    def env(self):
        env = self.prefix.env()
        env.update(self.extra_env)
        # The same code pages wherever the test runs: 1252 for ANSI, 437 for OEM.
        env["LC_ALL"] = "C.UTF-8"
        return env

    def run(self, args, timeout=RUN_TIMEOUT, cwd=None):
        started = time.monotonic()
        # Output into files, not pipes: the prefix's services outlive the program and keep a pipe open.
        with tempfile.TemporaryFile(dir=self.work_dir) as out, tempfile.TemporaryFile(dir=self.work_dir) as err:
            try:
                result = subprocess.run(self.loader + args, env=self.env(), cwd=cwd, stdout=out, stderr=err,
                                        timeout=timeout, stdin=subprocess.DEVNULL)
                out.seek(0)
                err.seek(0)
                result.stdout = out.read()
                result.stderr = err.read()
                return result
            finally:
                print(f"  wine {' '.join(args)}: {time.monotonic() - started:.1f} s", file=sys.stderr, flush=True)

    def probe(self, stage=None):
        result = self.run([IMAGE] + ([stage] if stage else []), cwd=self.prefix.to_unix("C:\\probe"))
        if result.returncode != 0:
            sys.stderr.write(result.stderr.decode(ENCODING, "replace"))
            raise SystemExit(f"probe.exe {stage or ''} exited with {result.returncode}")
        return result.stdout.decode(ENCODING)

    def outputs(self):
        # One server for every program of the run: a server per program costs seconds each.
        subprocess.run(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=False)
        reg_path = os.path.join(self.work_dir, "temp.reg")
        with open(reg_path, "w", encoding="ascii", newline="\r\n") as reg_file:
            folder = TEMP_FOLDER.replace("\\", "\\\\")
            reg_file.write(f'REGEDIT4\n\n[HKEY_CURRENT_USER\\Environment]\n"TEMP"="{folder}"\n"TMP"="{folder}"\n')
        if self.run(["regedit", "/S", wine_prefix.unix_to_windows(reg_path)]).returncode != 0:
            raise SystemExit("regedit failed to set the temporary folder")
        os.makedirs(self.prefix.to_unix("C:\\probe"), exist_ok=True)
        shutil.copyfile(self.args.probe_exe, self.prefix.to_unix(IMAGE))
        text = self.probe()
        for line in self.probe("scripts").splitlines():
            mode, _, folder = line.rstrip("\r").partition(" ")
            options = ["/v:on"] if mode == "delayed" else []
            if not os.path.isdir(self.prefix.to_unix(folder)):
                continue
            try:
                self.run(["cmd"] + options + ["/c", "delme1.bat"], timeout=SCRIPT_TIMEOUT,
                         cwd=self.prefix.to_unix(folder))
            except subprocess.TimeoutExpired:
                text += f"batch.{os.path.basename(folder)}.run: did not finish\n"
        return text + self.probe("after")


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


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--native", required=True, help="the conformance_probes program of the native build")
    parser.add_argument("--probe-exe", required=True, help="probe.exe of the Windows build")
    parser.add_argument("--known", required=True, help="known_differences.txt")
    parser.add_argument("--build-dir", required=True, help="the Windows build folder (for the template prefix)")
    parser.add_argument("--keep", help="write both outputs into this folder, and keep the prefix")
    args = parser.parse_args()

    why_not = wine_prefix.wine_runs()
    if why_not:
        print(f"SKIPPED: this machine cannot run the {wine_prefix.WINE_ARCH} Wine: {why_not}")
        return 77
    known = parse_known(args.known)
    started = time.monotonic()
    native_text = run_native(args.native)
    work_dir = tempfile.mkdtemp(prefix="tandrel-conformance-")
    side = None
    try:
        side = WineSide(args, work_dir)
        wine_text = side.outputs()
    finally:
        if side is not None:
            side.prefix.kill_server()
        if not args.keep:
            shutil.rmtree(work_dir, ignore_errors=True)
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
        for name, text in (("simulated.txt", native_text), ("wine.txt", wine_text)):
            with open(os.path.join(args.keep, name), "w", encoding=ENCODING) as out:
                out.write(text)
    failures = compare(parse_lines(native_text), parse_lines(wine_text), known)
    print(f"conformance: {time.monotonic() - started:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
