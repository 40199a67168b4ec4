// The operator's and the device's side of the simulated reader: scanning,
// armed faults and state queries. The application's side is reader/zel.h.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "../reader/zel.h"
#include "reader_limits.hpp"

// Results of the driver other than the one the application tells apart.
#define ZEL_ERR_OPEN ((DWORD)0xFFFF0701)
#define ZEL_ERR_BUFFER_MODE ((DWORD)0xFFFF0902)
#define ZEL_ERR_NO_DATA ((DWORD)0xFFFF0401)
#define ZEL_ERR_PARAMETER ((DWORD)0xFFFF0001)

namespace zel::control {

using zel::limits::max_read;
using zel::limits::queue_limit;

struct ScanResult {
    bool accepted = false;
    std::string message;  // why it was refused, or what became of it
};

// The operator pulls the trigger on a barcode holding these bytes. In mode 0
// the read waits for ZELReadData; in mode 3 the driver types it at once on
// the calling thread. Refused (never dropped silently) when the reader is
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

// How the driver names its results in the trace: "0", "ZEL_ERR_TRIGGER_KEY".
std::string result_name(DWORD result);

}  // namespace zel::control
