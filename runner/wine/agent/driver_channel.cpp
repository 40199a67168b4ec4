// The simulated driver's control channel inside TOLVEN.dll: one request a
// connection, one answer line.
#include "../../../driver/win32/channel.h"
#include "agent.hpp"

namespace agent {

// The driver opens its pipe again after each request: while a launch runs,
// a pipe not there yet is waited for (up to 2 s), so that no request falls
// between two.
std::string driver_request(const std::string& request) {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    bool driver_running = any_launch_running();
    for (int attempt = 0; attempt < 200 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
        pipe = CreateFileW(TOLVEN_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) break;
        DWORD error = GetLastError();
        if (error == ERROR_PIPE_BUSY) WaitNamedPipeW(TOLVEN_PIPE_NAME, 100);
        else if (error == ERROR_FILE_NOT_FOUND && driver_running) Sleep(10);
        else return "";
    }
    if (pipe == INVALID_HANDLE_VALUE) return "";
    std::string line = request + "\n";
    DWORD done = 0;
    WriteFile(pipe, line.data(), DWORD(line.size()), &done, nullptr);
    std::string reply;
    char c;
    while (ReadFile(pipe, &c, 1, &done, nullptr) && done == 1 && c != '\n') reply += c;
    CloseHandle(pipe);
    return reply;
}

}  // namespace agent
