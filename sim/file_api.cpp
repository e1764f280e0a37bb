// The file functions of the simulated Windows (KERNEL32) that name a file: copying, deleting and its
// attributes, on its file system. Names are found without regard to letter case, relative paths
// against the calling process's current folder; errors are reported through GetLastError with
// Windows' codes. Folders and searches are in folder_api.cpp, open files in file_handle_api.cpp.
#include "api_call.h"

using sim::Access;
using sim::ApiCall;
using sim::FileNode;
using sim::FileSystem;
using sim::Text;

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
