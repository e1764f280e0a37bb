#!/usr/bin/env python3
"""Timings of the real uninstall.exe under Wine, printed as markdown tables:

1. the complete uninstall, from the user's confirmation to the moment the temporary copy and the
   cleanup script are gone, beside a baseline that removes the same files, folders and keys with
   Wine's own cmd.exe and reg.exe;
2. how that time grows with the files in the images folder and the keys in the per-user tree;
3. how long the second process waits for the first one, and how much processor time the cleanup
   script spends.

Every run works on a fresh copy of the template prefix with the product installed (not running).
The confirmation is answered with a key press sent through XTEST, so its moment is known to well
under a millisecond. Ends are seen by polling every 5 ms: the temporary folder on the Linux side,
and the processes of the run, which this program adopts as child subreaper (prctl) so that it can
reap them with wait4() and read their exact processor time.

Usage: wine_benchmark.py [--build-dir build/win32] [--runs 5] [--scale-runs 3] [--trace-runs 3]
Called by scripts/benchmark.sh, which installs and builds first. Progress goes to stderr."""

import argparse
import contextlib
import ctypes
import ctypes.util
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))

import install_product  # noqa: E402
from harness import prefix as wine_prefix  # noqa: E402
from harness.display import VirtualDisplay  # noqa: E402
from harness.session import Session  # noqa: E402
from harness.winetrace import TRACE_FILE_CALLS  # noqa: E402

POLL = 0.005
RUN_TIMEOUT = 60
SETTLE = 0.5  # after the box is up, so that Wine's own start-up work does not fall into the measurement
SCRIPT_NAME = re.compile(r"delme\d+\.bat", re.IGNORECASE)

UNINSTALL_ENTRY = "HKLM\\" + install_product.UNINSTALL_KEY + "\\VorskTandrel"
APP_PATH = "HKLM\\" + install_product.APP_PATHS_KEY + "\\Tandrel.exe"
VENDOR_KEYS = ["HKCU\\Software\\VORSK Software", "HKLM\\Software\\VORSK Software"]
NEIGHBOUR_KEYS = [
    "HKLM\\" + install_product.UNINSTALL_KEY + "\\" + install_product.FOREIGN_UNINSTALL_ENTRY,
    "HKLM\\" + install_product.APP_PATHS_KEY + "\\" + install_product.FOREIGN_APP_PATH,
]


def progress(text):
    print(text, file=sys.stderr, flush=True)


# Key presses -------------------------------------------------------------------------------------

class Keyboard:
    """Presses Return on an X display through XTEST (libXtst, which xdotool uses as well). xdotool
    itself needs some 15 ms to start, too long to say when the key went out; here the press is
    sent and synced with the server, and the time taken right after."""

    XK_RETURN = 0xFF0D

    def __init__(self, display_name):
        x11_name, xtst_name = ctypes.util.find_library("X11"), ctypes.util.find_library("Xtst")
        if not x11_name or not xtst_name:
            raise RuntimeError("libX11 or libXtst not found (they come with xdotool)")
        self.x11 = ctypes.CDLL(x11_name)
        self.xtst = ctypes.CDLL(xtst_name)
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(display_name.encode())
        if not self.display:
            raise RuntimeError(f"cannot open X display {display_name}")
        self.return_key = self.x11.XKeysymToKeycode(self.display, self.XK_RETURN)

    def press_return(self):
        """Presses and releases Return; the monotonic time at which the press had reached the server."""
        self.xtst.XTestFakeKeyEvent(self.display, self.return_key, 1, 0)
        self.x11.XSync(self.display, 0)
        pressed = time.monotonic()
        self.xtst.XTestFakeKeyEvent(self.display, self.return_key, 0, 0)
        self.x11.XSync(self.display, 0)
        return pressed

    def close(self):
        if self.display:
            self.x11.XCloseDisplay(self.display)
            self.display = None


def focus(session, window_id):
    """Gives the box the keyboard focus before the timed press, as BoxWatcher.answer does."""
    subprocess.run(["xdotool", "windowfocus", "--sync", str(window_id)],
                   env=dict(os.environ, DISPLAY=session.display_name), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=15, check=False)


# Processes of a run ------------------------------------------------------------------------------

_libc = ctypes.CDLL(None, use_errno=True)
PR_SET_CHILD_SUBREAPER = 36


@contextlib.contextmanager
def adopting():
    """While the block runs, processes orphaned below this one (Wine starts every Windows process
    through a double fork) become its children, so that wait4() gives their end and their rusage."""
    if _libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_CHILD_SUBREAPER)")
    try:
        yield
    finally:
        _libc.prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0)


def child_pids():
    me = os.getpid()
    try:
        with open(f"/proc/{me}/task/{me}/children") as children:
            return [int(pid) for pid in children.read().split()]
    except FileNotFoundError:  # a kernel without CONFIG_PROC_CHILDREN
        pids = []
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    with open(f"/proc/{entry}/stat") as stat:
                        if int(stat.read().rpartition(")")[2].split()[1]) == me:
                            pids.append(int(entry))
                except (OSError, IndexError, ValueError):
                    pass
        return pids


def _read(path):
    try:
        with open(path, "rb") as source:
            return source.read().replace(b"\0", b" ").decode(errors="replace").strip()
    except OSError:
        return ""


class Adopted:
    def __init__(self, pid, seen):
        self.pid = pid
        self.seen = seen
        self.ended = None
        self.cpu = None  # user + system seconds, all threads, from wait4
        self.comm = ""
        self.cmdline = ""

    @property
    def role(self):
        line = self.cmdline.lower()
        if "/internally" in line:
            return "second"
        if self.comm.lower() == "cmd.exe" or "cmd.exe" in line:
            return "script"
        if "conhost" in line:
            return "conhost"
        if "reg.exe" in line or self.comm.lower() in ("reg", "reg.exe"):
            return "reg"
        return "other"


class ProcessWatch:
    """Every child that turns up while adopting, with its names, end and processor time."""

    def __init__(self, protected):
        self.protected = protected  # pids of our own Popen children, which subprocess reaps
        self.known = {}

    def poll(self, now):
        for pid in child_pids():
            if pid not in self.protected() and pid not in self.known:
                self.known[pid] = Adopted(pid, now)
        for process in self.known.values():
            if process.ended is not None:
                continue
            # Names change from wine's loader to the program; a zombie's cmdline is empty.
            comm, cmdline = _read(f"/proc/{process.pid}/comm"), _read(f"/proc/{process.pid}/cmdline")
            if cmdline:
                process.comm, process.cmdline = comm, cmdline
            elif comm and not process.comm:
                process.comm = comm
            try:
                pid, _status, usage = os.wait4(process.pid, os.WNOHANG)
            except ChildProcessError:
                process.ended = now
                continue
            if pid:
                process.ended = now
                process.cpu = usage.ru_utime + usage.ru_stime

    def role(self, role):
        return [process for process in self.known.values() if process.role == role]

    def all_ended(self):
        return all(process.ended is not None for process in self.known.values())


def wait_direct_child(popen):
    """(ended?, cpu seconds) of a Popen child, reaped here with its rusage; the Popen gets the status."""
    try:
        pid, status, usage = os.wait4(popen.pid, os.WNOHANG)
    except ChildProcessError:
        return True, None
    if not pid:
        return False, None
    popen.returncode = os.waitstatus_to_exitcode(status)
    return True, usage.ru_utime + usage.ru_stime


def reap_leftovers(keep, timeout=15):
    """Reaps the processes adopted during a run, once its wineserver is gone; kills what is left
    after `timeout`."""
    deadline = time.monotonic() + timeout
    killed = False
    while True:
        pending = []
        for pid in child_pids():
            if pid in keep:
                continue
            try:
                if os.waitpid(pid, os.WNOHANG)[0] == 0:
                    pending.append(pid)
            except ChildProcessError:
                pass
        if not pending:
            return
        if time.monotonic() > deadline:
            if killed:
                return
            for pid in pending:
                with contextlib.suppress(ProcessLookupError):
                    os.kill(pid, 9)
            killed = True
            deadline = time.monotonic() + 5
        time.sleep(0.05)


def server_pid(prefix_path):
    """The pid of the prefix's wineserver, or None."""
    for entry in os.listdir("/proc"):
        if entry.isdigit() and _read(f"/proc/{entry}/comm").startswith("wineserver") and \
                f"WINEPREFIX={prefix_path}" in _read(f"/proc/{entry}/environ").split(" "):
            return int(entry)
    return None


def cpu_so_far(pid):
    """Processor seconds a running process has used: the scheduler's nanosecond sums of its threads
    (a thread that has already ended is missing), or utime + stime in clock ticks without schedstat."""
    if pid is None:
        return None
    total = 0
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/schedstat") as schedstat:
                total += int(schedstat.read().split()[0])
        return total / 1e9
    except (OSError, ValueError, IndexError):
        fields = _read(f"/proc/{pid}/stat").rpartition(")")[2].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK") if len(fields) > 12 else None


def difference(after, before):
    return None if after is None or before is None else after - before


# One run -----------------------------------------------------------------------------------------

class Bench:
    def __init__(self, build_dir, display, keyboard):
        self.build_dir = build_dir
        self.display = display
        self.keyboard = keyboard

    @contextlib.contextmanager
    def session(self, name, images=0, keys=0, **install_options):
        """A fresh prefix with the product installed (and the extra images and keys)."""
        try:
            # The session ends every process it knows by pid, kills the prefix's wineserver and
            # removes the prefix copy.
            with Session(self.build_dir, f"bench-{name}", display=self.display.name) as session:
                session.install(**install_options)
                images_folder = os.path.join(session.install_folder(), "images")
                for number in range(images):
                    with open(os.path.join(images_folder, f"picture{number:05}.gif"), "wb") as image:
                        image.write(b"GIF89a")
                if keys:
                    session.prefix.import_reg(key_tree_text(keys))
                    if not session.prefix.wait_server():
                        raise RuntimeError("the wineserver did not exit after the key import")
                yield session
        finally:
            reap_leftovers(keep={self.display.process.pid})

    def protected(self, session):
        return lambda: {self.display.process.pid} | {process.pid for process in session.processes}

    def uninstall(self, name, images=0, keys=0, trace=False):
        """The user starts uninstall.exe and confirms. Times in seconds from the press of Return."""
        with self.session(name, images, keys) as session:
            first = session.start_uninstaller(debug=TRACE_FILE_CALLS if trace else "-all")
            box = session.watcher.wait_for_box(RUN_TIMEOUT, while_running=first)
            if box is None:
                raise RuntimeError("no confirmation box")
            time.sleep(SETTLE)
            focus(session, box.window_id)
            temp = session.temp_folder()
            installed = os.path.join(session.install_folder(), "uninstall.exe")
            marks = {}
            server = server_pid(session.prefix.path)
            with adopting():
                watch = ProcessWatch(self.protected(session))
                server_before, first_before = cpu_so_far(server), cpu_so_far(first.pid)
                start = self.keyboard.press_return()
                first_cpu = None
                deadline = start + RUN_TIMEOUT
                while True:
                    now = time.monotonic()
                    watch.poll(now)
                    if "first exited" not in marks:
                        ended, first_cpu = wait_direct_child(first)
                        if ended:
                            marks["first exited"] = now
                    if "installed uninstall.exe gone" not in marks and not os.path.exists(installed):
                        marks["installed uninstall.exe gone"] = now
                    second = watch.role("second")
                    names = os.listdir(temp)
                    copy_there = any(name.lower() == "uninstall.exe" for name in names)
                    script_there = any(SCRIPT_NAME.fullmatch(name) for name in names)
                    if second and "second started" not in marks:
                        marks["second started"] = second[0].seen
                    if second and second[0].ended and "second exited" not in marks:
                        marks["second exited"] = second[0].ended
                    if watch.role("script") and "script started" not in marks:
                        marks["script started"] = watch.role("script")[0].seen
                    # The copy exists while the second process runs from it, the script from
                    # before the second process ends; gone after that means gone for good.
                    if second and not copy_there:
                        marks.setdefault("copy gone", now)
                    if "second exited" in marks and not script_there:
                        marks.setdefault("script gone", now)
                    if "copy gone" in marks and "script gone" in marks and not copy_there and not script_there:
                        marks.setdefault("end", now)
                    script = watch.role("script")
                    if script and script[0].ended and "script exited" not in marks:
                        marks["script exited"] = script[0].ended
                    if "end" in marks and "first exited" in marks and watch.all_ended():
                        marks["all ended"] = now
                        break
                    if now > deadline or ("end" in marks and now > marks["end"] + 10):
                        break
                    time.sleep(POLL)
                server_cpu = difference(cpu_so_far(server), server_before)
            result = {key: value - start for key, value in marks.items()}
            result["cpu"] = {role: sum(process.cpu or 0 for process in watch.role(role))
                             for role in ("second", "script", "conhost", "other")}
            result["cpu"]["first"] = difference(first_cpu, first_before)
            result["cpu"]["server"] = server_cpu
            if None not in result["cpu"].values() and "all ended" in marks:
                result["cpu total"] = sum(result["cpu"].values())
            result["clean"] = self.verify(session, with_temp=True) if "end" in marks else "timed out"
            if trace:
                result["attempts"] = deletion_attempts(session)
            return result

    def baseline(self, name, images=0, keys=0):
        """The same removals with Wine's cmd.exe (del, rmdir /s /q) and reg.exe (reg delete /f), in one
        script started from Linux. A copy of the product's stand-in, started from elsewhere, keeps
        the prefix as warm as the confirmation box does: wineserver, services and desktop running."""
        with self.session(name, images, keys) as session:
            script = os.path.join(session.work_dir, "baseline.bat")
            state = session.state
            lines = ["@echo off"]
            for place in ("startup", "programs"):
                lines.append(f'del /q "{state[place]}\\{install_product.DISPLAY_NAME}.lnk"')
            lines.append(f'rmdir /s /q "{state["install_dir"].rpartition(chr(92))[0]}"')
            for key in [UNINSTALL_ENTRY, APP_PATH] + VENDOR_KEYS:
                lines.append(f'reg delete "{key}" /f')
            with open(script, "w", newline="\r\n") as out:
                out.write("\n".join(lines) + "\n")

            warm_dir = session.prefix.to_unix("C:\\warm")
            os.makedirs(warm_dir, exist_ok=True)
            shutil.copy(session.tool("Tandrel.exe"), warm_dir)
            marker = os.path.join(warm_dir, "marker.txt")
            warm = session.prefix.start(["C:\\warm\\Tandrel.exe", "--marker", "C:\\warm\\marker.txt"])
            session.processes.append(warm)
            if not session.wait_until(lambda: os.path.exists(marker) and "started" in open(marker).read(), RUN_TIMEOUT):
                raise RuntimeError("the warm-up program did not start")
            time.sleep(SETTLE)

            server = server_pid(session.prefix.path)
            with adopting():
                watch = ProcessWatch(self.protected(session))
                server_before = cpu_so_far(server)
                start = time.monotonic()
                runner = session.prefix.start(["cmd", "/c", wine_prefix.unix_to_windows(script)])
                session.processes.append(runner)
                end = runner_end = cpu = None
                deadline = start + RUN_TIMEOUT
                while time.monotonic() < deadline:
                    now = time.monotonic()
                    watch.poll(now)
                    if runner_end is None:
                        ended, cpu = wait_direct_child(runner)
                        runner_end = now if ended else None
                    # wine's launcher starts cmd.exe as a process of its own and waits for it; the
                    # later of the two ends counts.
                    scripts = watch.role("script")
                    if runner_end is not None and all(process.ended is not None for process in scripts):
                        end = max([runner_end] + [process.ended for process in scripts])
                        break
                    time.sleep(POLL)
                while not watch.all_ended() and time.monotonic() < deadline:
                    watch.poll(time.monotonic())
                    time.sleep(POLL)
                server_cpu = difference(cpu_so_far(server), server_before)
            warm.kill()
            warm.wait(30)
            result = {"end": end - start if end else None, "cpu": {}}
            if end and cpu is not None and server_cpu is not None and watch.all_ended():
                result["cpu total"] = cpu + sum(process.cpu or 0 for process in watch.known.values()) + server_cpu
            result["clean"] = self.verify(session, with_temp=False) if end else "timed out"
            return result

    def held_script(self, hold_seconds):
        """The cleanup script while another program holds the temporary copy: its processor time and
        the wineserver's over the hold. The box about a missing "InstallPath" keeps the second
        process waiting while the hold is set up (the copy is written by the first process)."""
        with self.session("held", with_install_path=False) as session:
            first = session.start_uninstaller()
            box = session.watcher.wait_for_box(RUN_TIMEOUT, while_running=first)
            if box is None:
                raise RuntimeError("no confirmation box")
            focus(session, box.window_id)
            result = {}
            # From the first press on: only the descendants of this process are adopted, and the
            # script is started by the second process, which the first one starts.
            with adopting():
                watch = ProcessWatch(self.protected(session))
                self.keyboard.press_return()
                first.wait(RUN_TIMEOUT)
                box = session.watcher.wait_for_box(RUN_TIMEOUT)
                if box is None:
                    raise RuntimeError("no box about the missing installation folder")
                holder = session.hold(session.state["temp"].rstrip("\\") + "\\uninstall.exe")
                time.sleep(SETTLE)
                focus(session, box.window_id)
                watch.poll(time.monotonic())
                server = server_pid(session.prefix.path)
                self.keyboard.press_return()
                deadline = time.monotonic() + RUN_TIMEOUT
                released = None
                server_before = None
                while time.monotonic() < deadline:
                    now = time.monotonic()
                    watch.poll(now)
                    script = watch.role("script")
                    if script and server_before is None:
                        server_before = cpu_so_far(server)
                    if script and released is None and now >= script[0].seen + hold_seconds:
                        result["server cpu"] = difference(cpu_so_far(server), server_before)
                        released = time.monotonic()
                        holder.release()
                    if script and script[0].ended is not None:
                        break
                    time.sleep(POLL)
                if released is None:
                    holder.release()
                script = watch.role("script")
                if script and script[0].ended is not None:
                    result["script life"] = script[0].ended - script[0].seen
                    result["script cpu"] = script[0].cpu
                    result["held"] = released - script[0].seen if released else None
            return result

    def verify(self, session, with_temp):
        """"yes" when every process has ended and everything of the product is gone, else what is left."""
        if not session.wait_for_end(RUN_TIMEOUT):
            return "processes left"
        left = [path for path in (session.install_folder(), session.vendor_folder(),
                                  session.shortcut("startup"), session.shortcut("programs")) if os.path.lexists(path)]
        if with_temp:
            left += [name for name in os.listdir(session.temp_folder())
                     if name.lower() == "uninstall.exe" or SCRIPT_NAME.fullmatch(name)]
        registry = session.registry()
        left += [key for key in [UNINSTALL_ENTRY, APP_PATH] + VENDOR_KEYS if registry.exists(key)]
        left += [f"{key} removed" for key in NEIGHBOUR_KEYS if not registry.exists(key)]
        return "yes" if not left else "left: " + ", ".join(left)


def key_tree_text(count):
    """REGEDIT4 text of `count` keys below the per-user product key, ten children a key, filled level
    by level (the same tree as the simulated benchmark's), each key with one value."""
    lines = ["REGEDIT4", ""]
    level = ["HKEY_CURRENT_USER\\" + install_product.PRODUCT_KEY]
    made = 0
    while made < count:
        following = []
        for parent in level:
            for number in range(10):
                if made == count:
                    break
                key = f"{parent}\\Key{number}"
                lines += [f"[{key}]", f'"Entry"="{made}"', ""]
                following.append(key)
                made += 1
        level = following
    return "\r\n".join(lines) + "\r\n"


def deletion_attempts(session):
    """[(time, pid)] of every DeleteFileW on the installed uninstall.exe in the run's +file trace."""
    path = session.state["install_dir"] + "\\uninstall.exe"
    return [(call.time, call.pid) for call in session.trace().calls("DeleteFileW", path)]


# Figures -----------------------------------------------------------------------------------------

def ms(seconds):
    return "–" if seconds is None else f"{seconds * 1000:.0f}"


def spread(values):
    values = [value for value in values if value is not None]
    if not values:
        return "–", "–", "–"
    return ms(statistics.median(values)), ms(min(values)), ms(max(values))


def cleanliness(results):
    verdicts = sorted({result["clean"] for result in results})
    return "yes" if verdicts == ["yes"] else "; ".join(verdicts)


def table(rows, header):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(str(cell) for cell in row) + " |" for row in rows]
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "win32"))
    parser.add_argument("--runs", type=int, default=5, help="runs of the uninstaller and of the baseline")
    parser.add_argument("--scale-runs", type=int, default=3, help="runs per size of the images folder and key tree")
    parser.add_argument("--trace-runs", type=int, default=3, help="runs with Wine's file trace")
    parser.add_argument("--hold", type=float, default=2.0, help="seconds the temporary copy is held in the last run")
    args = parser.parse_args()
    # A timeout's SIGTERM unwinds like an error, so that every session still ends its processes.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    started = time.monotonic()
    out = sys.stdout
    sys.stdout = sys.stderr  # the harness's progress lines; the tables go to the real stdout
    wine_prefix.ensure_template(os.path.join(args.build_dir, "wine-template"))

    with VirtualDisplay() as display:
        keyboard = Keyboard(display.name)
        try:
            bench = Bench(args.build_dir, display, keyboard)
            report = run_all(bench, args, progress)
        finally:
            keyboard.close()
    report.append(f"Wine benchmark run time: {time.monotonic() - started:.0f} s.")
    print("\n\n".join(report), file=out, flush=True)
    return 0


STAGES = [
    ("second started", "second process (the temporary copy) seen"),
    ("first exited", "first process (the one the user started) exited"),
    ("installed uninstall.exe gone", "installed uninstall.exe gone"),
    ("script started", "cleanup script's cmd.exe seen"),
    ("second exited", "second process exited"),
    ("copy gone", "temporary copy T\\uninstall.exe gone"),
    ("end", "**T\\uninstall.exe and T\\delme*.bat gone (the end point)**"),
    ("script exited", "cmd.exe exited"),
    ("all ended", "every process of the run ended (conhost.exe too)"),
]


def run_all(bench, args, say):
    report = []

    # 1. The uninstaller beside the baseline, turn about, so that drifts of the machine hit both.
    uninstalls, baselines = [], []
    for number in range(1, args.runs + 1):
        uninstalls.append(attempt(lambda: bench.uninstall(f"u{number}"), say, f"uninstall run {number}"))
        say(f"uninstall run {number}: {ms(uninstalls[-1].get('end'))} ms, clean: {uninstalls[-1]['clean']}")
        baselines.append(attempt(lambda: bench.baseline(f"b{number}"), say, f"baseline run {number}"))
        say(f"baseline run {number}: {ms(baselines[-1]['end'])} ms, clean: {baselines[-1]['clean']}")
    u_ends = [result.get("end") for result in uninstalls]
    b_ends = [result["end"] for result in baselines]
    ratio = ratio_of(u_ends, b_ends)
    u_cpu = [result.get("cpu total") for result in uninstalls]
    b_cpu = [result.get("cpu total") for result in baselines]
    rows = [
        ["uninstall.exe: Return pressed → T\\uninstall.exe and T\\delme*.bat gone", *spread(u_ends),
         "{} ({}–{})".format(*spread(u_cpu)), cleanliness(uninstalls)],
        ["baseline: `wine cmd /c baseline.bat` (del, rmdir /s /q, reg delete /f) started → exited",
         *spread(b_ends), "{} ({}–{})".format(*spread(b_cpu)), cleanliness(baselines)],
        ["**ratio uninstall.exe / baseline** (medians)", f"**{ratio}**", "", "", ratio_of(u_cpu, b_cpu), ""],
    ]
    report.append(f"### Complete uninstall under Wine ({args.runs} runs each, turn about)\n\n"
                  "Each run: a fresh copy of the template prefix, the product installed by install_product.py and "
                  "not running. End point of the uninstaller: the temporary folder polled every 5 ms from Linux; "
                  "of the baseline: the exit of its cmd.exe (reaped with wait4, polled every 5 ms). The baseline "
                  "starts while a GUI program keeps the prefix warm, as the confirmation box does for the "
                  "uninstaller. Processor time: user + system of every Windows process of the run (wait4; the "
                  "first process from the press on) and of the prefix's wineserver over the run (schedstat); "
                  "less sensitive than the wall time to other work on the machine.\n\n"
                  + table(rows, ["what", "median ms", "min ms", "max ms", "processor ms, median (min–max)",
                                 "everything removed"]))
    rows = [[text, *spread([result.get(key) for result in uninstalls])] for key, text in STAGES]
    report.append("Where the uninstaller's time goes (ms after Return was pressed):\n\n"
                  + table(rows, ["moment", "median", "min", "max"]))

    # 2. Growth with the images folder and the per-user key tree. The removals happen in the second
    # process, whose life is less noisy than the whole chain, so the cost of one more item is taken
    # from it.
    standard = median_of(u_ends)
    standard_second = median_of([second_life(run) for run in uninstalls])
    second_noise = spread_of([second_life(run) for run in uninstalls])
    standard_baseline = median_of(b_ends)
    standard_cpu, cpu_noise = median_of(u_cpu), spread_of(u_cpu)
    rows = []
    growth, cpu_growth = {}, {}
    for kind, sizes in (("files in the images folder", (100, 1000, 10000)),
                        ("keys in the per-user tree", (10, 100, 1000))):
        for size in sizes:
            options = {"images": size} if kind.startswith("files") else {"keys": size}
            # Wine's cmd.exe takes some 20 s for rmdir /s of 10,000 files: one baseline run there.
            base_runs = 1 if size >= 10000 else args.scale_runs
            runs, bases = [], []
            for number in range(1, max(args.scale_runs, base_runs) + 1):
                if number <= args.scale_runs:
                    runs.append(attempt(lambda: bench.uninstall(f"{size}-{number}", **options), say, f"{size}"))
                    say(f"{kind} {size}, run {number}: {ms(runs[-1].get('end'))} ms, clean: {runs[-1]['clean']}")
                if number <= base_runs:
                    bases.append(attempt(lambda: bench.baseline(f"{size}-b{number}", **options), say, f"{size}"))
                    say(f"{kind} {size}, baseline {number}: {ms(bases[-1]['end'])} ms, clean: {bases[-1]['clean']}")
            ends = [run.get("end") for run in runs]
            base_ends = [base["end"] for base in bases]
            middle, base_middle = median_of(ends), median_of(base_ends)
            second = median_of([second_life(run) for run in runs])
            extra = None if second is None or standard_second is None else (second - standard_second) / size
            uncertainty = None if second_noise is None else second_noise / size
            growth[(kind, size)] = (extra, uncertainty)
            cpu = median_of([run.get("cpu total") for run in runs])
            cpu_extra = None if cpu is None or standard_cpu is None else (cpu - standard_cpu) / size
            cpu_growth[(kind, size)] = (cpu_extra, None if cpu_noise is None else cpu_noise / size)
            base_extra = None if base_middle is None or standard_baseline is None else \
                (base_middle - standard_baseline) / size
            rows.append([kind, f"{size:,}", "{} ({}–{})".format(*spread(ends)),
                         "–" if middle is None else f"{middle * 1e6 / size:,.0f}",
                         ms(second), plus_minus(*growth[(kind, size)]), ms(cpu), plus_minus(*cpu_growth[(kind, size)]),
                         f"{cleanliness(runs)} / {cleanliness(bases)}",
                         f"{ms(base_middle)} ({len(bases)} run{'s' if len(bases) > 1 else ''})",
                         "–" if base_extra is None else f"{base_extra * 1e6:,.0f}", ratio_of(ends, base_ends)])
    verdicts = [flatness(f"{kind}, {what}", figures)
                for kind, sizes in (("files in the images folder", (1000, 10000)),
                                    ("keys in the per-user tree", (100, 1000)))
                for what, figures in (("second process's life", {size: growth.get((kind, size)) for size in sizes}),
                                      ("processor time", {size: cpu_growth.get((kind, size)) for size in sizes}))]
    report.append(f"### How the cost grows under Wine ({args.scale_runs} runs each)\n\n"
                  "Items added to the standard installation (3 images, 5 per-user product keys); keys: ten "
                  "children a key, level by level, one value each (the tree of the simulated benchmark). "
                  "\"µs per item\": the complete uninstall divided by the items. The removals happen in the "
                  "second process, so the cost of one more item is taken from its life (seen → exited): "
                  "\"extra µs per item\" = (its median − the standard installation's, "
                  f"{ms(standard_second)} ms) / items, ± the spread of the standard runs' "
                  f"({ms(second_noise)} ms) / items; the same for the processor time (standard: "
                  f"{ms(standard_cpu)} ms, spread {ms(cpu_noise)} ms). Baseline: (its median − the standard "
                  f"baseline's, {ms(standard_baseline)} ms) / items. The standard complete uninstall: "
                  f"{ms(standard)} ms.\n\n"
                  + table(rows, ["what grows", "items", "complete uninstall ms, median (min–max)", "µs per item",
                                 "second process ms", "extra µs per item", "processor ms", "extra processor µs per item",
                                 "everything removed (uninstaller / baseline)", "baseline ms, median",
                                 "baseline extra µs per item", "ratio"])
                  + "\n\n" + "\n".join(f"- {verdict}" for verdict in verdicts))

    # 3. The wait for the first process and the cleanup script's processor time.
    traced = []
    for number in range(1, args.trace_runs + 1):
        traced.append(attempt(lambda: bench.uninstall(f"trace{number}", trace=True), say, "traced run"))
        say(f"traced run {number}: {len(traced[-1].get('attempts', []))} attempt(s), clean: {traced[-1]['clean']}")
    attempts = [len(run["attempts"]) if "attempts" in run else None for run in traced]
    spans = [run["attempts"][-1][0] - run["attempts"][0][0] if run.get("attempts") else None for run in traced]
    let_go = [run["installed uninstall.exe gone"] - run["first exited"] for run in uninstalls
              if "installed uninstall.exe gone" in run and "first exited" in run]
    held = attempt(lambda: bench.held_script(args.hold), say, "held copy")
    say(f"held copy: {held}")
    rows = [
        ["DeleteFileA attempts on the installed uninstall.exe, per run (Wine +file trace, DeleteFileW)",
         ", ".join("–" if count is None else str(count) for count in attempts)],
        ["first attempt → last attempt, per run (trace timestamps, Wine's ~16 ms tick)",
         ", ".join(f"{ms(span)} ms" for span in spans)],
        ["so the second process waited (attempts − 1) × 50 ms",
         ", ".join("–" if count is None else f"{max(count - 1, 0) * 50} ms" for count in attempts)],
        ["the first process's exit → installed uninstall.exe gone (untraced runs above; median, min–max)",
         "{} ms ({}–{})".format(*spread(let_go))],
        ["processor time of the cleanup script's cmd.exe, user + system (median, min–max)",
         "{} ms ({}–{})".format(*spread([run["cpu"].get("script") for run in uninstalls]))],
        ["… over its life, from seen to reaped (median)",
         "{} ms".format(ms(median_of([run["script exited"] - run["script started"] for run in uninstalls
                                      if "script exited" in run and "script started" in run])))],
        ["… of the conhost.exe that Wine starts for it (median)",
         "{} ms".format(ms(median_of([run["cpu"].get("conhost") for run in uninstalls])))],
        ["… of the second process (median)",
         "{} ms".format(ms(median_of([run["cpu"].get("second") for run in uninstalls])))],
    ]
    if held.get("script cpu") is not None:
        share = held["script cpu"] / held["script life"] if held.get("script life") else 0
        rows.append([f"cmd.exe while another program holds T\\uninstall.exe for {held['held']:.1f} s: processor time "
                     "over its life", f"{ms(held['script cpu'])} ms over {held['script life']:.2f} s "
                     f"({share:.0%} of one CPU)"])
        if held.get("server cpu") is not None:
            rows.append(["… the prefix's wineserver over the same hold (/proc schedstat)",
                         f"{ms(held['server cpu'])} ms ({held['server cpu'] / held['held']:.0%} of one CPU)"])
    else:
        rows.append(["cmd.exe with a held temporary copy", f"not measured: {held}"])
    report.append("### The wait for the first process, and the cleanup script's processor time\n\n"
                  "Processor times come from wait4() on the processes themselves (this program adopts them "
                  "as child subreaper), all threads, microsecond resolution; the wineserver's share is not in "
                  "them.\n\n" + table(rows, ["measure", "figure"]))
    return report


def attempt(run, say, label):
    """The result of one run; a run that breaks is reported as such and the benchmark goes on."""
    try:
        return run()
    except Exception as error:  # noqa: BLE001 - any failure of one run is a figure like the others
        say(f"{label}: failed: {error}")
        return {"end": None, "clean": f"failed ({error})", "cpu": {}}


def second_life(run):
    if "second exited" in run and "second started" in run:
        return run["second exited"] - run["second started"]
    return None


def spread_of(values):
    values = [value for value in values if value is not None]
    return max(values) - min(values) if values else None


def median_of(values):
    values = [value for value in values if value is not None]
    return statistics.median(values) if values else None


def plus_minus(value, uncertainty):
    if value is None:
        return "–"
    return f"{value * 1e6:,.0f}" + ("" if uncertainty is None else f" ± {uncertainty * 1e6:,.0f}")


def flatness(what, figures):
    """Whether the extra cost per item at the two larger sizes agrees, within the noise."""
    (small, (a, ua)), (large, (b, ub)) = sorted((size, value or (None, None)) for size, value in figures.items())
    if a is None or b is None or ua is None:
        return f"{what}: not measured"
    text = f"{plus_minus(a, ua)} µs at {small:,}, {plus_minus(b, ub)} µs at {large:,}"
    if b <= ub:
        return f"{what}: even {large:,} items cost less than the noise ({text})"
    if a <= ua:
        return f"{what}: at {small:,} items the extra cost is within the noise ({text})"
    if abs(b - a) <= ua + ub:
        return f"{what}: the extra cost per item stays flat ({text})"
    return f"{what}: the extra cost per item {'grows' if b > a else 'falls'} ×{b / a:.2f} ({text})"


def ratio_of(numerators, denominators):
    tops = [value for value in numerators if value is not None]
    bottoms = [value for value in denominators if value is not None]
    if not tops or not bottoms:
        return "–"
    return f"{statistics.median(tops) / statistics.median(bottoms):.2f}"


if __name__ == "__main__":
    sys.exit(main())
