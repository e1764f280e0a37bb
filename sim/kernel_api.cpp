// The functions of the simulated Windows (KERNEL32) on mutexes, events and processes, on its kernel
// objects, and the waits for them, which the driver lets last. CloseHandle, which closes every kind
// of handle, is with the open files (file_handle_api.cpp).
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
    call.machine.driver.WakeWaiters();
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

HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL, DWORD dwProcessId) {
    ApiCall call("OpenProcess", std::to_string(dwProcessId));
    if (call.faulted()) {
        return call.Fail<HANDLE>(call.fault->error, nullptr);
    }
    // Only waiting for its end is simulated; a process that has ended can still be opened while it
    // is known, as Windows does while a handle to it is open.
    if (dwDesiredAccess != SYNCHRONIZE) {
        sim::Fail("OpenProcess: only SYNCHRONIZE access is simulated");
    }
    if (dwProcessId == 0 || !call.machine.processes.Exists(static_cast<int>(dwProcessId)) ||
        !call.machine.processes.ProcessRunning(static_cast<int>(dwProcessId))) {
        return call.Fail<HANDLE>(ERROR_INVALID_PARAMETER, nullptr);
    }
    HANDLE handle = call.machine.files.NewHandle();
    call.machine.kernel.OpenProcessHandle(handle, static_cast<int>(dwProcessId));
    return handle;
}

namespace {

// Waits until one of the objects is signalled (the first of them, in their order, wins) or the time
// is up. An event is set only by another program: the caller waits for one to do it. A process ends
// at a time already known: that time, or the deadline, passes as a sleep would.
DWORD WaitForAny(ApiCall& call, DWORD count, const HANDLE* handles, DWORD milliseconds) {
    sim::Kernel& kernel = call.machine.kernel;
    sim::Driver& driver = call.machine.driver;
    bool byPrograms = false;
    for (DWORD i = 0; i < count; ++i) {
        if (!kernel.IsWaitable(handles[i])) {
            return call.Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
        }
        byPrograms = byPrograms || kernel.SignaledByPrograms(handles[i]);
    }
    auto signaled = [&kernel, count, handles]() {
        for (DWORD i = 0; i < count; ++i) {
            if (kernel.IsSignaled(handles[i])) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    const sim::Time deadline =
        milliseconds == INFINITE ? sim::kForever : call.machine.clock.Now() + milliseconds;
    for (;;) {
        int which = signaled();
        if (which >= 0) {
            kernel.TakeSignal(handles[which]);
            return WAIT_OBJECT_0 + static_cast<DWORD>(which);
        }
        sim::Time now = call.machine.clock.Now();
        if (now >= deadline) {
            return WAIT_TIMEOUT;
        }
        if (byPrograms && driver.HoldUntil(deadline, [signaled] { return signaled() >= 0; })) {
            continue;
        }
        sim::Time wake = deadline;
        for (DWORD i = 0; i < count; ++i) {
            sim::Time at = kernel.SignalTime(handles[i]);
            wake = at > now && at < wake ? at : wake;
        }
        if (wake == sim::kForever) {
            sim::Fail("a wait for ever for something nothing will do");
        }
        driver.LetTimePass(wake - now);
    }
}

}  // namespace

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    ApiCall call("WaitForSingleObject", std::to_string(dwMilliseconds));
    if (call.faulted()) {
        return call.Fail(call.fault->error, WAIT_FAILED);
    }
    return WaitForAny(call, 1, &hHandle, dwMilliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, CONST HANDLE* lpHandles, BOOL bWaitAll,
                                    DWORD dwMilliseconds) {
    ApiCall call("WaitForMultipleObjects", std::to_string(dwMilliseconds));
    if (bWaitAll) {
        sim::Fail("WaitForMultipleObjects: only a wait for any of them is simulated");
    }
    if (call.faulted()) {
        return call.Fail(call.fault->error, WAIT_FAILED);
    }
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS) {
        return call.Fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    }
    return WaitForAny(call, nCount, lpHandles, dwMilliseconds);
}
