#include "common/path_buffer.h"
#include "control/phases.h"
#include "control/product_identity.h"
#include "platform/windows_api.h"

// The whole command line is searched, not the argument tail: the second-phase switch is matched as
// plain text wherever it stands. The exit status is 1 whatever the phase did, unless the uninstall
// runs unattended (/S): then the first process tells a deployment tool how it went, in the codes of
// the system's installer.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    LPCSTR commandLine = GetCommandLineA();
    int silent = HasArgument(commandLine, kProduct.silentSwitch);
    if (ContainsText(commandLine, kProduct.secondPhaseSwitch)) {
        RunSecondPhase(silent);
        return silent ? ERROR_SUCCESS : 1;
    }
    int result = RunFirstPhase(silent);
    return silent ? result : 1;
}

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
