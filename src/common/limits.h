// Every wait and retry limit of the uninstaller, and every bound of a loop, each with its reason: no
// loop of the program runs for ever, and none waits longer than these.
#pragma once

#include "platform/windows_api.h"

// --- The running product ---------------------------------------------------------------------------

// Every window of the product's class is asked to close (each instance has one), but no more than
// this many: the walk ends whatever the desktop holds.
const int kMaxProductWindows = 64;
// A product asked to close may first save its work, or ask the user whether to: the first process
// gives it this long, looked at every kProductLookMs, before the user is asked to close it himself.
const DWORD kProductCloseWaitMs = 10000;
const DWORD kProductLookMs = 100;
// The second phase waits this long for a product started again meanwhile, or when the program was
// started by hand with the switch: the user's decision was asked in the first process.
const DWORD kProductRestartedWaitMs = 2000;

// --- The hand-over ---------------------------------------------------------------------------------

// How long the first process waits for its copy to take over: a virus scanner may hold a new program
// for seconds before it runs. A copy that ends meanwhile is seen within kCopyLookMs.
const DWORD kTakeOverWaitMs = 15000;
// How long an unattended first process then waits for the copy's verdict: the copy's own short wait
// for the product, its retries of files in use, and the removal itself.
const DWORD kVerdictWaitMs = 60000;
const DWORD kCopyLookMs = 250;

// --- Files in use ----------------------------------------------------------------------------------

// The first process runs from the installed uninstaller and lets go of it only when it exits; a
// product that has just ended may still hold its files for a moment. The uninstaller is given
// kRetryPauses + 1 attempts kRetryPauseMs apart, about 2.5 seconds (and as much longer as a first
// process that could not be told of the hand-over waits), and the product's files share as many
// pauses.
const int kRetryPauses = 50;
const DWORD kRetryPauseMs = 50;

// --- Bounds of loops -------------------------------------------------------------------------------

// delme1.bat to delme200.bat: names that leftovers of earlier runs took are passed over, this far.
const int kMaxScriptNumber = 200;
// The uninstaller is a few KiB: a file compared with it is read this far at most, this much at once.
const int kMaxProgramBytes = 1024 * 1024;
const int kCompareChunk = 512;
