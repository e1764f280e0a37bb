"""The product's names on the Python side: what the user reads, its files, the registry keys and
entries it owns, its kernel objects and the texts of its boxes. The Wine tests, the benchmark and the
demo take every one of them from here.

They are written out as the text the program must use, not read from the C++ sources: they are what
the program is checked against, and a name changed there by mistake must fail a test, not follow
along unseen. A text made of several names is put together here, so that each name is written once."""

DISPLAY_NAME = "VORSK Tandrel 98"
PRODUCT_EXE = "Tandrel.exe"
UNINSTALLER = "uninstall.exe"
# Where the product's setup puts it; "InstallPath" names this folder.
DEFAULT_INSTALL_DIR = "C:\\Program Files\\VORSK Software\\Tandrel"
INSTALL_PATH_VALUE = "InstallPath"

# The product's documents beside its programs, which the uninstaller deletes by name, and the folder
# of its pictures.
TANDRA_PAGE = "Tandra.htm"
REGISTRATION = "registration.txt"
LICENCE = "la.txt"
HOMEPAGE = f"{DISPLAY_NAME} Homepage.url"
ORDER_FORM = "order.htm"
GHOSTS_PAGE = "ghosts.htm"
IMAGES_FOLDER = "images"
# Its shortcut, in the user's Startup and Programs folders alike.
SHORTCUT = f"{DISPLAY_NAME}.lnk"

# Registry paths below a root: the vendor's and the product's keys are under HKEY_LOCAL_MACHINE and
# HKEY_CURRENT_USER, the two entries under HKEY_LOCAL_MACHINE, the Shell Folders (from which the
# program reads the user's Startup and Programs folders) under HKEY_CURRENT_USER.
VENDOR_KEY = "Software\\VORSK Software"
PRODUCT_KEY = f"{VENDOR_KEY}\\Tandrel"
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
APP_PATHS_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths"
UNINSTALL_ENTRY = f"{UNINSTALL_KEY}\\VorskTandrel"
APP_PATHS_ENTRY = f"{APP_PATHS_KEY}\\{PRODUCT_EXE}"
SHELL_FOLDERS_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"

# The kernel objects the program names, which any other program of the session can take first.
UNINSTALL_MUTEX = "VorskTandrelUninstall"
HAND_OVER_EVENT = "VorskTandrelUninstallHandOver"
REMOVED_EVENT = "VorskTandrelUninstallRemoved"
INCOMPLETE_EVENT = "VorskTandrelUninstallIncomplete"

# What its boxes say, each captioned DISPLAY_NAME. FILES_STAY names the installation folder.
CONFIRMATION = f"This will uninstall {DISPLAY_NAME}."
NO_INSTALL_PATH = "Can not find install path to remove files."
START_REFUSED = f"Can not start {UNINSTALLER} in TEMP."
COPY_FAILED = f"Can not copy {UNINSTALLER} to TEMP."
FILES_STAY = f"Can not remove all files of {DISPLAY_NAME}. They stay in {{}}."
STILL_RUNNING = f"{DISPLAY_NAME} is still running. Close it, then choose Retry."
