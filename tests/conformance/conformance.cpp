#include "conformance.hpp"

#include <cstdio>
#include <cstring>

namespace conformance {

LRESULT create_result = 0;
void (*on_create)(HWND) = nullptr;

bool compared(UINT message) {
    switch (message) {
    case WM_CREATE: case WM_DESTROY: case WM_NCDESTROY: case WM_SHOWWINDOW: case WM_ACTIVATE:
    case WM_SETFOCUS: case WM_KILLFOCUS: case WM_PAINT: case WM_CLOSE: case WM_COMMAND:
    case WM_INITDIALOG: case WM_CHAR: case WM_KEYDOWN: case WM_KEYUP:
        return true;
    }
    return message >= WM_USER && message < WM_APP;
}

std::string describe(const Msg& m) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "hwnd %p message 0x%04X wParam %s", (void*)m.hwnd, m.message,
                  m.wParam == any ? "any" : std::to_string((unsigned long long)m.wParam).c_str());
    return buf;
}

std::vector<Msg>& recorded() {
    static std::vector<Msg> log;
    return log;
}

LRESULT CALLBACK RecordingWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    recorded().push_back(Msg{hwnd, message, wParam});
    switch (message) {
    case WM_CREATE:
        if (on_create) on_create(hwnd);
        return create_result;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void register_recording_class() {
    static bool done = false;
    if (done) return;
    WNDCLASSW wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = RecordingWndProc;
    wc.hInstance = NULL;
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = TEXT("ConformanceWindow");
    done = RegisterClassW(&wc) != 0;
}

HWND create_recording_window(const WCHAR* title, DWORD style, HWND parent, int id) {
    register_recording_class();
    return CreateWindowExW(0, TEXT("ConformanceWindow"), title, style, 0, 0, 200, 200, parent,
                           (HMENU)(INT_PTR)id, NULL, NULL);
}

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

::testing::AssertionResult same_messages(const std::vector<Msg>& expected, const std::vector<Msg>& all) {
    std::vector<Msg> actual;
    for (const Msg& m : all)
        if (compared(m.message)) actual.push_back(m);
    size_t n = expected.size() > actual.size() ? expected.size() : actual.size();
    for (size_t i = 0; i < n; ++i) {
        bool same = i < expected.size() && i < actual.size() && expected[i].hwnd == actual[i].hwnd &&
                    expected[i].message == actual[i].message &&
                    (expected[i].wParam == any || expected[i].wParam == actual[i].wParam);
        if (same) continue;
        auto out = ::testing::AssertionFailure() << "first difference at entry " << i << "\n";
        for (size_t k = i; k < n && k < i + 6; ++k)
            out << "  expected: " << (k < expected.size() ? describe(expected[k]) : "(nothing)")
                << "\n  actual:   " << (k < actual.size() ? describe(actual[k]) : "(nothing)") << "\n";
        return out;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace conformance
