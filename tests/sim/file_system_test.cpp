// The simulated file system against Win32 on NT: path forms, the length limit, the error codes the
// uninstaller branches on, directory listings, copies and open handles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "in_process.h"
#include "machine.h"

namespace {

using sim_testing::RunAsProcess;

const char kTool[] = "C:\\Apps\\Tool";
const char kFile[] = "C:\\Apps\\Tool\\file.txt";

struct Failure {
    BOOL result;
    DWORD error;
};
bool operator==(const Failure& a, const Failure& b) {
    return a.result == b.result && a.error == b.error;
}
std::ostream& operator<<(std::ostream& out, const Failure& f) {
    return out << "{" << f.result << ", " << f.error << "}";
}

// The result of a call, and the error code it left when it failed.
Failure Outcome(BOOL result) {
    return Failure{result, result ? 0u : GetLastError()};
}

HANDLE Create(const std::string& path, DWORD disposition, DWORD access = GENERIC_WRITE) {
    return CreateFileA(path.c_str(), access, 0, nullptr, disposition, 0, nullptr);
}

std::vector<std::string> List(const std::string& pattern, DWORD& endError) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        endError = GetLastError();
        return names;
    }
    do {
        names.push_back(data.cFileName);
    } while (FindNextFileA(search, &data));
    endError = GetLastError();
    EXPECT_TRUE(FindClose(search));
    return names;
}

TEST(FilePaths, EveryWin32SpellingOfAPathNamesTheSameFile) {
    struct Case {
        const char* path;  // as given by a process whose current folder is C:\Apps\Tool
        const char* named;
    };
    const Case cases[] = {
        {"c:\\APPS\\tool\\FILE.TXT", kFile},
        {"C:/Apps/Tool/file.txt", kFile},
        {"C:\\\\Apps\\\\\\Tool\\file.txt", kFile},
        {"C:\\Apps\\.\\Tool\\..\\Tool\\file.txt", kFile},
        {"C:\\..\\..\\Apps\\Tool\\file.txt", kFile},
        {"C:\\Apps\\Tool\\file.txt...", kFile},
        {"C:\\Apps\\Tool\\file.txt . .", kFile},
        {"file.txt", kFile},
        {"..\\Tool\\.\\file.txt", kFile},
        {"C:file.txt", kFile},  // the current folder of that drive
        {"\\file.txt", "C:\\file.txt"},
        {"D:file.txt", "D:\\file.txt"},  // another drive: its root
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        sim::Machine machine;
        machine.files.AddDrive("D:");
        for (const char* file : {kFile, "C:\\file.txt", "D:\\file.txt", "C:\\Apps\\Tool\\tool.exe"}) {
            machine.files.AddFile(file);
        }
        size_t before = machine.files.AllFiles().size();
        RunAsProcess(machine, "C:\\Apps\\Tool\\tool.exe", kTool, [&c](LPSTR) {
            EXPECT_EQ(Outcome(DeleteFileA(c.path)), (Failure{TRUE, 0}));
            return 0;
        });
        EXPECT_FALSE(machine.files.Exists(c.named));
        EXPECT_EQ(machine.files.AllFiles().size(), before - 1);  // that file only
    }
}

TEST(FilePaths, PathsOfMaxPathCharactersAreRefused) {
    sim::Machine machine;
    const std::string folder = "C:\\" + std::string(240, 'd');
    machine.files.AddFolder(folder);
    auto pathOfLength = [&folder](size_t length) {
        return folder + "\\" + std::string(length - folder.size() - 1, 'f');
    };

    HANDLE fits = Create(pathOfLength(MAX_PATH - 1), CREATE_NEW);
    ASSERT_NE(fits, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(fits));
    // MAX_PATH counts the terminator. Past it the ANSI name does not even convert: error 206.
    EXPECT_EQ(Create(pathOfLength(MAX_PATH), CREATE_NEW), INVALID_HANDLE_VALUE);
    for (size_t length : {size_t{MAX_PATH + 1}, size_t{300}}) {
        SCOPED_TRACE(length);
        EXPECT_EQ(Create(pathOfLength(length), CREATE_NEW), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
        EXPECT_EQ(Outcome(DeleteFileA(pathOfLength(length).c_str())),
                  (Failure{FALSE, ERROR_FILENAME_EXCED_RANGE}));
    }
    EXPECT_EQ(machine.files.FolderEntries(folder).size(), 1u);
}

class Files : public ::testing::Test {
  protected:
    void SetUp() override {
        machine.files.AddFile(kFile, "text");
        machine.files.AddFile("C:\\Apps\\Tool\\readonly.txt", "r", FILE_ATTRIBUTE_READONLY);
        machine.files.AddFile("C:\\Apps\\Tool\\locked.txt", "l");
        machine.files.AddFolder("C:\\Apps\\Tool\\empty");
        machine.files.AddFolder("C:\\Apps\\Tool\\readonly");
        ASSERT_TRUE(SetFileAttributesA("C:\\Apps\\Tool\\readonly", FILE_ATTRIBUTE_READONLY));
        machine.files.LockFile("C:\\Apps\\Tool\\locked.txt");
    }
    sim::Machine machine;
};

TEST_F(Files, DeleteAndRemoveReportWindowsErrorCodes) {
    struct Case {
        const char* what;
        BOOL (*call)(LPCSTR);
        const char* path;
        DWORD error;
    };
    const Case cases[] = {
        {"missing file", DeleteFileA, "C:\\Apps\\Tool\\missing.txt", 2},
        {"missing folder", DeleteFileA, "C:\\Apps\\Missing\\file.txt", 3},
        {"read-only file", DeleteFileA, "C:\\Apps\\Tool\\readonly.txt", 5},
        {"a folder", DeleteFileA, "C:\\Apps\\Tool\\empty", 5},
        {"locked file", DeleteFileA, "C:\\Apps\\Tool\\locked.txt", 32},
        {"folder not empty", RemoveDirectoryA, kTool, 145},
        {"a file", RemoveDirectoryA, kFile, 267},
        {"read-only folder", RemoveDirectoryA, "C:\\Apps\\Tool\\readonly", 5},
        {"missing folder", RemoveDirectoryA, "C:\\Apps\\Missing", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> before = machine.files.AllFiles();
        EXPECT_EQ(Outcome(c.call(c.path)), (Failure{FALSE, c.error}));
        EXPECT_EQ(machine.files.AllFiles(), before);
    }
    EXPECT_TRUE(RemoveDirectoryA("C:\\Apps\\Tool\\EMPTY\\"));
    EXPECT_FALSE(machine.files.Exists("C:\\Apps\\Tool\\empty"));
    EXPECT_TRUE(DeleteFileA(kFile));
}

// A link to a folder (a junction, a symbolic link) leads paths and listings to that folder; removing it
// removes only the link. A link that leads to itself leads nowhere.
TEST_F(Files, ALinkLeadsToItsFolderAndRemovingItRemovesOnlyTheLink) {
    machine.files.AddFile("C:\\Users\\Ann\\Pictures\\cat.jpg", "cat");
    machine.files.AddLink("C:\\Apps\\Tool\\images", "C:\\Users\\Ann\\Pictures");
    machine.files.AddLink("C:\\Apps\\Tool\\loop", "C:\\Apps\\Tool\\loop\\x");
    EXPECT_EQ(GetFileAttributesA("C:\\Apps\\Tool\\images"),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("C:\\Apps\\Tool\\images\\*.jpg", &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "cat.jpg");
    FindClose(search);
    EXPECT_EQ(Outcome(DeleteFileA("C:\\Apps\\Tool\\loop\\a.txt")), (Failure{FALSE, ERROR_PATH_NOT_FOUND}));
    EXPECT_TRUE(RemoveDirectoryA("C:\\Apps\\Tool\\images"));
    EXPECT_FALSE(machine.files.Exists("C:\\Apps\\Tool\\images"));
    EXPECT_EQ(machine.files.FileContent("C:\\Users\\Ann\\Pictures\\cat.jpg"), "cat");
    machine.files.AddLink("C:\\Apps\\Tool\\images", "C:\\Users\\Ann\\Pictures");
    EXPECT_TRUE(DeleteFileA("C:\\Apps\\Tool\\images\\cat.jpg"));
    EXPECT_FALSE(machine.files.Exists("C:\\Users\\Ann\\Pictures\\cat.jpg"));
}

TEST_F(Files, CreateNewRefusesAnExistingFileAndOpenFilesAreNotShared) {
    EXPECT_EQ(Create(kFile, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(Create("C:\\Apps\\Tool\\missing.txt", OPEN_EXISTING, GENERIC_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Create("C:\\Apps\\Tool\\readonly.txt", OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(machine.files.OpenFileHandleCount(), 0);

    HANDLE file = Create("C:\\Apps\\Tool\\new.bat", CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(machine.files.OpenFileHandleCount(), 1);
    EXPECT_EQ(Outcome(DeleteFileA("C:\\Apps\\Tool\\new.bat")), (Failure{FALSE, ERROR_SHARING_VIOLATION}));
    EXPECT_EQ(Create("C:\\Apps\\Tool\\new.bat", OPEN_EXISTING, GENERIC_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "del x\r\n", 7, &written, nullptr));
    EXPECT_EQ(written, 7u);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(machine.files.OpenFileHandleCount(), 0);
    EXPECT_EQ(Outcome(CloseHandle(file)), (Failure{FALSE, ERROR_INVALID_HANDLE}));
    EXPECT_EQ(machine.files.FileContent("C:\\Apps\\Tool\\new.bat"), "del x\r\n");
    EXPECT_TRUE(DeleteFileA("C:\\Apps\\Tool\\new.bat"));
}

TEST_F(Files, AWriteFaultWithPartialBytesLeavesAShortFile) {
    struct Case {
        DWORD error;
        BOOL result;
    };
    for (const Case& c : {Case{0, TRUE}, Case{ERROR_DISK_FULL, FALSE}}) {
        SCOPED_TRACE(c.error);
        sim::Machine local;
        local.files.AddFolder(kTool);
        local.journal.InjectFault(sim::Fault{"WriteFile", 1, c.error, 4});
        HANDLE file = Create("C:\\Apps\\Tool\\out.bat", CREATE_NEW);
        DWORD written = 99;
        EXPECT_EQ(Outcome(WriteFile(file, "@echo off", 9, &written, nullptr)), (Failure{c.result, c.error}));
        EXPECT_EQ(written, 4u);
        EXPECT_TRUE(CloseHandle(file));
        EXPECT_EQ(local.files.FileContent("C:\\Apps\\Tool\\out.bat"), "@ech");
    }
}

TEST_F(Files, ListingsGiveDotsFirstOutsideARootThenNamesInCaseInsensitiveOrder) {
    for (const char* name : {"beta.txt", "Alpha.TXT", "_old.txt", "Gamma"}) {
        machine.files.AddFile(std::string("C:\\Apps\\List\\") + name, "12345");
    }
    machine.files.AddFolder("C:\\Apps\\List\\Sub");
    DWORD end = 0;
    EXPECT_EQ(List("C:\\Apps\\List\\*.*", end),
              (std::vector<std::string>{".", "..", "Alpha.TXT", "beta.txt", "Gamma", "Sub", "_old.txt"}));
    EXPECT_EQ(end, static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_EQ(List("c:\\apps\\list\\*.txt", end),
              (std::vector<std::string>{"Alpha.TXT", "beta.txt", "_old.txt"}));
    // A drive root has no "." or "..".
    EXPECT_EQ(List("C:\\*.*", end), (std::vector<std::string>{"Apps", "WINDOWS"}));
    EXPECT_EQ(List("C:\\Apps\\Missing\\*.*", end), std::vector<std::string>{});
    EXPECT_EQ(end, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(List("C:\\Apps\\List\\*.exe", end), std::vector<std::string>{});
    EXPECT_EQ(end, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(machine.files.OpenFindHandleCount(), 0);

    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA("C:\\Apps\\List\\Sub", &data);  // the folder itself
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "Sub");
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(machine.files.OpenFindHandleCount(), 1);
    EXPECT_TRUE(FindClose(search));
    EXPECT_EQ(Outcome(FindClose(search)), (Failure{FALSE, ERROR_INVALID_HANDLE}));
    EXPECT_EQ(machine.files.OpenFindHandleCount(), 0);
}

TEST_F(Files, CopiesKeepReadOnlyAndOverwriteOnlyWhenAllowed) {
    machine.files.AddFile("C:\\Apps\\Tool\\tool.exe", "image");
    machine.files.AddFile("C:\\Temp\\old.txt", "old");
    machine.files.AddFile("C:\\Temp\\readonly.txt", "ro", FILE_ATTRIBUTE_READONLY);
    int running = machine.processes.StartBackgroundProcess("C:\\Temp\\running.exe", "C:\\Temp");
    machine.files.AddFile("C:\\Temp\\running.exe", "running image");
    ASSERT_TRUE(machine.processes.ProcessRunning(running));

    struct Case {
        const char* what;
        const char* from;
        const char* to;
        BOOL failIfExists;
        DWORD error;
    };
    const Case refused[] = {
        {"target exists", kFile, "C:\\Temp\\old.txt", TRUE, ERROR_FILE_EXISTS},
        {"target read-only", kFile, "C:\\Temp\\readonly.txt", FALSE, ERROR_ACCESS_DENIED},
        {"target running", kFile, "C:\\Temp\\running.exe", FALSE, ERROR_SHARING_VIOLATION},
        {"onto itself", kFile, "c:\\apps\\tool\\FILE.TXT", FALSE, ERROR_SHARING_VIOLATION},
        {"source missing", "C:\\Apps\\Tool\\missing.txt", "C:\\Temp\\new.txt", FALSE, ERROR_FILE_NOT_FOUND},
        {"target folder missing", kFile, "C:\\Missing\\new.txt", FALSE, ERROR_PATH_NOT_FOUND},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> before = machine.files.AllFiles();
        EXPECT_EQ(Outcome(CopyFileA(c.from, c.to, c.failIfExists)), (Failure{FALSE, c.error}));
        EXPECT_EQ(machine.files.AllFiles(), before);
    }

    EXPECT_TRUE(CopyFileA(kFile, "C:\\Temp\\old.txt", FALSE));
    EXPECT_EQ(machine.files.FileContent("C:\\Temp\\old.txt"), "text");
    EXPECT_TRUE(CopyFileA("C:\\Apps\\Tool\\readonly.txt", "C:\\Temp\\copy.txt", TRUE));
    EXPECT_TRUE(machine.files.Attributes("C:\\Temp\\copy.txt") & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(Outcome(DeleteFileA("C:\\Temp\\copy.txt")), (Failure{FALSE, ERROR_ACCESS_DENIED}));
    // A running program's file can be read, and its attributes changed.
    EXPECT_TRUE(CopyFileA("C:\\Temp\\running.exe", "C:\\Temp\\copy.exe", TRUE));
    EXPECT_TRUE(SetFileAttributesA("C:\\Temp\\running.exe", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(machine.files.Attributes("C:\\Temp\\running.exe"), static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(SetFileAttributesA("C:\\Temp\\copy.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA("C:\\Temp\\copy.txt"));
    EXPECT_EQ(Outcome(SetFileAttributesA("C:\\Temp\\missing.txt", 0)),
              (Failure{FALSE, ERROR_FILE_NOT_FOUND}));
}

// Win32 opens "name\" as a folder: a file named with a trailing backslash is not found, the call
// fails with ERROR_INVALID_NAME and the file stays, so a path composed with a stray backslash fails
// here as it would on Windows.
TEST_F(Files, AFileNamedWithATrailingBackslashIsNotFound) {
    EXPECT_EQ(Outcome(DeleteFileA("C:\\Apps\\Tool\\file.txt\\")), (Failure{FALSE, ERROR_INVALID_NAME}));
    EXPECT_TRUE(machine.files.Exists(kFile));
}

}  // namespace
