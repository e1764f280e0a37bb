#!/usr/bin/env python3
"""Installs VORSK Tandrel 98 into a Wine prefix the way its setup would have, for the end-to-end tests
and the demo: the product's files (Tandrel.exe is the test stand-in) and the installed uninstall.exe,
its registry keys, its Uninstall and App Paths entries, and its shortcuts in the user's Startup and
Programs folders (as the prefix's Shell Folders key names them).

Usage: python3 -m wineharness.install_product PREFIX [--install-dir "C:\\...\\Tandrel"] [options], in tools
or with PYTHONPATH=tools; see --help.
Run it while no program of the prefix is running: it reads the prefix's registry files. It waits for
the prefix's wineserver to exit at the end, so that the registry files show the installed state."""

import argparse
import os

from wineharness import vocabulary
from wineharness.prefix import Prefix
from wineharness.regfile import Registry

SHELL_FOLDERS = "HKCU\\" + vocabulary.SHELL_FOLDERS_KEY
ENVIRONMENT = "HKCU\\Environment"
MACHINE_ENVIRONMENT = "System\\CurrentControlSet\\Control\\Session Manager\\Environment"

# The product's documents, with some content.
DOCUMENTS = {
    vocabulary.TANDRA_PAGE: "<html><body><h1>Tandra</h1></body></html>\r\n",
    vocabulary.REGISTRATION: f"Register {vocabulary.DISPLAY_NAME} today.\r\n",
    vocabulary.LICENCE: "License agreement.\r\n",
    vocabulary.HOMEPAGE: "[InternetShortcut]\r\nURL=http://vorsk.invalid/tandrel/\r\n",
    vocabulary.ORDER_FORM: "<html><body>Order form</body></html>\r\n",
    vocabulary.GHOSTS_PAGE: "<html><body>Ghosts</body></html>\r\n",
}
IMAGES = ["logo.gif", "tandra.gif", "ghost.jpg"]

# Things that belong to somebody else, for the tests that check they are left alone: a key beside the
# product's, and entries beside its own (paths below HKEY_LOCAL_MACHINE).
FOREIGN_KEY = "Other Product"
FOREIGN_UNINSTALL_ENTRY = vocabulary.UNINSTALL_KEY + "\\VorskOtherProduct"
FOREIGN_DISPLAY_NAME = "VORSK Other Product"
FOREIGN_APP_PATH = vocabulary.APP_PATHS_KEY + "\\Other.exe"
FOREIGN_PROGRAM = "C:\\Other\\Other.exe"


def default_build_file(name):
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "win32", name)


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def installed_state(prefix):
    """The folders that matter for the product in this prefix: {"startup", "programs", "temp"} as
    Windows paths, read from the prefix's registry files (value names without regard to case:
    Wine names the Startup folder "StartUp")."""
    registry = Registry(prefix.path)
    startup = registry.value(SHELL_FOLDERS, "Startup")
    programs = registry.value(SHELL_FOLDERS, "Programs")
    # GetTempPath takes TMP first, then TEMP; Wine fills both from HKCU\Environment.
    temp = registry.value(ENVIRONMENT, "TMP") or registry.value(ENVIRONMENT, "TEMP")
    if not (startup and programs and temp) or "%" in startup + programs + temp:
        raise RuntimeError(f"unexpected shell folders in {prefix.path}: Startup={startup!r} "
                           f"Programs={programs!r} TMP/TEMP={temp!r}")
    return {"startup": startup, "programs": programs, "temp": temp}


def write_file(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    data = content if isinstance(content, bytes) else content.encode("ascii")
    with open(path, "wb") as out:
        out.write(data)


def copy_file(source, target):
    with open(source, "rb") as binary:
        write_file(target, binary.read())


def reg_expand_string(text, unicode):
    """hex(2): data of a REG_EXPAND_SZ value, terminated (UTF-16 in version 5 files, else ANSI)."""
    data = (text + "\0").encode("utf-16-le" if unicode else "cp1252")
    return "hex(2):" + ",".join(f"{byte:02x}" for byte in data)


def registry_text(install_dir, with_install_path, foreign_keys, temp_folder=None, install_path=None,
                  install_path_type="REG_SZ", temp_unset=False):
    # Version 5 files are UTF-16 and can hold any name; REGEDIT4 ones are read in the ANSI code page.
    unicode = not ((temp_folder or "") + (install_path or "")).isascii()
    lines = ["Windows Registry Editor Version 5.00" if unicode else "REGEDIT4", ""]

    def key(root, path, values):
        lines.append(f"[{root}\\{path}]")
        for name, data in values:
            lines.append(f"{'@' if name is None else reg_string(name)}={data}")
        lines.append("")

    machine_values = [("Version", reg_string("1.0"))]
    if with_install_path:
        path = install_dir if install_path is None else install_path
        data = reg_expand_string(path, unicode) if install_path_type == "REG_EXPAND_SZ" else reg_string(path)
        machine_values.insert(0, (vocabulary.INSTALL_PATH_VALUE, data))
    key("HKEY_LOCAL_MACHINE", vocabulary.PRODUCT_KEY, machine_values)

    # The user's settings, a few levels deep.
    user = "HKEY_CURRENT_USER"
    key(user, vocabulary.PRODUCT_KEY, [("User", reg_string("Tester")), ("Runs", "dword:00000007")])
    key(user, vocabulary.PRODUCT_KEY + "\\Settings", [("Language", reg_string("en"))])
    key(user, vocabulary.PRODUCT_KEY + "\\Settings\\Window", [("Left", "dword:00000028"), ("Top", "dword:00000028")])
    key(user, vocabulary.PRODUCT_KEY + "\\Settings\\Window\\Toolbars", [("Main", "hex:01,00,00,00")])
    key(user, vocabulary.PRODUCT_KEY + "\\Recent Files", [("File1", reg_string("C:\\My Documents\\ghosts.tdr"))])
    key(user, vocabulary.VENDOR_KEY, [("Customer", reg_string("Tester"))])

    key("HKEY_LOCAL_MACHINE", vocabulary.UNINSTALL_ENTRY, [
        ("DisplayName", reg_string(vocabulary.DISPLAY_NAME)),
        ("UninstallString", reg_string(install_dir + "\\" + vocabulary.UNINSTALLER)),
    ])
    key("HKEY_LOCAL_MACHINE", vocabulary.APP_PATHS_ENTRY, [
        (None, reg_string(install_dir + "\\" + vocabulary.PRODUCT_EXE)),
        ("Path", reg_string(install_dir)),
    ])

    # Neighbours that are not the product's: they must stay in any case.
    key("HKEY_LOCAL_MACHINE", FOREIGN_UNINSTALL_ENTRY, [("DisplayName", reg_string(FOREIGN_DISPLAY_NAME))])
    key("HKEY_LOCAL_MACHINE", FOREIGN_APP_PATH, [(None, reg_string(FOREIGN_PROGRAM))])

    if temp_folder:
        key(user, "Environment", [("TEMP", reg_string(temp_folder)), ("TMP", reg_string(temp_folder))])
    if temp_unset:
        for root, path in ((user, "Environment"), ("HKEY_LOCAL_MACHINE", MACHINE_ENVIRONMENT)):
            key(root, path, [("TEMP", "-"), ("TMP", "-")])

    if foreign_keys:
        foreign = f"{vocabulary.VENDOR_KEY}\\{FOREIGN_KEY}"
        key(user, foreign, [("Owner", reg_string("someone else"))])
        key(user, foreign + "\\Deeper", [("Depth", "dword:00000002")])
        key("HKEY_LOCAL_MACHINE", foreign, [("Owner", reg_string("someone else"))])
    return "\r\n".join(lines) + "\r\n"


def install(prefix, install_dir=vocabulary.DEFAULT_INSTALL_DIR, uninstaller=None, product=None,
            with_install_path=True, foreign_files=(), foreign_keys=False, images_subfolder=False, temp_leftovers=0,
            read_only=False, temp_folder=None, install_path=None, install_path_type="REG_SZ", temp_unset=False):
    """Puts the product into the prefix; returns installed_state(prefix) plus "install_dir". With
    `temp_folder`, the user's TEMP and TMP name that folder from then on; with `temp_unset`, neither
    the user's nor the machine's environment sets them, and programs fall back to the profile folder;
    with `install_path`, "InstallPath" names that folder instead of the installation folder, as a
    value of `install_path_type` ("REG_SZ" or "REG_EXPAND_SZ")."""
    uninstaller = uninstaller or default_build_file(vocabulary.UNINSTALLER)
    product = product or default_build_file(os.path.join("tests", "wine", vocabulary.PRODUCT_EXE))
    state = installed_state(prefix)
    if temp_folder:
        state["temp"] = temp_folder
    if temp_unset:
        # GetTempPath's fall-back, USERPROFILE: the folder of the user's Documents.
        state["temp"] = Registry(prefix.path).value(SHELL_FOLDERS, "Personal").rpartition("\\")[0]

    folder = prefix.to_unix(install_dir)
    copy_file(product, os.path.join(folder, vocabulary.PRODUCT_EXE))
    copy_file(uninstaller, os.path.join(folder, vocabulary.UNINSTALLER))
    for name, content in DOCUMENTS.items():
        write_file(os.path.join(folder, name), content)
    for name in IMAGES:
        write_file(os.path.join(folder, vocabulary.IMAGES_FOLDER, name), b"GIF89a" + name.encode("ascii"))
    if images_subfolder:
        write_file(os.path.join(folder, vocabulary.IMAGES_FOLDER, "thumbs", "small.gif"), b"GIF89a small")
    for name in foreign_files:
        write_file(os.path.join(folder, name), f"{name}: not the product's\r\n")
    shortcuts = [os.path.join(prefix.to_unix(state[place]), vocabulary.SHORTCUT) for place in ("startup", "programs")]
    for path in shortcuts:
        write_file(path, f"[shortcut to {install_dir}\\{vocabulary.PRODUCT_EXE}]\r\n")
    if read_only:
        # Wine shows a file without write permission as read-only, as copies from a CD are.
        for root, _dirs, names in os.walk(folder):
            for name in names:
                os.chmod(os.path.join(root, name), 0o444)
        for path in shortcuts:
            os.chmod(path, 0o444)

    temp = prefix.to_unix(state["temp"])
    os.makedirs(temp, exist_ok=True)
    for number in range(1, temp_leftovers + 1):
        write_file(os.path.join(temp, f"delme{number}.bat"), f"@echo off\r\nrem left over from run {number}\r\n")

    prefix.import_reg(registry_text(install_dir, with_install_path, foreign_keys, temp_folder, install_path,
                                    install_path_type, temp_unset))
    if not prefix.wait_server():
        raise RuntimeError("the wineserver did not exit after the registry import")
    return dict(state, install_dir=install_dir)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("prefix", help="the Wine prefix (WINEPREFIX), made beforehand")
    parser.add_argument("--install-dir", default=vocabulary.DEFAULT_INSTALL_DIR,
                        help="Windows path of the installation folder")
    parser.add_argument("--uninstaller", help="uninstall.exe to install (default: build/win32/uninstall.exe)")
    parser.add_argument("--product", help="Tandrel.exe to install (default: build/win32/tests/wine/Tandrel.exe)")
    parser.add_argument("--no-install-path", action="store_true",
                        help='leave out the "InstallPath" value (the product key still has another value)')
    parser.add_argument("--foreign-file", action="append", default=[], metavar="NAME",
                        help="put a file that is not the product's into the installation folder")
    parser.add_argument("--foreign-keys", action="store_true",
                        help=f'add the key "{FOREIGN_KEY}" beside the product key under HKCU and HKLM')
    parser.add_argument("--images-subfolder", action="store_true", help='add a folder "thumbs" inside "images"')
    parser.add_argument("--temp-leftovers", type=int, default=0, metavar="N",
                        help="put delme1.bat..delmeN.bat into the temporary folder")
    parser.add_argument("--read-only", action="store_true",
                        help="make every file of the installation and the shortcuts read-only (as if copied from a CD)")
    parser.add_argument("--work-dir", help="folder for Wine's HOME and TMPDIR (default: beside the prefix)")
    args = parser.parse_args()

    prefix_dir = os.path.abspath(args.prefix)
    work_dir = args.work_dir or prefix_dir + "-work"
    state = install(Prefix(prefix_dir, work_dir), args.install_dir, args.uninstaller, args.product,
                    not args.no_install_path, args.foreign_file, args.foreign_keys, args.images_subfolder,
                    args.temp_leftovers, args.read_only)
    for name, value in state.items():
        print(f"{name}: {value}")


if __name__ == "__main__":
    main()
