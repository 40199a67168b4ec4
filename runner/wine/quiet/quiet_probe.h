// The probe the agent sends to a thread's window and the answer quiethook.dll
// replies with (quiet_hook.cpp): never 0, which is what a thread without the
// hook answers.
#pragma once
#include <windows.h>

#define QUIET_PROBE_MESSAGE L"PendrelQuietProbe"
// What a thread still has to take: input (keys, mouse) and posted messages.
#define QUIET_WORK_BITS (QS_INPUT | QS_ALLPOSTMESSAGE)

namespace quiet_probe {

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

}  // namespace quiet_probe
