// A stand-in for the product in the end-to-end tests: one main window of class "VorskTandrel",
// titled "Tandrel", which is all the uninstaller looks for when it asks the running product to close.
//
// Usage: Tandrel.exe [--marker <file>] [--ignore-close] [--close-delay <ms>]
//   --marker <file>  appends one line to <file> for each event: "started" once the main window is
//                    shown, "WM_CLOSE" for every WM_CLOSE received, "exiting" before the process ends,
//                    each followed by a space and GetTickCount() (milliseconds, for reading the timing
//                    of a failed test against Wine's debug log, which uses the same clock).
//                    The file is opened and closed for each line, so it is never held open. Without
//                    this option nothing is written. The tests keep the file outside the installation
//                    folder, where it would count as a foreign file.
//   --ignore-close   WM_CLOSE is recorded but otherwise ignored: the product keeps running, as one
//                    that is busy or asks "save changes?" would.
//   --close-delay <ms> after WM_CLOSE the window stays for that long before it is destroyed, as in a
//                    product that saves its work first; its messages are handled meanwhile.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string g_markerPath;
bool g_ignoreClose = false;
UINT g_closeDelayMs = 0;
const UINT_PTR kCloseTimer = 1;

void Record(const char* line) {
    if (g_markerPath.empty()) {
        return;
    }
    HANDLE file = CreateFileA(g_markerPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    char tick[16];
    wsprintfA(tick, " %lu\r\n", GetTickCount());
    std::string text = std::string(line) + tick;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            Record("WM_CLOSE");
            if (g_ignoreClose) {
                return 0;
            }
            // A timer, not a sleep: the window still answers while it "saves".
            if (g_closeDelayMs == 0 || SetTimer(window, kCloseTimer, g_closeDelayMs, nullptr) == 0) {
                DestroyWindow(window);
            }
            return 0;
        case WM_TIMER:
            if (wParam == kCloseTimer) {
                KillTimer(window, kCloseTimer);
                DestroyWindow(window);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            const char text[] = "VORSK Tandrel 98 (test stand-in)";
            TextOutA(dc, 10, 10, text, static_cast<int>(std::strlen(text)));
            EndPaint(window, &paint);
            return 0;
        }
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void ParseArguments() {
    for (int i = 1; i < __argc; ++i) {
        if (std::strcmp(__argv[i], "--marker") == 0 && i + 1 < __argc) {
            g_markerPath = __argv[++i];
        } else if (std::strcmp(__argv[i], "--ignore-close") == 0) {
            g_ignoreClose = true;
        } else if (std::strcmp(__argv[i], "--close-delay") == 0 && i + 1 < __argc) {
            g_closeDelayMs = static_cast<UINT>(std::strtoul(__argv[++i], nullptr, 10));
        }
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showState) {
    ParseArguments();

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "VorskTandrel";
    if (!RegisterClassA(&windowClass)) {
        return 2;
    }
    HWND window = CreateWindowA("VorskTandrel", "Tandrel", WS_OVERLAPPEDWINDOW, 40, 40, 360, 160, nullptr,
                                nullptr, instance, nullptr);
    if (window == nullptr) {
        return 3;
    }
    ShowWindow(window, showState);
    UpdateWindow(window);
    Record("started");

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Record("exiting");
    return 0;
}
