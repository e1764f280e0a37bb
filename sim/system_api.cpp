// The process, window, message-box, shell and string functions of the simulated Windows (KERNEL32,
// USER32, SHELL32), on its processes and clock.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "machine.h"

using sim::Fault;
using sim::Machine;
using sim::Text;

namespace {

BOOL Failed(Machine& machine, DWORD error) {
    machine.processes.SetLastErrorCode(error);
    return FALSE;
}

// Copies a folder's path as GetWindowsDirectoryA does: its length, or the size it needs when it does
// not fit.
UINT CopyFolderPath(Machine& machine, const char* function, const std::string& path, LPSTR buffer,
                    UINT size) {
    const Fault* fault = machine.EnterCall(function, "");
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    if (size < path.size() + 1) {
        return static_cast<UINT>(path.size() + 1);
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}

}  // namespace

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("MessageBoxA", Text(lpText));
    if (fault != nullptr) {
        machine.processes.SetLastErrorCode(fault->error);
        return 0;
    }
    return machine.processes.ShowMessageBox(sim::MessageBoxRecord{
        Text(lpText), Text(lpCaption), uType, 0, machine.processes.CurrentProcessId(), hWnd != nullptr});
}

namespace {

// The top-level windows that match, in the order FindWindowA and FindWindowExA walk them; after
// `after` when it is given.
HWND FindTopLevelWindow(const char* function, HWND after, LPCSTR lpClassName, LPCSTR lpWindowName) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall(function, Text(lpClassName));
    if (fault != nullptr) {
        machine.processes.SetLastErrorCode(fault->error);
        return nullptr;
    }
    if (after != nullptr && !machine.processes.WindowExists(after)) {
        machine.processes.SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    bool passed = after == nullptr;
    for (const sim::WindowRecord& window : machine.processes.Windows()) {
        if (!passed) {
            passed = window.handle == after;
            continue;
        }
        if (machine.clock.Now() < window.destroyedAt &&
            (lpClassName == nullptr || sim::SameName(window.className, lpClassName)) &&
            (lpWindowName == nullptr || sim::SameName(window.title, lpWindowName))) {
            return window.handle;
        }
    }
    return nullptr;
}

}  // namespace

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    return FindTopLevelWindow("FindWindowA", nullptr, lpClassName, lpWindowName);
}

// Only top-level windows are simulated, so a parent must be none (the desktop).
HWND WINAPI FindWindowExA(HWND hWndParent, HWND hWndChildAfter, LPCSTR lpszClass, LPCSTR lpszWindow) {
    if (hWndParent != nullptr) {
        sim::Fail("FindWindowExA: the simulated Windows has no child windows");
    }
    return FindTopLevelWindow("FindWindowExA", hWndChildAfter, lpszClass, lpszWindow);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("PostMessageA", std::to_string(Msg));
    if (fault != nullptr) {
        machine.processes.SetLastErrorCode(fault->error);
        return FALSE;
    }
    if (!machine.processes.PostMessage(
            sim::PostedMessage{hWnd, Msg, wParam, lParam, machine.processes.CurrentProcessId()})) {
        machine.processes.SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR lpName) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("CreateMutexA", Text(lpName));
    if (fault != nullptr) {
        machine.processes.SetLastErrorCode(fault->error);
        return nullptr;
    }
    // Kernel objects share one namespace: a name an event holds is no mutex's.
    if (lpName != nullptr && machine.processes.EventExists(lpName)) {
        machine.processes.SetLastErrorCode(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A named mutex that some running process has open is opened again; otherwise it is new. Its
    // handles are numbered with the file handles, as all kernel object handles are.
    HANDLE handle = machine.files.NewHandle();
    bool existed = machine.processes.OpenMutex(handle, Text(lpName)) && lpName != nullptr;
    machine.processes.SetLastErrorCode(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("CreateEventA", Text(lpName));
    if (fault != nullptr) {
        machine.processes.SetLastErrorCode(fault->error);
        return nullptr;
    }
    if (lpName != nullptr && machine.processes.MutexExists(lpName)) {
        machine.processes.SetLastErrorCode(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HANDLE handle = machine.files.NewHandle();
    bool existed =
        machine.processes.OpenEvent(handle, Text(lpName), bManualReset != FALSE, bInitialState != FALSE);
    machine.processes.SetLastErrorCode(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("SetEvent", "");
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    if (!machine.processes.IsEvent(hEvent)) {
        return Failed(machine, ERROR_INVALID_HANDLE);
    }
    machine.processes.SetEvent(hEvent);
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("ResetEvent", "");
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    if (!machine.processes.IsEvent(hEvent)) {
        return Failed(machine, ERROR_INVALID_HANDLE);
    }
    machine.processes.ResetEvent(hEvent);
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("WaitForSingleObject", std::to_string(dwMilliseconds));
    if (fault != nullptr || !machine.processes.IsEvent(hHandle)) {
        Failed(machine, fault != nullptr ? fault->error : ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return machine.processes.WaitForEvent(hHandle, dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("ExpandEnvironmentStringsA", Text(lpSrc));
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    std::string expanded = machine.processes.ExpandVariables(Text(lpSrc));
    // The size the text needs, its terminator included; nothing is written where it does not fit.
    if (expanded.size() + 1 <= nSize) {
        std::memcpy(lpDst, expanded.c_str(), expanded.size() + 1);
    }
    return static_cast<DWORD>(expanded.size() + 1);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return CopyFolderPath(Machine::Current(), "GetWindowsDirectoryA", "C:\\WINDOWS", lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return CopyFolderPath(Machine::Current(), "GetSystemDirectoryA", "C:\\WINDOWS\\SYSTEM32", lpBuffer,
                          uSize);
}

// As on 64-bit Windows; a test makes the function a stub for a 32-bit one, or takes it away
// (GetProcAddress) for an older one.
UINT WINAPI GetSystemWow64DirectoryA(LPSTR lpBuffer, UINT uSize) {
    Machine& machine = Machine::Current();
    if (machine.modules.IsStub("GetSystemWow64DirectoryA")) {
        machine.EnterCall("GetSystemWow64DirectoryA", "");
        return Failed(machine, ERROR_CALL_NOT_IMPLEMENTED);
    }
    return CopyFolderPath(machine, "GetSystemWow64DirectoryA", "C:\\WINDOWS\\SysWOW64", lpBuffer, uSize);
}

int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    Machine::Current().EnterCall("wsprintfA", Text(format));
    va_list arguments;
    va_start(arguments, format);
    // wsprintfA fills at most 1024 bytes: 1023 characters and the terminator; a cut text counts 1024.
    int written = std::vsnprintf(buffer, 1024, format, arguments);
    va_end(arguments);
    return written > 1023 ? 1024 : written;
}

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, INT nShowCmd) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("ShellExecuteA", Text(lpFile));
    sim::StartRecord start;
    start.verb = Text(lpOperation);
    // The shell expands environment variables in the name of what it starts.
    start.file = machine.processes.ExpandVariables(Text(lpFile));
    if (lpParameters != nullptr) {
        start.parameters = lpParameters;
    }
    if (lpDirectory != nullptr) {
        start.directory = lpDirectory;
    }
    start.show = nShowCmd;
    start.process = machine.processes.CurrentProcessId();
    start.hadOwner = hwnd != nullptr;

    const std::string& folderNow = machine.processes.CurrentProcess().currentFolder;
    INT_PTR result = 42;
    sim::FileSystem::Located file;
    if (fault != nullptr) {
        result = fault->error <= 32 ? static_cast<INT_PTR>(fault->error) : 31;  // SE_ERR_NOASSOC
    } else if (DWORD error = machine.files.Locate(start.file, folderNow, file)) {
        result = error == ERROR_PATH_NOT_FOUND ? 3 : 2;  // SE_ERR_PNF, SE_ERR_FNF
    } else if (file.node == nullptr || file.node->folder) {
        result = 2;
    } else if (lpDirectory != nullptr && *lpDirectory != 0) {
        sim::FileSystem::Located folder;
        if (machine.files.Locate(lpDirectory, folderNow, folder) != 0 || folder.node == nullptr ||
            !folder.node->folder) {
            result = 3;
        }
    }
    start.accepted = result > 32;
    if (start.accepted && !start.directory.has_value()) {
        start.directory = folderNow;
    }
    machine.processes.RecordStart(start);
    return reinterpret_cast<HINSTANCE>(result);
}

void WINAPI SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1, LPCVOID dwItem2) {
    Machine& machine = Machine::Current();
    std::string path =
        (uFlags & 0xFF) == SHCNF_PATH && dwItem1 != nullptr ? static_cast<const char*>(dwItem1) : "";
    machine.EnterCall("SHChangeNotify", path);
    machine.processes.RecordNotification(
        sim::Notification{wEventId, uFlags, path, dwItem2 != nullptr, machine.processes.CurrentProcessId()});
}

LPSTR WINAPI GetCommandLineA(void) {
    Machine& machine = Machine::Current();
    machine.EnterCall("GetCommandLineA", "");
    return &machine.processes.CurrentProcess().commandLine[0];
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("GetModuleFileNameA", "");
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    if (hModule != nullptr && hModule != reinterpret_cast<HMODULE>(0x400000)) {
        return Failed(machine, ERROR_MOD_NOT_FOUND);
    }
    const std::string& image = machine.processes.CurrentProcess().image;
    if (nSize == 0) {
        return Failed(machine, ERROR_INSUFFICIENT_BUFFER);
    }
    if (image.size() >= nSize) {
        // As Windows since Vista: cut, terminated, and the full buffer size returned.
        std::memcpy(lpFilename, image.data(), nSize - 1);
        lpFilename[nSize - 1] = 0;
        machine.processes.SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, image.c_str(), image.size() + 1);
    return static_cast<DWORD>(image.size());
}

DWORD WINAPI GetLastError(void) {
    Machine& machine = Machine::Current();
    machine.EnterCall("GetLastError", "");
    return machine.processes.CurrentProcess().lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    Machine& machine = Machine::Current();
    machine.EnterCall("SetLastError", std::to_string(dwErrCode));
    machine.processes.SetLastErrorCode(dwErrCode);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    Machine& machine = Machine::Current();
    machine.EnterCall("Sleep", std::to_string(dwMilliseconds));
    machine.clock.Advance(dwMilliseconds);
}

BOOL WINAPI IsBadReadPtr(CONST void* lp, UINT_PTR ucb) {
    Machine& machine = Machine::Current();
    machine.EnterCall("IsBadReadPtr", std::to_string(ucb));
    return ucb > 0 && (lp == nullptr || machine.processes.IsMarked(lp, false));
}

BOOL WINAPI IsBadWritePtr(LPVOID lp, UINT_PTR ucb) {
    Machine& machine = Machine::Current();
    machine.EnterCall("IsBadWritePtr", std::to_string(ucb));
    return ucb > 0 && (lp == nullptr || machine.processes.IsMarked(lp, true));
}

int WINAPI lstrlenA(LPCSTR lpString) {
    Machine::Current().EnterCall("lstrlenA", "");
    return lpString == nullptr ? 0 : static_cast<int>(std::strlen(lpString));
}

LPSTR WINAPI lstrcpyA(LPSTR lpString1, LPCSTR lpString2) {
    Machine::Current().EnterCall("lstrcpyA", Text(lpString2));
    if (lpString1 == nullptr || lpString2 == nullptr) {
        return nullptr;
    }
    return std::strcpy(lpString1, lpString2);
}

LPSTR WINAPI lstrcatA(LPSTR lpString1, LPCSTR lpString2) {
    Machine::Current().EnterCall("lstrcatA", Text(lpString2));
    if (lpString1 == nullptr || lpString2 == nullptr) {
        return nullptr;
    }
    return std::strcat(lpString1, lpString2);
}

int WINAPI lstrcmpiA(LPCSTR lpString1, LPCSTR lpString2) {
    Machine::Current().EnterCall("lstrcmpiA", Text(lpString1) + "|" + Text(lpString2));
    const unsigned char* a = reinterpret_cast<const unsigned char*>(lpString1 != nullptr ? lpString1 : "");
    const unsigned char* b = reinterpret_cast<const unsigned char*>(lpString2 != nullptr ? lpString2 : "");
    for (;; ++a, ++b) {
        int x = std::tolower(*a);
        int y = std::tolower(*b);
        if (x != y || x == 0) {
            return x < y ? -1 : x > y ? 1 : 0;
        }
    }
}

int WINAPI lstrcmpA(LPCSTR lpString1, LPCSTR lpString2) {
    Machine::Current().EnterCall("lstrcmpA", Text(lpString1) + "|" + Text(lpString2));
    // lstrcmpA orders words as a dictionary does: letters first without regard to case ("a" < "B"), then
    // lower case before upper case ("a" < "A"). Other characters keep their byte order here.
    const unsigned char* a = reinterpret_cast<const unsigned char*>(lpString1 != nullptr ? lpString1 : "");
    const unsigned char* b = reinterpret_cast<const unsigned char*>(lpString2 != nullptr ? lpString2 : "");
    int caseOrder = 0;
    for (;; ++a, ++b) {
        int x = std::tolower(*a);
        int y = std::tolower(*b);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        if (x == 0) {
            return caseOrder;
        }
        if (caseOrder == 0 && *a != *b) {
            caseOrder = std::islower(*a) ? -1 : 1;
        }
    }
}
