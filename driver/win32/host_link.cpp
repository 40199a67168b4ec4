// Reaching the reader host (channel.h): TOLVEN.dll and the control side both
// connect this way.
#include "channel.h"

namespace zel::host {

namespace {

bool start_host(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring exe(path, n);
    exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + TOLVEN_HOST_EXE;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring command = L"\"" + exe + L"\"";
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

}  // namespace

HANDLE connect(HMODULE module, bool start) {
    bool started = !start;
    // The bound only turns a host that never serves into a failure.
    for (DWORD waited = 0; waited < 10000; waited += 10) {
        HANDLE pipe = CreateFileW(TOLVEN_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) return pipe;
        if (GetLastError() == ERROR_PIPE_BUSY) {
            WaitNamedPipeW(TOLVEN_PIPE_NAME, 10);
            continue;
        }
        if (!started && !(started = start_host(module))) return INVALID_HANDLE_VALUE;
        if (!start && waited >= 1000) return INVALID_HANDLE_VALUE;
        Sleep(10);
    }
    return INVALID_HANDLE_VALUE;
}

std::string exchange(HANDLE pipe, const std::string& line) {
    std::string request = line + "\n";
    DWORD done = 0;
    if (!WriteFile(pipe, request.data(), DWORD(request.size()), &done, nullptr)) return "";
    std::string reply;
    char c;
    while (ReadFile(pipe, &c, 1, &done, nullptr) && done == 1 && c != '\n') reply += c;
    return reply;
}

}  // namespace zel::host

namespace zel::control {

std::string channel_request(const std::string& line, bool start) {
    HANDLE pipe = zel::host::connect(nullptr, start);
    if (pipe == INVALID_HANDLE_VALUE) return "";
    std::string reply = zel::host::exchange(pipe, line);
    CloseHandle(pipe);
    return reply;
}

}  // namespace zel::control
