"""The processes of a run under Wine: the key press that answers a box, adopting the processes Wine
starts (child subreaper) so that wait4() gives their end and processor time, and the wineserver's
processor time from /proc."""

import contextlib
import ctypes
import ctypes.util
import os
import subprocess
import time

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
        self.foreign = False  # not our child: its end seen in /proc, its processor time sampled
        self.comm = ""
        self.cmdline = ""

    @property
    def role(self):
        line = self.cmdline.lower()
        # Ours starts its temporary copy with /internally; an NSIS uninstaller its copy with _?=.
        if "/internally" in line or "_?=" in line:
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

    def track(self, pid, seen):
        """Watches a process that is not ours to reap (it was orphaned before this program
        adopted anything): its end is its leaving /proc, its processor time the last sample."""
        process = self.known[pid] = Adopted(pid, seen)
        process.foreign = True
        process.comm, process.cmdline = _read(f"/proc/{pid}/comm"), _read(f"/proc/{pid}/cmdline")

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
            if process.foreign:
                fields = _read(f"/proc/{process.pid}/stat").rpartition(")")[2].split()
                if not fields or fields[0] in ("Z", "X"):
                    process.ended = now
                else:
                    process.cpu = cpu_so_far(process.pid)
                continue
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


def prefix_processes(prefix_path, needle):
    """Pids of the prefix's processes whose command line holds `needle`."""
    pids = []
    for entry in os.listdir("/proc"):
        if entry.isdigit() and needle in _read(f"/proc/{entry}/cmdline") and \
                f"WINEPREFIX={prefix_path}" in _read(f"/proc/{entry}/environ").split(" "):
            pids.append(int(entry))
    return pids


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

