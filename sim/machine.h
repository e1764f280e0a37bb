// A simulated Windows machine: registry, file system, processes, windows, message boxes, a virtual
// clock, a journal of every platform call and injected faults, all in one value. A test builds a
// Machine, runs the program on it through the Windows functions of the platform header, and inspects
// it. Behaviour follows Windows where the program depends on it; time passes only when a program
// sleeps or the command interpreter works, so the same inputs always give the same journal.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows_api.h"
#include "sim_path.h"

namespace sim {

using Time = std::uint64_t;  // milliseconds on the virtual clock
constexpr Time kForever = ~Time{0};

using ProgramEntry = int (*)(HINSTANCE, HINSTANCE, LPSTR, int);

// A string argument of a Windows function as text; a null pointer reads as empty.
inline std::string Text(LPCSTR text) {
    return text != nullptr ? std::string(text) : std::string();
}

// How RegDeleteKeyA treats a key that still has child keys: NT refuses it (ERROR_ACCESS_DENIED),
// Windows 9x deletes the whole subtree.
enum class KeyDeletion { Nt, Win9x };

struct RegistryValue {
    std::string name;
    DWORD type = REG_SZ;
    std::string data;  // raw bytes, terminator included where the writer stored one
};

struct RegistryKey {
    std::string name;
    RegistryKey* parent = nullptr;
    std::map<std::string, std::shared_ptr<RegistryKey>> children;  // by upper-case name: enumeration order
    std::vector<RegistryValue> values;
    bool deleted = false;
    bool denyOpen = false;
    bool denyDelete = false;
};

struct FileNode {
    std::string name;
    bool folder = false;
    DWORD attributes = 0;
    std::string content;
    FileNode* parent = nullptr;
    std::map<std::string, std::unique_ptr<FileNode>> children;  // by upper-case name: listing order
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

struct Process {
    int id = 0;
    std::string image;
    std::string commandLine;
    std::string currentFolder;
    DWORD lastError = 0;
    bool running = true;
    Time exitTime = kForever;
    int exitStatus = 0;
};

struct WindowRecord {
    HWND handle = nullptr;
    std::string className;
    std::string title;
    int process = 0;
    bool closesOnWmClose = true;
    Time closeDelay = 0;
    Time destroyedAt = kForever;
};

struct MessageBoxRecord {
    std::string text;
    std::string caption;
    UINT type = 0;
    int answer = 0;
    int process = 0;
    bool hadOwner = false;
};

struct PostedMessage {
    HWND window = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    int process = 0;
};

struct StartRecord {
    std::string verb;  // empty: the default verb
    std::string file;
    std::optional<std::string> parameters;
    std::optional<std::string> directory;
    int show = 0;
    int process = 0;
    bool hadOwner = false;
    bool accepted = false;  // ShellExecuteA reported a start
    bool ran = false;       // the driver has run it
};

struct Notification {
    LONG event = 0;
    UINT flags = 0;
    std::string path;
    bool secondItem = false;
    int process = 0;
};

// An open handle to a named mutex; the mutex exists while some running process has one.
struct MutexHandle {
    HANDLE handle = nullptr;
    std::string name;  // as given: kernel object names are case-sensitive
    int process = 0;
};

struct CallRecord {
    std::string function;
    std::string detail;  // the main argument: a path, a key path, a text
    int process = 0;
    Time time = 0;
    bool faulted = false;
};

// A platform call that fails on purpose. `function` empty matches every call; `occurrence` counts the
// matching calls from 1 (0: every matching call). For WriteFile, `partialBytes` >= 0 writes that many
// bytes first; with error 0 the call then reports success with the short count.
struct Fault {
    std::string function;
    int occurrence = 1;
    DWORD error = ERROR_ACCESS_DENIED;
    int partialBytes = -1;
};

struct BatchRun {
    std::string script;
    int process = 0;
    bool finished = false;
    bool stepLimitReached = false;
    int steps = 0;
    std::vector<std::string> output;  // what the interpreter would have printed: errors, mostly
};

struct ProcessOptions {
    // How long the process lingers after its entry returns, holding its executable and folder.
    Time exitDelay = 0;
};

struct StartOutcome {
    bool ran = false;
    int process = 0;
    int exitStatus = 0;
    std::optional<BatchRun> batch;
};

class Machine {
  public:
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The machine that the Windows functions act on: the one most recently built and still alive.
    static Machine& Current();

    // --- Registry ------------------------------------------------------------------------------
    void AddKey(HKEY root, const std::string& path);
    void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                  const std::string& data);
    void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text);
    void DeleteValue(HKEY root, const std::string& path, const std::string& name);
    bool HasKey(HKEY root, const std::string& path) const;
    std::optional<RegistryValue> GetValue(HKEY root, const std::string& path, const std::string& name) const;
    std::vector<std::string> ChildKeys(HKEY root, const std::string& path) const;
    // Every key below the root, as full paths ("Software\VORSK Software"), for before/after comparisons.
    std::vector<std::string> AllKeys(HKEY root) const;
    void DenyKeyOpen(HKEY root, const std::string& path);    // RegOpenKeyExA/RegCreateKeyExA: access denied
    void DenyKeyDelete(HKEY root, const std::string& path);  // RegDeleteKeyA: access denied
    void SetKeyDeletion(KeyDeletion behaviour) { keyDeletion_ = behaviour; }
    int OpenKeyCount() const { return static_cast<int>(keyHandles_.size()); }

    // --- File system ---------------------------------------------------------------------------
    void AddDrive(const std::string& drive);  // "D:"
    void AddShare(const std::string& share);  // "\\SERVER\SHARE"
    void AddFolder(const std::string& path);  // with every missing parent
    void AddFile(const std::string& path, const std::string& content = "",
                 DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
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
    int OpenFileHandleCount() const { return static_cast<int>(fileHandles_.size()); }
    int OpenFindHandleCount() const { return static_cast<int>(findHandles_.size()); }

    // --- Processes and the driver ----------------------------------------------------------------
    // A process that runs without a program of ours (the product, say): it holds its executable and
    // current folder until it ends.
    int StartBackgroundProcess(const std::string& image, const std::string& currentFolder);
    void EndProcess(int process, Time at);
    const Process& GetProcess(int process) const;
    bool ProcessRunning(int process) const;
    int CurrentProcessId() const { return current_; }
    // Whether a named mutex exists: some process still running has a handle to it open.
    bool MutexExists(const std::string& name) const;

    // Runs `entry` as a new process of `image`, like the system starts a GUI program: its command
    // line is the quoted image path, and a space and the parameters when there are any.
    StartOutcome RunProgram(ProgramEntry entry, const std::string& image,
                            const std::optional<std::string>& parameters, const std::string& currentFolder,
                            ProcessOptions options = {});
    // Runs a start recorded by ShellExecuteA: an .exe with `entry`, a .bat with the command interpreter.
    StartOutcome RunStart(size_t index, ProgramEntry entry, ProcessOptions options = {});
    // Runs every recorded start not yet run, oldest first, including those the runs record; at most
    // `limit` of them.
    std::vector<StartOutcome> RunPendingStarts(ProgramEntry entry, ProcessOptions options = {},
                                               int limit = 16);
    BatchRun RunBatch(const std::string& script, const std::string& currentFolder);
    void SetBatchStepLimit(int steps) { batchStepLimit_ = steps; }
    void SetBatchLineCost(Time ms) { batchLineCost_ = ms; }
    const std::vector<BatchRun>& BatchRuns() const { return batchRuns_; }
    // Whether the command interpreter expands "!NAME!": the "DelayedExpansion" value of
    // Software\Microsoft\Command Processor, per user or per machine.
    bool DelayedExpansion() const;

    // --- Windows, message boxes, shell -------------------------------------------------------------
    HWND AddWindow(const std::string& className, const std::string& title, int process,
                   bool closesOnWmClose = true, Time closeDelay = 0);
    bool WindowExists(HWND window) const;
    const std::vector<PostedMessage>& PostedMessages() const { return posted_; }
    void AnswerMessageBox(int answer) { answers_.push_back(answer); }  // queued, first in first out
    const std::vector<MessageBoxRecord>& MessageBoxes() const { return messageBoxes_; }
    const std::vector<StartRecord>& Starts() const { return starts_; }
    const std::vector<Notification>& Notifications() const { return notifications_; }
    void MarkUnreadable(const void* pointer);  // IsBadReadPtr reports it
    void MarkUnwritable(const void* pointer);  // IsBadWritePtr reports it

    // --- Clock, journal, faults ------------------------------------------------------------------
    Time Now() const { return now_; }
    void Advance(Time ms) { now_ += ms; }
    const std::vector<CallRecord>& Journal() const { return journal_; }
    // Names of the calls made by one process (0: by every process), in order.
    std::vector<std::string> CallNames(int process = 0) const;
    int CallCount(const std::string& function, int process = 0) const;
    void InjectFault(const Fault& fault) { faults_.push_back(fault); }
    int TotalCalls() const { return totalCalls_; }

    // --- For the simulated Windows functions ---------------------------------------------------------
    // Journals a call and tells whether an injected fault makes it fail (with which fault).
    const Fault* EnterCall(const char* function, const std::string& detail);
    Process& CurrentProcess();
    void SetLastErrorCode(DWORD error) { CurrentProcess().lastError = error; }

    struct KeyLookup {
        std::shared_ptr<RegistryKey> key;
        std::string path;  // "HKLM\Software\..."
    };
    // Resolves a handle (root or open key); null key and the error otherwise.
    DWORD KeyFromHandle(HKEY handle, KeyLookup& out) const;
    HKEY OpenKeyHandle(const std::shared_ptr<RegistryKey>& key, const std::string& path);
    bool CloseKeyHandle(HKEY handle);
    RegistryKey& Root(HKEY root);
    static std::string RootName(HKEY root);
    KeyDeletion keyDeletion() const { return keyDeletion_; }

    struct Located {
        SimPath path;
        std::string key;
        FileNode* parent = nullptr;  // the folder that holds (or would hold) the target
        FileNode* node = nullptr;    // the target, when it exists
    };
    // Resolves a path for the current process; 0, or the error for a path that cannot be resolved or
    // whose parent folder is missing.
    DWORD Locate(const std::string& raw, Located& out, bool wildcards = false,
                 bool enforceLimit = true) const;
    const Hold* ActiveHold(const std::string& key) const;
    void AddHold(const Hold& hold) { holds_.push_back(hold); }
    void ReleaseHolds(int process, HoldKind kind, Time at);
    void ReleaseHold(const std::string& key, HoldKind kind, int process);
    // The file operations shared by the Windows functions and the command interpreter.
    DWORD DeleteFileAt(const std::string& raw);
    DWORD RemoveFolderAt(const std::string& raw);
    std::unique_ptr<FileNode> NewNode(const std::string& name, bool folder, DWORD attributes);

    struct OpenFileState {
        std::string key;
        FileNode* node = nullptr;
        int process = 0;
    };
    struct SearchState {
        std::vector<WIN32_FIND_DATAA> entries;
        size_t next = 0;
    };
    HANDLE NewHandle() { return reinterpret_cast<HANDLE>(nextHandle_ += 4); }
    std::map<HANDLE, OpenFileState>& FileHandles() { return fileHandles_; }
    std::map<HANDLE, SearchState>& FindHandles() { return findHandles_; }

    std::vector<MutexHandle>& MutexHandles() { return mutexes_; }
    std::vector<WindowRecord>& Windows() { return windows_; }
    std::vector<PostedMessage>& MutablePosted() { return posted_; }
    int NextAnswer(UINT type);
    std::vector<MessageBoxRecord>& MutableMessageBoxes() { return messageBoxes_; }
    std::vector<StartRecord>& MutableStarts() { return starts_; }
    std::vector<Notification>& MutableNotifications() { return notifications_; }
    bool IsMarked(const void* pointer, bool write) const;

  private:
    RegistryKey* FindKey(HKEY root, const std::string& path) const;
    RegistryKey& EnsureKey(HKEY root, const std::string& path);
    const FileNode* FindNode(const std::string& path) const;
    FileNode* EnsureFolder(const std::string& path);
    int NewProcess(const std::string& image, const std::string& commandLine,
                   const std::string& currentFolder);

    static Machine* active_;
    Machine* previous_ = nullptr;  // machines nest: the newest one is acted on until it is gone

    RegistryKey localMachine_;
    RegistryKey currentUser_;
    KeyDeletion keyDeletion_ = KeyDeletion::Nt;
    std::map<HKEY, KeyLookup> keyHandles_;

    std::map<std::string, std::unique_ptr<FileNode>> roots_;  // by upper-case root
    std::vector<Hold> holds_;
    std::string tempPath_ = "C:\\WINDOWS\\TEMP\\";
    std::map<HANDLE, OpenFileState> fileHandles_;
    std::map<HANDLE, SearchState> findHandles_;
    std::uintptr_t nextHandle_ = 0x100;

    std::deque<Process> processes_;  // a deque: command lines handed out stay where they are
    int current_ = 0;
    std::vector<MutexHandle> mutexes_;

    std::vector<WindowRecord> windows_;
    std::vector<PostedMessage> posted_;
    std::vector<int> answers_;
    std::vector<MessageBoxRecord> messageBoxes_;
    std::vector<StartRecord> starts_;
    std::vector<Notification> notifications_;
    std::vector<std::pair<const void*, bool>> badPointers_;

    Time now_ = 0;
    std::vector<CallRecord> journal_;
    std::vector<Fault> faults_;
    std::map<std::string, int> callsByFunction_;
    int totalCalls_ = 0;

    std::vector<BatchRun> batchRuns_;
    int batchStepLimit_ = 100000;
    Time batchLineCost_ = 1;
};

}  // namespace sim
