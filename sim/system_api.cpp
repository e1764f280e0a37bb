// The window, message-box and shell functions of the simulated Windows (USER32, SHELL32).
#include <cstdarg>
#include <cstdio>

#include "machine.h"

using sim::Fault;
using sim::Machine;
using sim::Text;

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("MessageBoxA", Text(lpText));
    if (fault != nullptr) {
        machine.SetLastErrorCode(fault->error);
        return 0;
    }
    int answer = machine.NextAnswer(uType);
    machine.MutableMessageBoxes().push_back(sim::MessageBoxRecord{
        Text(lpText), Text(lpCaption), uType, answer, machine.CurrentProcessId(), hWnd != nullptr});
    return answer;
}

HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("FindWindowA", Text(lpClassName));
    if (fault != nullptr) {
        machine.SetLastErrorCode(fault->error);
        return nullptr;
    }
    for (const sim::WindowRecord& window : machine.Windows()) {
        if (machine.Now() < window.destroyedAt &&
            (lpClassName == nullptr || sim::SameName(window.className, lpClassName)) &&
            (lpWindowName == nullptr || sim::SameName(window.title, lpWindowName))) {
            return window.handle;
        }
    }
    return nullptr;
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("PostMessageA", std::to_string(Msg));
    if (fault != nullptr) {
        machine.SetLastErrorCode(fault->error);
        return FALSE;
    }
    if (!machine.WindowExists(hWnd)) {
        machine.SetLastErrorCode(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    machine.MutablePosted().push_back(
        sim::PostedMessage{hWnd, Msg, wParam, lParam, machine.CurrentProcessId()});
    for (sim::WindowRecord& window : machine.Windows()) {
        if (window.handle == hWnd && Msg == WM_CLOSE && window.closesOnWmClose) {
            sim::Time closedAt = machine.Now() + window.closeDelay;
            if (window.process != 0) {
                machine.EndProcess(window.process, closedAt);  // the product exits with its main window
            }
            window.destroyedAt = std::min(window.destroyedAt, closedAt);
        }
    }
    return TRUE;
}

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR lpName) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("CreateMutexA", Text(lpName));
    if (fault != nullptr) {
        machine.SetLastErrorCode(fault->error);
        return nullptr;
    }
    // A named mutex that some running process has open is opened again; otherwise it is new.
    bool existed = lpName != nullptr && machine.MutexExists(lpName);
    HANDLE handle = machine.NewHandle();
    machine.MutexHandles().push_back(sim::MutexHandle{handle, Text(lpName), machine.CurrentProcessId()});
    machine.SetLastErrorCode(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
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
    start.file = Text(lpFile);
    if (lpParameters != nullptr) {
        start.parameters = lpParameters;
    }
    if (lpDirectory != nullptr) {
        start.directory = lpDirectory;
    }
    start.show = nShowCmd;
    start.process = machine.CurrentProcessId();
    start.hadOwner = hwnd != nullptr;

    INT_PTR result = 42;
    Machine::Located file;
    if (fault != nullptr) {
        result = fault->error <= 32 ? static_cast<INT_PTR>(fault->error) : 31;  // SE_ERR_NOASSOC
    } else if (DWORD error = machine.Locate(start.file, file)) {
        result = error == ERROR_PATH_NOT_FOUND ? 3 : 2;  // SE_ERR_PNF, SE_ERR_FNF
    } else if (file.node == nullptr || file.node->folder) {
        result = 2;
    } else if (lpDirectory != nullptr && *lpDirectory != 0) {
        Machine::Located folder;
        if (machine.Locate(lpDirectory, folder) != 0 || folder.node == nullptr || !folder.node->folder) {
            result = 3;
        }
    }
    start.accepted = result > 32;
    if (start.accepted && !start.directory.has_value()) {
        start.directory = machine.CurrentProcess().currentFolder;
    }
    machine.MutableStarts().push_back(start);
    return reinterpret_cast<HINSTANCE>(result);
}

void WINAPI SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1, LPCVOID dwItem2) {
    Machine& machine = Machine::Current();
    std::string path =
        (uFlags & 0xFF) == SHCNF_PATH && dwItem1 != nullptr ? static_cast<const char*>(dwItem1) : "";
    machine.EnterCall("SHChangeNotify", path);
    machine.MutableNotifications().push_back(
        sim::Notification{wEventId, uFlags, path, dwItem2 != nullptr, machine.CurrentProcessId()});
}
