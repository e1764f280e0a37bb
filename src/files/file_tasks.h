// The product's file work: its shortcuts, its installation folder, and the script that removes the
// temporary copy of the uninstaller after the last process has ended.
#pragma once

#include "platform/windows_api.h"

// Deletes the product's shortcuts in the user's Startup and Programs folders.
void RemoveShortcuts();

// Deletes the product's files, its images folder, the installed uninstaller (waiting for the first
// process to let go of it), the installation folder and, once empty, the vendor folder above it.
void RemoveInstallFolder(LPCSTR installPath);

// Writes a self-deleting batch script into the temporary folder that deletes the temporary copy of
// the uninstaller once this process has ended, and starts it hidden.
void WriteCleanupScript();

// Clears the read-only attribute of a plain file that is about to be deleted; a folder or a link keeps
// its own. 0 when the file stays read-only.
int MakeDeletable(LPCSTR path);
