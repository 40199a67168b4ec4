// keybd_event, the key state it keeps, and the device keyboard layout.
#include "input/input.hpp"

#include "core/core.hpp"
#include "key_table.hpp"

#include <array>

namespace pf::input {
namespace {

struct KeyState {
    std::array<bool, 256> down{};
    std::function<void(const KeyEvent&)> sink;
};

KeyState& keys() {
    static auto& k = *new KeyState;
    return k;
}

// The generic Shift, Control and Alt keys follow their left and right keys.
void update_generic(BYTE generic, BYTE left, BYTE right, BYTE vk) {
    auto& d = keys().down;
    if (vk == left || vk == right) d[generic] = d[left] || d[right];
}

std::string flags_str(DWORD flags) {
    if (flags == 0) return "0";
    std::string out;
    auto add = [&](DWORD bit, const char* name) {
        if (!(flags & bit)) return;
        if (!out.empty()) out += " | ";
        out += name;
        flags &= ~bit;
    };
    add(KEYEVENTF_EXTENDEDKEY, "KEYEVENTF_EXTENDEDKEY");
    add(KEYEVENTF_KEYUP, "KEYEVENTF_KEYUP");
    add(KEYEVENTF_SILENT, "KEYEVENTF_SILENT");
    if (flags) out += (out.empty() ? "" : " | ") + hex(flags);
    return out;
}

}  // namespace

void set_key_sink_locked(std::function<void(const KeyEvent&)> sink) { keys().sink = std::move(sink); }

bool key_down_locked(BYTE vk) { return keys().down[vk]; }

void reset_key_state_locked() {
    keys().down.fill(false);
}

std::optional<WCHAR> layout_char(BYTE vk, bool shift) {
    // What each key types with and without Shift, from the reader's key table.
    static const auto printable = [] {
        std::array<int, 512> table{};
        for (int key = 0; key < 256; ++key)
            for (int shifted = 0; shifted < 2; ++shifted)
                table[key * 2 + shifted] = zel::keys::printable_for(std::uint8_t(key), shifted != 0);
        return table;
    }();
    if (int c = printable[vk * 2 + (shift ? 1 : 0)]; c >= 0) return WCHAR(c);
    switch (vk) {
    case VK_RETURN: return WCHAR('\r');
    case VK_TAB: return WCHAR('\t');
    case VK_BACK: return WCHAR('\b');
    case VK_ESCAPE: return WCHAR(0x1B);
    case VK_SPACE: return WCHAR(' ');  // Shift+Space too
    default: return std::nullopt;
    }
}

}  // namespace pf::input

using namespace pf;

void WINAPI keybd_event(BYTE bVk, BYTE bScan, DWORD dwFlags, ULONG_PTR dwExtraInfo) {
    Lock lock = enter_call();
    trace(call_str("keybd_event",
                   {hex(bVk, 2), std::to_string(bScan), input::flags_str(dwFlags), std::to_string(dwExtraInfo)}));
    // keybd_event (Windows CE 5.0, Embedded CE 6.0): a key code is 1 to 254;
    // the handheld makes no key of any other (the desktop queues key 0).
    if (bVk == 0 || bVk == 255) return;
    auto& k = input::keys();
    bool down = !(dwFlags & KEYEVENTF_KEYUP);
    k.down[bVk] = down;
    input::update_generic(VK_SHIFT, 0xA0, 0xA1, bVk);
    input::update_generic(VK_CONTROL, 0xA2, 0xA3, bVk);
    input::update_generic(VK_MENU, 0xA4, 0xA5, bVk);
    input::KeyEvent event;
    event.vk = bVk;
    event.down = down;
    event.flags = dwFlags;
    event.read = current_thread().typing_read;
    event.shift = k.down[VK_SHIFT];
    event.ctrl = k.down[VK_CONTROL];
    event.alt = k.down[VK_MENU];
    if (k.sink) k.sink(event);
    notify_all_locked();
}

