// Under Wine: what Pendrel's own key output costs, apart from the poll wait.
// Types one read again and again into the key recorder with the
// application's TranslateRead and EmitKeys (keys/keys.cpp, compiled in
// unchanged), alternating with the drivers' typing of the same read
// (zel::core::type_read), the same key events, with every keybd_event call
// timed on its own. One line per read, times in
// microseconds on the QueryPerformanceCounter clock:
//   emit N translate_us T emit_start S emit_end E
//   replay N keybd_sum_us K keybd_max_us M calls C emit_start S emit_end E
// Each read waits until the recorder's edit field holds it, so the recorder's
// own timing log shows when its last WM_CHAR arrived.
//
// Usage: keyburst.exe OUTFILE READS DATA
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "keys.h"
#include "reader.h"
#include "reader_core.hpp"
#include "../driver/win32/qpc_time.h"

// keys.cpp reads the worker's buffer; this program is its only writer here.
BYTE ReadBuffer[READ_BUFFER_SIZE];

namespace {

struct CallTimes {
    long long sum = 0;
    long long max = 0;
    int calls = 0;
};

// The drivers' typing of the read, each keybd_event call timed.
CallTimes replay(BYTE length) {
    CallTimes times;
    zel::core::type_read(ReadBuffer, length, [&times](BYTE vk, bool down) {
        long long start = qpc_now_us();
        keybd_event(vk, 0, down ? KEYEVENTF_SILENT : KEYEVENTF_KEYUP, 0);
        long long spent = qpc_now_us() - start;
        times.sum += spent;
        if (spent > times.max) times.max = spent;
        ++times.calls;
    });
    return times;
}

// Waits until the recorder's edit field holds `length` characters.
bool wait_for_text(HWND edit, int length) {
    for (int waited = 0; waited < 20000; waited += 2) {
        if (SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0) >= length) return true;
        Sleep(2);
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: keyburst.exe OUTFILE READS DATA\n");
        return 2;
    }
    int reads = _wtoi(argv[2]);
    size_t length = wcslen(argv[3]);
    if (reads <= 0 || length == 0 || length > 255) {
        std::fprintf(stderr, "keyburst: READS must be positive and DATA 1 to 255 characters\n");
        return 2;
    }
    for (size_t i = 0; i < length; ++i) {
        if (argv[3][i] < 0x20 || argv[3][i] > 0x7E) {
            std::fprintf(stderr, "keyburst: DATA character %u is not printable ASCII\n", unsigned(i));
            return 2;
        }
        ReadBuffer[i] = BYTE(argv[3][i]);
    }
    HWND recorder = FindWindowW(L"KeyRecorder", nullptr);
    HWND edit = recorder ? GetWindow(recorder, GW_CHILD) : nullptr;
    if (!edit) {
        std::fprintf(stderr, "keyburst: the key recorder is not running\n");
        return 1;
    }
    FILE* out = _wfopen(argv[1], L"w");
    if (!out) {
        std::fprintf(stderr, "keyburst: cannot write %ls\n", argv[1]);
        return 1;
    }
    for (int r = 0; r < reads; ++r) {
        SetWindowTextW(edit, L"");
        long long translate_start = qpc_now_us();
        TranslateRead(BYTE(length));
        long long emit_start = qpc_now_us();
        if (r % 2 == 0) {
            EmitKeys(BYTE(length));
            long long emit_end = qpc_now_us();
            std::fprintf(out, "emit %u translate_us %lld emit_start %lld emit_end %lld\n", unsigned(length),
                         emit_start - translate_start, emit_start, emit_end);
        } else {
            CallTimes times = replay(BYTE(length));
            long long emit_end = qpc_now_us();
            std::fprintf(out, "replay %u keybd_sum_us %lld keybd_max_us %lld calls %d emit_start %lld emit_end %lld\n",
                         unsigned(length), times.sum, times.max, times.calls, emit_start, emit_end);
        }
        if (!wait_for_text(edit, int(length))) {
            std::fprintf(stderr, "keyburst: read %d never reached the recorder\n", r + 1);
            std::fclose(out);
            return 1;
        }
        Sleep(20);
    }
    std::fclose(out);
    return 0;
}
