// A window with an edit field that holds the focus and logs every key
// message it receives: one line per WM_KEYDOWN, WM_KEYUP and WM_CHAR, with
// the virtual key (or character) and the Shift state: the window the Wine
// latency bench (wine_latency.sh) types into.
//
// Usage: keyrecorder.exe LOGFILE
// With KEYRECORDER_TIMING_LOG naming a file, also "char US" per WM_CHAR on
// the QueryPerformanceCounter clock in microseconds (the driver's clock for
// its queued reads), taken on arrival and written out every 100 ms.
#include <windows.h>

#include <cstdio>
#include <vector>
#include "../driver/win32/qpc_time.h"

namespace {

FILE* g_log = nullptr;
WNDPROC g_edit_proc = nullptr;
FILE* g_timing_log = nullptr;
std::vector<long long> g_char_times;

constexpr UINT_PTR kTimingTimer = 1;

void write_char_times() {
    if (!g_timing_log || g_char_times.empty()) return;
    for (long long t : g_char_times) std::fprintf(g_timing_log, "char %lld\n", t);
    std::fflush(g_timing_log);
    g_char_times.clear();
}

void log_line(const char* kind, unsigned value, bool shift) {
    std::fprintf(g_log, "%s 0x%02X%s\n", kind, value, shift ? " shift" : "");
    std::fflush(g_log);
}

LRESULT CALLBACK recording_edit_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CHAR && g_timing_log) g_char_times.push_back(qpc_now_us());
    bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    switch (message) {
    case WM_KEYDOWN: log_line("down", unsigned(wParam), shift); break;
    case WM_KEYUP: log_line("up", unsigned(wParam), shift); break;
    case WM_CHAR: log_line("char", unsigned(wParam), shift); break;
    }
    return CallWindowProcW(g_edit_proc, window, message, wParam, lParam);
}

LRESULT CALLBACK frame_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE: {
        HWND edit = GetWindow(window, GW_CHILD);
        if (edit) MoveWindow(edit, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    }
    case WM_SETFOCUS: {
        HWND edit = GetWindow(window, GW_CHILD);
        if (edit) SetFocus(edit);
        return 0;
    }
    case WM_TIMER: write_char_times(); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR command_line, int show) {
    g_log = _wfopen(command_line && *command_line ? command_line : L"keys.log", L"w");
    if (!g_log) return 2;
    wchar_t timing_path[MAX_PATH];
    DWORD n = GetEnvironmentVariableW(L"KEYRECORDER_TIMING_LOG", timing_path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        g_timing_log = _wfopen(timing_path, L"w");
        if (!g_timing_log) return 2;
        g_char_times.reserve(1 << 16);
    }

    WNDCLASSW wc = {};
    wc.lpfnWndProc = frame_proc;
    wc.hInstance = instance;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = L"KeyRecorder";
    RegisterClassW(&wc);
    HWND frame = CreateWindowExW(0, L"KeyRecorder", L"Key recorder", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320,
                                 240, nullptr, nullptr, instance, nullptr);
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN, 0, 0, 320,
                                240, frame, (HMENU)1, instance, nullptr);
    g_edit_proc = (WNDPROC)SetWindowLongPtrW(edit, GWLP_WNDPROC, (LONG_PTR)recording_edit_proc);
    ShowWindow(frame, show);
    SetForegroundWindow(frame);
    SetFocus(edit);
    if (g_timing_log) SetTimer(frame, kTimingTimer, 100, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    write_char_times();
    if (g_timing_log) std::fclose(g_timing_log);
    std::fclose(g_log);
    return 0;
}
