// Which folders are plainly not ours to fill or empty: drive and share roots, the system's own
// folders and the user's profile folder, and a temporary folder that is not what it seems.
#pragma once

#include "common/path_buffer.h"
#include "platform/windows_api.h"

// Whether two paths name the same folder, spelled alike or not ("C:\WINDOWS\" and "c:\windows").
// A path that cannot be judged counts as the same: the caller then leaves it alone.
int IsSameFolder(LPCSTR path, LPCSTR other);

// Whether `path` names the temporary folder, in whatever spelling (or that cannot be told).
int IsTempFolder(LPCSTR path);

// Whether the running program lies directly in `folder` (or that cannot be told).
int RunsFromFolder(LPCSTR folder);

// Whether nothing is at `path`, as Windows says of a name not found. Anything else that keeps it
// from being looked at (a denial, a bad name) does not count as missing.
int IsMissing(LPCSTR path);

// A drive or share root, the Windows folder or the system folder; also a path that cannot be judged.
int IsRootOrSystemFolder(LPCSTR path);

// The temporary folder as GetTempFolder gives it can take the uninstaller's copy: a full path, not a
// root (but a drive root other than the system drive's that TMP or TEMP names), not the system's
// folders or the user's profile folder (where GetTempPathA ends up when TEMP and TMP are not set),
// and not inside the folder this program runs from.
int IsUsableTempFolder(LPCSTR folder);

// The temporary folder: GetTempPathA's, or, where that is a look-alike of GetTempPathW's, the exact
// short form of the wide one; 0 (folder emptied) when neither can be had whole.
int GetTempFolder(PathBuffer& folder);

// The running program's own path, exact in the same way; 0 (path emptied) when it cannot be had whole.
int GetOwnPath(PathBuffer& path);
