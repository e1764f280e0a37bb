// The file functions of the simulated Windows (KERNEL32), on its file system. Names are found without
// regard to letter case, relative paths against the calling process's current folder; errors are
// reported through GetLastError with Windows' codes.
#include <algorithm>
#include <cstring>

#include "machine.h"

using sim::Fault;
using sim::FileNode;
using sim::FileSystem;
using sim::Hold;
using sim::HoldKind;
using sim::Machine;
using sim::Text;

namespace {

BOOL Failed(Machine& machine, DWORD error) {
    machine.processes.SetLastErrorCode(error);
    return FALSE;
}

const std::string& Cwd(Machine& machine) {
    return machine.processes.CurrentProcess().currentFolder;
}

DWORD Locate(Machine& machine, const std::string& raw, FileSystem::Located& out, bool wildcards = false) {
    return machine.files.Locate(raw, Cwd(machine), out, wildcards);
}

// The error a hold gives an access of the given kind; 0 when the hold allows it.
DWORD HoldError(const Hold* hold, bool write) {
    if (hold == nullptr) {
        return 0;
    }
    switch (hold->kind) {
        case HoldKind::Image:
            return write ? ERROR_SHARING_VIOLATION : 0;
        case HoldKind::OpenFile:
            return ERROR_SHARING_VIOLATION;
        case HoldKind::Locked:
            return hold->error;
        case HoldKind::CurrentFolder:
            return 0;
    }
    return 0;
}

void FillFindData(const FileNode& node, const std::string& name, WIN32_FIND_DATAA& data) {
    std::memset(&data, 0, sizeof data);
    // A file without attributes is listed as "normal", as Windows does.
    data.dwFileAttributes = node.attributes != 0 ? node.attributes : FILE_ATTRIBUTE_NORMAL;
    data.nFileSizeLow = static_cast<DWORD>(node.content.size());
    std::memcpy(data.cFileName, name.c_str(), std::min<size_t>(name.size(), MAX_PATH - 1));
}

}  // namespace

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("GetTempPathA", "");
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    const std::string& path = machine.files.TempPath();
    if (nBufferLength < path.size() + 1) {
        return static_cast<DWORD>(path.size() + 1);
    }
    std::memcpy(lpBuffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("GetTempPathW", "");
    if (fault != nullptr || machine.modules.IsStub("GetTempPathW")) {
        return Failed(machine, fault != nullptr ? fault->error : ERROR_CALL_NOT_IMPLEMENTED);
    }
    std::u16string path = machine.files.TempPathWide();
    // Unlike GetTempPathA, the wide function clears a buffer that is too small, and the rest of one
    // that is large enough (32767 characters at most).
    if (nBufferLength < path.size() + 1) {
        std::fill(lpBuffer, lpBuffer + nBufferLength, 0);
        return static_cast<DWORD>(path.size() + 1);
    }
    std::copy(path.begin(), path.end(), lpBuffer);
    std::fill(lpBuffer + path.size(),
              lpBuffer + std::max<DWORD>(std::min<DWORD>(nBufferLength, 32767), path.size() + 1), 0);
    return static_cast<DWORD>(path.size());
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("CreateDirectoryA", Text(lpPathName));
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    FileSystem::Located located;
    if (DWORD error = Locate(machine, Text(lpPathName), located)) {
        return Failed(machine, error);
    }
    if (located.node != nullptr || located.parent == nullptr) {
        return Failed(machine, ERROR_ALREADY_EXISTS);
    }
    machine.files.Create(located, true, 0);
    return TRUE;
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    Machine& machine = Machine::Current();
    const Fault* fault =
        machine.EnterCall("CopyFileA", Text(lpExistingFileName) + " -> " + Text(lpNewFileName));
    if (fault != nullptr && fault->partialBytes < 0) {
        return Failed(machine, fault->error);
    }
    FileSystem::Located source;
    if (DWORD error = Locate(machine, Text(lpExistingFileName), source)) {
        return Failed(machine, error);
    }
    if (source.node == nullptr) {
        return Failed(machine, ERROR_FILE_NOT_FOUND);
    }
    if (source.node->folder) {
        return Failed(machine, ERROR_ACCESS_DENIED);
    }
    if (DWORD error = HoldError(machine.files.ActiveHold(source.key), false)) {
        return Failed(machine, error);
    }
    FileSystem::Located target;
    if (DWORD error = Locate(machine, Text(lpNewFileName), target)) {
        return Failed(machine, error);
    }
    if (target.parent == nullptr) {
        return Failed(machine, ERROR_ACCESS_DENIED);
    }
    if (target.node == nullptr && target.path.folderForm) {
        return Failed(machine, ERROR_INVALID_NAME);  // "new.txt\" names no file to create
    }
    if (target.key == source.key) {
        return Failed(machine, ERROR_SHARING_VIOLATION);  // the source is open for reading
    }
    if (target.node != nullptr) {
        if (bFailIfExists) {
            return Failed(machine, ERROR_FILE_EXISTS);
        }
        if (target.node->folder || (target.node->attributes & FILE_ATTRIBUTE_READONLY)) {
            return Failed(machine, ERROR_ACCESS_DENIED);
        }
        if (DWORD error = HoldError(machine.files.ActiveHold(target.key), true)) {
            return Failed(machine, error);
        }
        target.node->attributes = source.node->attributes | FILE_ATTRIBUTE_ARCHIVE;
        if (fault != nullptr) {
            target.node->content = source.node->content.substr(0, static_cast<size_t>(fault->partialBytes));
            return Failed(machine, fault->error);
        }
        target.node->content = source.node->content;
        return TRUE;
    }
    // The copy keeps the source's attributes, read-only included. A full disk (a fault with
    // `partialBytes`) leaves the target cut, as Wine does.
    FileNode& copy = machine.files.Create(target, false, source.node->attributes | FILE_ATTRIBUTE_ARCHIVE);
    if (fault != nullptr) {
        copy.content = source.node->content.substr(0, static_cast<size_t>(fault->partialBytes));
        return Failed(machine, fault->error);
    }
    copy.content = source.node->content;
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("DeleteFileA", Text(lpFileName));
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    if (DWORD error = machine.files.DeleteFileAt(Text(lpFileName), Cwd(machine))) {
        return Failed(machine, error);
    }
    return TRUE;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("SetFileAttributesA", Text(lpFileName));
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    FileSystem::Located located;
    if (DWORD error = Locate(machine, Text(lpFileName), located)) {
        return Failed(machine, error);
    }
    if (located.node == nullptr) {
        return Failed(machine, ERROR_FILE_NOT_FOUND);
    }
    // Attributes may change while a program runs from the file; only a foreign lock stops it.
    const Hold* hold = machine.files.ActiveHold(located.key);
    if (hold != nullptr && hold->kind == HoldKind::Locked) {
        return Failed(machine, hold->error);
    }
    DWORD kept =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    located.node->attributes =
        (dwFileAttributes & kept) | (located.node->folder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("GetFileAttributesA", Text(lpFileName));
    if (fault != nullptr) {
        Failed(machine, fault->error);
        return INVALID_FILE_ATTRIBUTES;
    }
    FileSystem::Located located;
    DWORD error = Locate(machine, Text(lpFileName), located);
    if (error == 0 && located.node == nullptr) {
        error = ERROR_FILE_NOT_FOUND;
    }
    if (error != 0) {
        Failed(machine, error);
        return INVALID_FILE_ATTRIBUTES;
    }
    // Of a link, its own attributes; a file without attributes is "normal", as Windows reports it.
    return located.node->attributes != 0 ? located.node->attributes : FILE_ATTRIBUTE_NORMAL;
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("GetFullPathNameA", Text(lpFileName));
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    std::string raw = Text(lpFileName);
    std::string full;
    if (raw.rfind("\\\\?\\", 0) == 0 || raw.rfind("\\\\.\\", 0) == 0) {
        full = raw;  // device and long-path forms stay as they are
    } else {
        // Resolved as text only: whether the file exists does not matter.
        sim::SimPath path;
        if (DWORD error = sim::ResolvePath(raw, Cwd(machine), path, true, false, false)) {
            return Failed(machine, error);
        }
        full = sim::PathText(path);
        if (path.folderForm && full.back() != '\\') {
            full += '\\';
        }
    }
    if (nBufferLength < full.size() + 1) {
        return static_cast<DWORD>(full.size() + 1);
    }
    std::memcpy(lpBuffer, full.c_str(), full.size() + 1);
    if (lpFilePart != nullptr) {
        size_t name = full.find_last_of('\\') + 1;
        *lpFilePart = name < full.size() ? lpBuffer + name : nullptr;
    }
    return static_cast<DWORD>(full.size());
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("FindFirstFileA", Text(lpFileName));
    if (fault != nullptr) {
        Failed(machine, fault->error);
        return INVALID_HANDLE_VALUE;
    }
    std::string pattern = Text(lpFileName);
    size_t split = pattern.find_last_of("\\/");
    std::string folderPath = split == std::string::npos ? "." : pattern.substr(0, split);
    std::string namePattern = split == std::string::npos ? pattern : pattern.substr(split + 1);
    if (folderPath.empty() || (folderPath.size() == 2 && folderPath[1] == ':')) {
        folderPath += "\\";
    }
    sim::SimPath checked;
    if (DWORD error = sim::ResolvePath(pattern, Cwd(machine), checked, true)) {
        Failed(machine, error);
        return INVALID_HANDLE_VALUE;
    }
    FileSystem::Located folder;
    DWORD error = Locate(machine, folderPath, folder);
    if (error == 0 && (folder.node == nullptr || !folder.node->folder)) {
        error = ERROR_PATH_NOT_FOUND;
    }
    if (error != 0) {
        Failed(machine, error);
        return INVALID_HANDLE_VALUE;
    }
    // A listing of a link lists the folder it leads to.
    const FileNode* listed = machine.files.FollowLinks(folder.node);
    if (listed == nullptr) {
        Failed(machine, ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    FileSystem::SearchState search;
    WIN32_FIND_DATAA data;
    if (folder.parent != nullptr) {
        for (const char* dots : {".", ".."}) {
            if (sim::MatchesPattern(dots, namePattern)) {
                FillFindData(*folder.node, dots, data);
                search.entries.push_back(data);
            }
        }
    }
    for (const auto& entry : listed->children) {
        if (sim::MatchesPattern(entry.second->name, namePattern)) {
            FillFindData(*entry.second, entry.second->name, data);
            search.entries.push_back(data);
        }
    }
    if (search.entries.empty()) {
        Failed(machine, ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *lpFindFileData = search.entries[0];
    search.next = 1;
    HANDLE handle = machine.files.NewHandle();
    machine.files.FindHandles()[handle] = search;
    return handle;
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("FindNextFileA", "");
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    auto found = machine.files.FindHandles().find(hFindFile);
    if (found == machine.files.FindHandles().end()) {
        return Failed(machine, ERROR_INVALID_HANDLE);
    }
    FileSystem::SearchState& search = found->second;
    if (search.next >= search.entries.size()) {
        return Failed(machine, ERROR_NO_MORE_FILES);
    }
    *lpFindFileData = search.entries[search.next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("FindClose", "");
    bool closed = machine.files.FindHandles().erase(hFindFile) == 1;
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    return closed ? TRUE : Failed(machine, ERROR_INVALID_HANDLE);
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("RemoveDirectoryA", Text(lpPathName));
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    if (DWORD error = machine.files.RemoveFolderAt(Text(lpPathName), Cwd(machine))) {
        return Failed(machine, error);
    }
    return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("CreateFileA", Text(lpFileName));
    auto failed = [&machine](DWORD error) {
        machine.processes.SetLastErrorCode(error);
        return INVALID_HANDLE_VALUE;
    };
    if (fault != nullptr) {
        return failed(fault->error);
    }
    FileSystem::Located located;
    if (DWORD error = Locate(machine, Text(lpFileName), located)) {
        return failed(error);
    }
    // A root opens only as a folder, for its metadata.
    if (located.parent == nullptr && (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0) {
        return failed(ERROR_ACCESS_DENIED);
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
        node = machine.files.FollowLinks(node);
        if (node == nullptr) {
            return failed(ERROR_PATH_NOT_FOUND);
        }
    }
    if (node != nullptr) {
        if (dwCreationDisposition == CREATE_NEW) {
            return failed(ERROR_FILE_EXISTS);
        }
        // A folder opens only for its metadata, with backup semantics.
        bool folderOpen =
            node->folder && (dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0 && !writing;
        if ((node->folder && !folderOpen) || (writing && (node->attributes & FILE_ATTRIBUTE_READONLY))) {
            return failed(ERROR_ACCESS_DENIED);
        }
        const Hold* hold = machine.files.ActiveHold(located.key);
        if (hold != nullptr && (dataAccess || hold->kind == HoldKind::Locked)) {
            if (DWORD error = HoldError(hold, writing)) {
                return failed(error);
            }
        }
        if (dwCreationDisposition == CREATE_ALWAYS) {
            node->content.clear();
        }
    } else {
        if (dwCreationDisposition == OPEN_EXISTING) {
            return failed(ERROR_FILE_NOT_FOUND);
        }
        if (located.path.folderForm) {
            return failed(ERROR_INVALID_NAME);  // "new.txt\" names no file to create
        }
        DWORD attributes = (dwFlagsAndAttributes & 0x7) | FILE_ATTRIBUTE_ARCHIVE;
        node = &machine.files.Create(located, false, attributes);
    }
    HANDLE handle = machine.files.NewHandle();
    int process = machine.processes.CurrentProcessId();
    // Opened without sharing, a file is not deleted or written by anybody until it is closed; one
    // shared for everything is held by nobody.
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    bool held = dataAccess && (dwShareMode & shareAll) != shareAll;
    machine.files.FileHandles()[handle] = FileSystem::OpenFileState{located.key, node, process, held};
    if (held) {
        machine.files.AddHold(
            Hold{located.key, HoldKind::OpenFile, process, sim::kForever, ERROR_SHARING_VIOLATION});
    }
    return handle;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("WriteFile", std::to_string(nNumberOfBytesToWrite));
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = 0;
    }
    auto found = machine.files.FileHandles().find(hFile);
    if (found == machine.files.FileHandles().end()) {
        return Failed(machine, ERROR_INVALID_HANDLE);
    }
    DWORD count = nNumberOfBytesToWrite;
    if (fault != nullptr) {
        if (fault->partialBytes < 0) {
            return Failed(machine, fault->error);
        }
        count = std::min(count, static_cast<DWORD>(fault->partialBytes));
    }
    found->second.node->content.append(static_cast<const char*>(lpBuffer), count);
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = count;
    }
    if (fault != nullptr && fault->error != 0) {
        return Failed(machine, fault->error);
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("CloseHandle", "");
    if (machine.processes.CloseMutex(hObject) || machine.processes.CloseEvent(hObject)) {
        return fault != nullptr ? Failed(machine, fault->error) : TRUE;
    }
    auto found = machine.files.FileHandles().find(hObject);
    if (found == machine.files.FileHandles().end()) {
        return Failed(machine, ERROR_INVALID_HANDLE);
    }
    // A close always lets go of the handle, even when a fault makes it report an error.
    if (found->second.held) {
        machine.files.ReleaseHold(found->second.key, HoldKind::OpenFile, found->second.process);
    }
    machine.files.FileHandles().erase(found);
    return fault != nullptr ? Failed(machine, fault->error) : TRUE;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation) {
    Machine& machine = Machine::Current();
    const Fault* fault = machine.EnterCall("GetFileInformationByHandle", "");
    if (fault != nullptr) {
        return Failed(machine, fault->error);
    }
    auto found = machine.files.FileHandles().find(hFile);
    if (found == machine.files.FileHandles().end()) {
        return Failed(machine, ERROR_INVALID_HANDLE);
    }
    const FileNode& node = *found->second.node;
    std::memset(lpFileInformation, 0, sizeof *lpFileInformation);
    lpFileInformation->dwFileAttributes = node.attributes != 0 ? node.attributes : FILE_ATTRIBUTE_NORMAL;
    lpFileInformation->nFileSizeLow = static_cast<DWORD>(node.content.size());
    lpFileInformation->nNumberOfLinks = 1;
    std::uint64_t index = 0;
    machine.files.Identify(node, lpFileInformation->dwVolumeSerialNumber, index);
    lpFileInformation->nFileIndexHigh = static_cast<DWORD>(index >> 32);
    lpFileInformation->nFileIndexLow = static_cast<DWORD>(index & 0xFFFFFFFFu);
    return TRUE;
}
