#include "common/folders.h"
#include "common/limits.h"
#include "common/path_buffer.h"
#include "common/product_identity.h"
#include "files/file_tasks.h"
#include "platform/windows_api.h"
#include "rules/safety_rules.h"

namespace {

const int kScriptTextSize = 1040;

// delme1.bat, delme2.bat, ...: the first name not yet taken (leftovers of earlier runs are skipped).
HANDLE CreateScriptFile(LPCSTR tempFolder, PathBuffer& scriptPath) {
    for (int number = 1; number <= kMaxScriptNumber; ++number) {
        char digits[16];
        wsprintfA(digits, "%i", number);
        if (!BuildPath(scriptPath, tempFolder, "delme", digits, ".bat")) {
            continue;
        }
        HANDLE file = CreateFileA(scriptPath, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

// Appends a path to the script text with each '%' doubled: the command interpreter expands '%' in
// every batch line, and "%%" is how a batch file says one '%'.
int AppendScriptPath(LPSTR text, LPCSTR path) {
    int length = lstrlenA(text);
    for (; *path != 0; ++path) {
        int copies = *path == '%' ? 2 : 1;
        if (length + copies >= kScriptTextSize) {
            return 0;
        }
        for (; copies > 0; --copies) {
            text[length++] = *path;
        }
    }
    text[length] = 0;
    return 1;
}

// Lines 3 to 5 loop until the program that ran can be deleted, which becomes possible once the second
// process has exited; the last line deletes the script itself.
int ComposeScript(LPSTR text, LPCSTR ownPath, LPCSTR scriptPath) {
    struct Piece {
        LPCSTR text;
        int isPath;
    };
    const Piece pieces[] = {
        {"\r\n", 0},        {"@echo off\r\n", 0}, {":myLabel\r\n", 0},
        {"del \"", 0},      {ownPath, 1},         {"\"\r\n", 0},
        {"if exist \"", 0}, {ownPath, 1},         {"\" goto myLabel\r\n", 0},
        {"del \"", 0},      {scriptPath, 1},      {"\"\r\n", 0},
    };
    text[0] = 0;
    for (const Piece& piece : pieces) {
        if (!(piece.isPath ? AppendScriptPath(text, piece.text)
                           : AppendText(text, kScriptTextSize, piece.text))) {
            return 0;
        }
    }
    int length = lstrlenA(text);
    // The command interpreter reads a batch file in the OEM code page, not in the ANSI one.
    return CharToOemBuffA(text, text, static_cast<DWORD>(length)) ? length : 0;
}

}  // namespace

void WriteCleanupScript() {
    PathBuffer tempFolder;
    // The script waits for and deletes the program that ran: the temporary copy, or the installed
    // uninstaller when the switch was given by hand, which may still be read-only ("del" would refuse
    // it for ever). The script's own path is the temporary folder and plain ASCII: the folder decides
    // for it, also for its start, in which the shell expands variables.
    PathBuffer ownPath;
    if (!GetTempFolder(tempFolder) || !EnsureTrailingBackslash(tempFolder) || !GetOwnPath(ownPath) ||
        !ScriptCanName(tempFolder, ownPath) || !MakeDeletable(ownPath)) {
        return;
    }
    PathBuffer scriptPath;
    HANDLE file = CreateScriptFile(tempFolder, scriptPath);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    char text[kScriptTextSize];
    int length = ComposeScript(text, ownPath, scriptPath);
    DWORD written = 0;
    BOOL wrote = length > 0 && WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
    // A script cut short could end inside its first "del" line, right after the temporary folder's
    // path, and would then delete every file in the temporary folder. Such a script is never started.
    if (!wrote || written != static_cast<DWORD>(length)) {
        DeleteFileA(scriptPath);
        return;
    }
    PathBuffer workingFolder;
    if (!GetTempFolder(workingFolder)) {
        DeleteFileA(scriptPath);
        return;
    }
    ShellExecuteA(nullptr, nullptr, scriptPath, nullptr, workingFolder, SW_HIDE);
}
