// The registry of the simulated Windows: two roots (HKLM, HKCU) of keys and values, found without
// regard to letter case, the open key handles, and how deletion treats a key with child keys. It
// stands on no other part; the command interpreter reads its own setting here.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "simulated_windows_api.h"

namespace sim {

// How RegDeleteKeyA treats a key that still has child keys: NT refuses it (ERROR_ACCESS_DENIED),
// Windows 9x deletes the whole subtree.
enum class KeyDeletion { Nt, Win9x };

struct RegistryValue {
    std::string name;
    DWORD type = REG_SZ;
    std::string data;  // raw bytes, terminator included where the writer stored one
    // A string as RegQueryValueExW reads it, where the ANSI code page cannot hold it (the ANSI data
    // then hold its look-alike); empty: the ANSI data in UTF-16.
    std::u16string wide;
};

struct RegistryKey {
    std::string name;
    RegistryKey* parent = nullptr;
    std::map<std::string, std::shared_ptr<RegistryKey>> children;  // by upper-case name: enumeration order
    std::vector<RegistryValue> values;
    bool deleted = false;
    bool denyOpen = false;
    bool denyDelete = false;
    // A symbolic link (made with REG_OPTION_CREATE_LINK): opening a path through it leads to the key
    // its "SymbolicLinkValue" names, unless REG_OPTION_OPEN_LINK asks for the link itself as the last
    // key of the path. A link whose value names no key of this registry (yet) leads nowhere.
    bool link = false;
    HKEY linkRoot = nullptr;
    std::string linkPath;
};

class Registry {
  public:
    Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    void AddKey(HKEY root, const std::string& path);
    void SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                  const std::string& data);
    void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text);
    void DeleteValue(HKEY root, const std::string& path, const std::string& name);
    // Gives a string value the wide form RegQueryValueExW reads, beside its ANSI look-alike.
    void SetWideForm(HKEY root, const std::string& path, const std::string& name, const std::u16string& wide);
    // A link at root\path to targetRoot\targetPath (which need not exist), with its "SymbolicLinkValue".
    void AddLink(HKEY root, const std::string& path, HKEY targetRoot, const std::string& targetPath);
    bool HasKey(HKEY root, const std::string& path) const;
    std::optional<RegistryValue> GetValue(HKEY root, const std::string& path, const std::string& name) const;
    std::vector<std::string> ChildKeys(HKEY root, const std::string& path) const;
    // Every key below the root, as full paths ("Software\VORSK Software"), for before/after comparisons.
    std::vector<std::string> AllKeys(HKEY root) const;
    void DenyKeyOpen(HKEY root, const std::string& path);    // RegOpenKeyExA/RegCreateKeyExA: access denied
    void DenyKeyDelete(HKEY root, const std::string& path);  // RegDeleteKeyA: access denied
    void SetKeyDeletion(KeyDeletion behaviour) { keyDeletion_ = behaviour; }
    KeyDeletion keyDeletion() const { return keyDeletion_; }
    int OpenKeyCount() const { return static_cast<int>(handles_.size()); }

    // --- For the registry functions -------------------------------------------------------------
    struct KeyLookup {
        std::shared_ptr<RegistryKey> key;
        std::string path;  // "HKLM\Software\..."
    };
    // Resolves a handle (root or open key); null key and the error otherwise.
    DWORD KeyFromHandle(HKEY handle, KeyLookup& out);
    HKEY OpenKeyHandle(const std::shared_ptr<RegistryKey>& key, const std::string& path);
    // The key a link leads to (through links to links, a few at most); the key itself when it is no
    // link; null for a link that leads nowhere.
    std::shared_ptr<RegistryKey> FollowLink(const std::shared_ptr<RegistryKey>& key, int depth = 0) const;
    // As FollowLink, for a create through the link: a key it names that is missing is made, where the
    // key that would hold it is there (`created` then says so), as Windows creates a key through a link.
    std::shared_ptr<RegistryKey> FollowLinkCreating(const std::shared_ptr<RegistryKey>& key, bool& created);
    // Points a link at the key of a kernel path ("\Registry\Machine\Software\...", in ANSI), as
    // setting its "SymbolicLinkValue" does.
    static void SetLinkTarget(RegistryKey& link, const std::string& kernelPath);
    bool CloseKeyHandle(HKEY handle);

  private:
    RegistryKey& Root(HKEY root) const;
    RegistryKey* FindKey(HKEY root, const std::string& path) const;
    RegistryKey& EnsureKey(HKEY root, const std::string& path);

    // Roots are never deleted; mutable so that lookups can lend them out.
    mutable RegistryKey localMachine_;
    mutable RegistryKey currentUser_;
    KeyDeletion keyDeletion_ = KeyDeletion::Nt;
    std::map<HKEY, KeyLookup> handles_;
    std::uintptr_t nextHandle_ = 0x10000000;
};

}  // namespace sim
