// The two phases of an uninstall. The first runs in the process the user started; it hands over to a
// copy of the program in the temporary folder, started with the second-phase switch, which does the
// removal.
#pragma once

#include "common/path_buffer.h"

// With `silent` (/S: an administrator's unattended run), no box is shown: the command is the consent.
// The first phase's result, in the codes of the system's installer: ERROR_SUCCESS once the copy has
// taken over, ERROR_INSTALL_ALREADY_RUNNING when another uninstall is under way,
// ERROR_INSTALL_USEREXIT when the user cancelled, ERROR_INSTALL_FAILURE when the hand-over was refused
// or failed (the product then stays as it was, listed).
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

// Asks every window of the product's class to close.
void CloseRunningProduct();

// Copies this program into the temporary folder, asks the running product to close, and starts the
// copy with the second-phase switch (and /S when `silent`); removes the product from the list of
// installed programs once the copy has started. ERROR_SUCCESS once the copy has said that it took
// over, else ERROR_INSTALL_FAILURE.
int RelaunchFromTemp(const HandOverPaths& paths, int silent);
