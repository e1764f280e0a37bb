"""One run of each kind under Wine, each on a fresh copy of the template prefix with the product
installed (by install_product.py for ours, by the NSIS installer for the peer) and not running.
Each returns a record of winebench.records."""

import contextlib
import os
import re
import shutil
import time

from winebench import procs
from winebench.records import HeldScript, ProgramRun, UninstallRun

from wineharness import install_product, vocabulary
from wineharness import prefix as wine_prefix
from wineharness.session import APP_PATHS_ENTRY, NEIGHBOUR_ENTRIES, UNINSTALL_ENTRY, VENDOR_KEYS, Session
from wineharness.winetrace import TRACE_FILE_CALLS

POLL = 0.005
RUN_TIMEOUT = 60


def run_timeout(images):
    """Wine's rmdir /s takes some 20 s for 10,000 files on a quiet machine; more on a busy one."""
    return RUN_TIMEOUT + images / 50
SETTLE = 0.5  # after the box is up, so that Wine's own start-up work does not fall into the measurement
SCRIPT_NAME = re.compile(r"delme\d+\.bat", re.IGNORECASE)

NEIGHBOURS_REG = f"""REGEDIT4

[HKEY_LOCAL_MACHINE\\{install_product.FOREIGN_UNINSTALL_ENTRY}]
"DisplayName"={install_product.reg_string(install_product.FOREIGN_DISPLAY_NAME)}

[HKEY_LOCAL_MACHINE\\{install_product.FOREIGN_APP_PATH}]
@={install_product.reg_string(install_product.FOREIGN_PROGRAM)}
"""

# Moments of an uninstall, in the order they usually come; "end" is the record's own property.
STAGES = [
    ("second started", "temporary copy's process seen"),
    ("first exited", "first process (the one the user started) exited"),
    ("installed uninstall.exe gone", "installed uninstall.exe gone"),
    ("script started", "cleanup script's cmd.exe seen"),
    ("second exited", "temporary copy's process exited"),
    ("temp clean", "everything the run put into TEMP gone"),
    ("script exited", "cmd.exe exited"),
    ("all ended", "every process of the run ended (conhost.exe too)"),
]


def temp_entries(folder):
    """Every file and folder below `folder`, as relative Windows-style names (folders end in \\)."""
    entries = set()
    for root, dirs, files in os.walk(folder):
        relative = os.path.relpath(root, folder)
        prefix = "" if relative == "." else relative.replace("/", "\\") + "\\"
        entries.update(prefix + name + "\\" for name in dirs)
        entries.update(prefix + name for name in files)
    return entries


class Bench:
    def __init__(self, build_dir, programs_dir, peer_installer, display, keyboard, earlier_dir=None):
        self.build_dir = build_dir
        self.earlier_dir = earlier_dir  # an earlier build of ours, measured as kind "earlier"
        self.programs_dir = programs_dir  # floor.exe, noop.exe
        self.peer_installer = peer_installer
        self.display = display
        self.keyboard = keyboard

    # Sessions ----------------------------------------------------------------------------------

    @contextlib.contextmanager
    def session(self, name, images=0, keys=0, peer=False, build_dir=None, **install_options):
        """A fresh prefix with the product installed (and the extra images and keys)."""
        try:
            # The session ends every process it knows by pid, kills the prefix's wineserver and
            # removes the prefix copy.
            with Session(build_dir or self.build_dir, f"bench-{name}", display=self.display.name) as session:
                if peer:
                    self.install_peer(session)
                else:
                    session.install(**install_options)
                images_folder = os.path.join(session.install_folder(), vocabulary.IMAGES_FOLDER)
                for number in range(images):
                    with open(os.path.join(images_folder, f"picture{number:05}.gif"), "wb") as image:
                        image.write(b"GIF89a")
                if keys:
                    session.prefix.import_reg(key_tree_text(keys))
                    if not session.prefix.wait_server():
                        raise RuntimeError("the wineserver did not exit after the key import")
                yield session
        finally:
            procs.reap_leftovers(keep={self.display.process.pid})

    def install_peer(self, session):
        """Runs the NSIS installer silently into the installation folder install_product.py uses,
        then adds the two neighbour keys the checks expect to stay."""
        state = install_product.installed_state(session.prefix)
        install_dir = vocabulary.DEFAULT_INSTALL_DIR
        # /D= must come last and unquoted, spaces and all.
        session.prefix.run([self.peer_installer, "/S", "/D=" + install_dir], timeout=120)
        session.prefix.import_reg(NEIGHBOURS_REG)
        if not session.prefix.wait_server():
            raise RuntimeError("the wineserver did not exit after the peer's installation")
        session.state = dict(state, install_dir=install_dir)
        if not os.path.exists(os.path.join(session.install_folder(), vocabulary.UNINSTALLER)):
            raise RuntimeError("the NSIS installer wrote no uninstall.exe")

    def protected(self, session):
        return lambda: {self.display.process.pid} | {process.pid for process in session.processes}

    def warm(self, session):
        """A copy of the product's stand-in, started from elsewhere, keeps the prefix as warm as the
        confirmation box does for the uninstallers: wineserver, services and desktop running."""
        warm_dir = session.prefix.to_unix("C:\\warm")
        os.makedirs(warm_dir, exist_ok=True)
        shutil.copy(session.tool(vocabulary.PRODUCT_EXE), warm_dir)
        marker = os.path.join(warm_dir, "marker.txt")
        warm = session.prefix.start(["C:\\warm\\" + vocabulary.PRODUCT_EXE, "--marker", "C:\\warm\\marker.txt"])
        session.processes.append(warm)
        if not session.wait_until(lambda: os.path.exists(marker) and "started" in open(marker).read(), RUN_TIMEOUT):
            raise RuntimeError("the warm-up program did not start")
        time.sleep(SETTLE)
        return warm

    # The uninstallers --------------------------------------------------------------------------

    def uninstall(self, name, kind="ours", images=0, keys=0, trace=False):
        """The user starts the installed uninstall.exe and confirms; timed from the press of Return."""
        record = UninstallRun(kind, images, keys)
        build_dir = self.earlier_dir if kind == "earlier" else None
        with self.session(name, images, keys, peer=kind == "peer", build_dir=build_dir) as session:
            temp = session.temp_folder()
            before = temp_entries(temp)
            first = session.start_uninstaller(debug=TRACE_FILE_CALLS if trace else "-all")
            # The peer asks from its temporary copy, ours from the first process.
            box = session.watcher.wait_for_box(RUN_TIMEOUT, while_running=None if kind == "peer" else first)
            if box is None:
                raise RuntimeError("no confirmation box")
            time.sleep(SETTLE)
            procs.focus(session, box.window_id)
            installed = os.path.join(session.install_folder(), vocabulary.UNINSTALLER)
            marks = {}
            server = procs.server_pid(session.prefix.path)
            new = set()
            with procs.adopting():
                watch = procs.ProcessWatch(self.protected(session))
                # The peer's copy asks, so it runs already, a child of nobody here.
                for pid in procs.prefix_processes(session.prefix.path, "_?="):
                    watch.track(pid, time.monotonic())
                server_before, first_before = procs.cpu_so_far(server), procs.cpu_so_far(first.pid)
                start = self.keyboard.press_return()
                first_cpu = None
                deadline = start + run_timeout(images)
                while True:
                    now = time.monotonic()
                    watch.poll(now)
                    if "first exited" not in marks:
                        ended, first_cpu = procs.wait_direct_child(first)
                        if ended:
                            marks["first exited"] = now
                    if "installed uninstall.exe gone" not in marks and not os.path.exists(installed):
                        marks["installed uninstall.exe gone"] = now
                    second = watch.role("second")
                    if second and "second started" not in marks:
                        marks["second started"] = second[0].seen
                    if second and second[0].ended and "second exited" not in marks:
                        marks["second exited"] = second[0].ended
                    script = watch.role("script")
                    if script and "script started" not in marks:
                        marks["script started"] = script[0].seen
                    if script and script[0].ended and "script exited" not in marks:
                        marks["script exited"] = script[0].ended
                    was_new, new = new, temp_entries(temp) - before
                    if was_new and not new:
                        marks["temp clean"] = now
                    elif new:
                        marks.pop("temp clean", None)
                    if "first exited" in marks and watch.all_ended() and (second or now > start + RUN_TIMEOUT / 2):
                        marks["all ended"] = now
                        break
                    if now > deadline:
                        break
                    time.sleep(POLL)
                server_cpu = procs.difference(procs.cpu_so_far(server), server_before)
            record.marks = {key: value - start for key, value in marks.items()}
            record.temp_after_run = sorted(new)
            record.cpu = {role: sum(process.cpu or 0 for process in watch.role(role))
                          for role in ("second", "script", "conhost", "other")}
            # The peer's first process may have exited before Return: then nothing of it is in the run.
            record.cpu["first"] = procs.difference(first_cpu, first_before) if first_before is not None else 0.0
            record.cpu["server"] = server_cpu
            if None not in record.cpu.values() and "all ended" in marks:
                record.cpu_total = sum(record.cpu.values())
            if "all ended" in marks:
                record.clean = self.verify(session, record)
            else:
                record.clean = "timed out"
            record.temp_after_session = sorted(temp_entries(temp) - before)
            if trace:
                record.attempts = deletion_attempts(session)
        return record

    def verify(self, session, record=None):
        """"yes" when everything of the product is gone, else what is left. Ends the Wine session
        (wineserver -w, or -k when processes stay), and says so in the record."""
        ended = session.wait_for_end(RUN_TIMEOUT)
        if not ended:
            session.prefix.kill_server()
        if record is not None:
            record.session_ended = "by itself (wineserver -w)" if ended else "killed (wineserver -k)"
        left = [] if ended else ["processes"]
        left += [path for path in (session.install_folder(), session.vendor_folder(),
                                   session.shortcut("startup"), session.shortcut("programs")) if os.path.lexists(path)]
        registry = session.registry()
        left += [key for key in [UNINSTALL_ENTRY, APP_PATHS_ENTRY] + VENDOR_KEYS if registry.exists(key)]
        left += [f"{key} removed" for key in NEIGHBOUR_ENTRIES if not registry.exists(key)]
        return "yes" if not left else "left: " + ", ".join(left)

    # Programs started from Linux ---------------------------------------------------------------

    def timed_program(self, session, record, args, expect_removal):
        """Runs `wine args` in the warm prefix, from its start to the exit of its last process."""
        warm = self.warm(session)
        server = procs.server_pid(session.prefix.path)
        output_path = os.path.join(session.work_dir, f"{record.kind.replace(' ', '-')}.out")
        with procs.adopting():
            watch = procs.ProcessWatch(self.protected(session))
            server_before = procs.cpu_so_far(server)
            start = time.monotonic()
            runner = session.prefix.start(args, log_path=output_path)
            session.processes.append(runner)
            end = runner_end = cpu = None
            deadline = start + run_timeout(record.images)
            while time.monotonic() < deadline:
                now = time.monotonic()
                watch.poll(now)
                if runner_end is None:
                    ended, cpu = procs.wait_direct_child(runner)
                    runner_end = now if ended else None
                # wine's launcher may start the program as a process of its own and wait for it;
                # the later of the ends counts.
                if runner_end is not None and watch.all_ended():
                    end = max([runner_end] + [process.ended for process in watch.known.values()])
                    break
                time.sleep(POLL)
            server_cpu = procs.difference(procs.cpu_so_far(server), server_before)
        warm.kill()
        warm.wait(30)
        record.end = end - start if end else None
        if end and cpu is not None and server_cpu is not None:
            record.cpu_total = cpu + sum(process.cpu or 0 for process in watch.known.values()) + server_cpu
        if end is None:
            record.clean = "timed out"
        elif expect_removal:
            record.clean = self.verify(session)
        else:
            record.clean = "yes"
        with open(output_path, errors="replace") as output:
            return output.read()

    def baseline(self, name, images=0, keys=0):
        """The same removals with Wine's cmd.exe (del, rmdir /s /q) and reg.exe (reg delete /f), in one
        script started from Linux."""
        record = ProgramRun("baseline", images, keys)
        with self.session(name, images, keys) as session:
            script = os.path.join(session.work_dir, "baseline.bat")
            state = session.state
            lines = ["@echo off"]
            for place in ("startup", "programs"):
                lines.append(f'del /q "{state[place]}\\{vocabulary.SHORTCUT}"')
            lines.append(f'rmdir /s /q "{state["install_dir"].rpartition(chr(92))[0]}"')
            for key in [UNINSTALL_ENTRY, APP_PATHS_ENTRY] + VENDOR_KEYS:
                lines.append(f'reg delete "{key}" /f')
            with open(script, "w", newline="\r\n") as out:
                out.write("\n".join(lines) + "\n")
            self.timed_program(session, record, ["cmd", "/c", wine_prefix.unix_to_windows(script)], True)
        return record

    def noop(self, name):
        """A program that only starts and exits: the cost of one process start."""
        record = ProgramRun("noop")
        with self.session(name) as session:
            self.timed_program(session, record, [os.path.join(self.programs_dir, "noop.exe")], False)
        return record

    def floor(self, name, images=0, listed=False):
        """floor.exe lists the images folder and deletes its files, nothing else."""
        record = ProgramRun("floor listed" if listed else "floor", images)
        with self.session(name, images) as session:
            folder = session.state["install_dir"] + "\\" + vocabulary.IMAGES_FOLDER
            args = [os.path.join(self.programs_dir, "floor.exe")] + (["/listed"] if listed else []) + [folder]
            output = self.timed_program(session, record, args, False)
            loop = re.search(r"(\d+) us", output)
            deleted = re.search(r"(\d+) deleted", output)
            record.loop = int(loop.group(1)) / 1e6 if loop else None
            record.deleted = int(deleted.group(1)) if deleted else None
            expected = images + len(install_product.IMAGES)
            if record.deleted != expected or os.path.exists(session.prefix.to_unix(folder)):
                record.clean = f"deleted {record.deleted} of {expected}"
        return record

    # Ours only: the cleanup script's cost while the copy is held ---------------------------------

    def held_script(self, hold_seconds):
        """The cleanup script while another program holds the temporary copy: its processor time and
        the wineserver's over the hold. The box about a missing "InstallPath" keeps the second
        process waiting while the hold is set up (the copy is written by the first process)."""
        result = HeldScript()
        with self.session("held", with_install_path=False) as session:
            first = session.start_uninstaller()
            box = session.watcher.wait_for_box(RUN_TIMEOUT, while_running=first)
            if box is None:
                raise RuntimeError("no confirmation box")
            procs.focus(session, box.window_id)
            # From the first press on: only the descendants of this process are adopted, and the
            # script is started by the second process, which the first one starts.
            with procs.adopting():
                watch = procs.ProcessWatch(self.protected(session))
                self.keyboard.press_return()
                first.wait(RUN_TIMEOUT)
                box = session.watcher.wait_for_box(RUN_TIMEOUT)
                if box is None:
                    raise RuntimeError("no box about the missing installation folder")
                holder = session.hold(session.state["temp"].rstrip("\\") + "\\" + vocabulary.UNINSTALLER)
                time.sleep(SETTLE)
                procs.focus(session, box.window_id)
                watch.poll(time.monotonic())
                server = procs.server_pid(session.prefix.path)
                self.keyboard.press_return()
                deadline = time.monotonic() + RUN_TIMEOUT
                released = server_before = None
                while time.monotonic() < deadline:
                    now = time.monotonic()
                    watch.poll(now)
                    script = watch.role("script")
                    if script and server_before is None:
                        server_before = procs.cpu_so_far(server)
                    if script and released is None and now >= script[0].seen + hold_seconds:
                        result.server_cpu = procs.difference(procs.cpu_so_far(server), server_before)
                        released = time.monotonic()
                        holder.release()
                    if script and script[0].ended is not None:
                        break
                    time.sleep(POLL)
                if released is None:
                    holder.release()
                script = watch.role("script")
                if script and script[0].ended is not None:
                    result.script_life = script[0].ended - script[0].seen
                    result.script_cpu = script[0].cpu
                    result.held = released - script[0].seen if released else None
        return result


def key_tree_text(count):
    """REGEDIT4 text of `count` keys below the per-user product key, ten children a key, filled level
    by level (the same tree as the simulated benchmark's), each key with one value."""
    lines = ["REGEDIT4", ""]
    level = ["HKEY_CURRENT_USER\\" + vocabulary.PRODUCT_KEY]
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
    path = session.state["install_dir"] + "\\" + vocabulary.UNINSTALLER
    return [(call.time, call.pid) for call in session.trace().calls("DeleteFileW", path)]
