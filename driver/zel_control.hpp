// The operator's and the device's side of the simulated reader: scanning,
// armed faults and state queries. The application's side is reader/zel.h.
// The host driver answers in-process (driver/tolven.cpp); for the Win32
// tools the same calls go over TOLVEN.dll's pipe (driver/win32/tool/control.cpp).
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "reader_core.hpp"

namespace zel::control {

using zel::limits::max_read;
using zel::limits::queue_limit;

struct ScanResult {
    bool accepted = false;
    std::string message;  // why it was refused, or what became of it
};

// The operator pulls the trigger on a barcode holding these bytes. In mode 0
// the read waits for ZELReadData; in mode 3 the driver types it before this
// returns (host: on the calling thread). Refused (never dropped silently) when the reader is
// closed, the read is longer than 255 bytes or the queue is full.
ScanResult scan(const std::vector<BYTE>& bytes);
ScanResult scan(std::string_view text);

// The next ZELOpen returns this result once (ZEL_ERR_TRIGGER_KEY,
// or any other failure) and leaves the reader closed.
void fail_next_open(DWORD result = ZEL_ERR_TRIGGER_KEY);
// The next ZELChangeBuffMode returns this result once and keeps the mode.
void fail_next_buffer_mode(DWORD result = ZEL_ERR_BUFFER_MODE);

bool is_open();
DWORD buffer_mode();
std::size_t pending();
HWND open_target();

// Back to a closed reader in mode 0 with nothing waiting and no fault armed.
void reset();

}  // namespace zel::control
