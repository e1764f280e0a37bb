// Win32 path resolution as the simulated file system applies it: drive letters, UNC shares,
// relative and drive-relative paths, "." and "..", repeated separators, and the trimming of trailing
// dots and spaces from the last name. Names compare without regard to letter case.
#pragma once

#include <string>
#include <vector>

#include "simulated_windows_api.h"

namespace sim {

struct SimPath {
    std::string root;                   // "C:" or "\\SERVER\SHARE", as written
    std::vector<std::string> segments;  // names below the root, as written
    bool folderForm = false;            // written with a trailing separator: only a folder matches
};

// Resolves `raw` against the current folder `cwd` (a full path). Returns 0 or a Windows error code
// (ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE). Wildcards are allowed in the
// last name only when `wildcards` is set. The ANSI functions refuse paths of MAX_PATH characters or
// more; a test building a machine may go past that with `enforceLimit` off. With `checkNames` off, the
// path is resolved as text only, whatever characters its names hold (as GetFullPathNameA does).
DWORD ResolvePath(const std::string& raw, const std::string& cwd, SimPath& out, bool wildcards = false,
                  bool enforceLimit = true, bool checkNames = true);

// "C:\Apps\Tandrel" in the letter case written; the root alone for a root.
std::string PathText(const SimPath& path);

// The case-folded form of PathText, the identity of a file or folder.
std::string PathKey(const SimPath& path);

std::string UpperCase(std::string text);
bool SameName(const std::string& a, const std::string& b);

// DOS-style wildcard match ("*", "?"; "*.*" matches every name), without regard to case.
bool MatchesPattern(const std::string& name, const std::string& pattern);

// A test used the simulation in a way it cannot follow: says what, and ends the process.
[[noreturn]] void Fail(const std::string& message);

}  // namespace sim
