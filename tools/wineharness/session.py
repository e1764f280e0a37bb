"""One end-to-end run: a fresh copy of the template prefix on its own virtual display, the product
installed, and the programs started in it. Everything started is ended at the end, by pid, and the
prefix's wineserver is killed; the work folder (with the prefix copy) is removed."""

import glob
import hashlib
import os
import select
import shutil
import signal
import subprocess
import tempfile
import time

from wineharness import install_product, vocabulary
from wineharness import prefix as wine_prefix
from wineharness.boxes import BoxWatcher
from wineharness.display import VirtualDisplay
from wineharness.regfile import Registry
from wineharness.winetrace import TraceLog

# The product's keys as Registry names them, root first, and the entries of somebody else's beside
# its own, which must stay.
UNINSTALL_ENTRY = "HKLM\\" + vocabulary.UNINSTALL_ENTRY
APP_PATHS_ENTRY = "HKLM\\" + vocabulary.APP_PATHS_ENTRY
PRODUCT_KEYS = ["HKCU\\" + vocabulary.PRODUCT_KEY, "HKLM\\" + vocabulary.PRODUCT_KEY]
VENDOR_KEYS = ["HKCU\\" + vocabulary.VENDOR_KEY, "HKLM\\" + vocabulary.VENDOR_KEY]
NEIGHBOUR_ENTRIES = ["HKLM\\" + install_product.FOREIGN_UNINSTALL_ENTRY, "HKLM\\" + install_product.FOREIGN_APP_PATH]
PRODUCT_REGISTRY_PATHS = VENDOR_KEYS + [UNINSTALL_ENTRY, APP_PATHS_ENTRY] + NEIGHBOUR_ENTRIES
MARKER = "C:\\tandrel-marker.txt"


class Session:
    def __init__(self, build_dir, name, keep=False, display=None):
        self.build_dir = os.path.abspath(build_dir)
        self.name = name
        self.keep = keep
        self.own_display = display is None
        self.display_name = display
        self.processes = []
        self.display = None
        self.work_dir = None
        self.prefix = None
        self.watcher = None
        self.state = None
        # More folders a scenario watches, by title: somebody else's, which must stay untouched.
        self.also_watched = {}

    # Set-up and tear-down ----------------------------------------------------------------------

    def __enter__(self):
        template = wine_prefix.ensure_template(os.path.join(self.build_dir, "wine-template"))
        # In the system's temporary folder: Wine's server socket lives below TMPDIR, and a socket
        # path may not be longer than 107 bytes.
        self.work_dir = tempfile.mkdtemp(prefix=f"tandrel-{self.name}-")
        try:
            started = time.monotonic()
            prefix_dir = wine_prefix.copy_template(template, os.path.join(self.work_dir, "prefix"))
            self.log(f"prefix copied in {time.monotonic() - started:.1f} s: {prefix_dir}")
            if self.own_display:
                self.display = VirtualDisplay().__enter__()
                self.display_name = self.display.name
            self.prefix = wine_prefix.Prefix(prefix_dir, self.work_dir, self.display_name)
            self.watcher = BoxWatcher(self.prefix, self.tool("message_boxes.exe"))
            return self
        except BaseException:
            self.__exit__(None, None, None)
            raise

    def __exit__(self, *exc):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
            try:
                process.wait(10)
            except subprocess.TimeoutExpired:
                pass
        if self.prefix is not None:
            self.prefix.kill_server()
        if self.display is not None:
            self.display.stop()
        if self.work_dir is not None:
            if self.keep:
                self.log(f"kept: {self.work_dir}")
            else:
                shutil.rmtree(self.work_dir, ignore_errors=True)

    @staticmethod
    def log(text):
        print(text, flush=True)

    def tool(self, name):
        return os.path.join(self.build_dir, "tests", "wine", name)

    # The product -------------------------------------------------------------------------------

    def install(self, **options):
        started = time.monotonic()
        uninstaller = os.path.join(self.build_dir, vocabulary.UNINSTALLER)
        self.state = install_product.install(self.prefix, uninstaller=uninstaller,
                                             product=self.tool(vocabulary.PRODUCT_EXE), **options)
        self.log(f"installed in {time.monotonic() - started:.1f} s into {self.state['install_dir']}")
        return self.state

    def install_folder(self):
        return self.prefix.to_unix(self.state["install_dir"])

    def vendor_folder(self):
        return os.path.dirname(self.install_folder())

    def temp_folder(self):
        return self.prefix.to_unix(self.state["temp"])

    def shortcut(self, place):
        return os.path.join(self.prefix.to_unix(self.state[place]), vocabulary.SHORTCUT)

    def start_product(self, ignore_close=False, close_delay_ms=None, timeout=60):
        """Starts Tandrel.exe from the installation folder, as its shortcut would, and waits until
        its main window is up (also when another instance already runs)."""
        args = [self.state["install_dir"] + "\\" + vocabulary.PRODUCT_EXE, "--marker", MARKER]
        if ignore_close:
            args.append("--ignore-close")
        if close_delay_ms is not None:
            args += ["--close-delay", str(close_delay_ms)]
        started_before = self.marker_events().count("started")
        process = self.prefix.start(args, cwd=self.install_folder())
        self.processes.append(process)
        deadline = time.monotonic() + timeout
        while self.marker_events().count("started") == started_before:
            if process.poll() is not None or time.monotonic() > deadline:
                raise AssertionError(f"the product did not start (exit status {process.poll()})")
            time.sleep(0.1)
        return process

    def marker_events(self):
        """The product's events so far: "started", "WM_CLOSE", "exiting" (see tandrel.cpp)."""
        try:
            with open(self.prefix.to_unix(MARKER), encoding="ascii") as marker:
                return [line.split()[0] for line in marker if line.strip()]
        except FileNotFoundError:
            return []

    # The uninstaller ---------------------------------------------------------------------------

    def start_uninstaller(self, debug="-all", log_name="uninstall.log", arguments=()):
        """Starts the installed uninstall.exe as the user would: with `arguments` (normally none),
        working folder = its own folder. Wine's trace (when `debug` asks for one) goes to
        uninstall.log in the work folder, also that of the processes it starts."""
        process = self.prefix.start([self.state["install_dir"] + "\\" + vocabulary.UNINSTALLER, *arguments],
                                    cwd=self.install_folder(), debug=debug,
                                    log_path=os.path.join(self.work_dir, log_name))
        self.processes.append(process)
        return process

    def log_path(self):
        return os.path.join(self.work_dir, "uninstall.log")

    def wait_for_end(self, timeout=60, answer="Return"):
        """Waits until every process of the prefix and its wineserver have ended (so the registry
        files are written). Boxes that come up meanwhile are recorded in watcher.seen and answered
        with `answer` (left to the user when it is None), so that a run that shows more boxes than
        expected still ends. False when time ran out."""
        waiter = self.prefix.start_server_wait(timeout)
        self.processes.append(waiter)
        deadline = time.monotonic() + timeout + 5
        while waiter.poll() is None and time.monotonic() < deadline:
            box = self.watcher.poll()
            if box is not None and answer is not None:
                self.log(f"unexpected message box: {box}")
                self.watcher.answer(box, answer)
            time.sleep(0.2)
        return waiter.poll() == 0

    def wait_until(self, condition, timeout, step=0.1):
        deadline = time.monotonic() + timeout
        while not condition():
            if time.monotonic() > deadline:
                return False
            time.sleep(step)
        return True

    def trace(self):
        """The uninstaller's Wine log, when it was started with a trace (see winetrace)."""
        return TraceLog(self.log_path())

    def hold(self, *what, timeout=60):
        """Opens a file of the prefix in another program (hold_file.exe) so that it cannot be deleted,
        or holds a named object ("--event", name; "--mutex", name), until the returned holder's
        release()."""
        process = subprocess.Popen([wine_prefix.WINE, self.tool("hold_file.exe"), *what], env=self.prefix.env(),
                                   stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.processes.append(process)
        holder = Holder(process)
        line = holder.first_line(timeout)
        if line != "holding":
            raise AssertionError(f"hold_file.exe could not hold {what}: {line!r}")
        return holder

    def make_link(self, key, target):
        """Makes the registry key `key` a link to the key `target` (both HKCU\\... or HKLM\\...), as
        any program of the user's can; a .reg file cannot."""
        self.prefix.run([self.tool("hold_file.exe"), "--link", key, target], timeout=60)

    def running(self, text):
        """Process ids of the prefix's programs whose command line contains `text`."""
        own = b"\0WINEPREFIX=" + self.prefix.path.encode() + b"\0"
        found = []
        for folder in glob.glob("/proc/[0-9]*"):
            try:
                with open(folder + "/environ", "rb") as environ, open(folder + "/cmdline", "rb") as cmdline:
                    if own in b"\0" + environ.read() and text.encode() in cmdline.read():
                        found.append(int(folder[6:]))
            except OSError:
                pass
        return found

    def stop(self, text, how=signal.SIGSTOP):
        """Stops the processes of the prefix whose command line contains `text`, as a virus scanner
        holds up a new program while it scans it (or kills it, with how=SIGKILL). Returns their
        process ids, for resume()."""
        held = []
        for pid in self.running(text):
            try:
                os.kill(pid, how)
                held.append(pid)
            except OSError:
                pass
        return held

    @staticmethod
    def resume(held):
        for pid in held:
            os.kill(pid, signal.SIGCONT)

    def hold_up(self, text, seconds):
        """stop(text) for `seconds`, then resume(). Returns the process ids held."""
        held = self.stop(text)
        time.sleep(seconds)
        self.resume(held)
        return held

    # What is on the machine --------------------------------------------------------------------

    def registry(self):
        return Registry(self.prefix.path)

    def product_registry(self):
        """{key path: {name: Value}} of every key under the product's paths (and the neighbours)."""
        registry = self.registry()
        keys = {}
        for path in PRODUCT_REGISTRY_PATHS:
            keys.update(registry.subtree(path))
        return keys

    def watched_folders(self):
        return {
            "installation folder": self.install_folder(),
            "vendor folder": self.vendor_folder(),
            "temporary folder": self.temp_folder(),
            "Startup folder": os.path.dirname(self.shortcut("startup")),
            "Programs folder": os.path.dirname(self.shortcut("programs")),
            **self.also_watched,
        }

    def walk(self, folder):
        """os.walk; only one level deep in a temporary folder that holds the other watched folders
        (a drive root, the profile folder), which would be the whole drive."""
        temp = self.temp_folder().rstrip("/")
        shallow = folder.rstrip("/") == temp and any(
            other.startswith(temp + "/") for other in self.watched_folders().values())
        for entry in os.walk(folder):
            yield entry
            if shallow:
                return

    def files(self):
        """{host path: (size, mtime_ns, sha1)} of every file and folder below the watched folders."""
        listing = {}
        for folder in self.watched_folders().values():
            for root, dirs, files in self.walk(folder):
                for name in dirs:
                    listing[os.path.join(root, name) + "/"] = None
                for name in files:
                    path = os.path.join(root, name)
                    stat = os.lstat(path)
                    with open(path, "rb") as content:
                        digest = hashlib.sha1(content.read()).hexdigest()
                    listing[path] = (stat.st_size, stat.st_mtime_ns, digest)
            if os.path.isdir(folder):
                listing[folder.rstrip("/") + "/"] = None
        return listing

    def describe(self):
        """What a failing test prints: the registry under the product's paths and the folders."""
        lines = ["--- registry under the product's paths ---"]
        try:
            keys = self.product_registry()
        except OSError as error:
            keys = {}
            lines.append(f"(registry files not readable: {error})")
        for key, values in sorted(keys.items(), key=lambda item: item[0].lower()):
            lines.append(f"[{key}]")
            for name, value in sorted(values.items()):
                lines.append(f"    {name or '@'} = {value}")
        if not keys:
            lines.append("(none)")
        for process in self.processes:
            args = process.args if isinstance(process.args, list) else [process.args]
            lines.append(f"--- exit status {process.poll()}: {' '.join(map(str, args))}")
        for name in sorted(os.listdir(self.work_dir)) if self.work_dir else []:
            path = os.path.join(self.work_dir, name)
            if name.endswith(".log") and os.path.getsize(path) > 0:
                with open(path, errors="replace") as log:
                    lines.append(f"--- {name}, its end:")
                    lines.extend("    " + line.rstrip() for line in log.readlines()[-20:])
        if self.state is None:
            lines.append("--- the product was never installed")
            return "\n".join(lines)
        for title, folder in self.watched_folders().items():
            lines.append(f"--- {title}: {folder} ---")
            if not os.path.isdir(folder):
                lines.append("(does not exist)")
                continue
            entries = 0
            for root, dirs, files in self.walk(folder):
                for name in sorted(dirs):
                    lines.append(f"    {os.path.relpath(os.path.join(root, name), folder)}/")
                    entries += 1
                for name in sorted(files):
                    lines.append(f"    {os.path.relpath(os.path.join(root, name), folder)}")
                    entries += 1
            if entries == 0:
                lines.append("(empty)")
        lines.append(f"--- message boxes: {self.watcher.seen if self.watcher else []}")
        lines.append(f"--- product events: {self.marker_events() if self.prefix else []}")
        return "\n".join(lines)


class Holder:
    def __init__(self, process):
        self.process = process

    def first_line(self, timeout):
        ready, _, _ = select.select([self.process.stdout], [], [], timeout)
        return self.process.stdout.readline().decode(errors="replace").strip() if ready else None

    def release(self, timeout=30):
        """Lets go of the file; True when the holder ended."""
        self.process.stdin.close()
        try:
            return self.process.wait(timeout) == 0
        except subprocess.TimeoutExpired:
            return False
