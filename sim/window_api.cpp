// The window and message-box functions of the simulated Windows (USER32), on its desktop. Only
// top-level windows are simulated.
#include "api_call.h"

using sim::ApiCall;
using sim::Desktop;
using sim::Text;

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    ApiCall call("MessageBoxA", Text(lpText));
    if (call.faulted()) {
        return call.Fail(call.fault->error, 0);
    }
    return call.machine.desktop.ShowMessageBox(sim::MessageBoxRecord{
        Text(lpText), Text(lpCaption), uType, 0, call.machine.processes.CurrentProcessId(), hWnd != nullptr});
}

namespace {

// The top-level windows that match, in the order FindWindowA and FindWindowExA walk them; after
// `after` when it is given.
HWND FindTopLevelWindow(const char* function, HWND after, LPCSTR lpClassName, LPCSTR lpWindowName) {
    ApiCall call(function, Text(lpClassName));
    if (call.faulted()) {
        return call.Fail<HWND>(call.fault->error, nullptr);
    }
    Desktop& desktop = call.machine.desktop;
    if (after != nullptr && !desktop.WindowExists(after)) {
        return call.Fail<HWND>(ERROR_INVALID_WINDOW_HANDLE, nullptr);
    }
    bool passed = after == nullptr;
    for (const sim::WindowRecord& window : desktop.Windows()) {
        if (!passed) {
            passed = window.handle == after;
            continue;
        }
        if (call.machine.clock.Now() < window.destroyedAt &&
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
    ApiCall call("PostMessageA", std::to_string(Msg));
    if (call.faulted()) {
        return call.Fail();
    }
    if (!call.machine.desktop.PostMessage(
            sim::PostedMessage{hWnd, Msg, wParam, lParam, call.machine.processes.CurrentProcessId()})) {
        return call.Fail(ERROR_INVALID_WINDOW_HANDLE);
    }
    return TRUE;
}

// Threads are not simulated: a window's thread is numbered as its process.
DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    ApiCall call("GetWindowThreadProcessId", "");
    const sim::Desktop& desktop = call.machine.desktop;
    if (call.faulted() || !desktop.WindowExists(hWnd)) {
        return call.Fail(call.faulted() ? call.fault->error : ERROR_INVALID_WINDOW_HANDLE, 0);
    }
    DWORD process = static_cast<DWORD>(desktop.ProcessOf(hWnd));
    if (lpdwProcessId != nullptr) {
        *lpdwProcessId = process;
    }
    return process;
}
