// The reader on the Win32 device: one reader (reader_core) hosted by
// tolvenhost.exe, a process of its own that outlives the programs using it,
// as the handheld's driver does. TOLVEN.dll and the control side are its
// clients on one named pipe, a line a request and a line an answer:
//   driver operations (TOLVEN.dll, one connection per process)
//     open HWND | close | mode N  -> "RESULT"
//     poll THREAD                 -> "RESULT STATUS PENDING" (THREAD: the caller's id)
//     read                        -> "RESULT INFO LENGTH HEXBYTES"
//   control (the operator and the device: zel_control.hpp, the Wine agent)
//     scan HEXBYTES               -> "ok" | "refused: <reason>"
//     fail open|buffmode VALUE    -> the next ZELOpen / ZELChangeBuffMode returns VALUE
//     reset                       -> closed, mode 0, nothing waiting, no fault armed
//     state                       -> "open 0|1 mode N pending N typing 0|1 target 0xHWND
//                                     poller PID TID polled 0|1 last-poll-ms N"
//   (typing 1: a read was taken and its taker has not polled since, so its
//   keys may not all be sent; poller: the process and thread of the latest
//   poll; polled 0: the reader is open and nobody has polled since; last-poll-ms:
//   the host's tick count at the latest poll)
#pragma once
#include <windows.h>

#include <string>

#define TOLVEN_PIPE_NAME L"\\\\.\\pipe\\TOLVEN"
#define TOLVEN_HOST_EXE L"tolvenhost.exe"
#define TOLVEN_LINE_MAX 1024

namespace zel::host {

// A connection to the reader host; unless `start` is false, the host is
// started (tolvenhost.exe from the folder of `module`) when none serves the
// pipe. INVALID_HANDLE_VALUE when it cannot be reached within a few seconds.
HANDLE connect(HMODULE module, bool start = true);
// One request on a connection and its answer line; empty when the
// connection broke.
std::string exchange(HANDLE pipe, const std::string& line);

}  // namespace zel::host

namespace zel::control {
// One request on a connection of its own; empty when the host cannot be
// reached. `start`: as for connect.
std::string channel_request(const std::string& line, bool start = true);
}  // namespace zel::control
