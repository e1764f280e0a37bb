// Where things are and which folder is which: the temporary folder and the program's own path, each
// exact; folders compared by name and by identity; roots and the system's own folders. What may be
// touched is decided from these in rules/safety_rules.h.
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

// 1 when two folders are the same by name or by identity, 0 when they are not, -1 when that cannot be
// told (a path that cannot be had whole).
int CompareFolders(LPCSTR path, LPCSTR other);

// Whether `path` is `folder` or lies anywhere below it, in whatever spelling (or that cannot be told).
int IsInsideFolder(LPCSTR path, LPCSTR folder);

// Whether `path` is a drive root, and not the root of the drive the Windows or system folder is on.
int IsOtherDriveRoot(LPCSTR path);

// The folder the running program lies in, with its trailing backslash.
int GetOwnFolder(PathBuffer& folder);

// The temporary folder: GetTempPathA's, or, where that is a look-alike of GetTempPathW's, the exact
// short form of the wide one; 0 (folder emptied) when neither can be had whole.
int GetTempFolder(PathBuffer& folder);

// The running program's own path, exact in the same way; 0 (path emptied) when it cannot be had whole.
int GetOwnPath(PathBuffer& path);
