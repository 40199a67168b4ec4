// The Win32 driver, TOLVEN.dll: the simulated reader (reader_core) behind
// the seven operations, with a named pipe as its control side (channel.h)
// and the real keybd_event for its typing in mode 3.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "channel.h"
#include "qpc_time.h"
#include "reader_core.hpp"

namespace {

std::mutex reader_lock;  // the worker and the UI thread call in unsynchronised

zel::core::Reader& reader() {
    static zel::core::Reader r;
    return r;
}

// For the latency bench: when TOLVEN_TIMING_LOG names a file, the reader's
// time notes go there as "queued US" and "fetched US" lines.
wchar_t timing_path[MAX_PATH];

void write_notes(const std::vector<zel::core::TimeNote>& notes) {
    static std::FILE* file = nullptr;
    if (!file) file = _wfopen(timing_path, L"a");
    if (!file) return;
    for (const auto& n : notes) std::fprintf(file, "%s %lld\n", n.what, n.us);
    std::fflush(file);
}

void type_read(const std::vector<BYTE>& bytes) {
    zel::core::type_read(bytes.data(), bytes.size(),
                         [](BYTE vk, bool down) { keybd_event(vk, 0, down ? 0 : KEYEVENTF_KEYUP, 0); });
}

bool parse_hex(const std::string& text, std::vector<BYTE>& out) {
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned v;
        if (!std::isxdigit((unsigned char)text[i]) || !std::isxdigit((unsigned char)text[i + 1]) ||
            std::sscanf(text.c_str() + i, "%2x", &v) != 1)
            return false;
        out.push_back(BYTE(v));
    }
    return true;
}

std::string handle_request(const std::string& line) {
    char verb[32] = {}, what[32] = {}, arg[64] = {};
    int fields = std::sscanf(line.c_str(), "%31s %31s %63s", verb, what, arg);
    if (fields >= 1 && std::strcmp(verb, "scan") == 0) {
        // The data is the rest of the line: up to 510 hex digits.
        std::string hex = line.substr(line.find("scan") + 4);
        hex.erase(0, hex.find_first_not_of(" \t"));
        hex.erase(hex.find_last_not_of(" \t\r") + 1);
        std::vector<BYTE> data;
        if (!parse_hex(hex, data)) return "refused: data is not hex bytes";
        zel::core::Scan s;
        {
            std::lock_guard<std::mutex> g(reader_lock);
            s = reader().scan(data);
        }
        if (s.outcome == zel::core::ScanOutcome::refused) return s.message;
        if (s.outcome == zel::core::ScanOutcome::type_now) type_read(data);
        return "ok";
    }
    std::lock_guard<std::mutex> g(reader_lock);
    zel::core::Reader& r = reader();
    if (fields >= 3 && std::strcmp(verb, "fail") == 0) {
        DWORD value = DWORD(std::strtoul(arg, nullptr, 0));
        if (std::strcmp(what, "open") == 0)
            r.fail_next_open(value);
        else if (std::strcmp(what, "buffmode") == 0)
            r.fail_next_buffer_mode(value);
        else
            return "refused: unknown fault";
        return "ok";
    }
    if (fields == 1 && std::strcmp(verb, "reset") == 0) {
        r.reset();
        return "ok";
    }
    if (fields == 1 && std::strcmp(verb, "state") == 0) {
        char buf[120];
        std::snprintf(buf, sizeof buf, "open %d mode %lu pending %u typing %d target 0x%llx", r.is_open() ? 1 : 0,
                      (unsigned long)r.mode(), unsigned(r.waiting()), r.taken_since_poll() ? 1 : 0,
                      (unsigned long long)(UINT_PTR)r.target());
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
    std::lock_guard<std::mutex> g(reader_lock);
    return reader().open(target);
}

DWORD ZELClose(void) {
    std::lock_guard<std::mutex> g(reader_lock);
    reader().close();
    return 0;
}

DWORD ZELChangeBuffMode(DWORD mode) {
    std::lock_guard<std::mutex> g(reader_lock);
    return reader().change_mode(mode);
}

// Operations 590 and 580 reset the scanner engine on a real terminal; the
// simulated reader has nothing to reset.
DWORD ZELOp590(void) { return 0; }
DWORD ZELOp580(void) { return 0; }

DWORD ZELPollStatus(DWORD* status, DWORD* pending) {
    std::lock_guard<std::mutex> g(reader_lock);
    return reader().poll(status, pending);
}

DWORD ZELReadData(BYTE* buffer, DWORD* info, BYTE* length) {
    std::lock_guard<std::mutex> g(reader_lock);
    return reader().read(buffer, info, length);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DWORD n = GetEnvironmentVariableW(L"TOLVEN_TIMING_LOG", timing_path, MAX_PATH);
        if (n > 0 && n < MAX_PATH) {
            reader().clock_us = qpc_now_us;
            reader().write_notes = write_notes;
        }
        HANDLE thread = CreateThread(nullptr, 0, serve_channel, nullptr, 0, nullptr);
        if (thread) CloseHandle(thread);
    }
    return TRUE;
}

}  // extern "C"
