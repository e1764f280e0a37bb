#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "control/phases.h"
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
