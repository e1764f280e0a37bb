// Reads what the user sees in the message boxes on the screen, for the end-to-end tests: the boxes
// are dialogs of the system, whose text is not visible from the X side (only the caption is).
//
// Usage: message_boxes.exe <caption>
// Prints one line per top-level dialog window (class "#32770") with exactly that caption:
//   box=<handle in hex> icon=<0|1> buttons=<names separated by '+'> text=<text, CR and LF as \r \n>
// and exits 0 (also when there is no such box).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The static controls of a message box: its text has the id 0xFFFF on Windows and on Wine; its icon
// has the id 0x14 on Windows and 0x440 on Wine.
const int kTextId = 0xFFFF;
const int kIconIds[] = {0x14, 0x440};

struct ButtonName {
    int id;
    const char* name;
};
const ButtonName kButtons[] = {
    {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"},
    {IDYES, "Yes"}, {IDNO, "No"},       {IDTRYAGAIN, "TryAgain"}, {IDCONTINUE, "Continue"},
};

const char* g_caption = "";

std::string Escaped(const char* text) {
    std::string out;
    for (; *text != 0; ++text) {
        if (*text == '\r') {
            out += "\\r";
        } else if (*text == '\n') {
            out += "\\n";
        } else {
            out += *text;
        }
    }
    return out;
}

bool HasIcon(HWND box) {
    for (int id : kIconIds) {
        HWND icon = GetDlgItem(box, id);
        if (icon != nullptr && IsWindowVisible(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0) {
            return true;
        }
    }
    return false;
}

std::string Buttons(HWND box) {
    std::string names;
    for (const ButtonName& button : kButtons) {
        HWND control = GetDlgItem(box, button.id);
        char className[32] = "";
        if (control != nullptr && IsWindowVisible(control) && GetClassNameA(control, className, sizeof className) &&
            lstrcmpiA(className, "Button") == 0) {
            if (!names.empty()) {
                names += "+";
            }
            names += button.name;
        }
    }
    return names;
}

BOOL CALLBACK PrintBox(HWND window, LPARAM) {
    char className[64] = "";
    char caption[256] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, "#32770") != 0 || std::strcmp(caption, g_caption) != 0) {
        return TRUE;
    }
    char text[1024] = "";
    GetDlgItemTextA(window, kTextId, text, sizeof text);
    std::printf("box=%lx icon=%d buttons=%s text=%s\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)),
                HasIcon(window) ? 1 : 0, Buttons(window).c_str(), Escaped(text).c_str());
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: message_boxes.exe <caption>\n");
        return 2;
    }
    g_caption = argv[1];
    EnumWindows(PrintBox, 0);
    std::fflush(stdout);
    return 0;
}
