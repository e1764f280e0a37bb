// What the uninstaller may touch, decided here and nowhere else: the folder "InstallPath" names, the
// temporary folder that takes the copy, the copy's start, the paths the cleanup script names, the
// vendor folder. Each predicate says why; the tasks only ask. The paths asked about are exact: every
// path the program reads is checked where it is read (a value of the registry, the temporary folder,
// the program's own path), and one that is only a look-alike of what it names is not taken at all.
#pragma once

#include "platform/windows_api.h"

// Whether "InstallPath" may be emptied: a full path, not a root or one of the system's folders (by
// any name), not the temporary folder (which holds this program's copy and others' files), and one
// that holds the product's executable or an uninstall.exe that is this very program, byte for byte
// (another product's folder has an uninstall.exe too). A folder that is gone is still tried: only the
// installed uninstaller is waited for there.
int IsProductFolder(LPCSTR installPath);

// Whether the temporary folder (as GetTempFolder gives it) may take the copy: a full path; not a root,
// but for a drive root other than the system drive's that TMP or TEMP names (a RAM disk); not the
// system's folders, nor the user's profile folder (where GetTempPathA ends up when TEMP and TMP are
// not set); not inside the folder this program runs from. A copy in somebody else's folder would
// overwrite, and the cleanup script later delete, somebody else's uninstall.exe.
int IsUsableTempFolder(LPCSTR folder);

// Whether the copy may be started from `copyPath`: the shell would expand variables in its name, and
// an "uninstall.exe.manifest" or "uninstall.exe.local" beside it, placed by anybody, would make the
// copy, which runs elevated, load their DLLs.
int CanStartCopyAt(LPCSTR copyPath);

// Whether a cleanup script in `tempFolder` can name itself and `program`, which it deletes, exactly.
// The interpreter reads the script in the OEM code page: a character without an exact OEM twin would
// come out as a look-alike, naming some other file. With delayed expansion turned on for the
// interpreter, '!' starts a variable, and a lone one is dropped, which names some other file too. The
// shell expands variables in the name of the script it starts.
int ScriptCanName(LPCSTR tempFolder, LPCSTR program);

// Whether the folder above the installation folder is the vendor's: its path holds the marker as the
// installer spells it (an empty vendor folder spelled otherwise is a harmless leftover), and no name
// of dots, which would step to another folder than its text shows.
int IsVendorFolder(LPCSTR parent);
