// The Win32 driver's control channel: the operator's scans and armed faults
// arrive as one-line requests on a named pipe, answered with one line.
//   scan HEXBYTES          -> "ok" | "refused: <reason>"
//   fail open VALUE        -> the next ZELOpen returns VALUE
//   fail buffmode VALUE    -> the next ZELChangeBuffMode returns VALUE
//   reset                  -> closed, mode 0, nothing waiting, no fault armed
//   state                  -> "open 0|1 mode N pending N typing 0|1 target 0xHWND"
//                             (typing 1: the program took a read and has not
//                             polled since, so its keys may not all be sent)
#pragma once
#include <string>

#define TOLVEN_PIPE_NAME L"\\\\.\\pipe\\TOLVEN-control"
#define TOLVEN_LINE_MAX 1024

namespace zel::control {
// Sends one request line and returns the answer; empty when the channel did
// not open within wait_ms (no program with the driver loaded). A channel busy
// with another request is waited for a few seconds whatever wait_ms says.
std::string channel_request(const std::string& line, unsigned long wait_ms = 3000);
}  // namespace zel::control
