// The functions of the simulated Windows (KERNEL32) on mutexes and events, on its kernel objects.
// CloseHandle, which closes every kind of handle, is with the open files (file_handle_api.cpp).
#include "api_call.h"

using sim::ApiCall;
using sim::Kernel;
using sim::Text;

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR lpName) {
    ApiCall call("CreateMutexA", Text(lpName));
    if (call.faulted()) {
        return call.Fail<HANDLE>(call.fault->error, nullptr);
    }
    Kernel& kernel = call.machine.kernel;
    // Kernel objects share one namespace: a name an event holds is no mutex's.
    if (lpName != nullptr && kernel.EventExists(lpName)) {
        return call.Fail<HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    }
    // A named mutex that some running process has open is opened again; otherwise it is new. Its
    // handles are numbered with the file handles, as all kernel object handles are.
    HANDLE handle = call.machine.files.NewHandle();
    bool existed = kernel.OpenMutex(handle, Text(lpName)) && lpName != nullptr;
    call.machine.processes.SetLastErrorCode(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName) {
    ApiCall call("CreateEventA", Text(lpName));
    if (call.faulted()) {
        return call.Fail<HANDLE>(call.fault->error, nullptr);
    }
    Kernel& kernel = call.machine.kernel;
    if (lpName != nullptr && kernel.MutexExists(lpName)) {
        return call.Fail<HANDLE>(ERROR_INVALID_HANDLE, nullptr);
    }
    HANDLE handle = call.machine.files.NewHandle();
    bool existed = kernel.OpenEvent(handle, Text(lpName), bManualReset != FALSE, bInitialState != FALSE);
    call.machine.processes.SetLastErrorCode(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    ApiCall call("SetEvent", "");
    if (call.faulted()) {
        return call.Fail();
    }
    Kernel& kernel = call.machine.kernel;
    if (!kernel.IsEvent(hEvent)) {
        return call.Fail(ERROR_INVALID_HANDLE);
    }
    kernel.SetEvent(hEvent);
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    ApiCall call("ResetEvent", "");
    if (call.faulted()) {
        return call.Fail();
    }
    Kernel& kernel = call.machine.kernel;
    if (!kernel.IsEvent(hEvent)) {
        return call.Fail(ERROR_INVALID_HANDLE);
    }
    kernel.ResetEvent(hEvent);
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    ApiCall call("WaitForSingleObject", std::to_string(dwMilliseconds));
    Kernel& kernel = call.machine.kernel;
    if (call.faulted() || !kernel.IsEvent(hHandle)) {
        return call.Fail(call.faulted() ? call.fault->error : ERROR_INVALID_HANDLE, WAIT_FAILED);
    }
    return kernel.WaitForEvent(hHandle, dwMilliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}
