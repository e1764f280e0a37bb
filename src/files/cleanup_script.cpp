#include "common/path_buffer.h"
#include "control/product_identity.h"
#include "files/file_tasks.h"
#include "platform/windows_api.h"

namespace {

const int kMaxScriptNumber = 200;
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

// Lines 3 to 5 loop until the temporary copy can be deleted, which becomes possible once the
// second process has exited; the last line deletes the script itself.
int ComposeScript(LPSTR text, LPCSTR tempFolder, LPCSTR scriptPath) {
    LPCSTR pieces[] = {
        "\r\n",
        "@echo off\r\n",
        ":myLabel\r\n",
        "del \"",
        tempFolder,
        kProduct.uninstallerFileName,
        "\"\r\n",
        "if exist \"",
        tempFolder,
        kProduct.uninstallerFileName,
        "\" goto myLabel\r\n",
        "del \"",
        scriptPath,
        "\"\r\n",
    };
    text[0] = 0;
    for (LPCSTR piece : pieces) {
        if (!AppendText(text, kScriptTextSize, piece)) {
            return 0;
        }
    }
    return lstrlenA(text);
}

}  // namespace

void WriteCleanupScript() {
    PathBuffer tempFolder;
    // A '%' in a batch line is expanded by the command interpreter, which would make the script
    // name, and delete, some other file.
    if (!GetTempFolder(tempFolder) || !EnsureTrailingBackslash(tempFolder) || ContainsText(tempFolder, "%")) {
        return;
    }
    PathBuffer scriptPath;
    HANDLE file = CreateScriptFile(tempFolder, scriptPath);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    char text[kScriptTextSize];
    int length = ComposeScript(text, tempFolder, scriptPath);
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
