// The simulated reader's control side for the Win32 tools: the calls of
// zel_control.hpp, sent to the device's reader host (channel.h).
#include <windows.h>

#include <cstdio>

#include "../channel.h"
#include "zel_control.hpp"

namespace zel::control {

namespace {

struct State {
    int open = 0;
    unsigned long mode = 0;
    unsigned pending = 0;
    int typing = 0;
    unsigned long long target = 0;
};

State state() {
    State s;
    std::string reply = channel_request("state");
    if (std::sscanf(reply.c_str(), "open %d mode %lu pending %u typing %d target %llx", &s.open, &s.mode, &s.pending,
                    &s.typing, &s.target) != 5)
        std::fprintf(stderr, "zel::control: the driver's state \"%s\" is not in the channel's form\n", reply.c_str());
    return s;
}

std::string hex(DWORD value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%lX", (unsigned long)value);
    return buf;
}

void arm(const std::string& request) {
    std::string reply = channel_request(request);
    if (reply != "ok") std::fprintf(stderr, "zel::control: \"%s\" answered \"%s\"\n", request.c_str(), reply.c_str());
}

}  // namespace

ScanResult scan(const std::vector<BYTE>& bytes) {
    std::string line = "scan ";
    for (BYTE b : bytes) {
        char h[3];
        std::snprintf(h, sizeof h, "%02X", b);
        line += h;
    }
    std::string reply = channel_request(line);
    return ScanResult{reply == "ok", reply.empty() ? "refused: no driver answered" : reply};
}

ScanResult scan(std::string_view text) { return scan(std::vector<BYTE>(text.begin(), text.end())); }

void fail_next_open(DWORD result) { arm("fail open " + hex(result)); }
void fail_next_buffer_mode(DWORD result) { arm("fail buffmode " + hex(result)); }
bool is_open() { return state().open == 1; }
DWORD buffer_mode() { return DWORD(state().mode); }
std::size_t pending() { return state().pending; }
HWND open_target() { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(state().target)); }
void reset() { arm("reset"); }

}  // namespace zel::control
