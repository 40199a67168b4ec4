// Behaviour tests of the window system and kernel that hold on Windows and
// on the emulated device alike: written against the Win32 API only, built
// for the device and with mingw-w64, and run under Wine as the reference.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace conformance {

// A message as the tests compare it; wParam is compared unless `any`.
struct Msg {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
};
constexpr WPARAM any = ~WPARAM(0);

// Windows sends many messages the device never does (non-client and
// position bookkeeping); the tables cover the messages both must send.
bool compared(UINT message);
std::string describe(const Msg& m);

// Records what the recording window procedure receives.
std::vector<Msg>& recorded();
LRESULT CALLBACK RecordingWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// What RecordingWndProc answers to WM_CREATE; and a hook run on WM_CREATE.
extern LRESULT create_result;
extern void (*on_create)(HWND);

// Registers the recording class "ConformanceWindow" once.
void register_recording_class();
HWND create_recording_window(const WCHAR* title, DWORD style, HWND parent = NULL, int id = 0);
// Handles every message waiting for this thread, as a message loop would.
void pump();

// Compares the compared messages of `actual` with `expected`, strictly, and
// prints both from the first difference.
::testing::AssertionResult same_messages(const std::vector<Msg>& expected, const std::vector<Msg>& actual);

}  // namespace conformance
