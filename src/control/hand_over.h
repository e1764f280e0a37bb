// The hand-over from the process the user started to its copy in the temporary folder: one named
// mutex that both hold until their process ends, so that the uninstall under way is the only one, and
// the event by which the copy says that it holds the mutex too, so that the first process may end.
#pragma once

#include "platform/windows_api.h"

// Opens the mutex; 0 when some other process already had it open.
int HoldUninstallMutex();

// How long the first process waits for its copy to say that it holds the mutex too.
const DWORD kHandOverWaitMs = 5000;

// Tells the first process that this one now holds the mutex, so that it may end; 0 when the event's
// name is another object's, and the first process waits the whole time instead.
int SignalHandOver();
