// Small window-system probe for the Wine latency bench (wine_latency.sh):
// finds a window by class or title and posts to it, or reads a control's text.
//   wmctl.exe post CLASS MESSAGE WPARAM LPARAM   post a message to the window of CLASS
//   wmctl.exe text TITLE ID                      print the text of control ID of the window titled TITLE
//   wmctl.exe shown CLASS|TITLE                  exit 0 when such a window is visible
//   wmctl.exe exists CLASS|TITLE                 exit 0 when such a window exists
//   wmctl.exe foreground CLASS|TITLE             bring it to the front
//   wmctl.exe focused CLASS|TITLE [ID]           exit 0 when it (or its control ID) has the keyboard
// Numbers may be decimal or 0x hex. Output is UTF-8.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HWND find(const wchar_t* name) {
    HWND w = FindWindowW(name, nullptr);
    if (!w) w = FindWindowW(nullptr, name);
    return w;
}

unsigned long number(const wchar_t* text) { return std::wcstoul(text, nullptr, 0); }

void print_utf8(const wchar_t* text) {
    char buf[8192];
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buf, sizeof buf, nullptr, nullptr);
    if (n > 0) std::fwrite(buf, 1, n - 1, stdout);
    std::fputc('\n', stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: wmctl post CLASS MSG WPARAM LPARAM | text TITLE ID | shown NAME | exists NAME\n");
        return 2;
    }
    std::wstring verb = argv[1];
    HWND window = find(argv[2]);
    if (!window) {
        std::fprintf(stderr, "wmctl: no window named %ls\n", argv[2]);
        return 1;
    }
    if (verb == L"post" && argc == 6) {
        return PostMessageW(window, UINT(number(argv[3])), WPARAM(number(argv[4])), LPARAM(number(argv[5]))) ? 0 : 1;
    }
    if (verb == L"text" && argc == 4) {
        HWND control = GetDlgItem(window, int(number(argv[3])));
        if (!control) {
            std::fprintf(stderr, "wmctl: no control %ls\n", argv[3]);
            return 1;
        }
        wchar_t text[4096] = {};
        SendMessageW(control, WM_GETTEXT, 4096, LPARAM(text));
        print_utf8(text);
        return 0;
    }
    if (verb == L"shown") return IsWindowVisible(window) ? 0 : 1;
    if (verb == L"exists") return 0;
    if (verb == L"foreground") return SetForegroundWindow(window) ? 0 : 1;
    if (verb == L"focused") {
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        HWND wanted = argc == 4 ? GetDlgItem(window, int(number(argv[3]))) : window;
        return GetForegroundWindow() == window && GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) &&
                       (argc < 4 || gui.hwndFocus == wanted) ? 0 : 1;
    }
    std::fprintf(stderr, "wmctl: bad command\n");
    return 2;
}
