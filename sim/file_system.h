// The file system of the simulated Windows: drives and shares of folders and files, found without
// regard to letter case with Win32 path rules, the holds that keep a file or folder from being
// deleted or written, the temporary folder, and the open file and search handles.
//
// It stands on the clock alone (a hold lasts until a moment); the process that holds a file is a
// number to it, and the process table lets go of a process's holds when the process ends.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "journal.h"
#include "sim_path.h"
#include "simulated_windows_api.h"

namespace sim {

struct FileNode {
    std::string name;
    bool folder = false;
    DWORD attributes = 0;
    std::string content;
    FileNode* parent = nullptr;
    std::map<std::string, std::unique_ptr<FileNode>> children;  // by upper-case name: listing order
    // A link (a junction, a symbolic link) to a folder: a path through it, and a listing of it, lead to
    // that folder; the link itself has no entries of its own, and removing it removes only the link.
    std::string linkTarget;
};

// What keeps a file or folder from being deleted or written.
enum class HoldKind {
    Image,          // the executable of a running process: no delete (5), no write (32); reading is fine
    OpenFile,       // opened without sharing: no delete, read or write (32)
    Locked,         // held by somebody else: every access fails with the hold's error
    CurrentFolder,  // a process's current folder: cannot be removed (32)
};

struct Hold {
    std::string key;  // PathKey of the held file or folder
    HoldKind kind;
    int process = 0;
    Time until = kForever;
    DWORD error = ERROR_SHARING_VIOLATION;
};

// What an access asks of a file or folder, for the error a hold gives it.
enum class Access {
    Metadata,  // its attributes or identity only
    Read,
    Write,
    Delete,        // of a file
    RemoveFolder,  // of a folder
};

class FileSystem {
  public:
    explicit FileSystem(const Clock& clock);
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // A test names files and folders by full paths (a query reads a relative one from C:\).
    void AddDrive(const std::string& drive);  // "D:"
    void AddShare(const std::string& share);  // "\\SERVER\SHARE"
    // A drive letter that stands for a folder, as `subst` makes one, or Wine's Z: for the Unix root.
    void AddSubstDrive(const std::string& drive, const std::string& folder);
    void AddFolder(const std::string& path);  // with every missing parent
    void AddFile(const std::string& path, const std::string& content = "",
                 DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
    // A link at `path` to the folder `target` (full paths; the target need not exist).
    void AddLink(const std::string& path, const std::string& target);
    bool Exists(const std::string& path) const;
    bool IsFolder(const std::string& path) const;
    std::string FileContent(const std::string& path) const;
    DWORD Attributes(const std::string& path) const;  // INVALID_FILE_ATTRIBUTES when missing
    std::vector<std::string> FolderEntries(const std::string& path) const;  // names, listing order
    // Every file and folder with its content, as "PATH" or "PATH=content", for comparisons.
    std::vector<std::string> AllFiles() const;
    // Somebody else holds the file or folder until `until`: every access fails with `error`.
    void LockFile(const std::string& path, DWORD error = ERROR_SHARING_VIOLATION, Time until = kForever);
    void SetTempPath(const std::string& path) { tempPath_ = path; }
    const std::string& TempPath() const { return tempPath_; }
    // The temporary folder as GetTempPathW reports it: by default the ANSI one in UTF-16. A folder
    // named with a character that the ANSI code page lacks (C:\Users\Łukasz\Temp under code page
    // 1252) has a wide form that differs from the ANSI one (C:\Users\Lukasz\Temp); a test sets both.
    void SetTempPathWide(const std::u16string& path) { tempPathWide_ = path; }
    std::u16string TempPathWide() const;
    // The short (8.3) form of a path whose names the ANSI code page cannot hold, as GetShortPathNameW
    // reports it ("C:\users\_UKA~1\Temp\" for C:\users\Łukasz\Temp\); a path without one is its own.
    void SetShortPath(const std::u16string& path, const std::string& shortPath) {
        shortPaths_[path] = shortPath;
    }
    std::u16string ShortPath(const std::u16string& path) const;
    int OpenFileHandleCount() const { return static_cast<int>(fileHandles_.size()); }
    int OpenFindHandleCount() const { return static_cast<int>(findHandles_.size()); }

    // --- For the file functions, the processes and the command interpreter --------------------
    struct Located {
        SimPath path;
        std::string key;
        FileNode* parent = nullptr;  // the folder that holds (or would hold) the target
        FileNode* node = nullptr;    // the target, when it exists
    };
    // Resolves a path against the current folder `cwd`; 0, or the error for a path that cannot be
    // resolved or whose parent folder is missing.
    DWORD Locate(const std::string& raw, const std::string& cwd, Located& out, bool wildcards = false,
                 bool enforceLimit = true) const;
    // Puts a new file or folder where `located` points.
    FileNode& Create(const Located& located, bool folder, DWORD attributes);
    // The folder a link leads to (through links to links, a few at most), or the node itself when it
    // is no link; null for a link that leads nowhere.
    FileNode* FollowLinks(FileNode* node, int depth = 0) const;
    DWORD DeleteFileAt(const std::string& raw, const std::string& cwd);
    DWORD RemoveFolderAt(const std::string& raw, const std::string& cwd);

    // What GetFileInformationByHandle tells of a file or folder: its volume's serial number and its
    // file index, the same for every path that leads to it.
    void Identify(const FileNode& node, DWORD& volumeSerial, std::uint64_t& index) const;

    const Hold* ActiveHold(const std::string& key) const;
    // The error with which a hold on the file or folder `key` stops the access; 0 when none does.
    DWORD HoldError(const std::string& key, Access access) const;
    void AddHold(const Hold& hold) { holds_.push_back(hold); }
    // Lets go of every hold of the process at `at`.
    void ReleaseHolds(int process, Time at);
    void ReleaseHold(const std::string& key, HoldKind kind, int process);

    struct OpenFileState {
        std::string key;
        FileNode* node = nullptr;
        int process = 0;
        bool held = true;     // opened without sharing: nobody else deletes or writes it meanwhile
        size_t position = 0;  // where the next read starts
    };
    struct SearchState {
        std::vector<WIN32_FIND_DATAA> entries;
        size_t next = 0;
    };
    HANDLE NewHandle() { return reinterpret_cast<HANDLE>(nextHandle_ += 4); }
    std::map<HANDLE, OpenFileState>& FileHandles() { return fileHandles_; }
    std::map<HANDLE, SearchState>& FindHandles() { return findHandles_; }

  private:
    DWORD LocateAt(const std::string& raw, const std::string& cwd, Located& out, bool wildcards,
                   bool enforceLimit, int depth) const;
    const FileNode* FindNode(const std::string& path) const;
    // Puts a new file or folder at a full path, replacing what stood there, with every missing parent.
    FileNode& Place(const std::string& path, bool folder, DWORD attributes);
    FileNode* EnsureFolder(const std::string& path);

    const Clock& clock_;
    std::map<std::string, std::unique_ptr<FileNode>> roots_;  // by upper-case root
    std::vector<Hold> holds_;
    std::string tempPath_ = "C:\\WINDOWS\\TEMP\\";
    std::u16string tempPathWide_;  // empty: the ANSI one
    std::map<std::u16string, std::string> shortPaths_;
    std::map<HANDLE, OpenFileState> fileHandles_;
    std::map<HANDLE, SearchState> findHandles_;
    std::uintptr_t nextHandle_ = 0x100;
};

}  // namespace sim
