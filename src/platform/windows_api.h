// The one door from the uninstaller's logic to Windows. The logic calls the Windows functions by
// their real ANSI names; this header decides what those names mean: the real system DLLs when built
// for Windows, our simulated Windows otherwise (sim/, which declares what it serves in its own
// simulated_windows_api.h).
#pragma once

#if defined(_WIN32)
// windows.h must come first: the shell headers build on its types.
// clang-format off
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on
#else
#include "simulated_windows_api.h"
#endif
