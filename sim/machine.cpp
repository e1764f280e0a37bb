#include "machine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace sim {

Machine* Machine::active_ = nullptr;

namespace {

std::vector<std::string> SplitKeyPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) {
        parts.push_back(part);
    }
    return parts;
}

void ListKeys(const RegistryKey& key, const std::string& prefix, std::vector<std::string>& out) {
    for (const auto& entry : key.children) {
        std::string path = prefix.empty() ? entry.second->name : prefix + "\\" + entry.second->name;
        out.push_back(path);
        ListKeys(*entry.second, path, out);
    }
}

void ListFiles(const FileNode& node, const std::string& path, std::vector<std::string>& out) {
    for (const auto& entry : node.children) {
        const FileNode& child = *entry.second;
        std::string childPath = path + "\\" + child.name;
        if (child.folder) {
            out.push_back(childPath + "\\");
            ListFiles(child, childPath, out);
        } else {
            out.push_back(childPath + "=" + child.content);
        }
    }
}

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "simulated Windows: %s\n", message.c_str());
    std::abort();
}

}  // namespace

Machine::Machine() : previous_(active_) {
    active_ = this;
    localMachine_.name = "HKEY_LOCAL_MACHINE";
    currentUser_.name = "HKEY_CURRENT_USER";
    AddDrive("C:");
    AddFolder("C:\\WINDOWS\\TEMP");
    // The desktop: the process in whose name a test calls the Windows functions directly.
    Process desktop;
    desktop.id = 1;
    desktop.image = "C:\\WINDOWS\\EXPLORER.EXE";
    desktop.commandLine = desktop.image;
    desktop.currentFolder = "C:\\";
    processes_.push_back(desktop);
    current_ = 1;
}

Machine::~Machine() {
    if (active_ != this) {
        Fail("machines must end in the reverse order of their making");
    }
    active_ = previous_;
}

Machine& Machine::Current() {
    if (active_ == nullptr) {
        Fail("a Windows function was called with no Machine alive");
    }
    return *active_;
}

// --- Registry ------------------------------------------------------------------------------------

RegistryKey& Machine::Root(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) {
        return localMachine_;
    }
    if (root == HKEY_CURRENT_USER) {
        return currentUser_;
    }
    Fail("unknown registry root");
}

std::string Machine::RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) {
        return "HKLM";
    }
    if (root == HKEY_CURRENT_USER) {
        return "HKCU";
    }
    return "?";
}

RegistryKey* Machine::FindKey(HKEY root, const std::string& path) const {
    RegistryKey* key = &const_cast<Machine*>(this)->Root(root);
    for (const std::string& part : SplitKeyPath(path)) {
        auto child = key->children.find(UpperCase(part));
        if (child == key->children.end()) {
            return nullptr;
        }
        key = child->second.get();
    }
    return key;
}

RegistryKey& Machine::EnsureKey(HKEY root, const std::string& path) {
    RegistryKey* key = &Root(root);
    for (const std::string& part : SplitKeyPath(path)) {
        auto& slot = key->children[UpperCase(part)];
        if (!slot) {
            slot = std::make_shared<RegistryKey>();
            slot->name = part;
            slot->parent = key;
        }
        key = slot.get();
    }
    return *key;
}

void Machine::AddKey(HKEY root, const std::string& path) {
    EnsureKey(root, path);
}

void Machine::SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                       const std::string& data) {
    RegistryKey& key = EnsureKey(root, path);
    for (RegistryValue& value : key.values) {
        if (SameName(value.name, name)) {
            value.type = type;
            value.data = data;
            return;
        }
    }
    key.values.push_back(RegistryValue{name, type, data});
}

void Machine::SetString(HKEY root, const std::string& path, const std::string& name,
                        const std::string& text) {
    SetValue(root, path, name, REG_SZ, text + std::string(1, '\0'));
}

void Machine::DeleteValue(HKEY root, const std::string& path, const std::string& name) {
    RegistryKey& key = EnsureKey(root, path);
    key.values.erase(
        std::remove_if(key.values.begin(), key.values.end(),
                       [&name](const RegistryValue& value) { return SameName(value.name, name); }),
        key.values.end());
}

bool Machine::HasKey(HKEY root, const std::string& path) const {
    return FindKey(root, path) != nullptr;
}

std::optional<RegistryValue> Machine::GetValue(HKEY root, const std::string& path,
                                               const std::string& name) const {
    const RegistryKey* key = FindKey(root, path);
    if (key != nullptr) {
        for (const RegistryValue& value : key->values) {
            if (SameName(value.name, name)) {
                return value;
            }
        }
    }
    return std::nullopt;
}

std::vector<std::string> Machine::ChildKeys(HKEY root, const std::string& path) const {
    std::vector<std::string> names;
    if (const RegistryKey* key = FindKey(root, path)) {
        for (const auto& entry : key->children) {
            names.push_back(entry.second->name);
        }
    }
    return names;
}

std::vector<std::string> Machine::AllKeys(HKEY root) const {
    std::vector<std::string> keys;
    ListKeys(const_cast<Machine*>(this)->Root(root), "", keys);
    return keys;
}

void Machine::DenyKeyOpen(HKEY root, const std::string& path) {
    EnsureKey(root, path).denyOpen = true;
}

void Machine::DenyKeyDelete(HKEY root, const std::string& path) {
    EnsureKey(root, path).denyDelete = true;
}

DWORD Machine::KeyFromHandle(HKEY handle, KeyLookup& out) const {
    if (handle == HKEY_LOCAL_MACHINE || handle == HKEY_CURRENT_USER) {
        Machine* self = const_cast<Machine*>(this);
        // Roots are never deleted; an aliasing shared_ptr lends them without ownership.
        out.key = std::shared_ptr<RegistryKey>(std::shared_ptr<RegistryKey>(), &self->Root(handle));
        out.path = RootName(handle);
        return ERROR_SUCCESS;
    }
    auto found = keyHandles_.find(handle);
    if (found == keyHandles_.end()) {
        return ERROR_INVALID_HANDLE;
    }
    out = found->second;
    return out.key->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

HKEY Machine::OpenKeyHandle(const std::shared_ptr<RegistryKey>& key, const std::string& path) {
    HKEY handle = reinterpret_cast<HKEY>(NewHandle());
    keyHandles_[handle] = KeyLookup{key, path};
    return handle;
}

bool Machine::CloseKeyHandle(HKEY handle) {
    return keyHandles_.erase(handle) == 1;
}

// --- File system ---------------------------------------------------------------------------------

std::unique_ptr<FileNode> Machine::NewNode(const std::string& name, bool folder, DWORD attributes) {
    auto node = std::make_unique<FileNode>();
    node->name = name;
    node->folder = folder;
    node->attributes = folder ? (attributes | FILE_ATTRIBUTE_DIRECTORY) : attributes;
    return node;
}

void Machine::AddDrive(const std::string& drive) {
    roots_[UpperCase(drive)] = NewNode(UpperCase(drive), true, 0);
}

void Machine::AddShare(const std::string& share) {
    roots_[UpperCase(share)] = NewNode(share, true, 0);
}

FileNode* Machine::EnsureFolder(const std::string& path) {
    SimPath resolved;
    if (ResolvePath(path, "", resolved, false, false) != 0) {
        Fail("not a full path: " + path);
    }
    auto root = roots_.find(UpperCase(resolved.root));
    if (root == roots_.end()) {
        Fail("no such drive or share: " + path);
    }
    FileNode* node = root->second.get();
    for (const std::string& segment : resolved.segments) {
        auto& slot = node->children[UpperCase(segment)];
        if (!slot) {
            slot = NewNode(segment, true, 0);
            slot->parent = node;
        } else if (!slot->folder) {
            Fail("a file stands where a folder is wanted: " + path);
        }
        node = slot.get();
    }
    return node;
}

void Machine::AddFolder(const std::string& path) {
    EnsureFolder(path);
}

void Machine::AddFile(const std::string& path, const std::string& content, DWORD attributes) {
    SimPath resolved;
    if (ResolvePath(path, "", resolved, false, false) != 0 || resolved.segments.empty()) {
        Fail("not a full file path: " + path);
    }
    std::string name = resolved.segments.back();
    resolved.segments.pop_back();
    FileNode* folder = EnsureFolder(PathText(resolved));
    auto node = NewNode(name, false, attributes);
    node->content = content;
    node->parent = folder;
    folder->children[UpperCase(name)] = std::move(node);
}

const FileNode* Machine::FindNode(const std::string& path) const {
    Located located;
    if (Locate(path, located, false, false) != 0) {
        return nullptr;
    }
    return located.node;
}

bool Machine::Exists(const std::string& path) const {
    return FindNode(path) != nullptr;
}

bool Machine::IsFolder(const std::string& path) const {
    const FileNode* node = FindNode(path);
    return node != nullptr && node->folder;
}

std::string Machine::FileContent(const std::string& path) const {
    const FileNode* node = FindNode(path);
    return node != nullptr ? node->content : std::string();
}

DWORD Machine::Attributes(const std::string& path) const {
    const FileNode* node = FindNode(path);
    return node != nullptr ? node->attributes : INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> Machine::FolderEntries(const std::string& path) const {
    std::vector<std::string> names;
    if (const FileNode* node = FindNode(path)) {
        for (const auto& entry : node->children) {
            names.push_back(entry.second->name);
        }
    }
    return names;
}

std::vector<std::string> Machine::AllFiles() const {
    std::vector<std::string> files;
    for (const auto& root : roots_) {
        ListFiles(*root.second, root.second->name, files);
    }
    return files;
}

void Machine::LockFile(const std::string& path, DWORD error, Time until) {
    SimPath resolved;
    if (ResolvePath(path, "", resolved, false, false) != 0) {
        Fail("not a full path: " + path);
    }
    holds_.push_back(Hold{PathKey(resolved), HoldKind::Locked, 0, until, error});
}

DWORD Machine::Locate(const std::string& raw, Located& out, bool wildcards, bool enforceLimit) const {
    out = Located{};
    const Process& process = const_cast<Machine*>(this)->CurrentProcess();
    if (DWORD error = ResolvePath(raw, process.currentFolder, out.path, wildcards, enforceLimit)) {
        return error;
    }
    out.key = PathKey(out.path);
    auto root = roots_.find(UpperCase(out.path.root));
    if (root == roots_.end()) {
        return out.path.root.size() > 2 ? ERROR_BAD_NETPATH : ERROR_PATH_NOT_FOUND;
    }
    FileNode* node = root->second.get();
    if (out.path.segments.empty()) {
        out.node = node;
        return 0;
    }
    for (size_t i = 0; i + 1 < out.path.segments.size(); ++i) {
        auto child = node->children.find(UpperCase(out.path.segments[i]));
        if (child == node->children.end() || !child->second->folder) {
            return ERROR_PATH_NOT_FOUND;
        }
        node = child->second.get();
    }
    out.parent = node;
    auto target = node->children.find(UpperCase(out.path.segments.back()));
    out.node = target == node->children.end() ? nullptr : target->second.get();
    // "file.txt\" asks for a folder: Windows refuses the name rather than find the file.
    if (out.node != nullptr && !out.node->folder && out.path.folderForm) {
        return ERROR_INVALID_NAME;
    }
    return 0;
}

const Hold* Machine::ActiveHold(const std::string& key) const {
    for (const Hold& hold : holds_) {
        if (hold.key == key && now_ < hold.until) {
            return &hold;
        }
    }
    return nullptr;
}

void Machine::ReleaseHolds(int process, HoldKind kind, Time at) {
    for (Hold& hold : holds_) {
        if (hold.process == process && hold.kind == kind && hold.until > at) {
            hold.until = at;
        }
    }
}

void Machine::ReleaseHold(const std::string& key, HoldKind kind, int process) {
    for (Hold& hold : holds_) {
        if (hold.key == key && hold.kind == kind && hold.process == process && hold.until > now_) {
            hold.until = now_;
            return;
        }
    }
}

DWORD Machine::DeleteFileAt(const std::string& raw) {
    Located located;
    if (DWORD error = Locate(raw, located)) {
        return error;
    }
    if (located.node == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (located.node->folder || located.parent == nullptr ||
        (located.node->attributes & FILE_ATTRIBUTE_READONLY)) {
        return ERROR_ACCESS_DENIED;
    }
    if (const Hold* hold = ActiveHold(located.key)) {
        return hold->kind == HoldKind::Image    ? ERROR_ACCESS_DENIED
               : hold->kind == HoldKind::Locked ? hold->error
                                                : ERROR_SHARING_VIOLATION;
    }
    located.parent->children.erase(UpperCase(located.path.segments.back()));
    return ERROR_SUCCESS;
}

DWORD Machine::RemoveFolderAt(const std::string& raw) {
    Located located;
    if (DWORD error = Locate(raw, located)) {
        return error;
    }
    if (located.node == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (!located.node->folder) {
        return ERROR_DIRECTORY;
    }
    if (located.parent == nullptr || (located.node->attributes & FILE_ATTRIBUTE_READONLY)) {
        return ERROR_ACCESS_DENIED;
    }
    if (!located.node->children.empty()) {
        return ERROR_DIR_NOT_EMPTY;
    }
    if (const Hold* hold = ActiveHold(located.key)) {
        return hold->kind == HoldKind::Locked ? hold->error : ERROR_SHARING_VIOLATION;
    }
    located.parent->children.erase(UpperCase(located.path.segments.back()));
    return ERROR_SUCCESS;
}

bool Machine::IsMarked(const void* pointer, bool write) const {
    for (const auto& mark : badPointers_) {
        if (mark.first == pointer && mark.second == write) {
            return true;
        }
    }
    return false;
}

void Machine::MarkUnreadable(const void* pointer) {
    badPointers_.emplace_back(pointer, false);
}

void Machine::MarkUnwritable(const void* pointer) {
    badPointers_.emplace_back(pointer, true);
}

// --- Processes -------------------------------------------------------------------------------------

Process& Machine::CurrentProcess() {
    for (Process& process : processes_) {
        if (process.id == current_) {
            return process;
        }
    }
    Fail("no current process");
}

const Process& Machine::GetProcess(int id) const {
    for (const Process& process : processes_) {
        if (process.id == id) {
            return process;
        }
    }
    Fail("no such process");
}

bool Machine::ProcessRunning(int id) const {
    return now_ < GetProcess(id).exitTime;
}

bool Machine::MutexExists(const std::string& name) const {
    for (const MutexHandle& open : mutexes_) {
        if (open.name == name && ProcessRunning(open.process)) {
            return true;
        }
    }
    return false;
}

int Machine::NewProcess(const std::string& image, const std::string& commandLine,
                        const std::string& currentFolder) {
    Process process;
    process.id = processes_.back().id + 1;
    process.image = image;
    process.commandLine = commandLine;
    process.currentFolder = currentFolder;
    processes_.push_back(process);
    SimPath resolved;
    if (ResolvePath(image, currentFolder, resolved, false, false) == 0) {
        holds_.push_back(Hold{PathKey(resolved), HoldKind::Image, process.id, kForever, ERROR_ACCESS_DENIED});
    }
    if (ResolvePath(currentFolder, "", resolved, false, false) == 0) {
        holds_.push_back(Hold{PathKey(resolved), HoldKind::CurrentFolder, process.id, kForever, 0});
    }
    return process.id;
}

int Machine::StartBackgroundProcess(const std::string& image, const std::string& currentFolder) {
    return NewProcess(image, "\"" + image + "\"", currentFolder);
}

void Machine::EndProcess(int id, Time at) {
    for (Process& process : processes_) {
        if (process.id == id && process.exitTime > at) {
            process.running = false;
            process.exitTime = at;
        }
    }
    for (Hold& hold : holds_) {
        if (hold.process == id && hold.until > at) {
            hold.until = at;
        }
    }
    for (WindowRecord& window : windows_) {
        if (window.process == id && window.destroyedAt > at) {
            window.destroyedAt = at;
        }
    }
}

StartOutcome Machine::RunProgram(ProgramEntry entry, const std::string& image,
                                 const std::optional<std::string>& parameters,
                                 const std::string& currentFolder, ProcessOptions options) {
    StartOutcome outcome;
    int previous = current_;
    Located located;
    if (Locate(image, located, false, false) != 0 || located.node == nullptr || located.node->folder) {
        return outcome;  // nothing to start
    }
    std::string commandLine = "\"" + image + "\"";
    std::string tail;
    if (parameters.has_value()) {
        commandLine += " " + *parameters;
        tail = *parameters;
    }
    int id = NewProcess(image, commandLine, currentFolder);
    current_ = id;
    std::vector<char> tailBuffer(tail.begin(), tail.end());
    tailBuffer.push_back('\0');
    int status = entry(reinterpret_cast<HINSTANCE>(0x400000), nullptr, tailBuffer.data(), SW_SHOWNORMAL);
    current_ = previous;
    for (Process& process : processes_) {
        if (process.id == id) {
            process.exitStatus = status;
        }
    }
    EndProcess(id, now_ + options.exitDelay);
    outcome.ran = true;
    outcome.process = id;
    outcome.exitStatus = status;
    return outcome;
}

StartOutcome Machine::RunStart(size_t index, ProgramEntry entry, ProcessOptions options) {
    StartRecord start = starts_.at(index);
    starts_[index].ran = true;
    StartOutcome outcome;
    if (!start.accepted) {
        return outcome;
    }
    std::string folder = start.directory.value_or(GetProcess(start.process).currentFolder);
    std::string extension = start.file.size() >= 4 ? UpperCase(start.file.substr(start.file.size() - 4)) : "";
    if (extension == ".BAT") {
        outcome.batch = RunBatch(start.file, folder);
        outcome.ran = true;
        outcome.process = outcome.batch->process;
        return outcome;
    }
    return RunProgram(entry, start.file, start.parameters, folder, options);
}

std::vector<StartOutcome> Machine::RunPendingStarts(ProgramEntry entry, ProcessOptions options, int limit) {
    std::vector<StartOutcome> outcomes;
    for (size_t i = 0; i < starts_.size() && static_cast<int>(outcomes.size()) < limit; ++i) {
        if (!starts_[i].ran) {
            outcomes.push_back(RunStart(i, entry, options));
        }
    }
    return outcomes;
}

// --- Windows, message boxes --------------------------------------------------------------------------

HWND Machine::AddWindow(const std::string& className, const std::string& title, int process,
                        bool closesOnWmClose, Time closeDelay) {
    WindowRecord window;
    window.handle = reinterpret_cast<HWND>(NewHandle());
    window.className = className;
    window.title = title;
    window.process = process;
    window.closesOnWmClose = closesOnWmClose;
    window.closeDelay = closeDelay;
    windows_.push_back(window);
    return window.handle;
}

bool Machine::WindowExists(HWND handle) const {
    for (const WindowRecord& window : windows_) {
        if (window.handle == handle) {
            return now_ < window.destroyedAt;
        }
    }
    return false;
}

int Machine::NextAnswer(UINT type) {
    if (!answers_.empty()) {
        int answer = answers_.front();
        answers_.erase(answers_.begin());
        return answer;
    }
    (void)type;
    return IDOK;  // Return on the default button
}

// --- Journal ----------------------------------------------------------------------------------------

const Fault* Machine::EnterCall(const char* function, const std::string& detail) {
    ++totalCalls_;
    int count = ++callsByFunction_[function];
    const Fault* matched = nullptr;
    for (const Fault& fault : faults_) {
        bool sameFunction = fault.function.empty() || fault.function == function;
        int occurrence = fault.function.empty() ? totalCalls_ : count;
        if (sameFunction && (fault.occurrence == 0 || fault.occurrence == occurrence)) {
            matched = &fault;
            break;
        }
    }
    journal_.push_back(CallRecord{function, detail, current_, now_, matched != nullptr});
    return matched;
}

std::vector<std::string> Machine::CallNames(int process) const {
    std::vector<std::string> names;
    for (const CallRecord& call : journal_) {
        if (process == 0 || call.process == process) {
            names.push_back(call.function);
        }
    }
    return names;
}

int Machine::CallCount(const std::string& function, int process) const {
    int count = 0;
    for (const CallRecord& call : journal_) {
        if (call.function == function && (process == 0 || call.process == process)) {
            ++count;
        }
    }
    return count;
}

}  // namespace sim
