#include "control/hand_over.h"

#include "common/limits.h"
#include "common/product_identity.h"

namespace {

// An event of this name, cleared; null when the name is another kind of object's. `own` says
// whether this process made it anew.
HANDLE CreateClearedEvent(LPCSTR name, int& own) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
    own = event != nullptr && GetLastError() != ERROR_ALREADY_EXISTS;
    // One that somebody left set must not end a wait before the copy has said anything.
    if (event != nullptr && !own) {
        ResetEvent(event);
    }
    return event;
}

// 0 when the name is another kind of object's.
int SetNamedEvent(LPCSTR name) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
    if (event == nullptr) {
        return 0;
    }
    SetEvent(event);
    CloseHandle(event);
    return 1;
}

}  // namespace

int HoldUninstallMutex() {
    // Never closed here: the system closes it when the process ends, and the uninstall is over only
    // then. A mutex that cannot be created at all does not stop the uninstall.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kProduct.uninstallMutexName);
    return mutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS;
}

void OpenCopyEvents(CopyEvents& events, int silent) {
    int own = 0;
    events.handOver = CreateClearedEvent(kProduct.handOverEventName, own);
    events.verdicts[0] = nullptr;
    events.verdicts[1] = nullptr;
    events.verdictTrusted = 0;
    if (silent) {
        int removedOwn = 0;
        int staysOwn = 0;
        events.verdicts[0] = CreateClearedEvent(kProduct.removedEventName, removedOwn);
        events.verdicts[1] = CreateClearedEvent(kProduct.incompleteEventName, staysOwn);
        events.verdictTrusted = removedOwn && staysOwn;
    }
}

void CloseCopyEvents(CopyEvents& events) {
    HANDLE all[] = {events.handOver, events.verdicts[0], events.verdicts[1]};
    for (HANDLE event : all) {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }
}

int WaitForCopy(const HANDLE* events, int count, LPCSTR copyPath, DWORD ms) {
    HANDLE waitable[2];
    DWORD waitableCount = 0;
    int indexOf[2];
    for (int i = 0; i < count && i < 2; ++i) {
        if (events[i] != nullptr) {
            indexOf[waitableCount] = i;
            waitable[waitableCount++] = events[i];
        }
    }
    for (DWORD waited = 0; waited < ms; waited += kCopyLookMs) {
        DWORD result = WAIT_FAILED;
        if (waitableCount > 0) {
            result = WaitForMultipleObjects(waitableCount, waitable, FALSE, kCopyLookMs);
        }
        if (result == WAIT_FAILED) {
            Sleep(kCopyLookMs);
        }
        if (result < WAIT_OBJECT_0 + waitableCount) {
            return indexOf[result - WAIT_OBJECT_0];
        }
        // A running program's file cannot be deleted: once it can, the copy has ended (or never ran),
        // and nothing of it is left in the temporary folder.
        if (DeleteFileA(copyPath)) {
            return kCopyEnded;
        }
    }
    return kCopyStillRuns;
}

int SignalHandOver() {
    return SetNamedEvent(kProduct.handOverEventName);
}

void TellVerdict(int removed) {
    SetNamedEvent(removed ? kProduct.removedEventName : kProduct.incompleteEventName);
}
