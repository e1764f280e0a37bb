#!/usr/bin/env python3
"""The demo: VORSK Tandrel 98 is installed into a fresh Wine prefix and started, the real
uninstall.exe is run as a user would run it, and what was on the machine before is printed beside
what is left after: registry keys, files, shortcuts and the temporary folder.

By default everything happens on a virtual display: the demo answers the confirmation itself (OK)
and saves a picture of the box. With --interactive the programs appear on your own display ($DISPLAY)
and you answer the boxes yourself. Called by scripts/demo.sh, which installs and builds first and
sets PYTHONPATH=tools for the Wine harness."""

import argparse
import os
import sys
import threading
import time

from wineharness.display import screenshot
from wineharness.prefix import use_wine64
from wineharness.session import Session
from wineharness.vocabulary import PRODUCT_EXE, UNINSTALLER

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LEFT = 76
RIGHT = 48
MANAGED_WINDOWS_REG = """REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]
"Managed"="Y"
"""


def windows_path(session, host_path):
    drive_c = os.path.join(session.prefix.path, "drive_c")
    relative = os.path.relpath(host_path.rstrip("/"), drive_c)
    return "C:\\" + relative.replace("/", "\\") + ("\\" if host_path.endswith("/") else "")


def snapshot(session):
    """{section: set of lines} of what the product has on the machine."""
    keys = set(session.product_registry())
    sections = {"Registry keys (the product's, and two neighbours that must stay)": keys}
    for title, folder in session.watched_folders().items():
        entries = set()
        if os.path.isdir(folder):
            entries.add("(folder exists)")
            for root, dirs, names in os.walk(folder):
                for name in dirs:
                    entries.add(os.path.relpath(os.path.join(root, name), folder).replace("/", "\\") + "\\")
                for name in names:
                    entries.add(os.path.relpath(os.path.join(root, name), folder).replace("/", "\\"))
                if title != "installation folder":
                    dirs[:] = []  # deeper down: under the installation folder, or the system's
        sections[f"{title}  {windows_path(session, folder)}"] = entries
    return sections


def cut(text, width):
    return text if len(text) <= width else "..." + text[-(width - 3):]


def print_side_by_side(before, after):
    print(f"\n{'BEFORE: installed, product running':<{LEFT}}  AFTER: uninstall.exe has run")
    print(f"{'=' * LEFT}  {'=' * RIGHT}")
    for section in before:
        print(f"\n{section}")
        print(f"{'-' * LEFT}  {'-' * RIGHT}")
        old, new = before[section], after.get(section, set())
        lines = sorted(old | new, key=lambda line: (not line.startswith("("), line.lower()))
        if not lines:
            print(f"{'(nothing)':<{LEFT}}  (nothing)")
        for line in lines:
            left = cut(line, LEFT) if line in old else ""
            right = ("still there" if line in old else cut(line, RIGHT)) if line in new else "(gone)"
            print(f"{left:<{LEFT}}  {right}")


class TempWatch:
    """Lists the temporary folder every 5 ms in a thread of its own while the run goes on: when each
    file that was not there before appeared and when it went."""

    def __init__(self, folder):
        self.folder = folder
        self.before = set(self.listing())
        self.start = time.monotonic()
        self.seen = {}  # name -> [appeared, gone or None], seconds from the start
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def listing(self):
        try:
            return os.listdir(self.folder)
        except FileNotFoundError:
            return []

    def run(self):
        while not self.stop.is_set():
            self.look()
            time.sleep(0.005)

    def look(self):
        now = time.monotonic() - self.start
        names = set(self.listing()) - self.before
        for name in names:
            if name not in self.seen or self.seen[name][1] is not None:
                self.seen[name] = [now, None]
        for name, times in self.seen.items():
            if name not in names and times[1] is None:
                times[1] = now

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()
        self.look()


def print_temp_story(watch, temp_windows, answered):
    """The files the run made in the temporary folder, when they came and went."""
    print(f"\nTemporary folder {temp_windows} during the run (ms after OK was pressed)")
    print(f"{'-' * LEFT}  {'-' * RIGHT}")
    if not watch.seen:
        print("(the run created nothing there)")
    roles = {UNINSTALLER: "the temporary copy, which did the work"}
    for name, (appeared, gone) in sorted(watch.seen.items(), key=lambda item: item[1][0]):
        role = roles.get(name.lower(), "the cleanup script" if name.lower().startswith("delme") else "")
        left = f"{name}  created at {(appeared - answered) * 1000:+.0f} ms" + (f"  ({role})" if role else "")
        if gone is not None:
            right = f"gone at {(gone - answered) * 1000:+.0f} ms"
        elif name.lower() == UNINSTALLER:
            right = "STILL THERE: the cleanup script could not delete it (held open by another program?)"
        elif name.lower().startswith("delme"):
            right = "STILL THERE: the script did not get to delete itself"
        else:
            right = "STILL THERE"
        print(f"{left:<{LEFT}}  {right}")


def how_it_runs(wine64):
    """One line on which program the demo runs, and how; exits where the 32-bit one cannot start."""
    if wine64:
        return "uninstall.exe: the 64-bit build of the same sources, under wine64"
    how = os.environ.get("TANDREL_I386", "native")
    if how == "native":
        return "uninstall.exe: the real 32-bit program (PE32), run natively by the 32-bit Wine"
    if how == "emulated":
        return ("uninstall.exe: the real 32-bit program (PE32), run by the 32-bit Wine under user-mode emulation"
                "\n(qemu-i386: this kernel runs no 32-bit programs). Emulated, everything takes several times"
                " longer than natively;\nscripts/demo.sh --wine64 shows a 64-bit build at native speed.")
    sys.exit(f"demo: the 32-bit Wine cannot start here ({how});\nscripts/demo.sh --wine64 shows a 64-bit build"
             " of the same sources under wine64")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--interactive", action="store_true", help="use $DISPLAY and let the user answer")
    parser.add_argument("--screenshot", default=os.path.join(ROOT, "docs", "confirmation.png"),
                        help="where to save the picture of the confirmation box (virtual display only)")
    parser.add_argument("--keep", action="store_true", help="keep the demo's prefix (its path is printed)")
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "win32"))
    parser.add_argument("--wine64", action="store_true",
                        help="a 64-bit build under wine64 (build/win64), for a kernel without 32-bit emulation")
    args = parser.parse_args()
    if args.wine64:
        if args.build_dir == parser.get_default("build_dir"):
            args.build_dir = os.path.join(ROOT, "build", "win64")
        use_wine64()
    if args.interactive and not os.environ.get("DISPLAY"):
        parser.error("--interactive needs an X display in $DISPLAY")
    print(how_it_runs(args.wine64))

    started = time.monotonic()
    display = os.environ["DISPLAY"] if args.interactive else None
    with Session(args.build_dir, "demo", keep=args.keep, display=display) as session:
        if args.interactive:
            session.prefix.import_reg(MANAGED_WINDOWS_REG)  # your window manager frames the windows
        state = session.install()
        before = snapshot(session)
        session.start_product()
        print(f"{PRODUCT_EXE} (the product's stand-in) is running; starting", state["install_dir"] + "\\" + UNINSTALLER)

        temp = TempWatch(session.temp_folder())
        with temp:
            uninstaller = session.start_uninstaller()
            if args.interactive:
                print("Answer the message box on your display.")
                uninstaller.wait(600)
                answered = temp.start  # the moment of the click is not known: times from the start
            else:
                box = session.watcher.wait_for_box(60, while_running=uninstaller)
                if box is None:
                    sys.exit("demo: no confirmation box appeared")
                print(f"Message box: \"{box.text}\" [{box.buttons}]; pressing Return (OK)")
                if args.screenshot:
                    os.makedirs(os.path.dirname(os.path.abspath(args.screenshot)), exist_ok=True)
                    screenshot(session.prefix.display, args.screenshot, window_id=box.window_id)
                    print(f"Picture of the box: {args.screenshot}")
                answered = time.monotonic()
                session.watcher.answer(box, "Return")
                uninstaller.wait(60)
            print(f"uninstall.exe (first process) exited with status {uninstaller.returncode}")
            ended = session.wait_for_end(timeout=600 if args.interactive else 60,
                                         answer=None if args.interactive else "Return")
        if not ended:
            print("demo: processes of the prefix were still running; ending them")
        after = snapshot(session)
        print_side_by_side(before, after)
        print_temp_story(temp, session.state["temp"], answered - temp.start)
        print(f"\nProduct's events: {', '.join(session.marker_events())}")
        if os.path.exists(os.path.join(session.install_folder(), PRODUCT_EXE)):
            print(f"{PRODUCT_EXE} stayed: the product was still closing when the uninstaller came to delete it"
                  " (the uninstaller gives it one try).\nUnder Wine with managed windows and no window manager,"
                  " closing a window takes two seconds.")
        if session.watcher.seen:
            print("Message boxes:", "; ".join(f"\"{box.text}\"" for box in session.watcher.seen))
    print(f"\nDemo finished in {time.monotonic() - started:.1f} s.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
