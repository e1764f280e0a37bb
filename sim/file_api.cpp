// The file functions of the simulated Windows (KERNEL32), on its file system. Names are found without
// regard to letter case, relative paths against the calling process's current folder; errors are
// reported through GetLastError with Windows' codes.
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

namespace {

void FillFindData(const FileNode& node, const std::string& name, WIN32_FIND_DATAA& data) {
    std::memset(&data, 0, sizeof data);
    // A file without attributes is listed as "normal", as Windows does.
    data.dwFileAttributes = node.attributes != 0 ? node.attributes : FILE_ATTRIBUTE_NORMAL;
    data.nFileSizeLow = static_cast<DWORD>(node.content.size());
    std::memcpy(data.cFileName, name.c_str(), std::min<size_t>(name.size(), MAX_PATH - 1));
}

}  // namespace

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    ApiCall call("GetTempPathA", "");
    if (call.faulted()) {
        return call.Fail();
    }
    const std::string& path = call.machine.files.TempPath();
    if (nBufferLength < path.size() + 1) {
        return static_cast<DWORD>(path.size() + 1);
    }
    std::memcpy(lpBuffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

DWORD WINAPI GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    ApiCall call("GetTempPathW", "");
    if (call.faulted() || call.machine.modules.IsStub("GetTempPathW")) {
        return call.Fail(call.faulted() ? call.fault->error : ERROR_CALL_NOT_IMPLEMENTED);
    }
    std::u16string path = call.machine.files.TempPathWide();
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
    ApiCall call("CreateDirectoryA", Text(lpPathName));
    if (call.faulted()) {
        return call.Fail();
    }
    FileSystem::Located located;
    if (DWORD error = call.Locate(Text(lpPathName), located)) {
        return call.Fail(error);
    }
    if (located.node != nullptr || located.parent == nullptr) {
        return call.Fail(ERROR_ALREADY_EXISTS);
    }
    call.machine.files.Create(located, true, 0);
    return TRUE;
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    ApiCall call("CopyFileA", Text(lpExistingFileName) + " -> " + Text(lpNewFileName));
    FileSystem& files = call.machine.files;
    if (call.faulted() && call.fault->partialBytes < 0) {
        return call.Fail();
    }
    FileSystem::Located source;
    if (DWORD error = call.Locate(Text(lpExistingFileName), source)) {
        return call.Fail(error);
    }
    if (source.node == nullptr) {
        return call.Fail(ERROR_FILE_NOT_FOUND);
    }
    if (source.node->folder) {
        return call.Fail(ERROR_ACCESS_DENIED);
    }
    if (DWORD error = files.HoldError(source.key, Access::Read)) {
        return call.Fail(error);
    }
    FileSystem::Located target;
    if (DWORD error = call.Locate(Text(lpNewFileName), target)) {
        return call.Fail(error);
    }
    if (target.parent == nullptr) {
        return call.Fail(ERROR_ACCESS_DENIED);
    }
    if (target.node == nullptr && target.path.folderForm) {
        return call.Fail(ERROR_INVALID_NAME);  // "new.txt\" names no file to create
    }
    if (target.key == source.key) {
        return call.Fail(ERROR_SHARING_VIOLATION);  // the source is open for reading
    }
    if (target.node != nullptr) {
        if (bFailIfExists) {
            return call.Fail(ERROR_FILE_EXISTS);
        }
        if (target.node->folder || (target.node->attributes & FILE_ATTRIBUTE_READONLY)) {
            return call.Fail(ERROR_ACCESS_DENIED);
        }
        if (DWORD error = files.HoldError(target.key, Access::Write)) {
            return call.Fail(error);
        }
        target.node->attributes = source.node->attributes | FILE_ATTRIBUTE_ARCHIVE;
        if (call.faulted()) {
            target.node->content =
                source.node->content.substr(0, static_cast<size_t>(call.fault->partialBytes));
            return call.Fail();
        }
        target.node->content = source.node->content;
        return TRUE;
    }
    // The copy keeps the source's attributes, read-only included. A full disk (a fault with
    // `partialBytes`) leaves the target cut, as Wine does.
    FileNode& copy = files.Create(target, false, source.node->attributes | FILE_ATTRIBUTE_ARCHIVE);
    if (call.faulted()) {
        copy.content = source.node->content.substr(0, static_cast<size_t>(call.fault->partialBytes));
        return call.Fail();
    }
    copy.content = source.node->content;
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    ApiCall call("DeleteFileA", Text(lpFileName));
    if (call.faulted()) {
        return call.Fail();
    }
    if (DWORD error = call.machine.files.DeleteFileAt(Text(lpFileName), call.Caller().currentFolder)) {
        return call.Fail(error);
    }
    return TRUE;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    ApiCall call("SetFileAttributesA", Text(lpFileName));
    if (call.faulted()) {
        return call.Fail();
    }
    FileSystem::Located located;
    if (DWORD error = call.Locate(Text(lpFileName), located)) {
        return call.Fail(error);
    }
    if (located.node == nullptr) {
        return call.Fail(ERROR_FILE_NOT_FOUND);
    }
    // Attributes may change while a program runs from the file; only a foreign lock stops it.
    if (DWORD error = call.machine.files.HoldError(located.key, Access::Metadata)) {
        return call.Fail(error);
    }
    DWORD kept =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    located.node->attributes =
        (dwFileAttributes & kept) | (located.node->folder ? FILE_ATTRIBUTE_DIRECTORY : 0);
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    ApiCall call("GetFileAttributesA", Text(lpFileName));
    if (call.faulted()) {
        return call.Fail(call.fault->error, INVALID_FILE_ATTRIBUTES);
    }
    FileSystem::Located located;
    DWORD error = call.Locate(Text(lpFileName), located);
    if (error == 0 && located.node == nullptr) {
        error = ERROR_FILE_NOT_FOUND;
    }
    if (error != 0) {
        return call.Fail(error, INVALID_FILE_ATTRIBUTES);
    }
    // Of a link, its own attributes; a file without attributes is "normal", as Windows reports it.
    return located.node->attributes != 0 ? located.node->attributes : FILE_ATTRIBUTE_NORMAL;
}

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
    ApiCall call("GetFullPathNameA", Text(lpFileName));
    if (call.faulted()) {
        return call.Fail();
    }
    std::string raw = Text(lpFileName);
    std::string full;
    if (raw.rfind("\\\\?\\", 0) == 0 || raw.rfind("\\\\.\\", 0) == 0) {
        full = raw;  // device and long-path forms stay as they are
    } else {
        // Resolved as text only: whether the file exists does not matter.
        sim::SimPath path;
        if (DWORD error = sim::ResolvePath(raw, call.Caller().currentFolder, path, true, false, false)) {
            return call.Fail(error);
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
    ApiCall call("FindFirstFileA", Text(lpFileName));
    if (call.faulted()) {
        return call.Fail(call.fault->error, INVALID_HANDLE_VALUE);
    }
    FileSystem& files = call.machine.files;
    std::string pattern = Text(lpFileName);
    size_t split = pattern.find_last_of("\\/");
    std::string folderPath = split == std::string::npos ? "." : pattern.substr(0, split);
    std::string namePattern = split == std::string::npos ? pattern : pattern.substr(split + 1);
    if (folderPath.empty() || (folderPath.size() == 2 && folderPath[1] == ':')) {
        folderPath += "\\";
    }
    sim::SimPath checked;
    if (DWORD error = sim::ResolvePath(pattern, call.Caller().currentFolder, checked, true)) {
        return call.Fail(error, INVALID_HANDLE_VALUE);
    }
    FileSystem::Located folder;
    DWORD error = call.Locate(folderPath, folder);
    if (error == 0 && (folder.node == nullptr || !folder.node->folder)) {
        error = ERROR_PATH_NOT_FOUND;
    }
    if (error != 0) {
        return call.Fail(error, INVALID_HANDLE_VALUE);
    }
    // A listing of a link lists the folder it leads to.
    const FileNode* listed = files.FollowLinks(folder.node);
    if (listed == nullptr) {
        return call.Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
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
        return call.Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    }
    *lpFindFileData = search.entries[0];
    search.next = 1;
    HANDLE handle = files.NewHandle();
    files.FindHandles()[handle] = search;
    return handle;
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    ApiCall call("FindNextFileA", "");
    if (call.faulted()) {
        return call.Fail();
    }
    FileSystem& files = call.machine.files;
    auto found = files.FindHandles().find(hFindFile);
    if (found == files.FindHandles().end()) {
        return call.Fail(ERROR_INVALID_HANDLE);
    }
    FileSystem::SearchState& search = found->second;
    if (search.next >= search.entries.size()) {
        return call.Fail(ERROR_NO_MORE_FILES);
    }
    *lpFindFileData = search.entries[search.next++];
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    ApiCall call("FindClose", "");
    bool closed = call.machine.files.FindHandles().erase(hFindFile) == 1;
    if (call.faulted()) {
        return call.Fail();
    }
    return closed ? TRUE : call.Fail(ERROR_INVALID_HANDLE);
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    ApiCall call("RemoveDirectoryA", Text(lpPathName));
    if (call.faulted()) {
        return call.Fail();
    }
    if (DWORD error = call.machine.files.RemoveFolderAt(Text(lpPathName), call.Caller().currentFolder)) {
        return call.Fail(error);
    }
    return TRUE;
}

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
    if (call.machine.processes.CloseMutex(hObject) || call.machine.processes.CloseEvent(hObject)) {
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
