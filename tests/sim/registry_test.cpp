// The simulated registry against what the NT registry does through the ANSI functions: names found
// without regard to case, the deletion rules of both system families, handles to deleted keys,
// enumeration, value buffers, creation and handle bookkeeping.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "machine.h"

namespace {

const char kProduct[] = "Software\\VORSK Software\\Tandrel";

HKEY Open(HKEY root, const char* path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS) << path;
    return key;
}

LONG Create(HKEY root, const char* path, HKEY& key, DWORD& disposition) {
    return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                           &disposition);
}

class Registry : public ::testing::Test {
  protected:
    sim::Machine machine;
};

TEST_F(Registry, NamesIgnoreLetterCaseAndCreateMakesTheMissingKeys) {
    machine.registry.SetString(HKEY_CURRENT_USER, kProduct, "InstallPath", "C:\\Apps");
    HKEY key = Open(HKEY_CURRENT_USER, "SOFTWARE\\vorsk software\\TANDREL");
    ASSERT_NE(key, nullptr);
    char data[32] = {};
    DWORD size = sizeof data;
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "installpath", nullptr, &type, reinterpret_cast<LPBYTE>(data), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 8u);  // the terminator counts
    EXPECT_STREQ(data, "C:\\Apps");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // Created under another spelling, it is the same key, and keeps its first spelling; the missing
    // keys below it are made on the way.
    DWORD disposition = 0;
    ASSERT_EQ(Create(HKEY_CURRENT_USER, "software\\VORSK SOFTWARE", key, disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    HKEY deep = nullptr;
    ASSERT_EQ(Create(key, "Other\\Deep\\Deeper", deep, disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_TRUE(machine.registry.HasKey(HKEY_CURRENT_USER, "Software\\VORSK Software\\Other\\Deep\\Deeper"));
    EXPECT_EQ(RegCloseKey(deep), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(machine.registry.ChildKeys(HKEY_CURRENT_USER, "Software"),
              std::vector<std::string>{"VORSK Software"});
}

TEST_F(Registry, AKeyWithChildKeysIsRefusedOnNtAndDeletedWholeOn9x) {
    struct Case {
        const char* name;
        sim::KeyDeletion behaviour;
        LONG status;
    };
    for (const Case& c : {Case{"NT", sim::KeyDeletion::Nt, ERROR_ACCESS_DENIED},
                          Case{"9x", sim::KeyDeletion::Win9x, ERROR_SUCCESS}}) {
        SCOPED_TRACE(c.name);
        sim::Machine local;  // the newest machine is the one acted on
        local.registry.SetKeyDeletion(c.behaviour);
        local.registry.AddKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product\\Settings\\Window");
        local.registry.AddKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Other");
        HKEY vendor = Open(HKEY_LOCAL_MACHINE, "Software\\Vendor");
        EXPECT_EQ(RegDeleteKeyA(vendor, "Product"), c.status);
        bool deleted = c.status == ERROR_SUCCESS;
        EXPECT_EQ(local.registry.HasKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product"), !deleted);
        EXPECT_EQ(local.registry.HasKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product\\Settings\\Window"),
                  !deleted);
        EXPECT_TRUE(local.registry.HasKey(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Other"));
        // A leaf goes on both, named through several levels.
        EXPECT_EQ(RegDeleteKeyA(vendor, "Other"), ERROR_SUCCESS);
        EXPECT_EQ(RegDeleteKeyA(vendor, "Other"), ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(RegCloseKey(vendor), ERROR_SUCCESS);
    }
}

TEST_F(Registry, AHandleToADeletedKeyAnswersKeyDeleted) {
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kProduct, "Version", "1.0");
    HKEY product = Open(HKEY_LOCAL_MACHINE, kProduct);
    HKEY vendor = Open(HKEY_LOCAL_MACHINE, "Software\\VORSK Software");
    ASSERT_EQ(RegDeleteKeyA(vendor, "Tandrel"), ERROR_SUCCESS);

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(product, "Version", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    char name[MAX_PATH];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(product, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    DWORD subkeys = 0;
    EXPECT_EQ(RegQueryInfoKeyA(product, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_KEY_DELETED);
    HKEY child = nullptr;
    DWORD disposition = 0;
    EXPECT_EQ(Create(product, "Child", child, disposition), ERROR_KEY_DELETED);

    // A key made again under the same name is a new key; the old handle still names the deleted one.
    HKEY again = nullptr;
    ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, kProduct, again, disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(RegQueryValueExA(again, "Version", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(product, "Version", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);

    // Closing such a handle is fine.
    EXPECT_EQ(RegCloseKey(product), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(vendor), ERROR_SUCCESS);
    EXPECT_EQ(machine.registry.OpenKeyCount(), 0);
}

TEST_F(Registry, EnumerationIsInCaseInsensitiveOrderAndReportsShortBuffers) {
    for (const char* name : {"beta", "Alpha", "_old", "gamma", "Zeta9"}) {
        machine.registry.AddKey(HKEY_CURRENT_USER, std::string("Software\\List\\") + name);
    }
    HKEY list = Open(HKEY_CURRENT_USER, "Software\\List");
    std::vector<std::string> names;
    LONG status = ERROR_SUCCESS;
    for (DWORD index = 0; index < 10; ++index) {
        char name[MAX_PATH];
        DWORD size = sizeof name;
        status = RegEnumKeyExA(list, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            break;
        }
        EXPECT_EQ(size, std::strlen(name));  // without the terminator
        names.push_back(name);
    }
    EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(status, 259);
    // Compared as upper case, as the registry does: '_' comes after the letters.
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "gamma", "Zeta9", "_old"}));

    // "Zeta9" needs 6 characters with its terminator.
    char small[8];
    DWORD size = 5;
    EXPECT_EQ(RegEnumKeyExA(list, 3, small, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    size = 6;
    EXPECT_EQ(RegEnumKeyExA(list, 3, small, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_STREQ(small, "Zeta9");
    EXPECT_EQ(size, 5u);

    EXPECT_EQ(RegCloseKey(list), ERROR_SUCCESS);
}

TEST_F(Registry, QueryGivesRawBytesAndReportsSizes) {
    const std::string path = "C:\\Apps\\Tandrel";
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kProduct, "InstallPath", path);
    machine.registry.SetValue(HKEY_LOCAL_MACHINE, kProduct, "Count", REG_DWORD,
                              std::string("\x07\x00\x00\x01", 4));
    machine.registry.SetValue(HKEY_LOCAL_MACHINE, kProduct, "Blob", REG_BINARY, std::string("a\0b", 3));
    machine.registry.SetValue(HKEY_LOCAL_MACHINE, kProduct, "", REG_SZ, std::string("default", 8));
    HKEY key = Open(HKEY_LOCAL_MACHINE, kProduct);

    struct Case {
        const char* value;
        DWORD type;
        std::string data;
    };
    for (const Case& c :
         {Case{"InstallPath", REG_SZ, path + std::string(1, '\0')},
          Case{"Count", REG_DWORD, std::string("\x07\x00\x00\x01", 4)},
          Case{"Blob", REG_BINARY, std::string("a\0b", 3)}, Case{"", REG_SZ, std::string("default", 8)},
          Case{nullptr, REG_SZ, std::string("default", 8)}}) {
        SCOPED_TRACE(c.value != nullptr ? c.value : "(null)");
        DWORD type = 0;
        DWORD size = 0;
        // Without a buffer: the size only.
        EXPECT_EQ(RegQueryValueExA(key, c.value, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        EXPECT_EQ(size, c.data.size());
        EXPECT_EQ(type, c.type);
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        size = sizeof buffer;
        EXPECT_EQ(RegQueryValueExA(key, c.value, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(std::string(buffer, size), c.data);
    }

    char small[4];
    DWORD size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "InstallPath", nullptr, nullptr, reinterpret_cast<LPBYTE>(small), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, path.size() + 1);  // what would be needed
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, reinterpret_cast<LPBYTE>(small), &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, DeniedKeysCannotBeOpenedCreatedBelowOrDeleted) {
    machine.registry.AddKey(HKEY_LOCAL_MACHINE, "Software\\Locked");
    machine.registry.AddKey(HKEY_LOCAL_MACHINE, "Software\\Kept");
    machine.registry.DenyKeyOpen(HKEY_LOCAL_MACHINE, "Software\\Locked");
    machine.registry.DenyKeyDelete(HKEY_LOCAL_MACHINE, "Software\\Kept");

    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Locked", 0, KEY_QUERY_VALUE, &key),
              ERROR_ACCESS_DENIED);
    DWORD disposition = 0;
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\Locked", key, disposition), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, "Software\\Locked\\Child", key, disposition), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, "Software\\Locked\\Child"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Locked"), ERROR_ACCESS_DENIED);

    key = Open(HKEY_LOCAL_MACHINE, "Software\\Kept");  // opening is allowed
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Kept"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, "Software\\Kept"));

    // Deleting a whole subtree stops short at a key that may not go, and then nothing goes.
    machine.registry.SetKeyDeletion(sim::KeyDeletion::Win9x);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine.registry.AllKeys(HKEY_LOCAL_MACHINE),
              (std::vector<std::string>{"Software", "Software\\Kept", "Software\\Locked"}));
    EXPECT_EQ(machine.registry.OpenKeyCount(), 0);
}

TEST_F(Registry, OpenHandlesAreCountedUntilClosed) {
    machine.registry.AddKey(HKEY_LOCAL_MACHINE, kProduct);
    EXPECT_EQ(machine.registry.OpenKeyCount(), 0);
    HKEY first = Open(HKEY_LOCAL_MACHINE, kProduct);
    HKEY second = Open(first, "");  // a second handle to the same key
    EXPECT_NE(first, second);
    HKEY missing = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Missing", 0, KEY_QUERY_VALUE, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(machine.registry.OpenKeyCount(), 2);

    EXPECT_EQ(RegCloseKey(first), ERROR_SUCCESS);
    EXPECT_EQ(machine.registry.OpenKeyCount(), 1);
    EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x7777)), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);  // the roots are always open
    EXPECT_EQ(RegCloseKey(second), ERROR_SUCCESS);
    EXPECT_EQ(machine.registry.OpenKeyCount(), 0);
}

}  // namespace
