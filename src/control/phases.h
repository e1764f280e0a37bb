// The two phases of an uninstall. The first runs in the process the user started; it hands over to a
// copy of the program in the temporary folder, started with the second-phase switch, which does the
// removal.
#pragma once

void RunFirstPhase();
void RunSecondPhase();

// Opens the one named mutex that both phases hold until their process ends, so that the uninstall
// under way is the only one. 0 when some other process already had it open.
int HoldUninstallMutex();

// Tells the first process that this one now holds the mutex, so that it may end.
void SignalHandOver();

// Parts of the first phase.
int CloseRunningProduct();
int RelaunchFromTemp();
