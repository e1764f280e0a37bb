// The two phases of an uninstall. The first runs in the process the user started; it hands over to a
// copy of the program in the temporary folder, started with the second-phase switch, which does the
// removal.
#pragma once

#include "common/path_buffer.h"

// With `silent` (/S: an administrator's unattended run), no box is shown: the command is the consent.
// The first phase's result, in the codes of the system's installer: ERROR_SUCCESS when the removal
// succeeded (unattended) or is under way (attended), ERROR_INSTALL_ALREADY_RUNNING when another
// uninstall is under way, ERROR_INSTALL_USEREXIT when the user cancelled, ERROR_INSTALL_FAILURE when
// something of the product stays, or nothing was changed (a refusal, a failed hand-over, a product
// that did not close).
int RunFirstPhase(int silent);
void RunSecondPhase(int silent);

// Parts of the first phase.

// Where the hand-over copies from and to, and where the copy then runs.
struct HandOverPaths {
    PathBuffer ownPath;
    PathBuffer copyPath;
    PathBuffer workingFolder;
};

// Works out the paths and refuses, with a box unless `silent`, a temporary folder the copy must not go
// to; 1 when the hand-over may go ahead. Changes nothing but to create a missing temporary folder.
int PrepareHandOver(HandOverPaths& paths, int silent);

// Asks every window of the product's class to close, and waits for the product to end. While it
// still runs, the user is asked to close it and choose Retry, or Cancel; 0 when it still runs (with
// `silent`, after the wait).
int CloseRunningProduct(int silent);

// Copies this program into the temporary folder, asks the running product to close, and, once it
// has, starts the copy with the second-phase switch (and /S when `silent`); removes the product from
// the list of installed programs once the copy has taken over. The first phase's result: with
// `silent`, ERROR_SUCCESS only when the copy said that everything of the product but the installed
// uninstaller is gone.
int RelaunchFromTemp(const HandOverPaths& paths, int silent);
