// Reads what the user sees in the message boxes on the screen, for the end-to-end tests: the boxes
// are dialogs of the system, whose text is not visible from the X side (only the caption is).
//
// Usage: message_boxes.exe <caption>
// Prints one line per top-level dialog window (class "#32770") with exactly that caption:
//   box=<handle in hex> icon=<kind> buttons=<names separated by '+'> text=<text, CR and LF as \r \n>
// where kind is none, error, question, warning or information (the system icon it shows), or other
// (an icon that is none of them, or not drawn yet), and exits 0 (also when there is no such box).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

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
    {IDOK, "OK"},       {IDCANCEL, "Cancel"},     {IDABORT, "Abort"},
    {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"},     {IDYES, "Yes"},
    {IDNO, "No"},       {IDTRYAGAIN, "TryAgain"}, {IDCONTINUE, "Continue"},
};

struct IconKind {
    LPCSTR id;
    const char* name;
};
const IconKind kIconKinds[] = {{IDI_HAND, "error"},
                               {IDI_QUESTION, "question"},
                               {IDI_EXCLAMATION, "warning"},
                               {IDI_ASTERISK, "information"}};

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

// The pixels of a width x height picture: what `draw` paints into a fresh bitmap.
template <typename Draw>
std::vector<DWORD> Pixels(int width, int height, Draw draw) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<DWORD> pixels;
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        draw(dc);
        GdiFlush();
        for (int i = 0; i < width * height; ++i) {
            pixels.push_back(static_cast<const DWORD*>(bits)[i] & 0xFFFFFF);
        }
        SelectObject(dc, old);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    return pixels;
}

// Which system icon the box shows. Its icon handle belongs to the box's process and cannot be drawn
// from here, so the screen is compared with each system icon drawn on the box's own background.
const char* IconKindOf(HWND box) {
    for (int id : kIconIds) {
        HWND icon = GetDlgItem(box, id);
        if (icon == nullptr || !IsWindowVisible(icon) || SendMessageA(icon, STM_GETICON, 0, 0) == 0) {
            continue;
        }
        RECT place;
        GetWindowRect(icon, &place);
        int width = place.right - place.left;
        int height = place.bottom - place.top;
        std::vector<DWORD> shown = Pixels(width, height, [&](HDC dc) {
            HDC screen = GetDC(nullptr);
            BitBlt(dc, 0, 0, width, height, screen, place.left, place.top, SRCCOPY);
            ReleaseDC(nullptr, screen);
        });
        for (const IconKind& kind : kIconKinds) {
            std::vector<DWORD> drawn = Pixels(width, height, [&](HDC dc) {
                // The icon's corners are transparent: what shows there is the box's background.
                DWORD background = shown.empty() ? 0 : shown[0];
                HBRUSH brush =
                    CreateSolidBrush(RGB(background >> 16, (background >> 8) & 0xFF, background & 0xFF));
                RECT all = {0, 0, width, height};
                FillRect(dc, &all, brush);
                DeleteObject(brush);
                DrawIconEx(dc, 0, 0, LoadIcon(nullptr, kind.id), 0, 0, 0, nullptr, DI_NORMAL);
            });
            if (!shown.empty() && drawn == shown) {
                return kind.name;
            }
        }
        return "other";
    }
    return "none";
}

std::string Buttons(HWND box) {
    std::string names;
    for (const ButtonName& button : kButtons) {
        HWND control = GetDlgItem(box, button.id);
        char className[32] = "";
        if (control != nullptr && IsWindowVisible(control) &&
            GetClassNameA(control, className, sizeof className) && lstrcmpiA(className, "Button") == 0) {
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
    std::printf("box=%lx icon=%s buttons=%s text=%s\n",
                static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)), IconKindOf(window),
                Buttons(window).c_str(), Escaped(text).c_str());
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
