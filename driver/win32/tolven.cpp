// The simulated reader driver as a Win32 DLL. Same model as on the emulated
// device: open or closed, buffer mode 0 or 3, a bounded queue of reads; in
// mode 3 the driver types each read itself.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "channel.h"
#include "key_table.hpp"
#include "reader_limits.hpp"
#include "zel.h"
#include "qpc_time.h"

namespace {

struct Reader {
    std::mutex lock;
    bool open = false;
    DWORD mode = 0;
    std::deque<std::vector<BYTE>> queue;
    bool typing = false;  // a read was taken and the program has not polled since
    bool fail_open = false;
    DWORD fail_open_value = 0;
    bool fail_buffmode = false;
    DWORD fail_buffmode_value = 0;
};

Reader& reader() {
    static Reader r;
    return r;
}

// For the latency benchmark: when TOLVEN_TIMING_LOG names a file, each read's
// "queued US" and "fetched US" on the QueryPerformanceCounter clock, in
// microseconds. The lines wait in memory until a poll finds no read waiting,
// so writing them never delays a read. Guarded by the reader's lock.
struct TimingLog {
    wchar_t path[MAX_PATH] = {};
    std::FILE* file = nullptr;
    std::vector<std::pair<const char*, long long>> lines;
};

TimingLog& timing() {
    static TimingLog t;
    return t;
}

void note_time(const char* what) {
    TimingLog& t = timing();
    if (t.path[0]) t.lines.emplace_back(what, qpc_now_us());
}

void write_times() {
    TimingLog& t = timing();
    if (!t.path[0] || t.lines.empty()) return;
    if (!t.file) t.file = _wfopen(t.path, L"a");
    if (!t.file) return;
    for (const auto& line : t.lines) std::fprintf(t.file, "%s %lld\n", line.first, line.second);
    std::fflush(t.file);
    t.lines.clear();
}

// The same key events the program sends for a read.
void type_read(const std::vector<BYTE>& data) {
    for (BYTE c : data) {
        zel::keys::Key key = zel::keys::key_for(c);
        if (!key.typed) continue;
        keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
        if (key.shift) keybd_event(VK_SHIFT, 0, 0, 0);
        keybd_event(key.vk, 0, 0, 0);
        keybd_event(key.vk, 0, KEYEVENTF_KEYUP, 0);
        if (key.shift) keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    }
}

bool parse_hex(const char* text, std::vector<BYTE>& out) {
    size_t n = std::strlen(text);
    if (n % 2) return false;
    for (size_t i = 0; i < n; i += 2) {
        unsigned v;
        if (std::sscanf(text + i, "%2x", &v) != 1) return false;
        out.push_back(BYTE(v));
    }
    return true;
}

std::string handle_request(const std::string& line) {
    Reader& r = reader();
    char verb[32] = {}, what[32] = {}, arg[TOLVEN_LINE_MAX] = {};
    int fields = std::sscanf(line.c_str(), "%31s %31s %1000s", verb, what, arg);
    if (fields >= 1 && std::strcmp(verb, "scan") == 0) {
        // The data is the rest of the line (up to 510 hex digits), longer
        // than the word fields above hold.
        std::string hex = line.substr(line.find("scan") + 4);
        hex.erase(0, hex.find_first_not_of(" \t"));
        hex.erase(hex.find_last_not_of(" \t\r") + 1);
        std::vector<BYTE> data;
        if (hex.find_first_of(" \t") != std::string::npos || !parse_hex(hex.c_str(), data))
            return "refused: data is not hex bytes";
        if (data.size() > zel::limits::max_read) return "refused: a read holds at most 255 bytes";
        std::vector<BYTE> typed;
        {
            std::lock_guard<std::mutex> g(r.lock);
            if (!r.open) return "refused: the reader is closed";
            if (r.mode == ZEL_BUFFER_KEY_OUTPUT) {
                typed = data;
            } else {
                if (r.queue.size() >= zel::limits::queue_limit) return "refused: the read queue is full";
                r.queue.push_back(data);
                note_time("queued");
                return "ok";
            }
        }
        type_read(typed);
        return "ok";
    }
    if (fields >= 3 && std::strcmp(verb, "fail") == 0) {
        DWORD value = DWORD(std::strtoul(arg, nullptr, 0));
        std::lock_guard<std::mutex> g(r.lock);
        if (std::strcmp(what, "open") == 0) {
            r.fail_open = true;
            r.fail_open_value = value;
            return "ok";
        }
        if (std::strcmp(what, "buffmode") == 0) {
            r.fail_buffmode = true;
            r.fail_buffmode_value = value;
            return "ok";
        }
        return "refused: unknown fault";
    }
    if (fields >= 1 && std::strcmp(verb, "state") == 0) {
        std::lock_guard<std::mutex> g(r.lock);
        char buf[80];
        std::snprintf(buf, sizeof buf, "open %d mode %lu pending %u typing %d", r.open ? 1 : 0,
                      (unsigned long)r.mode, unsigned(r.queue.size()), r.typing ? 1 : 0);
        return buf;
    }
    return "refused: unknown request";
}

DWORD WINAPI serve_channel(LPVOID) {
    for (;;) {
        HANDLE pipe = CreateNamedPipeW(TOLVEN_PIPE_NAME, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                       TOLVEN_LINE_MAX, TOLVEN_LINE_MAX, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) return 1;
        if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
            std::string line;
            char c;
            DWORD got = 0;
            while (ReadFile(pipe, &c, 1, &got, nullptr) && got == 1 && c != '\n') line += c;
            std::string reply = handle_request(line) + "\n";
            DWORD written = 0;
            WriteFile(pipe, reply.data(), DWORD(reply.size()), &written, nullptr);
            FlushFileBuffers(pipe);
            DisconnectNamedPipe(pipe);
        }
        CloseHandle(pipe);
    }
}

}  // namespace

extern "C" {

DWORD ZELOpen(HWND target, DWORD reserved) {
    Reader& r = reader();
    std::lock_guard<std::mutex> g(r.lock);
    if (r.fail_open) {
        r.fail_open = false;
        return r.fail_open_value;
    }
    r.open = true;
    return 0;
}

DWORD ZELClose(void) {
    Reader& r = reader();
    std::lock_guard<std::mutex> g(r.lock);
    r.open = false;
    r.queue.clear();
    r.typing = false;
    return 0;
}

DWORD ZELChangeBuffMode(DWORD mode) {
    Reader& r = reader();
    std::lock_guard<std::mutex> g(r.lock);
    if (r.fail_buffmode) {
        r.fail_buffmode = false;
        return r.fail_buffmode_value;
    }
    if (mode != ZEL_BUFFER_FETCH && mode != ZEL_BUFFER_KEY_OUTPUT) return 1;
    r.mode = mode;
    return 0;
}

DWORD ZELOp590(void) { return 0; }
DWORD ZELOp580(void) { return 0; }

DWORD ZELPollStatus(DWORD* status, DWORD* pending) {
    Reader& r = reader();
    std::lock_guard<std::mutex> g(r.lock);
    r.typing = false;
    if (status) *status = r.open ? 1 : 0;
    if (pending) *pending = r.mode == ZEL_BUFFER_FETCH && !r.queue.empty() ? 1 : 0;
    if (r.queue.empty()) write_times();
    return 0;
}

DWORD ZELReadData(BYTE* buffer, DWORD* info, BYTE* length) {
    Reader& r = reader();
    std::lock_guard<std::mutex> g(r.lock);
    if (info) *info = 0;
    if (r.queue.empty()) {
        if (length) *length = 0;
        return 1;
    }
    std::vector<BYTE> data = r.queue.front();
    r.queue.pop_front();
    r.typing = true;
    if (buffer) std::memcpy(buffer, data.data(), data.size());
    if (length) *length = BYTE(data.size());
    note_time("fetched");
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        TimingLog& t = timing();
        DWORD n = GetEnvironmentVariableW(L"TOLVEN_TIMING_LOG", t.path, MAX_PATH);
        if (n >= MAX_PATH) t.path[0] = 0;
        t.lines.reserve(4096);
        HANDLE thread = CreateThread(nullptr, 0, serve_channel, nullptr, 0, nullptr);
        if (thread) CloseHandle(thread);
    }
    return TRUE;
}

}  // extern "C"
