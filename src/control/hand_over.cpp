#include "control/hand_over.h"

#include "common/product_identity.h"

int HoldUninstallMutex() {
    // Never closed here: the system closes it when the process ends, and the uninstall is over only
    // then. A mutex that cannot be created at all does not stop the uninstall.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, kProduct.uninstallMutexName);
    return mutex == nullptr || GetLastError() != ERROR_ALREADY_EXISTS;
}

int SignalHandOver() {
    HANDLE handOver = CreateEventA(nullptr, TRUE, FALSE, kProduct.handOverEventName);
    if (handOver == nullptr) {
        return 0;
    }
    SetEvent(handOver);
    CloseHandle(handOver);
    return 1;
}
