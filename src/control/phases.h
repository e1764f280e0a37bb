// The two phases of an uninstall. The first runs in the process the user started; it hands over to a
// copy of the program in the temporary folder, started with the second-phase switch, which does the
// removal.
#pragma once

void RunFirstPhase();
void RunSecondPhase();

// Parts of the first phase.
int CloseRunningProduct();
int RelaunchFromTemp();
