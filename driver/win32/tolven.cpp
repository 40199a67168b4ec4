// The Win32 driver, TOLVEN.dll: the seven operations as requests to the
// device's one reader, hosted by tolvenhost.exe (channel.h), over one
// connection per process. The reader, its faults and reads waiting live in
// the host, not in the program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "channel.h"
#include "reader_core.hpp"

namespace {

std::mutex link_lock;  // the worker and the UI thread call in unsynchronised
HANDLE link = INVALID_HANDLE_VALUE;
HMODULE self = nullptr;

// The host's answer, as numbers: "RESULT [MORE...]". A host that cannot be
// reached is a driver that does not answer: ZEL_ERR_OPEN, said on stderr.
std::string ask(const std::string& request) {
    std::lock_guard<std::mutex> g(link_lock);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (link == INVALID_HANDLE_VALUE) link = zel::host::connect(self);
        if (link == INVALID_HANDLE_VALUE) break;
        std::string reply = zel::host::exchange(link, request);
        if (!reply.empty()) return reply;
        CloseHandle(link);  // the host has gone: a new one is reached once
        link = INVALID_HANDLE_VALUE;
    }
    std::fprintf(stderr, "TOLVEN.dll: the reader host does not answer '%s'\n", request.c_str());
    return "0xFFFF0701";
}

DWORD result_of(const std::string& reply) { return DWORD(std::strtoul(reply.c_str(), nullptr, 0)); }

}  // namespace

extern "C" {

DWORD ZELOpen(HWND target, DWORD reserved) {
    char request[40];
    std::snprintf(request, sizeof request, "open 0x%llx", (unsigned long long)(UINT_PTR)target);
    return result_of(ask(request));
}

DWORD ZELClose(void) { return result_of(ask("close")); }

DWORD ZELChangeBuffMode(DWORD mode) { return result_of(ask("mode " + std::to_string(mode))); }

// Operations 590 and 580 reset the scanner engine on a real terminal; the
// simulated reader has nothing to reset.
DWORD ZELOp590(void) { return 0; }
DWORD ZELOp580(void) { return 0; }

DWORD ZELPollStatus(DWORD* status, DWORD* pending) {
    if (!status || !pending) return ZEL_ERR_PARAMETER;
    std::string reply = ask("poll " + std::to_string(GetCurrentThreadId()));
    unsigned long result = 0, s = 0, p = 0;
    std::sscanf(reply.c_str(), "%lx %lx %lx", &result, &s, &p);
    *status = s;
    *pending = p;
    return result;
}

DWORD ZELReadData(BYTE* buffer, DWORD* info, BYTE* length) {
    if (!buffer || !info || !length) return ZEL_ERR_PARAMETER;
    std::string reply = ask("read");
    unsigned long result = 0, i = 0, n = 0;
    char data[2 * 256 + 2] = {};
    std::sscanf(reply.c_str(), "%lx %lx %lx %513s", &result, &i, &n, data);
    *info = i;
    *length = BYTE(n);
    for (unsigned long k = 0; k < n; ++k) {
        unsigned v = 0;
        std::sscanf(data + 2 * k, "%2x", &v);
        buffer[k] = BYTE(v);
    }
    return result;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}

}  // extern "C"
