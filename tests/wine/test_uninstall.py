#!/usr/bin/env python3
"""End-to-end tests of the real uninstall.exe under Wine: the product is installed into a fresh
prefix, the uninstaller is started as a user would start it, its message boxes are answered on a
virtual display, and what is left on the machine is checked once every process has ended.

Usage: test_uninstall.py --build-dir build/win32 [--keep] SCENARIO   (--list names the scenarios,
--list --arch win64 those a win64 build runs: CMake makes one test of each)"""

import argparse
import os
import re
import signal
import subprocess
import sys
import threading
import time
import traceback

# The Wine harness lives in tools/, shared with the benchmark and the demo; CMake runs this file
# (--list) with no PYTHONPATH of its own.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from wineharness import install_product
from wineharness import prefix as wine_prefix
from wineharness.regfile import Value
from wineharness.session import (APP_PATHS_ENTRY, NEIGHBOUR_ENTRIES, PRODUCT_KEYS, UNINSTALL_ENTRY, VENDOR_KEYS,
                                 Session)
from wineharness.vocabulary import (CONFIRMATION, COPY_FAILED, DEFAULT_INSTALL_DIR, FILES_STAY, HAND_OVER_EVENT,
                                    IMAGES_FOLDER, LICENCE, NO_INSTALL_PATH, ORDER_FORM, PRODUCT_EXE, START_REFUSED,
                                    STILL_RUNNING, UNINSTALLER, VENDOR_KEY)
from wineharness.winetrace import TRACE_FILE_CALLS

NEIGHBOUR_KEYS = NEIGHBOUR_ENTRIES + [install_product.SHELL_FOLDERS]
PROCESS_TIMEOUT = 60
SKIPPED = 77  # the exit status CTest is told means "skipped"

SCENARIOS = {}
# Scenarios that only the build of one arch runs, by name. SysWOW64 is there only in a 64-bit prefix;
# in a 32-bit one a folder of that name is a plain folder.
ONLY_IN = {"install_path_is_syswow64": "win64"}


def scenario(function):
    SCENARIOS[function.__name__] = function
    return function


def scenario_cases(**cases):
    """One scenario per case, each running the function with the case's keyword arguments."""
    def register(function):
        for name, arguments in cases.items():
            SCENARIOS[name] = lambda session, check, arguments=arguments: function(session, check, **arguments)
        return function
    return register


class Checks:
    """Collects failed expectations, so that one run reports all it found."""

    def __init__(self):
        self.failures = []

    def that(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def equal(self, actual, expected, what):
        return self.that(actual == expected, f"{what}: expected {expected!r}, found {actual!r}")

    def unchanged(self, after, before, what):
        """Compares two snapshots {name: data}, naming only the entries that differ."""
        differ = sorted(name for name in set(before) | set(after)
                        if name not in before or name not in after or before[name] != after[name])
        return self.that(not differ, f"{what} added, removed or changed: {differ}")


# Steps shared by the scenarios -----------------------------------------------------------------

def answer_confirmation(session, check, uninstaller, key):
    box = session.watcher.wait_for_box(PROCESS_TIMEOUT, while_running=uninstaller)
    if not check.that(box is not None, "no confirmation box appeared"):
        return
    check.equal(box.text, CONFIRMATION, "confirmation text")
    check.equal(box.buttons, "OK+Cancel", "confirmation buttons")
    check.equal(box.icon, "question", "confirmation icon")
    session.watcher.answer(box, key)


def answer_box(session, check, text, icon, while_running=None):
    """Waits for a box saying `text` with an OK button and `icon` ("" for none), and answers OK."""
    box = session.watcher.wait_for_box(PROCESS_TIMEOUT, while_running=while_running)
    if check.that(box is not None, f"no box saying {text!r}"):
        check.equal((box.text, box.buttons, box.icon), (text, "OK", icon), "the box (text, buttons, icon)")
        session.watcher.answer(box, "Return")


def expect_exit_status(check, process, expected, who="the uninstaller the user started"):
    try:
        status = process.wait(PROCESS_TIMEOUT)
    except subprocess.TimeoutExpired:
        status = "still running"
    # Wine hands a Unix parent only the low 8 bits of the code (1618 arrives as 82, 1603 as 67),
    # which still tell apart every code the uninstaller has.
    what = f"exit status of {who}" + (f" (the low 8 bits of {expected})" if expected > 255 else "")
    check.equal(status, expected % 256, what)


def expect_exit_status_1(check, uninstaller):
    expect_exit_status(check, uninstaller, 1)


def start_confirmed(session, check, arguments=(), status=0):
    """Starts the installed uninstaller with `arguments`, and the user confirms. Unattended (/S, in
    any case) nobody is asked: no box may show while the first process runs, and it ends with
    `status`; a 0 must mean that everything of the product but the installed uninstaller is gone
    by then. Returns the process and the number of boxes the user has seen."""
    uninstaller = session.start_uninstaller(arguments=arguments)
    if "/S" not in [argument.upper() for argument in arguments]:
        answer_confirmation(session, check, uninstaller, "Return")
        return uninstaller, 1
    box = session.watcher.wait_for_box(PROCESS_TIMEOUT, while_running=uninstaller)
    if not check.that(box is None, f"a box in an unattended run: {box}"):
        session.watcher.answer(box, "Return")
    expect_exit_status(check, uninstaller, status)
    if status == 0:
        check.that(set(folder_contents(session.install_folder()) or []) <= {UNINSTALLER},
                   f"at exit status 0 the installation folder holds {folder_contents(session.install_folder())}")
        expect_shortcuts_removed(session, check)
    return uninstaller, 0


def expect_all_ended(session, check):
    check.that(session.wait_for_end(PROCESS_TIMEOUT),
               f"processes of the prefix still running {PROCESS_TIMEOUT} s after the uninstaller was answered")


def expect_temp_clean(session, check, leftovers=()):
    """No copy of the uninstaller and no cleanup script of this run left in the temporary folder."""
    temp = session.temp_folder()
    check.that(os.path.isdir(temp), "the temporary folder is gone")
    names = sorted(os.listdir(temp)) if os.path.isdir(temp) else []
    check.that(UNINSTALLER not in names, "uninstall.exe left in the temporary folder")
    scripts = sorted(name for name in names if re.fullmatch(r"delme\d+\.bat", name))
    check.equal(scripts, sorted(leftovers), "delme*.bat in the temporary folder")


def expect_registry_removed(session, check, keep_vendor=False):
    registry = session.registry()
    for path in [UNINSTALL_ENTRY, APP_PATHS_ENTRY] + PRODUCT_KEYS + ([] if keep_vendor else VENDOR_KEYS):
        check.that(not registry.exists(path), f"registry key left: {path}")
    for path in NEIGHBOUR_KEYS:
        check.that(registry.exists(path), f"registry key of somebody else removed: {path}")
    return registry


def expect_shortcuts_removed(session, check):
    for place in ("startup", "programs"):
        shortcut = session.shortcut(place)
        check.that(not os.path.lexists(shortcut), f"shortcut left: {shortcut}")
        check.that(os.path.isdir(os.path.dirname(shortcut)), f"the {place} folder itself is gone")


def expect_no_more_boxes(session, check, count):
    check.equal(len(session.watcher.seen), count, f"number of message boxes ({session.watcher.seen})")


def uninstall_confirmed(session, check, arguments=()):
    """The user starts the uninstaller and confirms; every process ends, with no box but that one
    (none at all when unattended, and exit status 0)."""
    uninstaller, boxes = start_confirmed(session, check, arguments)
    if boxes:
        expect_exit_status_1(check, uninstaller)
    expect_all_ended(session, check)
    expect_no_more_boxes(session, check, boxes)


def expect_product_removed(session, check):
    expect_registry_removed(session, check)
    expect_shortcuts_removed(session, check)
    check.that(not os.path.exists(session.install_folder()), "the installation folder is left")
    check.that(not os.path.exists(session.vendor_folder()), "the vendor folder is left")
    expect_temp_clean(session, check)


def files_below(session, folder):
    return {path: info for path, info in session.files().items() if path.startswith(folder + "/")}


def folder_contents(folder):
    """Paths below a folder, relative to it, folders with a trailing slash; None if it is absent."""
    if not os.path.isdir(folder):
        return None
    found = []
    for root, dirs, files in os.walk(folder):
        found += [os.path.relpath(os.path.join(root, name), folder) + "/" for name in dirs]
        found += [os.path.relpath(os.path.join(root, name), folder) for name in files]
    return sorted(found)


# Scenarios -------------------------------------------------------------------------------------

# The slow product saves for longer than the 2.5 s that the deletion of its files is retried: only
# the wait for its window removes it whole.
@scenario_cases(complete_uninstall={"close_delays": [None]},
                product_closes_slowly={"close_delays": [6000]},
                product_closes_slowly_unattended={"close_delays": [2000], "arguments": ["/S"]},
                two_products_running={"close_delays": [None, None]},
                unattended_uninstall={"close_delays": [None], "arguments": ["/S"]})
def complete_uninstall(session, check, close_delays, arguments=()):
    """The product is running (also twice, or saving its work for seconds after WM_CLOSE); the user
    confirms, or an administrator's tool starts the uninstaller unattended (/S: no box at all, exit
    status 0 once everything but the installed uninstaller is gone). Every instance is asked to close once and waited for, everything of the
    product goes, the vendor's key and folder too, and the temporary folder is left clean."""
    session.install()
    products = [session.start_product(close_delay_ms=delay) for delay in close_delays]
    uninstall_confirmed(session, check, arguments)

    check.equal(sorted(session.marker_events()), sorted(["started", "WM_CLOSE", "exiting"] * len(products)),
                "the product's events")
    check.equal([product.poll() for product in products], [0] * len(products),
                "exit status of each instance (closed by WM_CLOSE)")
    expect_product_removed(session, check)
    check.that(os.path.isdir(os.path.dirname(session.vendor_folder())), "the folder above the vendor's is gone")


@scenario
def cancel(session, check):
    """The user cancels the confirmation: nothing changes at all, the product is not asked to close,
    and nothing is handed over to a temporary copy."""
    session.install()
    registry_before = session.product_registry()
    files_before = session.files()
    product = session.start_product()
    uninstaller = session.start_uninstaller()
    answer_confirmation(session, check, uninstaller, "Escape")
    expect_exit_status_1(check, uninstaller)
    # A WM_CLOSE posted by mistake would arrive at once; give it a moment to show.
    session.wait_until(lambda: len(session.marker_events()) > 1, timeout=2)
    check.equal(session.marker_events(), ["started"], "the product's events")
    check.that(product.poll() is None, "the product is no longer running")
    product.kill()
    product.wait(30)
    expect_all_ended(session, check)

    expect_no_more_boxes(session, check, 1)
    registry_after = session.product_registry()
    check.equal(registry_after, registry_before, "registry under the product's paths")
    files_after = session.files()
    check.equal(sorted(set(files_after) ^ set(files_before)), [], "files added or removed")
    changed = sorted(path for path in files_before if path in files_after and files_after[path] != files_before[path])
    check.equal(changed, [], "files changed")


WITHOUT_PROGRAMS = (LICENCE, ORDER_FORM, IMAGES_FOLDER + "\\x.gif")
PRODUCT_NAMED_FILES = WITHOUT_PROGRAMS + (PRODUCT_EXE, UNINSTALLER)


# `others_in`: the folder with somebody else's files of the product's names; `link_to`: the folder
# that "InstallPath" is made a (Unix) symbolic link to; `{drive_c}`: drive C:'s folder on Wine's Z:.
@scenario_cases(missing_install_path={"with_install_path": False},
                missing_install_path_unattended={"with_install_path": False, "arguments": ["/s"], "status": 1603},
                install_path_empty={"install_path": ""},
                install_path_is_root={"install_path": "C:\\"},
                install_path_without_programs={"install_path": "C:\\users\\Public\\Documents",
                                               "others_in": "C:\\users\\Public\\Documents",
                                               "others": WITHOUT_PROGRAMS},
                install_path_windows_by_other_name={"install_path": "{drive_c}\\windows",
                                                    "others_in": "C:\\windows"},
                install_path_links_to_root={"install_path": "C:\\Apps\\Tandrel", "link_to": "C:\\"},
                install_path_is_syswow64={"install_path": "C:\\windows\\syswow64",
                                          "others_in": "C:\\windows\\syswow64"},
                install_path_lossy_in_ansi={"install_path": "C:\\Apps\\T\u0142ndrel",
                                            "others_in": "C:\\Apps\\Tlndrel"},
                install_path_expands_lossy={"install_path": "%TANDREL_HOME%", "install_path_type": "REG_EXPAND_SZ",
                                            "environment": {"TANDREL_HOME": "C:\\Apps\\T\u0142ndrel"},
                                            "others_in": "C:\\Apps\\Tlndrel"},
                install_path_is_temp_folder={"install_path": "C:\\Temp\\Shared", "temp_folder": "C:\\Temp\\Shared",
                                             "others_in": "C:\\Temp\\Shared", "others": WITHOUT_PROGRAMS},
                install_path_other_products={"install_path": "C:\\Program Files\\Other Product",
                                             "others_in": "C:\\Program Files\\Other Product",
                                             "others": ("la.txt", "order.htm", "uninstall.exe", "images\\x.gif")})
def install_path_unusable(session, check, others_in="C:\\", others=PRODUCT_NAMED_FILES, link_to=None, arguments=(),
                          status=0, environment=None, **install):
    """"InstallPath" is missing, empty or names no folder of the product's: C:\\ (a damaged value),
    a folder without the product's programs (the user's Documents), the Windows folder or C:\\ by
    another name (Z:, a link), SysWOW64, the temporary folder (where the running copy is an
    uninstall.exe), another product's folder with an uninstall.exe of its own, or C:\\Apps\\T\u0142ndrel
    (also through a variable), which an ANSI program under code page 1252 reads as C:\\Apps\\Tlndrel.
    The second process says so in a plain box before it
    removes anything, and that is its only box (none when unattended). The shortcuts and the
    registry entries still go, the installation folder stays untouched, and so do the files of the
    product's names in that folder, which are somebody else's; the temporary copy is cleaned up."""
    if "install_path" in install:
        drive_c = wine_prefix.unix_to_windows(session.prefix.to_unix("C:\\"))
        install["install_path"] = install["install_path"].format(drive_c=drive_c)
    session.install(**install)
    if environment:
        session.prefix.import_reg("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Environment]\n" +
                                  "".join(f'"{name}"="{value}"\n'.replace("\\", "\\\\")
                                          for name, value in environment.items()))
    if link_to:
        os.makedirs(os.path.dirname(session.prefix.to_unix(install["install_path"])), exist_ok=True)
        os.symlink(session.prefix.to_unix(link_to), session.prefix.to_unix(install["install_path"]))
    others = [session.prefix.to_unix(others_in + "\\" + name) for name in others]
    for path in others:
        install_product.write_file(path, "somebody else's\r\n")
    folder_before = files_below(session, session.vendor_folder())
    product = session.start_product()
    uninstaller, boxes = start_confirmed(session, check, arguments, status)
    if boxes:
        expect_exit_status_1(check, uninstaller)
        answer_box(session, check, NO_INSTALL_PATH, "")
    expect_all_ended(session, check)

    check.equal(session.marker_events(), ["started", "WM_CLOSE", "exiting"], "the product's events")
    check.equal(product.poll(), 0, "exit status of the product")
    expect_no_more_boxes(session, check, 2 if boxes else 0)
    expect_registry_removed(session, check)
    expect_shortcuts_removed(session, check)
    check.equal(files_below(session, session.vendor_folder()), folder_before,
                "the vendor and installation folders (must be untouched)")
    expect_temp_clean(session, check)
    for path in others:
        check.that(os.path.isfile(path), f"somebody else's file is gone: {path}")


@scenario_cases(install_path_expandable={"install_path": DEFAULT_INSTALL_DIR.replace("C:\\Program Files",
                                                                                     "%ProgramFiles%"),
                                         "install_path_type": "REG_EXPAND_SZ"},
                install_path_with_slashes={"install_path": DEFAULT_INSTALL_DIR.replace("\\", "/")})
def install_path_spelled_otherwise(session, check, **install):
    """"InstallPath" names the installation folder through a variable (a REG_EXPAND_SZ value), or
    with forward slashes: the folder is found all the same, and everything goes."""
    session.install(**install)
    uninstall_confirmed(session, check)
    expect_product_removed(session, check)


@scenario
def foreign_files_and_keys(session, check):
    """A file that is not the product's keeps the installation folder (and the vendor folder), a
    subfolder of "images" keeps "images", and another product's key keeps the vendor key under
    either root; everything of the product itself goes. The product is not running here."""
    session.install(foreign_files=["notes.txt"], foreign_keys=True, images_subfolder=True)
    uninstall_confirmed(session, check)
    registry = expect_registry_removed(session, check, keep_vendor=True)
    foreign = install_product.FOREIGN_KEY
    for root in ("HKCU", "HKLM"):
        vendor = f"{root}\\{VENDOR_KEY}"
        check.equal(registry.children(vendor), [foreign], f"child keys of {vendor}")
        check.equal(registry.value(f"{vendor}\\{foreign}", "Owner"), "someone else", f"{vendor}\\{foreign}")
    check.equal(registry.children(f"HKCU\\{VENDOR_KEY}\\{foreign}"), ["Deeper"],
                "child keys of the other product's per-user key")
    check.equal(registry.value(f"HKCU\\{VENDOR_KEY}", "Customer"), "Tester",
                "value of the per-user vendor key, which stays")
    expect_shortcuts_removed(session, check)
    left = ["images/", "images/thumbs/", "images/thumbs/small.gif", "notes.txt"]
    check.equal(folder_contents(session.install_folder()), left, "installation folder")
    installation = os.path.basename(session.install_folder()) + "/"
    check.equal(folder_contents(session.vendor_folder()), [installation] + [installation + path for path in left],
                "vendor folder")
    expect_temp_clean(session, check)


# Key trees of somebody else's, which a link that the user made among the product's keys leads to.
OTHERS_KEYS = ["HKLM\\Software\\Someone Else", "HKCU\\Software\\Someone Else"]
OTHERS_REG = """REGEDIT4

[HKEY_LOCAL_MACHINE\\Software\\Someone Else]
"Owner"="someone else"

[HKEY_LOCAL_MACHINE\\Software\\Someone Else\\Deep]
"Depth"=dword:00000002

[HKEY_CURRENT_USER\\Software\\Someone Else]
"Owner"="someone else"
"""


# `stays`: the keys above a link, which the link keeps.
@scenario_cases(registry_link_in_product_tree={
                    "links": {PRODUCT_KEYS[0] + "\\Settings\\Link": OTHERS_KEYS[0],
                              PRODUCT_KEYS[0] + "\\Recent Files\\Link": OTHERS_KEYS[1]},
                    "stays": [VENDOR_KEYS[0], PRODUCT_KEYS[0], PRODUCT_KEYS[0] + "\\Settings",
                              PRODUCT_KEYS[0] + "\\Recent Files"]},
                registry_link_as_entries={"links": {APP_PATHS_ENTRY: OTHERS_KEYS[1],
                                                    UNINSTALL_ENTRY: OTHERS_KEYS[0] + "\\Deep"}})
def registry_links(session, check, links, stays=()):
    """Keys of the product's are registry links to key trees of somebody else's: links the user made
    in the product's per-user tree (to a machine-wide tree with a child key, and to a key of his
    own), or the App Paths and Uninstall entries. The uninstall removes nothing through a link: each
    link stays, with the keys above it, and what it leads to stays as it was; everything else of
    the product goes. (Wine, as Windows, opens a link itself only when asked to, and RegDeleteKey
    on a link deletes the key it leads to when that has no child keys.)"""
    session.install()
    session.prefix.import_reg(OTHERS_REG)
    for link, target in links.items():
        session.make_link(link, target)
    check.that(session.prefix.wait_server(), "the wineserver did not exit after the links were made")
    others_before = {key: values for root in OTHERS_KEYS for key, values in session.registry().subtree(root).items()}
    check.equal(len(others_before), 3, "keys of somebody else's set up")
    uninstall_confirmed(session, check)

    registry = session.registry()
    others_after = {key: values for root in OTHERS_KEYS for key, values in registry.subtree(root).items()}
    check.unchanged(others_after, others_before, "keys (and their values) of somebody else's")
    for link in links:
        check.equal(registry.values(link).get("SymbolicLinkValue", Value("none", "")).kind, "hex(6)",
                    f"the link at {link} (its value SymbolicLinkValue, of the type REG_LINK)")
    neighbours = {key.lower() for key in NEIGHBOUR_KEYS}
    left = sorted(key.lower() for key in session.product_registry() if key.lower() not in neighbours)
    check.equal(left, sorted(key.lower() for key in [*links, *stays]), "keys of the product left")
    expect_shortcuts_removed(session, check)
    check.that(not os.path.exists(session.vendor_folder()), "the vendor folder is left")
    expect_temp_clean(session, check)


@scenario
def leftover_scripts(session, check):
    """delme1.bat to delme3.bat of earlier runs are in the temporary folder: they stay untouched, the
    cleanup script is delme4.bat, and it is gone at the end. Wine's file trace shows which names the
    second process tried and which one the command interpreter deleted."""
    session.install(temp_leftovers=3)
    leftovers = ["delme1.bat", "delme2.bat", "delme3.bat"]
    before = {path: info for path, info in session.files().items() if os.path.basename(path) in leftovers}
    check.equal(len(before), 3, "leftover scripts installed")
    uninstaller = session.start_uninstaller(debug=TRACE_FILE_CALLS)
    answer_confirmation(session, check, uninstaller, "Return")
    expect_exit_status_1(check, uninstaller)
    expect_all_ended(session, check)

    expect_no_more_boxes(session, check, 1)
    after = {path: info for path, info in session.files().items() if os.path.basename(path) in leftovers}
    check.equal(after, before, "the leftover scripts (content and modification time)")
    expect_temp_clean(session, check, leftovers)
    expect_registry_removed(session, check)
    check.that(not os.path.exists(session.install_folder()), "the installation folder is left")

    created, deleted = script_trace(session.trace().calls())
    check.equal([(name, ok) for name, ok, _pid in created],
                [("delme1.bat", False), ("delme2.bat", False), ("delme3.bat", False), ("delme4.bat", True)],
                "script names tried by the second process (name, created)")
    writers = {pid for name, ok, pid in created if ok}
    deleters = {pid for name, pid in deleted if name == "delme4.bat"}
    check.that(deleters and not deleters & writers,
               f"delme4.bat was not deleted by another process (the script): written by {writers}, "
               f"deleted by {deleters}")
    check.that(not any(name in leftovers for name, _pid in deleted), "a leftover script was deleted")


def script_trace(calls):
    """[(script name, created?, pid)] in the order the script names were tried, and
    [(script name, pid)] of every deletion of a script, from a +file trace."""
    def script_name(call):
        name = (call.path or "").rpartition("\\")[2]
        return name if re.fullmatch(r"delme\d+\.bat", name) else None

    created = []
    deleted = []
    pending = {}
    for call in calls:
        if call.name == "CreateFileW" and script_name(call) and "GENERIC_WRITE" in call.args:
            pending[(call.pid, call.tid)] = script_name(call)
        elif call.name == "CreateFileW" and call.args.startswith("returning") and (call.pid, call.tid) in pending:
            # INVALID_HANDLE_VALUE: FFFFFFFF, or FFFFFFFFFFFFFFFF in a 64-bit process
            handle = call.args.split()[1].upper()
            created.append((pending.pop((call.pid, call.tid)), set(handle) != {"F"}, call.pid))
        elif call.name == "DeleteFileW" and script_name(call):
            deleted.append((script_name(call), call.pid))
    return created, deleted


@scenario_cases(product_ignores_close={"answer": "Escape"},
                product_ignores_close_then_closed={"answer": "Return"},
                product_ignores_close_unattended={"arguments": ["/S"]})
def product_ignores_close(session, check, answer=None, arguments=()):
    """The product records WM_CLOSE but keeps running. After 10 s, before anything has changed, the
    first process says so in a Retry/Cancel box. Cancel (and, unattended, the end of the wait: exit
    status 1603) leaves the product installed, listed and running, and nothing in the temporary
    folder; once the user has closed it, Retry removes everything."""
    session.install()
    registry_before = session.product_registry()
    product = session.start_product(ignore_close=True)
    files_before = session.files()
    uninstaller, boxes = start_confirmed(session, check, arguments, status=1603)
    if boxes:
        box = session.watcher.wait_for_box(PROCESS_TIMEOUT, while_running=uninstaller)
        if not check.that(box is not None, "no box about the product still running"):
            return
        check.equal((box.text, box.buttons, box.icon), (STILL_RUNNING, "Cancel+Retry", "warning"), "the box")
        if answer == "Return":
            product.kill()
            product.wait(30)
        session.watcher.answer(box, answer)
        expect_exit_status_1(check, uninstaller)
    if answer == "Return":
        expect_all_ended(session, check)
        expect_no_more_boxes(session, check, 2)
        expect_product_removed(session, check)
        return
    check.that(session.wait_until(lambda: not session.running(UNINSTALLER), PROCESS_TIMEOUT),
               "the uninstaller did not end")
    check.equal(session.marker_events(), ["started", "WM_CLOSE"], "the product's events")
    check.that(product.poll() is None, "the product is no longer running")
    product.kill()
    product.wait(30)
    expect_all_ended(session, check)
    expect_no_more_boxes(session, check, 2 if boxes else 0)
    check.unchanged(session.product_registry(), registry_before, "keys under the product's paths")
    check.unchanged(session.files(), files_before, "files in the temporary, product and shortcut folders")


@scenario
def copy_killed_at_start(session, check):
    """A virus scanner kills the temporary copy as soon as it runs. The first process sees it end
    without taking over: it says that it could not start it, and the product stays installed and
    listed, with nothing of ours left in the temporary folder."""
    session.install()
    registry_before = session.product_registry()
    files_before = session.files()
    uninstaller = session.start_uninstaller()
    answer_confirmation(session, check, uninstaller, "Return")
    # Wine starts a program through a helper process of the same command line: each is killed.
    killed = []
    scanning = threading.Event()
    scanning.set()

    def kill_copies():
        while scanning.is_set():
            killed.extend(session.stop("/internally", signal.SIGKILL))
            time.sleep(0.001)

    scanner = threading.Thread(target=kill_copies)
    scanner.start()
    answer_box(session, check, START_REFUSED, "error", while_running=uninstaller)
    scanning.clear()
    scanner.join()
    check.that(killed, "the copy never ran")
    expect_exit_status_1(check, uninstaller)
    expect_all_ended(session, check)
    expect_no_more_boxes(session, check, 2)
    check.unchanged(session.product_registry(), registry_before, "keys under the product's paths")
    check.unchanged(session.files(), files_before, "files in the temporary, product and shortcut folders")


def installed_uninstaller(session):
    return session.state["install_dir"] + "\\" + UNINSTALLER


def start_with_held_uninstaller(session, check):
    """Holds the installed uninstall.exe open in another program, then runs the uninstaller with a
    file trace and confirms. Returns the holder and the trace."""
    session.install()
    holder = session.hold(installed_uninstaller(session))
    uninstaller = session.start_uninstaller(debug=TRACE_FILE_CALLS)
    answer_confirmation(session, check, uninstaller, "Return")
    expect_exit_status_1(check, uninstaller)
    return holder, session.trace()


def pauses(attempts):
    return [later.time - earlier.time for earlier, later in zip(attempts, attempts[1:])]


@scenario
def uninstaller_held_briefly(session, check):
    """Another program holds the installed uninstall.exe for a few of the second process's attempts:
    the attempts go on, 50 ms apart, until one succeeds, and then the folders go as usual."""
    holder, trace = start_with_held_uninstaller(session, check)
    path = installed_uninstaller(session)
    retried = session.wait_until(lambda: len(trace.calls("DeleteFileW", path)) >= 3, timeout=PROCESS_TIMEOUT)
    check.that(retried, "fewer than 3 attempts to delete the held uninstall.exe")
    check.that(holder.release(), "hold_file.exe did not end")
    expect_all_ended(session, check)

    attempts = trace.calls("DeleteFileW", path)
    check.that(4 <= len(attempts) <= 51, f"attempts to delete uninstall.exe: {len(attempts)}, expected 4 to 51")
    # Wine's log times come from a tick count that the wineserver updates every 16 ms or so: one
    # pause may look shorter than it was, their sum may not.
    gaps = pauses(attempts)
    check.that(gaps and min(gaps) >= 0.025 and sum(gaps) >= 0.045 * len(gaps),
               f"pauses between the attempts (s), expected about 0.05 each: {gaps}")
    expect_no_more_boxes(session, check, 1)
    expect_product_removed(session, check)


@scenario
def uninstaller_held_too_long(session, check):
    """The installed uninstall.exe stays held: the second process tries exactly 51 times, 50 ms
    apart (about 2.5 s), gives up, leaves it with the installation and vendor folders, and says so
    in a box; the rest of the product goes all the same."""
    holder, trace = start_with_held_uninstaller(session, check)
    path = installed_uninstaller(session)
    gave_up = session.wait_until(lambda: trace.calls("RemoveDirectoryW", session.state["install_dir"]),
                                 timeout=PROCESS_TIMEOUT)
    check.that(gave_up, "the second process did not go on to the installation folder")
    check.that(holder.release(), "hold_file.exe did not end")
    expect_all_ended(session, check)

    attempts = trace.calls("DeleteFileW", path)
    check.equal(len(attempts), 51, "attempts to delete the held uninstall.exe")
    if len(attempts) > 1:
        span = attempts[-1].time - attempts[0].time
        check.that(2.45 <= span <= 15, f"time from the first to the last attempt: {span:.2f} s, expected about 2.5")
    check.equal(folder_contents(session.install_folder()), [UNINSTALLER], "installation folder")
    check.that(os.path.isdir(session.vendor_folder()), "the vendor folder is gone")
    check.equal([box.text for box in session.watcher.seen[1:]], [FILES_STAY.format(session.state["install_dir"])],
                "the boxes after the confirmation")
    expect_registry_removed(session, check)
    expect_shortcuts_removed(session, check)
    expect_temp_clean(session, check)


@scenario
def script_waits_for_held_copy(session, check):
    """The cleanup script keeps trying to delete the temporary copy while another program holds it,
    and deletes it and itself once it is let go. (Without a hold the copy is deletable at the
    script's first attempt under Wine: the second process has already ended by then.) The box about
    the missing "InstallPath" keeps the second process waiting while the hold is set up."""
    session.install(with_install_path=False)
    uninstaller = session.start_uninstaller(debug=TRACE_FILE_CALLS)
    answer_confirmation(session, check, uninstaller, "Return")
    expect_exit_status_1(check, uninstaller)
    box = session.watcher.wait_for_box(PROCESS_TIMEOUT)
    if not check.that(box is not None, "no box about the missing installation folder"):
        return
    temp_copy = session.state["temp"].rstrip("\\") + "\\" + UNINSTALLER
    holder = session.hold(temp_copy)
    session.watcher.answer(box, "Return")
    trace = session.trace()
    looped = session.wait_until(lambda: len(trace.calls("DeleteFileW", temp_copy)) >= 3, timeout=PROCESS_TIMEOUT)
    check.that(looped, "the script did not try again to delete the held temporary copy")
    check.that(os.path.exists(session.prefix.to_unix(temp_copy)), "the held temporary copy is gone")
    check.that(holder.release(), "hold_file.exe did not end")
    expect_all_ended(session, check)

    check.that(len(trace.calls("DeleteFileW", temp_copy)) >= 4, "no attempt after the hold ended")
    expect_temp_clean(session, check)
    expect_no_more_boxes(session, check, 2)


@scenario
def read_only_installation(session, check):
    """Every file of the installation is read-only, the installed uninstall.exe and the shortcuts
    too (as if copied from a CD). Each loses the attribute just before it is deleted, so everything
    goes; the temporary copy is made writable, or the cleanup script could never delete it and would
    loop for ever."""
    session.install(read_only=True)
    uninstall_confirmed(session, check)
    expect_product_removed(session, check)


def uninstall_with_temp_folder(session, check, temp_folder):
    """A complete uninstall with the user's TEMP at `temp_folder`; beside it and inside it lie files
    of somebody else, which must stay."""
    session.install(temp_folder=temp_folder)
    temp = session.temp_folder()
    parent = os.path.dirname(temp)
    others = {os.path.join(temp, "setup.log"): "someone's log\r\n",
              os.path.join(parent, UNINSTALLER): "somebody else's program\r\n",
              os.path.join(parent, "delme1.bat"): "rem somebody else's script\r\n"}
    for path, content in others.items():
        install_product.write_file(path, content)
    product = session.start_product()
    uninstaller = session.start_uninstaller()
    answer_confirmation(session, check, uninstaller, "Return")
    expect_exit_status_1(check, uninstaller)
    expect_all_ended(session, check)

    check.equal(product.poll(), 0, "exit status of the product (closed by WM_CLOSE)")
    expect_no_more_boxes(session, check, 1)
    expect_product_removed(session, check)
    for path, content in others.items():
        check.that(os.path.isfile(path), f"somebody else's file is gone: {path}")


@scenario
def temp_with_accent(session, check):
    """TEMP holds a letter beyond ASCII, as every TEMP under a user name like José does. The command
    interpreter reads the cleanup script in the OEM code page: written in it, the script still finds
    the temporary copy and itself."""
    uninstall_with_temp_folder(session, check, "C:\\Users\\Jos\u00e9\\Temp")


@scenario
def temp_with_percent(session, check):
    """TEMP holds '%', which the command interpreter expands in a batch line unless it is doubled."""
    uninstall_with_temp_folder(session, check, "C:\\Temp\\100%")


@scenario
def temp_with_special_characters(session, check):
    """TEMP holds spaces and the characters the command interpreter treats specially outside quotes."""
    uninstall_with_temp_folder(session, check, "C:\\Temp\\a & (b) ^c; d=e, f'g")


def refused_before_any_change(session, check, refusal, arguments=()):
    """The user confirms; the first phase shows `refusal` (error icon, OK) before anything changes
    (unattended: no box, exit status 1603): a running product is not asked to close, the product
    stays listed (its Uninstall entry too) and installed, no file of the watched folders changes,
    and no program is left running."""
    registry_before = session.product_registry()
    product = session.start_product()
    files_before = session.files()
    uninstaller, boxes = start_confirmed(session, check, arguments, status=1603)
    if boxes:
        answer_box(session, check, refusal, "error", while_running=uninstaller)
        expect_exit_status_1(check, uninstaller)
    check.equal(session.marker_events(), ["started"], "the product's events")
    check.that(product.poll() is None, "the product is no longer running")
    product.kill()
    product.wait(30)
    check.that(session.wait_for_end(PROCESS_TIMEOUT), "a program still runs (a foreign uninstall.exe started?)")

    expect_no_more_boxes(session, check, 2 if boxes else 0)
    check.unchanged(session.product_registry(), registry_before, "keys under the product's paths")
    check.unchanged(session.files(), files_before, "files in the temporary, product and shortcut folders")


# `beside`: where the temporary folder's name leads the ANSI program or the shell instead, with the
# uninstall.exe of somebody else's in it; without it, that program lies in the temporary folder.
@scenario_cases(temp_with_variable={"temp_folder": "C:\\T\\%USERNAME%", "refusal": START_REFUSED,
                                    "beside": "C:\\T\\{user}"},
                temp_is_drive_root={"temp_folder": "C:\\"},
                temp_is_drive_root_unattended={"temp_folder": "C:\\", "arguments": ["/S"]},
                temp_unset_is_profile={"temp_unset": True})
def temp_folder_refused(session, check, refusal=COPY_FAILED, beside=None, arguments=(), **temp):
    """TEMP names no folder of the uninstaller's: the system drive's root; the profile folder, where
    the temporary folder falls back to when neither TEMP nor TMP is set; or a folder
    really called %USERNAME% (a plain string value), which the shell would expand when it starts the
    copy, and start the program of the user's own folder beside it. The first phase refuses in a
    box before anything changes, and the uninstall.exe of somebody else's (a stand-in that would keep
    running) stays untouched and is not started."""
    session.install(**temp)
    user = session.state["startup"].split("\\")[2]  # C:\users\<name>\...
    folder = session.temp_folder()
    if beside:
        folder = session.also_watched["where the copy would go"] = session.prefix.to_unix(beside.format(user=user))
    install_product.copy_file(session.tool(PRODUCT_EXE), os.path.join(folder, UNINSTALLER))
    refused_before_any_change(session, check, refusal, arguments)


@scenario
def temp_lossy_in_ansi(session, check):
    """TEMP is C:\\users\\\u0141ukasz\\Temp, which an ANSI program under code page 1252 sees as somebody
    else's C:\\users\\Lukasz\\Temp. Its short (8.3) form is exact in ANSI: the uninstall works there,
    and the look-alike folder's uninstall.exe stays untouched."""
    look_alike = session.prefix.to_unix("C:\\users\\Lukasz\\Temp\\uninstall.exe")
    install_product.write_file(look_alike, "somebody else's program\r\n")
    uninstall_with_temp_folder(session, check, "C:\\users\\\u0141ukasz\\Temp")
    check.that(os.path.isfile(look_alike), "the look-alike folder's uninstall.exe is gone")


@scenario
def temp_copy_fails(session, check):
    """The copy into the temporary folder fails (a folder of somebody else's is called uninstall.exe
    there): the first phase says so, the product stays listed, installed and running, and the
    temporary folder is left as it was."""
    session.install()
    install_product.write_file(os.path.join(session.temp_folder(), UNINSTALLER, "notes.txt"), "not a program\r\n")
    refused_before_any_change(session, check, COPY_FAILED)


@scenario_cases(started_twice={}, unattended_while_asking={"arguments": ["/S"], "status": 1618})
def started_twice(session, check, arguments=(), status=1):
    """The user starts the uninstaller again while its confirmation is up (a double-click too
    many), or a tool starts it unattended (/S) then. The second start ends at once without a box
    (unattended with 1618: another uninstall is under way), the first goes on, and everything goes."""
    session.install()
    first = session.start_uninstaller()
    box = session.watcher.wait_for_box(PROCESS_TIMEOUT, while_running=first)
    if not check.that(box is not None, "no confirmation box appeared"):
        return
    second = session.start_uninstaller(log_name="second-start.log", arguments=arguments)
    expect_exit_status(check, second, status, "the second start")
    check.equal(len(session.watcher.seen), 1, f"message boxes while the second start ran ({session.watcher.seen})")
    session.watcher.answer(box, "Return")
    expect_exit_status_1(check, first)
    expect_all_ended(session, check)

    expect_no_more_boxes(session, check, 1)
    expect_product_removed(session, check)


@scenario
def started_again_during_hand_over(session, check):
    """Right after answering the confirmation the user starts the installed uninstall.exe again, six
    times. Once the first process has ended, its copy is held up for 3 s, as a virus scanner may hold
    up a new program: the copy must hold the mutex by then, or those starts find none and the first
    of them asks again. No start shows a box, and everything goes."""
    session.install()
    first = session.start_uninstaller()
    box = session.watcher.wait_for_box(PROCESS_TIMEOUT, while_running=first)
    if not check.that(box is not None, "no confirmation box appeared"):
        return
    held = []

    def hold_up_copy():
        session.wait_until(lambda: first.poll() is not None, PROCESS_TIMEOUT, step=0.001)
        held.extend(session.hold_up("/internally", 3))

    holding = threading.Thread(target=hold_up_copy)
    holding.start()
    session.watcher.answer(box, "Return")
    for number in range(6):
        session.start_uninstaller(log_name=f"start{number + 2}.log")
        time.sleep(0.1)
    holding.join()
    check.that(held, "the copy was not running when the first process ended")
    expect_exit_status_1(check, first)
    expect_all_ended(session, check)

    expect_no_more_boxes(session, check, 1)
    expect_product_removed(session, check)


@scenario_cases(hand_over_event_left_set={"kind": "--event"},
                # The copy cannot say that it took over: the first process keeps the installed
                # uninstall.exe for the whole 15 s, and the copy must wait as long for it.
                hand_over_name_is_a_mutex={"kind": "--mutex"})
def hand_over_name_taken(session, check, kind):
    """Another program holds the name of the hand-over event: as an event that it left set, or as a
    mutex. The user confirms, and starts the installed uninstall.exe again as soon as the first
    process has ended (1.5 s after OK at the latest), while the copy is held up, as a virus scanner
    may hold up a new program. The first process must not have taken the name's state for the
    copy's word: the second start ends without a box, and everything goes."""
    session.install()
    holder = session.hold(kind, HAND_OVER_EVENT)
    first = session.start_uninstaller()
    box = session.watcher.wait_for_box(PROCESS_TIMEOUT, while_running=first)
    if not check.that(box is not None, "no confirmation box appeared"):
        return
    session.watcher.answer(box, "Return")
    session.wait_until(lambda: first.poll() is not None, timeout=1.5, step=0.001)
    held = session.stop("/internally")
    check.that(held, "the copy was not running when the user started again")
    # A copy that was quicker has deleted the installed uninstall.exe already: nothing to start again.
    again = None
    if os.path.exists(os.path.join(session.install_folder(), UNINSTALLER)):
        second = session.start_uninstaller(log_name="second-start.log")
        again = session.watcher.wait_for_box(PROCESS_TIMEOUT, while_running=second)
    session.resume(held)
    if not check.that(again is None, f"the second start asked again: {again}"):
        session.watcher.answer(again, "Escape")
    check.that(holder.release(), "hold_file.exe did not end")
    expect_exit_status_1(check, first)
    expect_all_ended(session, check)

    expect_no_more_boxes(session, check, 1)
    expect_product_removed(session, check)


@scenario
def internal_switch_by_hand(session, check):
    """The user starts the installed uninstall.exe with /internally, in its own folder: the second
    phase runs there, without a box. Its cleanup script waits for and deletes that program, and
    leaves alone the uninstall.exe of somebody else's that lies in the temporary folder."""
    session.install()
    install_product.write_file(os.path.join(session.temp_folder(), UNINSTALLER), "somebody else's program\r\n")
    temp_before = files_below(session, session.temp_folder())
    uninstaller = session.start_uninstaller(arguments=["/internally"])
    expect_exit_status_1(check, uninstaller)
    expect_all_ended(session, check)

    expect_no_more_boxes(session, check, 0)
    check.that(not folder_contents(session.install_folder()), "the installation folder is not empty")
    check.equal(files_below(session, session.temp_folder()), temp_before, "the temporary folder")


PLANTED_NOTE = "C:\\planted_dll_loaded.txt"


# A manifest that makes the planted ole32.dll a file of the copy's own.
MANIFEST = ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\r\n'
            '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">\r\n'
            '<assemblyIdentity type="win32" name="Planted" version="1.0.0.0"/>\r\n'
            '<file name="ole32.dll"/>\r\n</assembly>\r\n')


@scenario_cases(dll_planted_in_temp={},
                manifest_planted_in_temp={"beside": UNINSTALLER + ".manifest"},
                local_planted_in_temp={"beside": UNINSTALLER + ".local\\ole32.dll"})
def dll_planted_in_temp(session, check, beside=None):
    """An ole32.dll lies in the temporary folder, from which the second phase runs; the shell's
    calls load ole32 on demand, and Windows looks in the program's folder first (Wine does so too
    once told to prefer a native ole32). The planted DLL must never be loaded, and the uninstall
    goes as usual. Beside it an uninstall.exe.manifest naming ole32.dll (or a folder
    uninstall.exe.local, with the DLL in it too) would make the loader take the planted DLL for the
    copy's own: then the first phase refuses to start the copy, before anything changes."""
    session.install()
    with open(session.tool(os.path.join("planted", "ole32.dll")), "rb") as dll:
        planted_dll = dll.read()
    planted = os.path.join(session.temp_folder(), "ole32.dll")
    install_product.write_file(planted, planted_dll)
    session.prefix.dll_overrides += ";ole32=n,b"
    if beside:
        install_product.write_file(session.prefix.to_unix(session.state["temp"] + "\\" + beside),
                                   MANIFEST if beside.endswith(".manifest") else planted_dll)
        refused_before_any_change(session, check, START_REFUSED)
    else:
        uninstall_confirmed(session, check)

    note = session.prefix.to_unix(PLANTED_NOTE)
    if os.path.exists(note):
        with open(note, encoding="latin-1") as loaded:
            check.that(False, f"the planted ole32.dll was loaded by: {loaded.read().split()}")
    check.that(os.path.isfile(planted), "the planted DLL (somebody else's file) is gone")
    if not beside:
        expect_product_removed(session, check)


# Driver ----------------------------------------------------------------------------------------

def run(name, build_dir, keep):
    check = Checks()
    started = time.monotonic()
    with Session(build_dir, name, keep=keep) as session:
        try:
            SCENARIOS[name](session, check)
        except Exception:  # a broken step is a failure like any other, and the state is still shown
            check.failures.append("exception:\n" + traceback.format_exc())
        if check.failures:
            print(f"FAILED {name}:")
            for failure in check.failures:
                print(f"  - {failure}")
            print(session.describe())
            if os.path.exists(session.log_path()) and os.path.getsize(session.log_path()) > 0:
                print(f"--- uninstaller's Wine log: {session.log_path()}" + (" (kept)" if keep else ""))
    print(f"{name}: {'FAILED' if check.failures else 'passed'} in {time.monotonic() - started:.1f} s", flush=True)
    return not check.failures


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(os.path.dirname(__file__), "..", "..", "build", "win32"))
    parser.add_argument("--keep", action="store_true", help="keep the work folder (prefix, logs) of each run")
    parser.add_argument("--list", action="store_true", help="print the scenario names")
    parser.add_argument("--arch", choices=("win32", "win64"), help="with --list: only those this build runs")
    parser.add_argument("--prepare", action="store_true", help="only make the template prefix")
    parser.add_argument("scenarios", nargs="*")
    args = parser.parse_args()
    if args.list:
        print("\n".join(name for name in SCENARIOS if not args.arch or ONLY_IN.get(name, args.arch) == args.arch))
        return 0
    why_not = wine_prefix.wine_runs()
    if why_not:
        # Not a pass: CTest reports the test as skipped, with this line.
        print(f"SKIPPED: this machine cannot run the {wine_prefix.WINE_ARCH} Wine: {why_not}")
        return SKIPPED
    if args.prepare:
        wine_prefix.ensure_template(os.path.join(args.build_dir, "wine-template"))
        return 0
    unknown = [name for name in args.scenarios if name not in SCENARIOS]
    if unknown or not args.scenarios:
        parser.error(f"name one or more scenarios of: {', '.join(SCENARIOS)}")
    results = [run(name, args.build_dir, args.keep) for name in args.scenarios]
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
