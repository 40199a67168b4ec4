// The probes the agent sends to a thread's window and the answers
// quiethook.dll replies with (quiet_hook.cpp); never 0, which is what a
// thread without the hook answers. The probe's wParam says what is asked:
//   quiet      whether the thread's queue still holds work, and its count
//   menu_bar   where item lParam (from 0) of the window's menu bar is
//   menu_item  where the item with command lParam of the thread's open popup menu is
// A thread is asked about its own windows and menus, which only it can read.
#pragma once
#include <windows.h>

#define QUIET_PROBE_MESSAGE L"PendrelQuietProbe"
// What a thread still has to do: take input (keys, mouse) and posted
// messages, and paint (the tray's icons are seen by their pixels).
#define QUIET_WORK_BITS (QS_INPUT | QS_ALLPOSTMESSAGE | QS_PAINT)

namespace quiet_probe {

enum Ask : WPARAM { quiet = 0, menu_bar = 1, menu_item = 2 };

struct Answer {
    bool hooked;           // the hook answered at all
    bool waiting;          // messages left in the thread's queue
    unsigned long taken;   // messages with work the thread has taken so far
};

inline LRESULT answer(bool waiting, unsigned long taken) {
    return LRESULT(1 | (waiting ? 2 : 0) | (ULONG_PTR(taken & 0x3FFFFFFF) << 2));
}

inline Answer read(DWORD_PTR reply) {
    return {(reply & 1) != 0, (reply & 2) != 0, (unsigned long)(reply >> 2)};
}

// A point on the screen, or none (found false).
inline LRESULT point_answer(bool found, int x, int y) {
    return LRESULT(1 | (found ? 2 : 0) | (ULONG_PTR(x & 0xFFFF) << 8) | (ULONG_PTR(y & 0xFFFF) << 24));
}
inline bool read_point(DWORD_PTR reply, int& x, int& y) {
    x = int((reply >> 8) & 0xFFFF);
    y = int((reply >> 24) & 0xFFFF);
    return (reply & 3) == 3;
}

}  // namespace quiet_probe
