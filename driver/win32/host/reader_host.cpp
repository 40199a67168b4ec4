// tolvenhost.exe: the reader of the Win32 device (channel.h). One reader
// (reader_core) for every program: its open state, mode, reads waiting and
// armed faults outlast any program's start and end, as the handheld's driver
// does. Each client connection is served by a thread of its own; mode 3
// reads are typed from here with the real keybd_event.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "../channel.h"
#include "../qpc_time.h"
#include "reader_core.hpp"

namespace {

std::mutex reader_lock;
zel::core::Reader reader;
// Who polled last: the worker is seen by its polls.
DWORD poller_process = 0, poller_thread = 0;
bool polled_since_open = false;
ULONGLONG last_poll_ms = 0;

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

std::string hex(unsigned long long value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", value);
    return buf;
}

// The rest of a line after its first word, trimmed.
std::string rest_of(const std::string& line) {
    size_t space = line.find(' ');
    if (space == std::string::npos) return "";
    std::string rest = line.substr(space + 1);
    rest.erase(0, rest.find_first_not_of(" \t"));
    rest.erase(rest.find_last_not_of(" \t\r") + 1);
    return rest;
}

std::string scan(const std::string& data_hex) {
    std::vector<BYTE> data;
    if (!parse_hex(data_hex, data)) return "refused: data is not hex bytes";
    zel::core::Scan s;
    {
        std::lock_guard<std::mutex> g(reader_lock);
        s = reader.scan(data);
    }
    if (s.outcome == zel::core::ScanOutcome::refused) return s.message;
    if (s.outcome == zel::core::ScanOutcome::type_now) type_read(data);
    return "ok";
}

// A driver operation of a client's process, or a control request.
std::string handle_request(const std::string& line, DWORD client_process) {
    char verb[32] = {}, what[32] = {}, arg[64] = {};
    int fields = std::sscanf(line.c_str(), "%31s %31s %63s", verb, what, arg);
    if (fields >= 1 && std::strcmp(verb, "scan") == 0) return scan(rest_of(line));
    std::lock_guard<std::mutex> g(reader_lock);
    unsigned long long number = std::strtoull(what, nullptr, 0);
    if (fields == 2 && std::strcmp(verb, "open") == 0) {
        DWORD result = reader.open(reinterpret_cast<HWND>(static_cast<UINT_PTR>(number)));
        if (reader.is_open()) polled_since_open = false;
        return hex(result);
    }
    if (fields == 1 && std::strcmp(verb, "close") == 0) return reader.close(), hex(0);
    if (fields == 2 && std::strcmp(verb, "mode") == 0) return hex(reader.change_mode(DWORD(number)));
    if (fields == 2 && std::strcmp(verb, "poll") == 0) {
        DWORD status = 0, pending = 0;
        DWORD result = reader.poll(&status, &pending);
        poller_process = client_process;
        poller_thread = DWORD(number);
        polled_since_open = true;
        last_poll_ms = GetTickCount64();
        return hex(result) + " " + hex(status) + " " + hex(pending);
    }
    if (fields == 1 && std::strcmp(verb, "read") == 0) {
        BYTE buffer[256] = {};
        DWORD info = 0;
        BYTE length = 0;
        DWORD result = reader.read(buffer, &info, &length);
        std::string data;
        for (int i = 0; i < length; ++i) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02X", buffer[i]);
            data += byte;
        }
        return hex(result) + " " + hex(info) + " " + hex(length) + " " + (data.empty() ? "-" : data);
    }
    if (fields >= 3 && std::strcmp(verb, "fail") == 0) {
        DWORD value = DWORD(std::strtoul(arg, nullptr, 0));
        if (std::strcmp(what, "open") == 0) reader.fail_next_open(value);
        else if (std::strcmp(what, "buffmode") == 0) reader.fail_next_buffer_mode(value);
        else return "refused: unknown fault";
        return "ok";
    }
    if (fields == 1 && std::strcmp(verb, "reset") == 0) {
        reader.reset();
        poller_process = poller_thread = 0;
        polled_since_open = false;
        return "ok";
    }
    if (fields == 1 && std::strcmp(verb, "state") == 0) {
        char buf[200];
        std::snprintf(buf, sizeof buf,
                      "open %d mode %lu pending %u typing %d target 0x%llx poller %lu %lu polled %d last-poll-ms %llu",
                      reader.is_open() ? 1 : 0, (unsigned long)reader.mode(), unsigned(reader.waiting()),
                      reader.taken_since_poll() ? 1 : 0, (unsigned long long)(UINT_PTR)reader.target(),
                      (unsigned long)poller_process, (unsigned long)poller_thread,
                      !reader.is_open() || polled_since_open ? 1 : 0, (unsigned long long)last_poll_ms);
        return buf;
    }
    return "refused: unknown request";
}

DWORD WINAPI serve_client(LPVOID param) {
    HANDLE pipe = param;
    ULONG client = 0;
    GetNamedPipeClientProcessId(pipe, &client);
    for (;;) {
        std::string line;
        char c;
        DWORD got = 0;
        while (ReadFile(pipe, &c, 1, &got, nullptr) && got == 1 && c != '\n') line += c;
        if (got != 1) break;  // the client has gone
        std::string reply = handle_request(line, client) + "\n";
        DWORD written = 0;
        if (!WriteFile(pipe, reply.data(), DWORD(reply.size()), &written, nullptr)) break;
    }
    DisconnectNamedPipe(pipe);
    CloseHandle(pipe);
    return 0;
}

}  // namespace

int wmain() {
    DWORD n = GetEnvironmentVariableW(L"TOLVEN_TIMING_LOG", timing_path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) {
        reader.clock_us = qpc_now_us;
        reader.write_notes = write_notes;
    }
    // One host a device: a second one finds the pipe taken and leaves.
    DWORD first = FILE_FLAG_FIRST_PIPE_INSTANCE;
    for (;;) {
        HANDLE pipe = CreateNamedPipeW(TOLVEN_PIPE_NAME, PIPE_ACCESS_DUPLEX | first, PIPE_TYPE_BYTE | PIPE_WAIT,
                                       PIPE_UNLIMITED_INSTANCES, TOLVEN_LINE_MAX, TOLVEN_LINE_MAX, 0, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) {
            std::fprintf(stderr, "tolvenhost: cannot serve %ls (error %lu)\n", TOLVEN_PIPE_NAME, GetLastError());
            return 1;
        }
        first = 0;
        if (!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) {
            CloseHandle(pipe);
            continue;
        }
        HANDLE thread = CreateThread(nullptr, 0, serve_client, pipe, 0, nullptr);
        if (thread) CloseHandle(thread);
        else CloseHandle(pipe);
    }
}
