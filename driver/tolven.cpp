// The host driver: the simulated reader (reader_core) on the emulated
// device, called in-process. Its lock is the device lock, since the worker
// and the UI thread call in unsynchronised; every call leaves a trace line.
#include "zel_control.hpp"

#include "reader_core.hpp"

#include "core/core.hpp"
#include "core/ledger.hpp"

#include <algorithm>
#include <mutex>

using namespace pf;

namespace {

zel::core::Reader& reader() {
    static auto& r = *new zel::core::Reader;
    return r;
}

// A quiet device has no read waiting to be fetched in mode 0 while a
// program's worker thread (started with CreateThread) runs to fetch it; a
// program without one never fetches them.
const bool quiet_registered = (add_quiet_condition([] {
                                   const zel::core::Reader& r = reader();
                                   if (r.waiting() == 0 || r.mode() != ZEL_BUFFER_FETCH) return true;
                                   auto all = all_processes();
                                   return std::none_of(all.begin(), all.end(), [](const Process* p) {
                                       return !p->ended && p->created_threads > 0;
                                   });
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
void type_read(const std::vector<BYTE>& bytes, std::size_t number) {
    static auto& typing = *new std::mutex;  // two scans never interleave their keys
    std::lock_guard guard(typing);
    Thread& t = current_thread();
    std::string saved = t.party_override;
    t.party_override = "driver";
    t.typing_read = number;
    struct Restore {
        Thread& t;
        std::string saved;
        ~Restore() {
            t.party_override = saved;
            t.typing_read = 0;
        }
    } restore{t, saved};
    zel::core::type_read(bytes.data(), bytes.size(), [](BYTE vk, bool down) {
        keybd_event(vk, 0, down ? KEYEVENTF_SILENT : KEYEVENTF_KEYUP, 0);
    });
}

std::string out_ptr(const void* p, const char* name) { return p ? name : "NULL"; }

// How the trace names a result: "0", "ZEL_ERR_TRIGGER_KEY".
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

}  // namespace

namespace zel::control {

ScanResult scan(const std::vector<BYTE>& bytes) {
    zel::core::Scan s;
    {
        Lock lock(device_mutex());
        s = reader().scan(bytes);
        bool refused = s.outcome == zel::core::ScanOutcome::refused;
        ledger::scanned_locked(s.number, std::string(bytes.begin(), bytes.end()),
                               refused ? zel::core::refusal_names[std::size_t(s.refusal)] : "");
        if (s.outcome == zel::core::ScanOutcome::waiting) notify_all_locked();
        trace_as("driver", "scan " + bytes_text(bytes) + " (" + std::to_string(bytes.size()) + " bytes): " + s.message);
    }
    if (s.outcome == zel::core::ScanOutcome::type_now) type_read(bytes, s.number);
    return ScanResult{s.outcome != zel::core::ScanOutcome::refused, s.message};
}

ScanResult scan(std::string_view text) { return scan(std::vector<BYTE>(text.begin(), text.end())); }

void fail_next_open(DWORD result) {
    Lock lock(device_mutex());
    reader().fail_next_open(result);
}

void fail_next_buffer_mode(DWORD result) {
    Lock lock(device_mutex());
    reader().fail_next_buffer_mode(result);
}

bool is_open() {
    Lock lock(device_mutex());
    return reader().is_open();
}

DWORD buffer_mode() {
    Lock lock(device_mutex());
    return reader().mode();
}

std::size_t pending() {
    Lock lock(device_mutex());
    return reader().waiting();
}

HWND open_target() {
    Lock lock(device_mutex());
    return reader().target();
}

void reset() {
    Lock lock(device_mutex());
    reader().reset();
    ledger::reset_locked();
    notify_all_locked();
}

}  // namespace zel::control

extern "C" DWORD ZELOpen(HWND window, DWORD value) {
    Lock lock = enter_call();
    DWORD result = reader().open(window);
    trace(call_str("ZELOpen", {handle_name(window), std::to_string(value)}, result_name(result)));
    return result;
}

extern "C" DWORD ZELClose(void) {
    Lock lock = enter_call();
    std::size_t dropped = reader().close();
    notify_all_locked();
    trace(call_str("ZELClose", {}, "0"));
    if (dropped) trace_as("driver", "closed with " + std::to_string(dropped) + " unfetched reads: discarded");
    return 0;
}

extern "C" DWORD ZELChangeBuffMode(DWORD mode) {
    Lock lock = enter_call();
    DWORD result = reader().change_mode(mode);
    notify_all_locked();
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
    DWORD result = reader().poll(status, pending);
    current_thread().typing_read = 0;  // the keys of the read it took before are all sent
    std::string call = call_str("ZELPollStatus", {out_ptr(status, "&status"), out_ptr(pending, "&pending")},
                                result_name(result));
    if (result != 0)
        trace(call);
    else if (*pending == 0)
        trace_poll(call + " [pending 0]");
    else
        trace(call + " [pending " + std::to_string(*pending) + "]");
    return result;
}

extern "C" DWORD ZELReadData(BYTE* buffer, DWORD* info, BYTE* length) {
    Lock lock = enter_call();
    DWORD result = reader().read(buffer, info, length);
    if (result == 0) {
        current_thread().typing_read = reader().last_taken();
        notify_all_locked();
    }
    std::string call = call_str("ZELReadData", {out_ptr(buffer, "buffer"), out_ptr(info, "&info"),
                                                out_ptr(length, "&length")}, result_name(result));
    trace(result == ZEL_ERR_PARAMETER ? call : call + " [length " + std::to_string(*length) + "]");
    return result;
}
