// The key path on arbitrary reads of up to 255 bytes: translation, then
// emission into the device keyboard stream, whose events are checked.
// Each input is typed twice, the second time with every byte's top bit
// flipped, so that keyless bytes meet positions an earlier read filled.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.hpp"
#include "input/input.hpp"
#include "keys.h"
#include "reader.h"

namespace {

constexpr BYTE vk_shift = 0x10;
constexpr BYTE vk_lwin = 0x5B;

std::vector<pf::input::KeyEvent> events;

[[noreturn]] void fail(const std::string& read, size_t event, const char* why) {
    std::fprintf(stderr, "read of %zu bytes, event %zu: %s\n", read.size(), event, why);
    for (size_t k = 0; k < events.size(); ++k)
        std::fprintf(stderr, "  %zu: %s 0x%02X%s\n", k, events[k].down ? "down" : "up", events[k].vk,
                     events[k].shift ? " shift" : "");
    std::abort();
}

void type_and_check(const std::string& read) {
    events.clear();
    std::memset(ReadBuffer, 0, sizeof ReadBuffer);
    std::memcpy(ReadBuffer, read.data(), read.size());
    TranslateRead(BYTE(read.size()));
    EmitKeys(BYTE(read.size()));

    // The bytes that have a key, in order; the others must leave no trace.
    std::string keyed;
    for (unsigned char c : read)
        if (c < 0x80) keyed += char(c);

    // Every character with a key is one group: the Windows key released,
    // then either the key pressed and released, or the same inside a Shift
    // press and release. Control bytes are sent as their own key, even when
    // that key is Shift itself (0x10).
    size_t k = 0;
    for (size_t character = 0; character < keyed.size(); ++character) {
        unsigned char c = static_cast<unsigned char>(keyed[character]);
        if (k >= events.size()) fail(read, k, "fewer keys than characters with a key");
        if (events[k].vk != vk_lwin || events[k].down) fail(read, k, "a character does not start with 0x5B up");
        ++k;
        size_t rest = events.size() - k;
        bool shifted = rest >= 4 && events[k].vk == vk_shift && events[k].down && events[k + 1].vk != vk_shift;
        if (shifted) {
            if (!(events[k + 3].vk == vk_shift && !events[k + 3].down))
                fail(read, k + 3, "Shift is not released right after the character");
            ++k;
        }
        if (rest < 2) fail(read, k, "a character without its press and release");
        const auto& press = events[k];
        const auto& release = events[k + 1];
        if (!press.down || release.down || press.vk != release.vk)
            fail(read, k, "a key press is not followed by its release");
        if (c >= 0x20 && c <= 0x7E) {
            auto typed = pf::input::layout_char(press.vk, press.shift);
            if (!typed || *typed != c) fail(read, k, "the key does not type the character back");
            if (press.shift != shifted) fail(read, k, "Shift state differs from the Shift events");
        } else if (press.vk != c || shifted) {
            fail(read, k, "a control byte is not sent as its own key");
        }
        k += shifted ? 3 : 2;
        if (events[k - 1].shift)
            fail(read, k - 1, "Shift is left down after the character");
    }
    if (k != events.size()) fail(read, k, "events left over after the last character with a key");
    pf::Lock lock(pf::device_mutex());
    if (pf::input::key_down_locked(vk_shift)) fail(read, events.size(), "Shift is left down in the key state");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool installed = [] {
        pf::Lock lock(pf::device_mutex());
        pf::input::set_key_sink_locked([](const pf::input::KeyEvent& e) { events.push_back(e); });
        return true;
    }();
    (void)installed;
    if (size > 255) size = 255;
    std::string read(reinterpret_cast<const char*>(data), size);
    type_and_check(read);
    for (char& c : read) c = char(c ^ 0x80);
    type_and_check(read);
    return 0;
}
