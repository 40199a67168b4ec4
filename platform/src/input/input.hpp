// The device's keyboard input stream: keybd_event feeds it, it keeps the key
// state, and the window system consumes it to post key messages.
#pragma once
#include <windows.h>

#include <functional>
#include <optional>

namespace pf::input {

struct KeyEvent {
    BYTE vk = 0;
    bool down = false;      // press (true) or release (false)
    DWORD flags = 0;        // as given to keybd_event
    bool shift = false;     // Shift state after this event
    bool alt = false;       // Alt (VK_MENU) state after this event
    bool ctrl = false;      // Control state after this event
    std::size_t read = 0;   // the reader's read it types (0: not a read's key)
};

// The window system installs the consumer; it is called with the device lock
// held, once per event, in order. Without a consumer events are dropped
// after updating the key state.
void set_key_sink_locked(std::function<void(const KeyEvent&)> sink);

bool key_down_locked(BYTE vk);
void reset_key_state_locked();

// The device keyboard layout: the character a key gives with the given Shift
// state, or nullopt when it gives none. Inverse of the reader key table
// (driver/key_table.hpp):
// letters give lower case (upper with Shift), Shift+2 gives '"', 0xDE gives
// ':' (Shift '*'), Return '\r', Tab '\t', Backspace '\b', Escape 0x1B, Space.
std::optional<WCHAR> layout_char(BYTE vk, bool shift);

}  // namespace pf::input
