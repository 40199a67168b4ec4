// Behaviour tests of the window system and kernel that hold on Windows and
// on the emulated device alike: written against the Win32 API only, built
// for the device and with mingw-w64 (C++17), and run under Wine as the
// reference.
//
// Message order is checked against named tables of the messages each window
// receives, windows named by the title they were created with:
//
//     const std::vector<Step> shown = {
//         {"main", WM_SHOWWINDOW, TRUE},
//         {"main", WM_NCACTIVATE, any, desktop},  // Windows only
//         {"main", WM_ACTIVATE},
//     };
//     EXPECT_TRUE(same_sequence(shown, messages(), "ShowWindow"));
//
// A message one window system sends and the other does not (non-client and
// position bookkeeping on Windows) is marked with the side that sends it:
// `desktop` entries are required under Windows and must be absent on the
// device, `handheld` entries the other way round.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "../sequence.hpp"

// Messages Windows sends that the device never does, left out of its headers.
#ifndef WM_GETMINMAXINFO
#define WM_GETMINMAXINFO 0x0024
#endif
#ifndef WM_GETOBJECT
#define WM_GETOBJECT 0x003D
#endif
#ifndef WM_GETICON
#define WM_GETICON 0x007F
#endif
#ifndef WM_DISPLAYCHANGE
#define WM_DISPLAYCHANGE 0x007E
#endif
#ifndef WM_NCCREATE
#define WM_NCCREATE 0x0081
#endif
#ifndef WM_NCDESTROY
#define WM_NCDESTROY 0x0082
#endif
#ifndef WM_NCCALCSIZE
#define WM_NCCALCSIZE 0x0083
#endif
#ifndef WM_NCPAINT
#define WM_NCPAINT 0x0085
#endif
#ifndef WM_NCACTIVATE
#define WM_NCACTIVATE 0x0086
#endif
#ifndef WM_SETTINGCHANGE
#define WM_SETTINGCHANGE 0x001A
#endif
#ifndef WM_TIMECHANGE
#define WM_TIMECHANGE 0x001E
#endif
#ifndef WM_DEVICECHANGE
#define WM_DEVICECHANGE 0x0219
#endif
#ifndef WM_IME_SETCONTEXT
#define WM_IME_SETCONTEXT 0x0281
#endif
#ifndef WM_IME_KEYUP
#define WM_IME_KEYUP 0x0291
#endif
#ifndef WM_QUERYNEWPALETTE
#define WM_QUERYNEWPALETTE 0x030F
#endif

namespace conformance {

constexpr WPARAM any = ~WPARAM(0);
enum Mark { required = 0, desktop = 1, handheld = 2 };

// One message a window received, or one entry of an expected table.
struct Step {
    std::string window;  // the title the window was created with
    UINT message;
    WPARAM wParam = any;  // in a table: compared unless `any`
    Mark mark = required;
};

bool sequence_matches(const Step& expected, const Step& actual);
bool sequence_optional(const Step& expected);
std::string sequence_describe(const Step& step);

// What the recording windows received, in order. Messages that say nothing
// about the behaviour under test and come and go with the system's own
// bookkeeping (icons, input method, accessibility) are not recorded.
std::vector<Step>& messages();
// Empties the record (both the named record and the handle record below).
void clear_record();

LRESULT CALLBACK RecordingWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// A hook run on WM_CREATE, and one run on every message once it is recorded.
extern void (*on_create)(HWND);
extern void (*on_message)(HWND, UINT, WPARAM);

// Registers the recording class "ConformanceWindow" once.
void register_recording_class();
HWND create_recording_window(const WCHAR* title, DWORD style, HWND parent = NULL, int id = 0);
// Handles every message waiting for this thread, as a message loop would.
void pump();

// An in-memory dialog template: a captioned modal popup holding edit
// controls, laid out in dialog units.
class DialogTemplate {
public:
    DialogTemplate(const WCHAR* title, WORD items) {
        align(4);
        put32(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
        put32(0);
        put16(items);
        put16(10); put16(10); put16(120); put16(80);
        put16(0); put16(0); put_text(title);
    }
    void edit(WORD id, DWORD style, short x, short y, short cx, short cy) {
        align(4);
        put32(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | style);
        put32(0);
        put16(x); put16(y); put16(cx); put16(cy);
        put16(id);
        put16(0xFFFF); put16(0x0081);  // EDIT
        put_text(TEXT(""));
        put16(0);
    }
    LPCDLGTEMPLATEW get() const { return reinterpret_cast<LPCDLGTEMPLATEW>(bytes); }

private:
    void put16(WORD v) { std::memcpy(bytes + size, &v, 2); size += 2; }
    void put32(DWORD v) { std::memcpy(bytes + size, &v, 4); size += 4; }
    void put_text(const WCHAR* s) {
        do put16(WORD(*s)); while (*s++);
    }
    void align(size_t n) { while (size % n) bytes[size++] = 0; }
    alignas(4) unsigned char bytes[512] = {};
    size_t size = 0;
};

// ---- by handle, for a window that no longer has a title to go by ----

struct Msg {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
};
// Every message the recording windows received, by window handle.
std::vector<Msg>& recorded();

}  // namespace conformance
