// The product's file work: its shortcuts, its installation folder, and the script that removes the
// temporary copy of the uninstaller after the last process has ended.
#pragma once

#include "platform/windows_api.h"

// Deletes the product's shortcuts in the user's Startup and Programs folders; 1 when neither stays.
int RemoveShortcuts();

// Deletes the product's files, its images folder, the installed uninstaller (waiting for the first
// process to let go of it), the installation folder and, once empty, the vendor folder above it.
// 1 when none of the product's own files (the seven by name, those directly in images, the installed
// uninstaller) stays; 0 when some could not be deleted, or when IsProductFolder (rules/safety_rules.h)
// refuses the path, which is left alone. The installed uninstaller is waited for `firstProcessLingersMs`
// longer than usual. The same in two steps, for a caller that has asked IsProductFolder and has something to
// do in between: RemoveProductFiles (the seven and images; 1 when none stays), then
// RemoveUninstallerAndFolder (the rest; 1 when the installed uninstaller is gone).
int RemoveInstallFolder(LPCSTR installPath, DWORD firstProcessLingersMs = 0);
int RemoveProductFiles(LPCSTR installPath);
int RemoveUninstallerAndFolder(LPCSTR installPath, DWORD firstProcessLingersMs);

// Writes a self-deleting batch script into the temporary folder that deletes the temporary copy of
// the uninstaller once this process has ended, and starts it hidden.
void WriteCleanupScript();

// Clears the read-only attribute of a plain file that is about to be deleted; a folder or a link keeps
// its own. 0 when the file stays read-only.
int MakeDeletable(LPCSTR path);

// Deletes a file, read-only or not. While the file is in use, tries again 50 ms later, as long as
// `pausesLeft` allows (each pause spends one). A missing file is not waited for, nor a missing
// folder unless `retryMissingFolder`. A read-only attribute cleared for the delete is put back when
// the file stays. 0 when the file is gone (or was never there), else the error of the last attempt.
DWORD DeleteWhenFree(LPCSTR path, int& pausesLeft, int retryMissingFolder = 0);
