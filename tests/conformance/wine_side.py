"""The Wine side of the conformance test: probe.exe in a fresh copy of the build folder's template
prefix, 32-bit, or 64-bit for the 64-bit build (TANDREL_WINE_ARCH=win64); the 32-bit one runs natively
or emulated (scripts/i386/run.sh). The cleanup scripts the probes write are run by Wine's cmd between
the probes and their "after" stage. Needs the Wine harness (PYTHONPATH=tools), which is why
compare.py imports it only when it runs Wine."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from wineharness import prefix as wine_prefix

IMAGE = "C:\\probe\\probe.exe"
TEMP_FOLDER = "C:\\conf\\Temp Dir"
RUN_TIMEOUT = 120
SCRIPT_TIMEOUT = 30

# "win32" or "win64": the kind of prefix, and so of Windows, the probes run in.
ARCH = wine_prefix.WINE_ARCH


def why_not_runnable():
    """Why this machine cannot run the Wine of this build, or None."""
    return wine_prefix.wine_runs()


class WineSide:
    """probe.exe in a fresh copy of the template prefix of `build_dir`."""

    def __init__(self, probe_exe, build_dir, work_dir):
        self.probe_exe = probe_exe
        self.work_dir = work_dir
        prefix_dir = os.path.join(work_dir, "prefix")
        template = wine_prefix.ensure_template(os.path.join(build_dir, "wine-template"))
        wine_prefix.copy_template(template, prefix_dir)
        self.prefix = wine_prefix.Prefix(prefix_dir, work_dir)
        self.loader = [wine_prefix.WINE]

    def env(self):
        env = self.prefix.env()
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
        """What probe.exe printed, as bytes."""
        result = self.run([IMAGE] + ([stage] if stage else []), cwd=self.prefix.to_unix("C:\\probe"))
        if result.returncode != 0:
            sys.stderr.write(result.stderr.decode("latin-1"))
            raise SystemExit(f"probe.exe {stage or ''} exited with {result.returncode}")
        return result.stdout

    def set_temp_folder(self):
        reg_path = os.path.join(self.work_dir, "temp.reg")
        with open(reg_path, "w", encoding="ascii", newline="\r\n") as reg_file:
            folder = TEMP_FOLDER.replace("\\", "\\\\")
            reg_file.write(f'REGEDIT4\n\n[HKEY_CURRENT_USER\\Environment]\n"TEMP"="{folder}"\n"TMP"="{folder}"\n')
        if self.run(["regedit", "/S", wine_prefix.unix_to_windows(reg_path)]).returncode != 0:
            raise SystemExit("regedit failed to set the temporary folder")

    def run_scripts(self):
        """Runs each cleanup script with Wine's cmd; returns the lines of those that did not end."""
        lines = b""
        for line in self.probe("scripts").decode("latin-1").splitlines():
            mode, _, folder = line.rstrip("\r").partition(" ")
            options = ["/v:on"] if mode == "delayed" else []
            if not os.path.isdir(self.prefix.to_unix(folder)):
                continue
            try:
                self.run(["cmd"] + options + ["/c", "delme1.bat"], timeout=SCRIPT_TIMEOUT,
                         cwd=self.prefix.to_unix(folder))
            except subprocess.TimeoutExpired:
                lines += f"batch.{os.path.basename(folder)}.run: did not finish\n".encode("latin-1")
        return lines

    def outputs(self):
        """Every stage's output, as bytes: the probes, the scripts that did not end, the "after" stage."""
        # One server for every program of the run: a server per program costs seconds each.
        subprocess.run(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=False)
        self.set_temp_folder()
        os.makedirs(self.prefix.to_unix("C:\\probe"), exist_ok=True)
        shutil.copyfile(self.probe_exe, self.prefix.to_unix(IMAGE))
        text = self.probe()
        text += self.run_scripts()
        return text + self.probe("after")


def outputs(probe_exe, build_dir, keep=False):
    """probe.exe's output under Wine, as bytes; with `keep`, the prefix stays (its folder is printed)."""
    work_dir = tempfile.mkdtemp(prefix="tandrel-conformance-")
    side = None
    try:
        side = WineSide(probe_exe, build_dir, work_dir)
        return side.outputs()
    finally:
        if side is not None:
            side.prefix.kill_server()
        if keep:
            print(f"the Wine prefix stays in {work_dir}")
        else:
            shutil.rmtree(work_dir, ignore_errors=True)
