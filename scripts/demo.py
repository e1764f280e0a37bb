#!/usr/bin/env python3
"""The demo: VORSK Tandrel 98 is installed into a fresh Wine prefix and started, the real
uninstall.exe is run as a user would run it, and what was on the machine before is printed beside
what is left after: registry keys, files, shortcuts and the temporary folder.

By default everything happens on a virtual display: the demo answers the confirmation itself (OK)
and saves a picture of the box. With --interactive the programs appear on your own display ($DISPLAY)
and you answer the boxes yourself. Called by scripts/demo.sh, which installs and builds first."""

import argparse
import os
import shutil
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "wine"))

from harness.display import screenshot  # noqa: E402
from harness.session import Session  # noqa: E402

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


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--interactive", action="store_true", help="use $DISPLAY and let the user answer")
    parser.add_argument("--screenshot", default=os.path.join(ROOT, "docs", "confirmation.png"),
                        help="where to save the picture of the confirmation box (virtual display only)")
    parser.add_argument("--keep", action="store_true", help="keep the demo's prefix (its path is printed)")
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build", "win32"))
    args = parser.parse_args()
    if args.interactive and not os.environ.get("DISPLAY"):
        parser.error("--interactive needs an X display in $DISPLAY")

    started = time.monotonic()
    display = os.environ["DISPLAY"] if args.interactive else None
    with Session(args.build_dir, "demo", keep=args.keep, display=display) as session:
        if args.interactive:
            session.prefix.import_reg(MANAGED_WINDOWS_REG)  # your window manager frames the windows
        state = session.install()
        before = snapshot(session)
        session.start_product()
        print("Tandrel.exe (the product's stand-in) is running; starting", state["install_dir"] + "\\uninstall.exe")

        uninstaller = session.start_uninstaller()
        if args.interactive:
            print("Answer the message box on your display.")
            uninstaller.wait(600)
        else:
            box = session.watcher.wait_for_box(60, while_running=uninstaller)
            if box is None:
                sys.exit("demo: no confirmation box appeared")
            print(f"Message box: \"{box.text}\" [{box.buttons}]; pressing Return (OK)")
            if args.screenshot:
                os.makedirs(os.path.dirname(os.path.abspath(args.screenshot)), exist_ok=True)
                screenshot(session.prefix.display, args.screenshot, window_id=box.window_id)
                print(f"Picture of the box: {args.screenshot}")
            session.watcher.answer(box, "Return")
            uninstaller.wait(60)
        print(f"uninstall.exe (first process) exited with status {uninstaller.returncode}")
        ended = session.wait_for_end(timeout=600 if args.interactive else 60,
                                     answer=None if args.interactive else "Return")
        if not ended:
            print("demo: processes of the prefix were still running; ending them")
        after = snapshot(session)
        print_side_by_side(before, after)
        print(f"\nProduct's events: {', '.join(session.marker_events())}")
        if os.path.exists(os.path.join(session.install_folder(), "Tandrel.exe")):
            print("Tandrel.exe stayed: the product was still closing when the uninstaller came to delete it"
                  " (the uninstaller gives it one try).\nUnder Wine with managed windows and no window manager,"
                  " closing a window takes two seconds.")
        if session.watcher.seen:
            print("Message boxes:", "; ".join(f"\"{box.text}\"" for box in session.watcher.seen))
    print(f"\nDemo finished in {time.monotonic() - started:.1f} s.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
