// The fixed names by which every task addresses the one product this uninstaller serves.
#pragma once

struct ProductIdentity {
    const char* displayName;
    const char* windowClassName;
    const char* uninstallEntryName;
    const char* vendorKeyName;
    const char* vendorKeyPath;
    const char* productKeyName;
    const char* productKeyPath;
    const char* mainExecutable;
    const char* vendorFolderMarker;
    const char* uninstallerFileName;
    const char* secondPhaseSwitch;
    const char* silentSwitch;
    const char* silentSecondPhaseParameters;
    const char* installPathValueName;
    const char* uninstallMutexName;
    const char* handOverEventName;
};

inline constexpr ProductIdentity kProduct = {
    "VORSK Tandrel 98",                   // displayName
    "VorskTandrel",                       // windowClassName
    "VorskTandrel",                       // uninstallEntryName
    "VORSK Software",                     // vendorKeyName
    "Software\\VORSK Software",           // vendorKeyPath
    "Tandrel",                            // productKeyName
    "Software\\VORSK Software\\Tandrel",  // productKeyPath
    "Tandrel.exe",                        // mainExecutable
    "\\VORSK Software",                   // vendorFolderMarker
    "uninstall.exe",                      // uninstallerFileName
    "/internally",                        // secondPhaseSwitch
    "/S",                                 // silentSwitch
    "/internally /S",                     // silentSecondPhaseParameters
    "InstallPath",                        // installPathValueName
    "VorskTandrelUninstall",              // uninstallMutexName
    "VorskTandrelUninstallHandOver",      // handOverEventName
};
