// Key chords the operator presses: "alt+f4", "shift+tab", "return", "a".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace runner {

struct Chord {
    std::vector<std::uint8_t> modifiers;  // virtual keys held, in press order
    std::uint8_t key = 0;                 // the key pressed and released
};

// nullopt for an unknown key or modifier name.
std::optional<Chord> parse_chord(const std::string& text);

// One key event of the operator's keyboard, for keybd_event.
struct KeyStroke {
    std::uint8_t vk = 0;
    bool up = false;
};

// The events of a chord: modifiers down, the key down and up, modifiers up
// in reverse order.
std::vector<KeyStroke> strokes_of(const Chord& chord);

}  // namespace runner
