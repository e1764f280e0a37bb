"""Wine prefixes for the tests: one template per build folder, made once with wineboot (which takes a
while), and a fresh copy of it for every test, so that each test starts from the same clean state and
tests can run side by side."""

import fcntl
import os
import shutil
import subprocess
import tempfile
import time

# Gecko and Mono are not installed, and Wine would ask for them in a dialog; winemenubuilder would
# turn shortcuts into menu entries of the host.
DLL_OVERRIDES = "mscoree=;mshtml=;winemenubuilder.exe=d"

# Without a window manager (the virtual display has none), Wine waits two seconds for the manager to
# withdraw every managed window that is hidden or destroyed; the product would then still be running
# when the uninstaller deletes its executable. Unmanaged windows are shown and hidden at once.
_UNMANAGED_WINDOWS_REG = """REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="N"
"""

WINESERVER_TIMEOUT = 60

# The product is a 32-bit program and runs in a 32-bit prefix: natively where the kernel runs 32-bit
# code, emulated where it does not (scripts/i386/run.sh, which says which in TANDREL_I386). A 64-bit
# build of the same program runs in a 64-bit prefix as a second, faster view; the build folder's
# tests say which (TANDREL_WINE_ARCH=win64).
WINE_ARCH = os.environ.get("TANDREL_WINE_ARCH", "win32")
WINE = "wine" if WINE_ARCH == "win32" else "/usr/lib/wine/wine64"


def use_wine64():
    """Runs everything under wine64 in 64-bit prefixes, for kernels without 32-bit emulation, where
    the 32-bit loader cannot start: the harness's own switch, for this process and for the harness
    in the processes it starts."""
    global WINE_ARCH, WINE

    os.environ["TANDREL_WINE_ARCH"] = "win64"
    WINE_ARCH = "win64"
    WINE = "/usr/lib/wine/wine64"


def wine_version():
    return subprocess.run([WINE, "--version"], capture_output=True, text=True, timeout=60,
                          check=True).stdout.strip()


def wine_runs():
    """Whether this machine can start the Wine of this arch at all ("Exec format error" where the
    kernel runs no 32-bit code and no emulator is at hand); None when it can, else why not."""
    how = f" (32-bit programs: {os.environ['TANDREL_I386']})" if "TANDREL_I386" in os.environ else ""
    try:
        result = subprocess.run([WINE, "--version"], capture_output=True, text=True, timeout=60)
    except (OSError, subprocess.TimeoutExpired) as error:
        return f"{WINE} --version: {error}{how}"
    if result.returncode != 0:
        return f"{WINE} --version exits with {result.returncode}: {result.stderr.strip()[-200:]}{how}"
    return None


def unix_to_windows(path):
    """A host path as Wine's Z: drive shows it."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Prefix:
    """A Wine prefix (32-bit, or 64-bit for the 64-bit build) and the environment its programs run in.

    Every program of the prefix gets its own HOME and TMPDIR inside `work_dir`, so that nothing is
    written into the user's home and Wine's server socket folder goes away with the test."""

    def __init__(self, path, work_dir, display=None):
        self.path = os.path.abspath(path)
        self.work_dir = os.path.abspath(work_dir)
        self.display = display
        self.dll_overrides = DLL_OVERRIDES
        for folder in ("home", "tmp"):
            os.makedirs(os.path.join(self.work_dir, folder), exist_ok=True)

    def env(self, debug="-all"):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": self.path,
            "WINEARCH": WINE_ARCH,
            "WINEDEBUG": debug,
            "WINEDLLOVERRIDES": self.dll_overrides,
            "HOME": os.path.join(self.work_dir, "home"),
            "TMPDIR": os.path.join(self.work_dir, "tmp"),
        })
        env.pop("WINESERVER", None)
        if self.display is not None:
            env["DISPLAY"] = self.display
        else:
            env.pop("DISPLAY", None)
        return env

    # Paths -------------------------------------------------------------------------------------

    def to_unix(self, windows_path):
        """The host path of a Windows path on one of the prefix's drives (C:\\... in drive_c)."""
        drive, _, rest = windows_path.partition(":")
        base = os.path.realpath(os.path.join(self.path, "dosdevices", drive.lower() + ":"))
        parts = [part for part in rest.split("\\") if part]
        return os.path.join(base, *parts)

    # Programs ----------------------------------------------------------------------------------

    def run(self, args, timeout, cwd=None, debug="-all", check=True):
        """Runs `wine args...` to its end (at most `timeout` seconds) and returns the CompletedProcess."""
        return subprocess.run([WINE, *args], env=self.env(debug), cwd=cwd, capture_output=True, text=True,
                              errors="replace", timeout=timeout, check=check)

    def start(self, args, cwd=None, debug="-all", log_path=None):
        """Starts `wine args...` without waiting. Under Wine the process started is the Windows
        process itself: its pid is the program's, and its exit status the program's."""
        log = open(log_path, "wb") if log_path else subprocess.DEVNULL
        try:
            return subprocess.Popen([WINE, *args], env=self.env(debug), cwd=cwd, stdin=subprocess.DEVNULL,
                                    stdout=log, stderr=subprocess.STDOUT if log_path else subprocess.DEVNULL)
        finally:
            if log_path:
                log.close()

    def import_reg(self, text, timeout=60):
        """Imports REGEDIT4 text (ASCII), or "Windows Registry Editor Version 5.00" text (written
        as UTF-16), with one `wine reg import`."""
        reg_path = os.path.join(self.work_dir, f"import-{time.monotonic_ns()}.reg")
        encoding = "ascii" if text.startswith("REGEDIT4") else "utf-16"
        with open(reg_path, "w", encoding=encoding, newline="\r\n") as reg_file:
            reg_file.write(text)
        try:
            try:
                self.run(["reg", "import", unix_to_windows(reg_path)], timeout=timeout)
            except subprocess.TimeoutExpired:
                # Seen once under emulation on a busy machine: reg import hung. The import is only the
                # set-up, so it gets one more try with a fresh server.
                self.kill_server()
                self.run(["reg", "import", unix_to_windows(reg_path)], timeout=timeout)
        finally:
            os.remove(reg_path)

    # The wineserver ----------------------------------------------------------------------------

    def start_server_wait(self, timeout=WINESERVER_TIMEOUT):
        """`wineserver -w` in the background (bounded by `timeout`): it ends when every process of the
        prefix has ended and the server itself has exited, a few seconds later, having written the
        registry files."""
        return subprocess.Popen(["timeout", str(timeout), "wineserver", "-w"], env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_server(self, timeout=WINESERVER_TIMEOUT):
        """Waits for every process of the prefix and the server to end; False when time ran out."""
        waiter = self.start_server_wait(timeout)
        try:
            return waiter.wait(timeout + 10) == 0
        except subprocess.TimeoutExpired:
            waiter.kill()
            waiter.wait()
            return False

    def kill_server(self):
        """Ends the prefix's server and with it every Windows process still running in the prefix."""
        subprocess.run(["wineserver", "-k"], env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30, check=False)
        subprocess.run(["timeout", "30", "wineserver", "-w"], env=self.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)


# Template and copies ---------------------------------------------------------------------------

def ensure_template(template_dir, timeout=600):
    """Makes the template prefix unless it exists for the installed Wine; safe when several test
    processes ask at the same time (one makes it, the others wait for it)."""
    template_dir = os.path.abspath(template_dir)
    stamp_path = os.path.join(template_dir, ".tandrel-template")
    version = wine_version()
    os.makedirs(os.path.dirname(template_dir), exist_ok=True)
    with open(template_dir + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        try:
            if os.path.exists(stamp_path):
                with open(stamp_path) as stamp:
                    if stamp.read().strip() == version:
                        return template_dir
            _make_template(template_dir, stamp_path, version, timeout)
            return template_dir
        finally:
            fcntl.flock(lock, fcntl.LOCK_UN)


def _make_template(template_dir, stamp_path, version, timeout):
    shutil.rmtree(template_dir, ignore_errors=True)
    work_dir = tempfile.mkdtemp(prefix="tandrel-template-")
    try:
        prefix = Prefix(template_dir, work_dir)
        started = time.monotonic()
        try:
            subprocess.run([WINE, "wineboot", "-i"], env=prefix.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=timeout, check=True)
            prefix.import_reg(_UNMANAGED_WINDOWS_REG)
            if not prefix.wait_server(timeout=120):
                raise RuntimeError("the wineserver of the new template prefix did not exit")
        finally:
            prefix.kill_server()
        # The user folders (Desktop, Documents, ...) are links into the home folder of whoever made
        # the prefix; copies must not share them.
        users_dir = os.path.join(template_dir, "drive_c", "users")
        for root, dirs, _files in os.walk(users_dir):
            for name in dirs:
                path = os.path.join(root, name)
                if os.path.islink(path):
                    os.remove(path)
                    os.mkdir(path)
        _forget_server_dir(template_dir)
        with open(stamp_path, "w") as stamp:
            stamp.write(version + "\n")
        print(f"wine template prefix made in {time.monotonic() - started:.1f} s: {template_dir}", flush=True)
    finally:
        shutil.rmtree(work_dir, ignore_errors=True)


def _forget_server_dir(prefix_dir):
    # Debian's Wine notes the name of its server socket folder in the prefix; a copy must find its own.
    note = os.path.join(prefix_dir, "wineserver")
    if os.path.lexists(note):
        os.remove(note)


def copy_template(template_dir, target_dir):
    """A fresh prefix: a copy of the template (about 600 MB, a second or two)."""
    # The real folder: a link to the template would be copied as the link, and the "copy" would
    # then be the template itself.
    subprocess.run(["cp", "-a", os.path.realpath(template_dir), target_dir], check=True, timeout=300)
    if os.path.islink(target_dir) or not os.path.isdir(os.path.join(target_dir, "drive_c")):
        raise RuntimeError(f"copy of the template prefix failed: {target_dir}")
    _forget_server_dir(target_dir)
    stamp = os.path.join(target_dir, ".tandrel-template")
    if os.path.exists(stamp):
        os.remove(stamp)
    return target_dir
