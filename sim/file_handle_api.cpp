// The functions of the simulated Windows (KERNEL32) on open files: CreateFileA opens or makes a file
// and holds it while it shares nothing, WriteFile appends to it, GetFileInformationByHandle tells
// what it is, and CloseHandle lets go of it, as of the handles of mutexes and events.
#include <algorithm>
#include <cstring>

#include "api_call.h"

using sim::Access;
using sim::ApiCall;
using sim::FileNode;
using sim::FileSystem;
using sim::Hold;
using sim::HoldKind;
using sim::Text;

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    ApiCall call("CreateFileA", Text(lpFileName));
    if (call.faulted()) {
        return call.Fail(call.fault->error, INVALID_HANDLE_VALUE);
    }
    FileSystem& files = call.machine.files;
    FileSystem::Located located;
    if (DWORD error = call.Locate(Text(lpFileName), located)) {
        return call.Fail(error, INVALID_HANDLE_VALUE);
    }
    // A root opens only as a folder, for its metadata.
    if (located.parent == nullptr && (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0) {
        return call.Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    bool writing = (dwDesiredAccess & GENERIC_WRITE) != 0;
    // Sharing governs only opens for data or deletion: one for nothing but the metadata (access 0, as
    // for a folder's identity) neither meets another's lack of sharing nor holds the file itself.
    const DWORD kDataAccess = GENERIC_READ | GENERIC_WRITE | 0x20000000 /* GENERIC_EXECUTE */ |
                              0x10000000 /* GENERIC_ALL */ | 0x00010000 /* DELETE */ |
                              0x00000027 /* FILE_READ_DATA, _WRITE_DATA, _APPEND_DATA, _EXECUTE */;
    bool dataAccess = (dwDesiredAccess & kDataAccess) != 0;
    FileNode* node = located.node;
    // A link is opened as what it leads to, unless the link itself is asked for.
    if (node != nullptr && (dwFlagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) == 0) {
        node = files.FollowLinks(node);
        if (node == nullptr) {
            return call.Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
        }
    }
    if (node != nullptr) {
        if (dwCreationDisposition == CREATE_NEW) {
            return call.Fail(ERROR_FILE_EXISTS, INVALID_HANDLE_VALUE);
        }
        // A folder opens only for its metadata, with backup semantics.
        bool folderOpen =
            node->folder && (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0 && !writing;
        if ((node->folder && !folderOpen) || (writing && (node->attributes & FILE_ATTRIBUTE_READONLY))) {
            return call.Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
        }
        sim::Access access = !dataAccess ? Access::Metadata : writing ? Access::Write : Access::Read;
        if (DWORD error = files.HoldError(located.key, access)) {
            return call.Fail(error, INVALID_HANDLE_VALUE);
        }
        if (dwCreationDisposition == CREATE_ALWAYS) {
            node->content.clear();
        }
    } else {
        if (dwCreationDisposition == OPEN_EXISTING) {
            return call.Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
        }
        if (located.path.folderForm) {
            return call.Fail(ERROR_INVALID_NAME, INVALID_HANDLE_VALUE);  // "new.txt\" names no file to create
        }
        DWORD attributes = (dwFlagsAndAttributes & 0x7) | FILE_ATTRIBUTE_ARCHIVE;
        node = &files.Create(located, false, attributes);
    }
    HANDLE handle = files.NewHandle();
    int process = call.machine.processes.CurrentProcessId();
    // Opened without sharing, a file is not deleted or written by anybody until it is closed; one
    // shared for everything is held by nobody.
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    bool held = dataAccess && (dwShareMode & shareAll) != shareAll;
    files.FileHandles()[handle] = FileSystem::OpenFileState{located.key, node, process, held};
    if (held) {
        files.AddHold(Hold{located.key, HoldKind::OpenFile, process, sim::kForever, ERROR_SHARING_VIOLATION});
    }
    return handle;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED) {
    ApiCall call("ReadFile", std::to_string(nNumberOfBytesToRead));
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = 0;
    }
    auto found = call.machine.files.FileHandles().find(hFile);
    if (found == call.machine.files.FileHandles().end() || call.faulted()) {
        return call.Fail(call.faulted() ? call.fault->error : ERROR_INVALID_HANDLE);
    }
    // At the end of the file a read succeeds with nothing read.
    FileSystem::OpenFileState& open = found->second;
    const std::string& content = open.node->content;
    size_t count =
        std::min<size_t>(nNumberOfBytesToRead, content.size() - std::min(open.position, content.size()));
    std::memcpy(lpBuffer, content.data() + open.position, count);
    open.position += count;
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = static_cast<DWORD>(count);
    }
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
    ApiCall call("WriteFile", std::to_string(nNumberOfBytesToWrite));
    FileSystem& files = call.machine.files;
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = 0;
    }
    auto found = files.FileHandles().find(hFile);
    if (found == files.FileHandles().end()) {
        return call.Fail(ERROR_INVALID_HANDLE);
    }
    DWORD count = nNumberOfBytesToWrite;
    if (call.faulted()) {
        if (call.fault->partialBytes < 0) {
            return call.Fail();
        }
        count = std::min(count, static_cast<DWORD>(call.fault->partialBytes));
    }
    found->second.node->content.append(static_cast<const char*>(lpBuffer), count);
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = count;
    }
    if (call.faulted() && call.fault->error != 0) {
        return call.Fail();
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    ApiCall call("CloseHandle", "");
    FileSystem& files = call.machine.files;
    sim::Kernel& kernel = call.machine.kernel;
    if (kernel.CloseMutex(hObject) || kernel.CloseEvent(hObject) || kernel.CloseProcessHandle(hObject)) {
        return call.faulted() ? call.Fail() : TRUE;
    }
    auto found = files.FileHandles().find(hObject);
    if (found == files.FileHandles().end()) {
        return call.Fail(ERROR_INVALID_HANDLE);
    }
    // A close always lets go of the handle, even when a fault makes it report an error.
    if (found->second.held) {
        files.ReleaseHold(found->second.key, HoldKind::OpenFile, found->second.process);
    }
    files.FileHandles().erase(found);
    return call.faulted() ? call.Fail() : TRUE;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    ApiCall call("GetFileInformationByHandle", "");
    if (call.faulted()) {
        return call.Fail();
    }
    FileSystem& files = call.machine.files;
    auto found = files.FileHandles().find(hFile);
    if (found == files.FileHandles().end()) {
        return call.Fail(ERROR_INVALID_HANDLE);
    }
    const FileNode& node = *found->second.node;
    std::memset(lpFileInformation, 0, sizeof *lpFileInformation);
    lpFileInformation->dwFileAttributes = node.attributes != 0 ? node.attributes : FILE_ATTRIBUTE_NORMAL;
    lpFileInformation->nFileSizeLow = static_cast<DWORD>(node.content.size());
    lpFileInformation->nNumberOfLinks = 1;
    std::uint64_t index = 0;
    files.Identify(node, lpFileInformation->dwVolumeSerialNumber, index);
    lpFileInformation->nFileIndexHigh = static_cast<DWORD>(index >> 32);
    lpFileInformation->nFileIndexLow = static_cast<DWORD>(index & 0xFFFFFFFFu);
    return TRUE;
}
