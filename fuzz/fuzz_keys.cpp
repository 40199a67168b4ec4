// The key path on arbitrary reads of up to 255 bytes: translation, then
// emission into an in-memory key sink, whose events are checked against the
// device's keyboard layout (driver/key_table.hpp). Each input is typed
// twice, the second time with every byte's top bit flipped, so that keyless
// bytes meet positions an earlier read filled.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "key_table.hpp"
#include "keys.h"
#include "reader.h"

BYTE ReadBuffer[READ_BUFFER_SIZE];

namespace {

struct KeyEvent {
    BYTE vk;
    bool down;
    bool shift;  // Shift held when the event was sent
};

// The device layout's inverse, computed once: the character a key types.
struct Layout {
    int typed[256][2];
    constexpr Layout() : typed() {
        for (int vk = 0; vk < 256; ++vk)
            for (int shift = 0; shift < 2; ++shift) typed[vk][shift] = zel::keys::printable_for(uint8_t(vk), shift);
    }
};
const Layout layout;

constexpr size_t max_events = 255 * 5;
KeyEvent events[max_events];
size_t event_count;
bool shift_down;

[[noreturn]] void fail(size_t length, size_t event, const char* why) {
    std::fprintf(stderr, "read of %zu bytes, event %zu: %s\n", length, event, why);
    for (size_t k = 0; k < event_count; ++k)
        std::fprintf(stderr, "  %zu: %s 0x%02X%s\n", k, events[k].down ? "down" : "up", events[k].vk,
                     events[k].shift ? " shift" : "");
    std::abort();
}

void type_and_check(const uint8_t* read, size_t length) {
    event_count = 0;
    shift_down = false;
    std::memset(ReadBuffer, 0, sizeof ReadBuffer);
    std::memcpy(ReadBuffer, read, length);
    TranslateRead(BYTE(length));
    EmitKeys(BYTE(length));

    // Every byte with a key is one group: the Windows key released, then
    // the key pressed and released, bare or inside a Shift press and
    // release. Control bytes are sent as their own key, even when that key
    // is Shift itself (0x10). Bytes without a key leave no trace.
    size_t k = 0;
    for (size_t i = 0; i < length; ++i) {
        uint8_t c = read[i];
        if (c >= 0x80) continue;
        if (k >= event_count) fail(length, k, "fewer keys than characters with a key");
        if (events[k].vk != VK_LWIN || events[k].down) fail(length, k, "a character does not start with 0x5B up");
        ++k;
        size_t rest = event_count - k;
        bool shifted = rest >= 4 && events[k].vk == VK_SHIFT && events[k].down && events[k + 1].vk != VK_SHIFT;
        if (shifted) {
            if (events[k + 3].vk != VK_SHIFT || events[k + 3].down)
                fail(length, k + 3, "Shift is not released right after the character");
            ++k;
        }
        if (rest < 2) fail(length, k, "a character without its press and release");
        const KeyEvent& press = events[k];
        const KeyEvent& release = events[k + 1];
        if (!press.down || release.down || press.vk != release.vk)
            fail(length, k, "a key press is not followed by its release");
        if (c >= 0x20 && c <= 0x7E) {
            if (layout.typed[press.vk][press.shift] != c)
                fail(length, k, "the key does not type the character on the device's layout");
        } else if (press.vk != c || shifted) {
            fail(length, k, "a control byte is not sent as its own key");
        }
        k += shifted ? 3 : 2;
    }
    if (k != event_count) fail(length, k, "events left over after the last character with a key");
    if (shift_down) fail(length, event_count, "Shift is left down");
}

}  // namespace

void WINAPI keybd_event(BYTE vk, BYTE, DWORD flags, ULONG_PTR) {
    if (event_count == max_events) fail(0, event_count, "more key events than a read can need");
    bool down = (flags & KEYEVENTF_KEYUP) == 0;
    if (vk == VK_SHIFT) shift_down = down;
    events[event_count++] = {vk, down, shift_down};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t read[255];
    size_t length = size < sizeof read ? size : sizeof read;
    std::memcpy(read, data, length);
    type_and_check(read, length);
    for (size_t i = 0; i < length; ++i) read[i] ^= 0x80;
    type_and_check(read, length);
    return 0;
}
