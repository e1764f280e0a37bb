#include "file_system.h"

#include "code_pages.h"

namespace sim {

namespace {

// Links to links are followed this many times at most: a link that leads to itself leads nowhere.
constexpr int kLinkDepth = 8;

std::unique_ptr<FileNode> NewNode(const std::string& name, bool folder, DWORD attributes) {
    auto node = std::make_unique<FileNode>();
    node->name = name;
    node->folder = folder;
    node->attributes = folder ? (attributes | FILE_ATTRIBUTE_DIRECTORY) : attributes;
    return node;
}

void ListFiles(const FileNode& node, const std::string& path, std::vector<std::string>& out) {
    for (const auto& entry : node.children) {
        const FileNode& child = *entry.second;
        std::string childPath = path + "\\" + child.name;
        if (child.folder) {
            out.push_back(childPath + "\\");
            ListFiles(child, childPath, out);  // a link has no entries of its own
        } else {
            out.push_back(childPath + "=" + child.content);
        }
    }
}

}  // namespace

std::u16string FileSystem::TempPathWide() const {
    return tempPathWide_.empty() ? AnsiToWide(tempPath_) : tempPathWide_;
}

std::u16string FileSystem::ShortPath(const std::u16string& path) const {
    auto found = shortPaths_.find(path);
    return found != shortPaths_.end() ? AnsiToWide(found->second) : path;
}

FileSystem::FileSystem(const Clock& clock) : clock_(clock) {
    AddDrive("C:");
    AddFolder("C:\\WINDOWS\\TEMP");
}

void FileSystem::AddDrive(const std::string& drive) {
    roots_[UpperCase(drive)] = NewNode(UpperCase(drive), true, 0);
}

void FileSystem::AddShare(const std::string& share) {
    roots_[UpperCase(share)] = NewNode(share, true, 0);
}

void FileSystem::AddSubstDrive(const std::string& drive, const std::string& folder) {
    auto root = NewNode(UpperCase(drive), true, 0);
    root->linkTarget = folder;
    roots_[UpperCase(drive)] = std::move(root);
}

void FileSystem::Identify(const FileNode& node, DWORD& volumeSerial, std::uint64_t& index) const {
    const FileNode* top = &node;
    while (top->parent != nullptr) {
        top = top->parent;
    }
    volumeSerial = 0x1000;
    for (char c : top->name) {
        volumeSerial = volumeSerial * 31 + static_cast<unsigned char>(c);
    }
    index = reinterpret_cast<std::uintptr_t>(&node);
}

FileNode* FileSystem::EnsureFolder(const std::string& path) {
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

void FileSystem::AddFolder(const std::string& path) {
    EnsureFolder(path);
}

FileNode& FileSystem::Place(const std::string& path, bool folder, DWORD attributes) {
    SimPath resolved;
    if (ResolvePath(path, "", resolved, false, false) != 0 || resolved.segments.empty()) {
        Fail("not a full path below a root: " + path);
    }
    std::string name = resolved.segments.back();
    resolved.segments.pop_back();
    FileNode* parent = EnsureFolder(PathText(resolved));
    auto node = NewNode(name, folder, attributes);
    node->parent = parent;
    FileNode& placed = *node;
    parent->children[UpperCase(name)] = std::move(node);
    return placed;
}

void FileSystem::AddFile(const std::string& path, const std::string& content, DWORD attributes) {
    Place(path, false, attributes).content = content;
}

void FileSystem::AddLink(const std::string& path, const std::string& target) {
    Place(path, true, FILE_ATTRIBUTE_REPARSE_POINT).linkTarget = target;
}

FileNode* FileSystem::FollowLinks(FileNode* node, int depth) const {
    if (node == nullptr || node->linkTarget.empty()) {
        return node;
    }
    Located target;
    if (depth >= kLinkDepth || LocateAt(node->linkTarget, "", target, false, false, depth + 1) != 0 ||
        target.node == nullptr || !target.node->folder) {
        return nullptr;
    }
    return FollowLinks(target.node, depth + 1);
}

const FileNode* FileSystem::FindNode(const std::string& path) const {
    Located located;
    if (Locate(path, "C:\\", located, false, false) != 0) {
        return nullptr;
    }
    return located.node;
}

bool FileSystem::Exists(const std::string& path) const {
    return FindNode(path) != nullptr;
}

bool FileSystem::IsFolder(const std::string& path) const {
    const FileNode* node = FindNode(path);
    return node != nullptr && node->folder;
}

std::string FileSystem::FileContent(const std::string& path) const {
    const FileNode* node = FindNode(path);
    return node != nullptr ? node->content : std::string();
}

DWORD FileSystem::Attributes(const std::string& path) const {
    const FileNode* node = FindNode(path);
    return node != nullptr ? node->attributes : INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FileSystem::FolderEntries(const std::string& path) const {
    std::vector<std::string> names;
    if (const FileNode* node = FindNode(path)) {
        for (const auto& entry : node->children) {
            names.push_back(entry.second->name);
        }
    }
    return names;
}

std::vector<std::string> FileSystem::AllFiles() const {
    std::vector<std::string> files;
    for (const auto& root : roots_) {
        ListFiles(*root.second, root.second->name, files);
    }
    return files;
}

void FileSystem::LockFile(const std::string& path, DWORD error, Time until) {
    SimPath resolved;
    if (ResolvePath(path, "", resolved, false, false) != 0) {
        Fail("not a full path: " + path);
    }
    holds_.push_back(Hold{PathKey(resolved), HoldKind::Locked, 0, until, error});
}

DWORD FileSystem::Locate(const std::string& raw, const std::string& cwd, Located& out, bool wildcards,
                         bool enforceLimit) const {
    return LocateAt(raw, cwd, out, wildcards, enforceLimit, 0);
}

DWORD FileSystem::LocateAt(const std::string& raw, const std::string& cwd, Located& out, bool wildcards,
                           bool enforceLimit, int depth) const {
    out = Located{};
    if (DWORD error = ResolvePath(raw, cwd, out.path, wildcards, enforceLimit)) {
        return error;
    }
    out.key = PathKey(out.path);
    auto root = roots_.find(UpperCase(out.path.root));
    if (root == roots_.end()) {
        return out.path.root.size() > 2 ? ERROR_BAD_NETPATH : ERROR_PATH_NOT_FOUND;
    }
    // A subst drive's root is the folder it stands for.
    FileNode* node = FollowLinks(root->second.get(), depth);
    if (node == nullptr) {
        return ERROR_PATH_NOT_FOUND;
    }
    if (out.path.segments.empty()) {
        out.node = node;
        return 0;
    }
    for (size_t i = 0; i + 1 < out.path.segments.size(); ++i) {
        auto child = node->children.find(UpperCase(out.path.segments[i]));
        if (child == node->children.end() || !child->second->folder) {
            return ERROR_PATH_NOT_FOUND;
        }
        node = FollowLinks(child->second.get(), depth);
        if (node == nullptr) {
            return ERROR_PATH_NOT_FOUND;
        }
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

FileNode& FileSystem::Create(const Located& located, bool folder, DWORD attributes) {
    const std::string& name = located.path.segments.back();
    auto node = NewNode(name, folder, attributes);
    node->parent = located.parent;
    FileNode& created = *node;
    located.parent->children[UpperCase(name)] = std::move(node);
    return created;
}

const Hold* FileSystem::ActiveHold(const std::string& key) const {
    for (const Hold& hold : holds_) {
        if (hold.key == key && clock_.Now() < hold.until) {
            return &hold;
        }
    }
    return nullptr;
}

DWORD FileSystem::HoldError(const std::string& key, Access access) const {
    const Hold* hold = ActiveHold(key);
    if (hold == nullptr) {
        return 0;
    }
    switch (hold->kind) {
        case HoldKind::Image:  // read, and looked at, while the program runs
            return access == Access::Delete                                    ? ERROR_ACCESS_DENIED
                   : access == Access::Write || access == Access::RemoveFolder ? ERROR_SHARING_VIOLATION
                                                                               : 0;
        case HoldKind::OpenFile:  // only its metadata: the open shares nothing else
            return access == Access::Metadata ? 0 : ERROR_SHARING_VIOLATION;
        case HoldKind::Locked:
            return hold->error;
        case HoldKind::CurrentFolder:  // it stays while a process works in it
            return access == Access::Delete || access == Access::RemoveFolder ? ERROR_SHARING_VIOLATION : 0;
    }
    return 0;
}

void FileSystem::ReleaseHolds(int process, Time at) {
    for (Hold& hold : holds_) {
        if (hold.process == process && hold.until > at) {
            hold.until = at;
        }
    }
}

void FileSystem::ReleaseHold(const std::string& key, HoldKind kind, int process) {
    for (Hold& hold : holds_) {
        if (hold.key == key && hold.kind == kind && hold.process == process && hold.until > clock_.Now()) {
            hold.until = clock_.Now();
            return;
        }
    }
}

DWORD FileSystem::DeleteFileAt(const std::string& raw, const std::string& cwd) {
    Located located;
    if (DWORD error = Locate(raw, cwd, located)) {
        return error;
    }
    if (located.node == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (located.node->folder || located.parent == nullptr ||
        (located.node->attributes & FILE_ATTRIBUTE_READONLY)) {
        return ERROR_ACCESS_DENIED;
    }
    if (DWORD error = HoldError(located.key, Access::Delete)) {
        return error;
    }
    located.parent->children.erase(UpperCase(located.path.segments.back()));
    return ERROR_SUCCESS;
}

DWORD FileSystem::RemoveFolderAt(const std::string& raw, const std::string& cwd) {
    Located located;
    if (DWORD error = Locate(raw, cwd, located)) {
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
    if (DWORD error = HoldError(located.key, Access::RemoveFolder)) {
        return error;
    }
    located.parent->children.erase(UpperCase(located.path.segments.back()));
    return ERROR_SUCCESS;
}

}  // namespace sim
