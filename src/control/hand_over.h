// The hand-over from the process the user started to its copy in the temporary folder: one named
// mutex that both hold until their process ends, so that the uninstall under way is the only one; the
// event by which the copy says that it holds the mutex too, so that the first process may end; and,
// unattended, the two events by which the copy tells the first process how the removal went, so that
// its exit status is the removal's.
#pragma once

#include "platform/windows_api.h"

// Opens the mutex; 0 when some other process already had it open.
int HoldUninstallMutex();

// --- The first process's side -------------------------------------------------------------------

// The events the first process waits on, made before the copy starts so that it finds them however
// soon it runs. A null event's name is another object's; a verdict is trusted only when both of its
// events are this process's own, made anew: somebody else's event could say "removed" at any time.
struct CopyEvents {
    HANDLE handOver;
    HANDLE verdicts[2];  // removed, something stays
    int verdictTrusted;
};
void OpenCopyEvents(CopyEvents& events, int silent);
void CloseCopyEvents(CopyEvents& events);

// What a wait for the copy saw besides one of its events.
const int kCopyEnded = -1;      // the copy's file could be deleted: its process has ended
const int kCopyStillRuns = -2;  // the time ran out with the copy still running
// Waits until one of `count` events is set (its index), the copy at `copyPath` has ended, or `ms`
// have passed. A null event is never set.
int WaitForCopy(const HANDLE* events, int count, LPCSTR copyPath, DWORD ms);

// --- The copy's side ------------------------------------------------------------------------------

// Tells the first process that this one now holds the mutex, so that it may end; 0 when the event's
// name is another object's, and the first process waits the whole time instead.
int SignalHandOver();

// Tells a waiting unattended first process whether everything of the product but the installed
// uninstaller is gone.
void TellVerdict(int removed);
