// The simulated reader driver: a reader that is open or closed, in output
// buffer mode 0 (reads wait for ZELReadData) or 3 (the driver types each
// read itself), with a bounded queue of reads. All state is guarded by the
// device lock, since the worker and the UI thread call in unsynchronised.
#include "zel_control.hpp"

#include "key_table.hpp"

#include "core/core.hpp"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>

using namespace pf;

namespace {

struct Reader {
    bool open = false;
    DWORD mode = 0;
    HWND target = nullptr;
    std::deque<std::vector<BYTE>> queue;
    std::optional<DWORD> open_fault;
    std::optional<DWORD> mode_fault;
};

Reader& reader() {
    static auto& r = *new Reader;
    return r;
}

// A quiet device has no read waiting to be fetched in mode 0.
const bool quiet_registered = (add_quiet_condition([] {
                                   const Reader& r = reader();
                                   return r.queue.empty() || r.mode != ZEL_BUFFER_FETCH;
                               }),
                               true);

std::string bytes_text(const std::vector<BYTE>& bytes) {
    std::string out = "\"";
    for (BYTE b : bytes) {
        if (b == '"' || b == '\\') {
            out += '\\';
            out += char(b);
        } else if (b >= 0x20 && b < 0x7F) {
            out += char(b);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", b);
            out += buf;
        }
    }
    return out + "\"";
}

// Types one read on the calling thread, traced as the driver's.
void type_read(const std::vector<BYTE>& bytes) {
    static auto& typing = *new std::mutex;  // two scans never interleave their keys
    std::lock_guard guard(typing);
    Thread& t = current_thread();
    std::string saved = t.party_override;
    t.party_override = "driver";
    struct Restore {
        Thread& t;
        std::string saved;
        ~Restore() { t.party_override = saved; }
    } restore{t, saved};
    // The same key events the application sends for a read.
    for (BYTE c : bytes) {
        zel::keys::Key k = zel::keys::key_for(c);
        if (!k.typed) continue;
        keybd_event(VK_LWIN, 0, KEYEVENTF_KEYUP, 0);
        if (k.shift) keybd_event(VK_SHIFT, 0, KEYEVENTF_SILENT, 0);
        keybd_event(k.vk, 0, KEYEVENTF_SILENT, 0);
        keybd_event(k.vk, 0, KEYEVENTF_KEYUP, 0);
        if (k.shift) keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
    }
}

// An armed fault fires once: the result it makes the next call return.
std::optional<DWORD> take_fault(std::optional<DWORD>& armed) {
    std::optional<DWORD> fault = armed;
    armed.reset();
    return fault;
}

std::string out_ptr(const void* p, const char* name) { return p ? name : "NULL"; }

}  // namespace

namespace zel::control {

std::string result_name(DWORD result) {
    switch (result) {
    case 0: return "0";
    case ZEL_ERR_TRIGGER_KEY: return "ZEL_ERR_TRIGGER_KEY";
    case ZEL_ERR_OPEN: return "ZEL_ERR_OPEN";
    case ZEL_ERR_BUFFER_MODE: return "ZEL_ERR_BUFFER_MODE";
    case ZEL_ERR_NO_DATA: return "ZEL_ERR_NO_DATA";
    case ZEL_ERR_PARAMETER: return "ZEL_ERR_PARAMETER";
    default: return hex(result);
    }
}

ScanResult scan(const std::vector<BYTE>& bytes) {
    ScanResult result;
    bool type_now = false;
    {
        Lock lock(device_mutex());
        Reader& r = reader();
        std::string what = "scan " + bytes_text(bytes) + " (" + std::to_string(bytes.size()) + " bytes)";
        if (!r.open) {
            result.message = "refused: the reader is closed, the trigger does nothing";
        } else if (bytes.size() > max_read) {
            result.message = "refused: a read of " + std::to_string(bytes.size()) + " bytes is longer than " +
                             std::to_string(max_read) + ", which ReadLength cannot carry";
        } else if (r.mode == ZEL_BUFFER_KEY_OUTPUT) {
            result.accepted = true;
            result.message = "typed by the driver (buffer mode 3)";
            type_now = true;
        } else if (r.queue.size() >= queue_limit) {
            result.message = "refused: " + std::to_string(queue_limit) + " reads already wait to be fetched";
        } else {
            r.queue.push_back(bytes);
            result.accepted = true;
            result.message = "waiting to be fetched (" + std::to_string(r.queue.size()) + " waiting)";
            notify_all_locked();
        }
        trace_as("driver", what + ": " + result.message);
    }
    if (type_now) type_read(bytes);
    return result;
}

ScanResult scan(std::string_view text) { return scan(std::vector<BYTE>(text.begin(), text.end())); }

void fail_next_open(DWORD result) {
    Lock lock(device_mutex());
    reader().open_fault = result;
}

void fail_next_buffer_mode(DWORD result) {
    Lock lock(device_mutex());
    reader().mode_fault = result;
}

bool is_open() {
    Lock lock(device_mutex());
    return reader().open;
}

DWORD buffer_mode() {
    Lock lock(device_mutex());
    return reader().mode;
}

std::size_t pending() {
    Lock lock(device_mutex());
    return reader().queue.size();
}

HWND open_target() {
    Lock lock(device_mutex());
    return reader().target;
}

void reset() {
    Lock lock(device_mutex());
    reader() = Reader{};
    notify_all_locked();
}

}  // namespace zel::control

using zel::control::result_name;

extern "C" DWORD ZELOpen(HWND window, DWORD value) {
    Lock lock = enter_call();
    Reader& r = reader();
    DWORD result = 0;
    if (auto fault = take_fault(r.open_fault)) {
        result = *fault;
    } else {
        r.open = true;
        r.target = window;
    }
    trace(call_str("ZELOpen", {handle_name(window), std::to_string(value)}, result_name(result)));
    return result;
}

extern "C" DWORD ZELClose(void) {
    Lock lock = enter_call();
    Reader& r = reader();
    r.open = false;
    // A closed reader forgets the reads nobody fetched.
    std::size_t dropped = r.queue.size();
    r.queue.clear();
    notify_all_locked();
    trace(call_str("ZELClose", {}, "0"));
    if (dropped) trace_as("driver", "closed with " + std::to_string(dropped) + " unfetched reads: discarded");
    return 0;
}

extern "C" DWORD ZELChangeBuffMode(DWORD mode) {
    Lock lock = enter_call();
    Reader& r = reader();
    DWORD result = 0;
    if (auto fault = take_fault(r.mode_fault)) {
        result = *fault;
    } else if (mode != ZEL_BUFFER_FETCH && mode != ZEL_BUFFER_KEY_OUTPUT) {
        result = ZEL_ERR_PARAMETER;
    } else {
        r.mode = mode;
        notify_all_locked();
    }
    trace(call_str("ZELChangeBuffMode", {std::to_string(mode)}, result_name(result)));
    return result;
}

// Operations 590 and 580 reset the scanner engine on a real terminal; the
// simulated reader has nothing to reset.
extern "C" DWORD ZELOp590(void) {
    Lock lock = enter_call();
    trace(call_str("ZELOp590", {}, "0"));
    return 0;
}

extern "C" DWORD ZELOp580(void) {
    Lock lock = enter_call();
    trace(call_str("ZELOp580", {}, "0"));
    return 0;
}

extern "C" DWORD ZELPollStatus(DWORD* status, DWORD* pending) {
    Lock lock = enter_call();
    Reader& r = reader();
    auto call = [&](std::string_view result) {
        return call_str("ZELPollStatus", {out_ptr(status, "&status"), out_ptr(pending, "&pending")}, result);
    };
    if (!status || !pending) {
        trace(call(result_name(ZEL_ERR_PARAMETER)));
        return ZEL_ERR_PARAMETER;
    }
    // Status word: bit 0 open, bits 8-15 the buffer mode.
    *status = (r.open ? 1u : 0u) | (r.mode << 8);
    *pending = DWORD(r.queue.size());
    if (*pending == 0)
        trace_poll(call("0") + " [pending 0]");
    else
        trace(call("0") + " [pending " + std::to_string(*pending) + "]");
    return 0;
}

extern "C" DWORD ZELReadData(BYTE* buffer, DWORD* info, BYTE* length) {
    Lock lock = enter_call();
    Reader& r = reader();
    auto call = [&](std::string_view result) {
        return call_str("ZELReadData", {out_ptr(buffer, "buffer"), out_ptr(info, "&info"), out_ptr(length, "&length")},
                        result);
    };
    if (!buffer || !info || !length) {
        trace(call(result_name(ZEL_ERR_PARAMETER)));
        return ZEL_ERR_PARAMETER;
    }
    if (r.queue.empty()) {
        *length = 0;
        *info = 0;
        trace(call(result_name(ZEL_ERR_NO_DATA)) + " [length 0]");
        return ZEL_ERR_NO_DATA;
    }
    std::vector<BYTE> read = std::move(r.queue.front());
    r.queue.pop_front();
    std::memcpy(buffer, read.data(), read.size());
    *length = BYTE(read.size());
    *info = DWORD(r.queue.size());  // reads still waiting
    notify_all_locked();
    trace(call("0") + " [length " + std::to_string(read.size()) + "]");
    return 0;
}
