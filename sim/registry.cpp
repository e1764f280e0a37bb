#include "registry.h"

#include <algorithm>

#include "sim_path.h"

namespace sim {

namespace {

// Links to links are followed this many times at most: a link that leads to itself leads nowhere.
constexpr int kLinkDepth = 8;

// The kernel's names of the two roots; the current user's hive is named by the user's SID.
const char kMachineHive[] = "\\REGISTRY\\MACHINE\\";
const char kUserHive[] = "\\REGISTRY\\USER\\S-1-5-21\\";

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

std::string RootName(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) {
        return "HKLM";
    }
    if (root == HKEY_CURRENT_USER) {
        return "HKCU";
    }
    return "?";
}

}  // namespace

Registry::Registry() {
    localMachine_.name = "HKEY_LOCAL_MACHINE";
    currentUser_.name = "HKEY_CURRENT_USER";
}

RegistryKey& Registry::Root(HKEY root) const {
    if (root == HKEY_LOCAL_MACHINE) {
        return localMachine_;
    }
    if (root == HKEY_CURRENT_USER) {
        return currentUser_;
    }
    Fail("unknown registry root");
}

RegistryKey* Registry::FindKey(HKEY root, const std::string& path) const {
    RegistryKey* key = &Root(root);
    for (const std::string& part : SplitKeyPath(path)) {
        auto child = key->children.find(UpperCase(part));
        if (child == key->children.end()) {
            return nullptr;
        }
        key = child->second.get();
    }
    return key;
}

RegistryKey& Registry::EnsureKey(HKEY root, const std::string& path) {
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

void Registry::AddKey(HKEY root, const std::string& path) {
    EnsureKey(root, path);
}

void Registry::SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                        const std::string& data) {
    RegistryKey& key = EnsureKey(root, path);
    for (RegistryValue& value : key.values) {
        if (SameName(value.name, name)) {
            value.type = type;
            value.data = data;
            return;
        }
    }
    key.values.push_back(RegistryValue{name, type, data, {}});
}

void Registry::SetString(HKEY root, const std::string& path, const std::string& name,
                         const std::string& text) {
    SetValue(root, path, name, REG_SZ, text + std::string(1, '\0'));
}

void Registry::DeleteValue(HKEY root, const std::string& path, const std::string& name) {
    RegistryKey& key = EnsureKey(root, path);
    key.values.erase(
        std::remove_if(key.values.begin(), key.values.end(),
                       [&name](const RegistryValue& value) { return SameName(value.name, name); }),
        key.values.end());
}

void Registry::SetWideForm(HKEY root, const std::string& path, const std::string& name,
                           const std::u16string& wide) {
    for (RegistryValue& value : EnsureKey(root, path).values) {
        if (SameName(value.name, name)) {
            value.wide = wide;
            return;
        }
    }
    Fail("no value " + name + " to give a wide form");
}

void Registry::AddLink(HKEY root, const std::string& path, HKEY targetRoot, const std::string& targetPath) {
    RegistryKey& link = EnsureKey(root, path);
    link.link = true;
    link.linkRoot = targetRoot;
    link.linkPath = targetPath;
    // The value Windows keeps the target in: the kernel's name of the key, in UTF-16.
    std::string target = (targetRoot == HKEY_LOCAL_MACHINE ? kMachineHive : kUserHive) + targetPath;
    std::string data;
    for (char c : target) {
        data += c;
        data += '\0';
    }
    link.values.push_back(RegistryValue{"SymbolicLinkValue", REG_LINK, data, {}});
}

void Registry::SetLinkTarget(RegistryKey& link, const std::string& kernelPath) {
    link.linkRoot = nullptr;
    link.linkPath.clear();
    for (auto hive :
         {std::make_pair(HKEY_LOCAL_MACHINE, kMachineHive), std::make_pair(HKEY_CURRENT_USER, kUserHive)}) {
        std::string prefix = hive.second;
        if (UpperCase(kernelPath.substr(0, prefix.size())) == prefix) {
            link.linkRoot = hive.first;
            link.linkPath = kernelPath.substr(prefix.size());
        }
    }
}

std::shared_ptr<RegistryKey> Registry::FollowLink(const std::shared_ptr<RegistryKey>& key, int depth) const {
    if (key == nullptr || !key->link) {
        return key;
    }
    if (depth >= kLinkDepth || key->linkRoot == nullptr) {
        return nullptr;
    }
    std::shared_ptr<RegistryKey> target(std::shared_ptr<RegistryKey>(), &Root(key->linkRoot));
    for (const std::string& part : SplitKeyPath(key->linkPath)) {
        auto child = target->children.find(UpperCase(part));
        if (child == target->children.end()) {
            return nullptr;
        }
        target = FollowLink(child->second, depth + 1);
        if (target == nullptr) {
            return nullptr;
        }
    }
    return target;
}

std::shared_ptr<RegistryKey> Registry::FollowLinkCreating(const std::shared_ptr<RegistryKey>& key,
                                                          bool& created) {
    std::shared_ptr<RegistryKey> target = FollowLink(key);
    if (target != nullptr || key->linkRoot == nullptr) {
        return target;
    }
    std::vector<std::string> parts = SplitKeyPath(key->linkPath);
    if (parts.empty()) {
        return nullptr;
    }
    std::shared_ptr<RegistryKey> holder(std::shared_ptr<RegistryKey>(), &Root(key->linkRoot));
    for (size_t i = 0; i + 1 < parts.size() && holder != nullptr; ++i) {
        auto child = holder->children.find(UpperCase(parts[i]));
        holder = child == holder->children.end() ? nullptr : FollowLink(child->second);
    }
    // Made only where nothing is: a link there that leads nowhere stays as it is.
    if (holder == nullptr || holder->children.count(UpperCase(parts.back())) != 0) {
        return nullptr;
    }
    auto made = std::make_shared<RegistryKey>();
    made->name = parts.back();
    made->parent = holder.get();
    holder->children[UpperCase(parts.back())] = made;
    created = true;
    return made;
}

bool Registry::HasKey(HKEY root, const std::string& path) const {
    return FindKey(root, path) != nullptr;
}

std::optional<RegistryValue> Registry::GetValue(HKEY root, const std::string& path,
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

std::vector<std::string> Registry::ChildKeys(HKEY root, const std::string& path) const {
    std::vector<std::string> names;
    if (const RegistryKey* key = FindKey(root, path)) {
        for (const auto& entry : key->children) {
            names.push_back(entry.second->name);
        }
    }
    return names;
}

std::vector<std::string> Registry::AllKeys(HKEY root) const {
    std::vector<std::string> keys;
    ListKeys(Root(root), "", keys);
    return keys;
}

void Registry::DenyKeyOpen(HKEY root, const std::string& path) {
    EnsureKey(root, path).denyOpen = true;
}

void Registry::DenyKeyDelete(HKEY root, const std::string& path) {
    EnsureKey(root, path).denyDelete = true;
}

DWORD Registry::KeyFromHandle(HKEY handle, KeyLookup& out) {
    if (handle == HKEY_LOCAL_MACHINE || handle == HKEY_CURRENT_USER) {
        // Roots are never deleted; an aliasing shared_ptr lends them without ownership.
        out.key = std::shared_ptr<RegistryKey>(std::shared_ptr<RegistryKey>(), &Root(handle));
        out.path = RootName(handle);
        return ERROR_SUCCESS;
    }
    auto found = handles_.find(handle);
    if (found == handles_.end()) {
        return ERROR_INVALID_HANDLE;
    }
    out = found->second;
    return out.key->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

HKEY Registry::OpenKeyHandle(const std::shared_ptr<RegistryKey>& key, const std::string& path) {
    HKEY handle = reinterpret_cast<HKEY>(nextHandle_ += 4);
    handles_[handle] = KeyLookup{key, path};
    return handle;
}

bool Registry::CloseKeyHandle(HKEY handle) {
    return handles_.erase(handle) == 1;
}

}  // namespace sim
