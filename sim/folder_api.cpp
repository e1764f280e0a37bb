// The folder functions of the simulated Windows (KERNEL32), on its file system: the temporary, Windows
// and system folders, full paths, making and removing folders, and searches with their handles. Names
// are found without regard to letter case, relative paths against the calling process's current
// folder; errors are reported through GetLastError with Windows' codes.
#include <algorithm>
#include <cstring>

#include "api_call.h"

using sim::ApiCall;
using sim::FileNode;
using sim::FileSystem;
using sim::Machine;
using sim::Text;

namespace {

void FillFindData(const FileNode& node, const std::string& name, WIN32_FIND_DATAA& data) {
    std::memset(&data, 0, sizeof data);
    // A file without attributes is listed as "normal", as Windows does.
    data.dwFileAttributes = node.attributes != 0 ? node.attributes : FILE_ATTRIBUTE_NORMAL;
    data.nFileSizeLow = static_cast<DWORD>(node.content.size());
    std::memcpy(data.cFileName, name.c_str(), std::min<size_t>(name.size(), MAX_PATH - 1));
}

// Copies a folder's path as GetWindowsDirectoryA does: its length, or the size it needs when it does
// not fit.
UINT CopyFolderPath(const char* function, const std::string& path, LPSTR buffer, UINT size) {
    ApiCall call(function, "");
    if (call.faulted()) {
        return call.Fail();
    }
    if (size < path.size() + 1) {
        return static_cast<UINT>(path.size() + 1);
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<UINT>(path.size());
}

}  // namespace

namespace {

// TEMP as the system reports it: a relative one resolved against the caller's current folder.
std::string ResolvedTempPath(const ApiCall& call, const std::string& path) {
    bool full = (path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) ||
                path.rfind("\\\\", 0) == 0;
    sim::SimPath resolved;
    if (full || sim::ResolvePath(path, call.Caller().currentFolder, resolved, false, false, false) != 0) {
        return path;
    }
    std::string text = sim::PathText(resolved);
    return resolved.folderForm && text.back() != '\\' ? text + '\\' : text;
}

}  // namespace

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    ApiCall call("GetTempPathA", "");
    if (call.faulted()) {
        return call.Fail();
    }
    const std::string path = ResolvedTempPath(call, call.machine.files.TempPath());
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
    if (path == sim::AnsiToWide(call.machine.files.TempPath())) {
        path = sim::AnsiToWide(ResolvedTempPath(call, call.machine.files.TempPath()));
    }
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

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return CopyFolderPath("GetWindowsDirectoryA", "C:\\WINDOWS", lpBuffer, uSize);
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize) {
    return CopyFolderPath("GetSystemDirectoryA", "C:\\WINDOWS\\SYSTEM32", lpBuffer, uSize);
}

// As on 64-bit Windows; a test makes the function a stub for a 32-bit one, or takes it away
// (GetProcAddress) for an older one.
UINT WINAPI GetSystemWow64DirectoryA(LPSTR lpBuffer, UINT uSize) {
    if (Machine::Current().modules.IsStub("GetSystemWow64DirectoryA")) {
        return ApiCall("GetSystemWow64DirectoryA", "").Fail(ERROR_CALL_NOT_IMPLEMENTED);
    }
    return CopyFolderPath("GetSystemWow64DirectoryA", "C:\\WINDOWS\\SysWOW64", lpBuffer, uSize);
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

// The short (8.3) form a test gave a path; a path without one comes back as it is, where it exists.
DWORD WINAPI GetShortPathNameW(LPCWSTR lpszLongPath, LPWSTR lpszShortPath, DWORD cchBuffer) {
    ApiCall call("GetShortPathNameW", sim::Narrow(lpszLongPath));
    if (call.faulted()) {
        return call.Fail();
    }
    std::u16string shortPath = call.machine.files.ShortPath(lpszLongPath);
    FileSystem::Located located;
    if (shortPath == lpszLongPath &&
        (call.Locate(sim::Narrow(lpszLongPath), located) != 0 || located.node == nullptr)) {
        return call.Fail(ERROR_FILE_NOT_FOUND);
    }
    if (cchBuffer < shortPath.size() + 1) {
        return static_cast<DWORD>(shortPath.size() + 1);
    }
    std::copy(shortPath.begin(), shortPath.end(), lpszShortPath);
    lpszShortPath[shortPath.size()] = 0;
    return static_cast<DWORD>(shortPath.size());
}
