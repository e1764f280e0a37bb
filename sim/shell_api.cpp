// The shell functions of the simulated Windows (SHELL32) and the environment (KERNEL32), on its
// shell: ShellExecuteA records a start for the driver to run, SHChangeNotify a notification.
#include <cstring>

#include "api_call.h"

using sim::ApiCall;
using sim::Machine;
using sim::Text;

DWORD WINAPI ExpandEnvironmentStringsA(LPCSTR lpSrc, LPSTR lpDst, DWORD nSize) {
    ApiCall call("ExpandEnvironmentStringsA", Text(lpSrc));
    if (call.faulted()) {
        return call.Fail();
    }
    std::string expanded = call.machine.shell.ExpandVariables(Text(lpSrc));
    // The size the text needs, its terminator included; nothing is written where it does not fit.
    if (expanded.size() + 1 <= nSize) {
        std::memcpy(lpDst, expanded.c_str(), expanded.size() + 1);
    }
    return static_cast<DWORD>(expanded.size() + 1);
}

// Not used by the program: the conformance probes set TMP and TEMP with it, which name the
// temporary folder (a trailing backslash added, as GetTempPathA adds one).
BOOL WINAPI SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
    ApiCall call("SetEnvironmentVariableA", Text(lpName));
    if (call.faulted()) {
        return call.Fail();
    }
    std::string name = sim::UpperCase(Text(lpName));
    call.machine.shell.SetVariable(name, Text(lpValue));
    std::string value = Text(lpValue);
    if ((name == "TMP" || name == "TEMP") && !value.empty()) {
        call.machine.files.SetTempPath(value.back() == '\\' ? value : value + '\\');
    }
    return TRUE;
}

DWORD WINAPI ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
    ApiCall call("ExpandEnvironmentStringsW", sim::Narrow(lpSrc));
    if (call.faulted()) {
        return call.Fail();
    }
    std::u16string source;
    for (const WCHAR* c = lpSrc; *c != 0; ++c) {
        source += *c;
    }
    std::u16string expanded = call.machine.shell.ExpandVariablesWide(source);
    if (expanded.size() + 1 <= nSize) {
        std::copy(expanded.begin(), expanded.end(), lpDst);
        lpDst[expanded.size()] = 0;
    }
    return static_cast<DWORD>(expanded.size() + 1);
}

HINSTANCE WINAPI ShellExecuteA(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                               LPCSTR lpDirectory, INT nShowCmd) {
    ApiCall call("ShellExecuteA", Text(lpFile));
    Machine& machine = call.machine;
    sim::StartRecord start;
    start.verb = Text(lpOperation);
    // The shell expands environment variables in the name of what it starts.
    start.file = machine.shell.ExpandVariables(Text(lpFile));
    if (lpParameters != nullptr) {
        start.parameters = lpParameters;
    }
    if (lpDirectory != nullptr) {
        start.directory = lpDirectory;
    }
    start.show = nShowCmd;
    start.process = machine.processes.CurrentProcessId();
    start.hadOwner = hwnd != nullptr;

    const std::string& folderNow = call.Caller().currentFolder;
    INT_PTR result = 42;
    sim::FileSystem::Located file;
    if (call.faulted()) {
        result = call.fault->error <= 32 ? static_cast<INT_PTR>(call.fault->error) : 31;  // SE_ERR_NOASSOC
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
    // A program's process exists once its start is reported, and holds its image: a batch script's
    // interpreter is started when the driver runs the script.
    bool program =
        start.file.size() > 4 && sim::UpperCase(start.file.substr(start.file.size() - 4)) == ".EXE";
    if (start.accepted && program) {
        start.startedProcess = machine.driver.StartProcess(start.file, start.parameters, *start.directory);
    }
    machine.shell.RecordStart(start);
    return reinterpret_cast<HINSTANCE>(result);
}

void WINAPI SHChangeNotify(LONG wEventId, UINT uFlags, LPCVOID dwItem1, LPCVOID dwItem2) {
    std::string path =
        (uFlags & 0xFF) == SHCNF_PATH && dwItem1 != nullptr ? static_cast<const char*>(dwItem1) : "";
    ApiCall call("SHChangeNotify", path);
    Machine& machine = call.machine;
    machine.shell.RecordNotification(
        sim::Notification{wEventId, uFlags, path, dwItem2 != nullptr, machine.processes.CurrentProcessId()});
}
