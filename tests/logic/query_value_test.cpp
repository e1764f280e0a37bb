// Reading a value of the product key into a caller's MAX_PATH buffer: bad arguments are explained,
// registry failures are not, and whatever comes back is a terminated string within the buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "registry/registry_tasks.h"
#include "support/handles.h"
#include "support/installed_product.h"

namespace {

using namespace testing_support;

// A buffer of exactly MAX_PATH bytes on the heap, so that any access past it is caught.
struct Buffer {
    Buffer() { Fill('#'); }
    void Fill(char c) { std::memset(bytes.get(), c, MAX_PATH); }
    void Hold(const std::string& text) { std::memcpy(bytes.get(), text.c_str(), text.size() + 1); }
    std::string Text() const { return std::string(bytes.get(), strnlen(bytes.get(), MAX_PATH)); }
    std::string Raw() const { return std::string(bytes.get(), MAX_PATH); }
    bool AllZero() const {
        return std::all_of(bytes.get(), bytes.get() + MAX_PATH, [](char c) { return c == 0; });
    }
    char* get() { return bytes.get(); }
    std::unique_ptr<char[]> bytes{new char[MAX_PATH]};
};

TEST(QuerySzValue, BadArgumentsAreExplainedOnceAndTouchNothing) {
    enum Name { kGoodName, kNullName, kUnreadableName, kEmptyName };
    enum Target { kGoodBuffer, kNullBuffer, kUnwritableBuffer };
    struct Case {
        const char* name;
        Name valueName;
        Target buffer;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"null name", kNullName, kGoodBuffer, kInvalidNameText},
        {"unreadable name", kUnreadableName, kGoodBuffer, kInvalidNameText},
        {"empty name", kEmptyName, kGoodBuffer, kInvalidNameText},
        {"null buffer", kGoodName, kNullBuffer, kInvalidBufferText},
        {"unwritable buffer", kGoodName, kUnwritableBuffer, kInvalidBufferText},
        {"null name and null buffer", kNullName, kNullBuffer, kInvalidNameText},
        {"unreadable name and unwritable buffer", kUnreadableName, kUnwritableBuffer, kInvalidNameText},
        {"empty name and unwritable buffer", kEmptyName, kUnwritableBuffer, kInvalidNameText},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        // The product key is missing: a query that got as far as the registry would create it.
        machine.registry.SetString(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Tool", "InstallPath",
                                   "C:\\Other");
        Snapshot before = TakeSnapshot(machine);
        char goodName[] = "InstallPath";
        char emptyName[] = "";
        const char* name = c.valueName == kNullName    ? nullptr
                           : c.valueName == kEmptyName ? emptyName
                                                       : goodName;
        if (c.valueName == kUnreadableName) {
            machine.processes.MarkUnreadable(goodName);
        }
        Buffer buffer;
        buffer.Hold("caller's text");
        const std::string callers = buffer.Raw();
        if (c.buffer == kUnwritableBuffer) {
            machine.processes.MarkUnwritable(buffer.get());
        }

        EXPECT_EQ(QuerySzValue(HKEY_LOCAL_MACHINE, name, c.buffer == kNullBuffer ? nullptr : buffer.get()),
                  0);

        ASSERT_EQ(machine.desktop.MessageBoxes().size(), 1u);
        const sim::MessageBoxRecord& box = machine.desktop.MessageBoxes()[0];
        EXPECT_EQ(box.text, c.message);
        EXPECT_EQ(box.caption, kProductName);
        EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_FALSE(box.hadOwner);
        EXPECT_EQ(buffer.Raw(), callers);
        EXPECT_TRUE(TakeSnapshot(machine) == before);
        EXPECT_EQ(machine.journal.CallCount("RegCreateKeyExA"), 0);
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST(QuerySzValue, ArgumentsAreCheckedBeforeTheyAreUsedAndOverTheWholeBuffer) {
    const std::vector<std::string> watched = {"IsBadReadPtr",    "IsBadWritePtr",    "lstrlenA",
                                              "RegCreateKeyExA", "RegQueryValueExA", "RegCloseKey",
                                              "MessageBoxA"};
    {
        SCOPED_TRACE("unreadable name");
        sim::Machine machine;
        char name[] = "InstallPath";
        machine.processes.MarkUnreadable(name);
        Buffer buffer;
        QuerySzValue(HKEY_LOCAL_MACHINE, name, buffer.get());
        // An unreadable name is not looked into, not even for its length.
        EXPECT_EQ(
            CallsOf(machine, 0, watched),
            (std::vector<std::string>{"IsBadReadPtr 1", "MessageBoxA " + std::string(kInvalidNameText)}));
    }
    {
        SCOPED_TRACE("good arguments");
        sim::Machine machine;
        machine.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", "C:\\Apps");
        Buffer buffer;
        EXPECT_EQ(QuerySzValue(HKEY_LOCAL_MACHINE, "InstallPath", buffer.get()), 1);
        const std::string key = "HKLM\\" + std::string(kProductKey);
        EXPECT_EQ(
            CallsOf(machine, 0,
                    {"IsBadReadPtr", "IsBadWritePtr", "RegCreateKeyExA", "RegQueryValueExA", "RegCloseKey",
                     "MessageBoxA"}),
            (std::vector<std::string>{"IsBadReadPtr 1", "IsBadWritePtr 260", "RegCreateKeyExA " + key,
                                      "RegQueryValueExA " + key + ":InstallPath", "RegCloseKey " + key}));
    }
}

TEST(QuerySzValue, AValueThatCannotBeReadFailsSilentlyWithAnEmptyBuffer) {
    struct Case {
        const char* name;
        bool keyPresent;
        bool valuePresent;
        bool queryRefused;
    };
    const std::vector<Case> cases = {
        {"product key missing", false, false, false},
        {"value missing", true, false, false},
        {"query refused", true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        machine.registry.SetString(HKEY_LOCAL_MACHINE, "Software\\Other Vendor\\Tool", "InstallPath",
                                   "C:\\Other");
        if (c.keyPresent) {
            machine.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, "Version", "1.0");
        }
        if (c.valuePresent) {
            machine.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", "C:\\Apps");
        }
        if (c.queryRefused) {
            machine.journal.InjectFault(sim::Fault{"RegQueryValueExA", 1, ERROR_ACCESS_DENIED});
        }
        Buffer buffer;
        buffer.Hold("C:\\stale");
        EXPECT_EQ(QuerySzValue(HKEY_LOCAL_MACHINE, "InstallPath", buffer.get()), 0);
        EXPECT_EQ(buffer.Text(), "");
        EXPECT_TRUE(machine.desktop.MessageBoxes().empty());
        // A missing key is created on the way, empty; the registry task removes it again.
        EXPECT_TRUE(machine.registry.HasKey(HKEY_LOCAL_MACHINE, kProductKey));
        EXPECT_TRUE(machine.registry.ChildKeys(HKEY_LOCAL_MACHINE, kProductKey).empty());
        EXPECT_EQ(machine.registry.GetValue(HKEY_LOCAL_MACHINE, kProductKey, "Version").has_value(),
                  c.keyPresent);
        EXPECT_FALSE(machine.registry.HasKey(HKEY_CURRENT_USER, kProductKey));
        EXPECT_EQ(CountCall(machine, "RegCloseKey", "HKLM\\" + std::string(kProductKey)), 1);
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST(QuerySzValue, ReadsTheProductKeyUnderTheGivenRoot) {
    sim::Machine machine;
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", "C:\\Machine");
    machine.registry.SetString(HKEY_CURRENT_USER, kProductKey, "InstallPath", "C:\\User");
    machine.registry.SetString(HKEY_LOCAL_MACHINE, kVendorKey, "InstallPath", "C:\\Vendor");
    Buffer buffer;
    EXPECT_EQ(QuerySzValue(HKEY_CURRENT_USER, "InstallPath", buffer.get()), 1);
    EXPECT_EQ(buffer.Text(), "C:\\User");
    EXPECT_EQ(QuerySzValue(HKEY_LOCAL_MACHINE, "InstallPath", buffer.get()), 1);
    EXPECT_EQ(buffer.Text(), "C:\\Machine");
    EXPECT_TRUE(machine.desktop.MessageBoxes().empty());
    EXPECT_TRUE(NoHandlesOpen(machine));
}

TEST(QuerySzValue, WhateverComesBackIsATerminatedStringWithinTheBuffer) {
    struct Case {
        const char* name;
        DWORD type;
        std::string data;
        int result;
        std::string text;  // empty with result 0: every byte cleared
    };
    const std::string longest = "C:\\" + std::string(256, 'p');  // 259 characters
    const std::vector<Case> cases = {
        {"259 characters and terminator", REG_SZ, longest + '\0', 1, longest},
        {"260 characters and terminator", REG_SZ, longest + "q" + '\0', 0, ""},
        {"far too long", REG_SZ, "C:\\" + std::string(500, 'p') + '\0', 0, ""},
        {"260 bytes without terminator", REG_SZ, longest + "q", 0, ""},
        {"short without terminator", REG_SZ, "C:\\Apps", 1, "C:\\Apps"},
        {"terminator inside", REG_SZ, std::string("C:\\A\0C:\\B", 9), 1, "C:\\A"},
        {"empty data", REG_SZ, "", 1, ""},
        {"number", REG_DWORD, std::string("\x2A\0\0\0", 4), 1, "*"},
        {"binary", REG_BINARY, "C:\\Bin", 1, "C:\\Bin"},
        // Expanded as every Windows program reads such a value; not at all when that does not fit.
        {"expandable", REG_EXPAND_SZ, std::string("%WINDIR%\\T\0", 11), 1, "C:\\WINDOWS\\T"},
        {"expands past the buffer", REG_EXPAND_SZ, "%WINDIR%\\" + std::string(250, 'p') + '\0', 0, ""},
        {"a string is not expanded", REG_SZ, std::string("%WINDIR%\\T\0", 11), 1, "%WINDIR%\\T"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        machine.registry.SetValue(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", c.type, c.data);
        Buffer buffer;
        EXPECT_EQ(QuerySzValue(HKEY_LOCAL_MACHINE, "InstallPath", buffer.get()), c.result);
        EXPECT_EQ(buffer.Text(), c.text);
        EXPECT_LT(buffer.Text().size(), static_cast<size_t>(MAX_PATH));
        if (c.result == 0) {
            // Nothing of a value that did not fit may stay behind to be taken for a path.
            EXPECT_TRUE(buffer.AllZero());
        }
        EXPECT_TRUE(machine.desktop.MessageBoxes().empty());
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

TEST(QuerySzValue, AKeyThatCannotBeOpenedFailsSilentlyAndLeavesTheCallersBuffer) {
    struct Case {
        const char* name;
        bool denyProductKey;
        bool denyVendorKey;
        bool faultCreate;
    };
    const std::vector<Case> cases = {
        {"product key denied", true, false, false},
        {"vendor key denied while the product key is missing", false, true, false},
        {"create fails", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Machine machine;
        if (c.denyVendorKey) {
            machine.registry.DenyKeyOpen(HKEY_LOCAL_MACHINE, kVendorKey);
        } else {
            machine.registry.SetString(HKEY_LOCAL_MACHINE, kProductKey, "InstallPath", "C:\\Apps");
        }
        if (c.denyProductKey) {
            machine.registry.DenyKeyOpen(HKEY_LOCAL_MACHINE, kProductKey);
        }
        if (c.faultCreate) {
            machine.journal.InjectFault(sim::Fault{"RegCreateKeyExA", 1, ERROR_ACCESS_DENIED});
        }
        Buffer buffer;
        buffer.Hold("caller's text");
        const std::string callers = buffer.Raw();
        EXPECT_EQ(QuerySzValue(HKEY_LOCAL_MACHINE, "InstallPath", buffer.get()), 0);
        EXPECT_EQ(buffer.Raw(), callers);
        EXPECT_TRUE(machine.desktop.MessageBoxes().empty());
        EXPECT_EQ(machine.journal.CallCount("RegQueryValueExA"), 0);
        EXPECT_TRUE(NoHandlesOpen(machine));
    }
}

}  // namespace
