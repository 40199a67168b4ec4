// wine-keymap: writes the X keymap (xkbcomp source) that makes Wine type with
// the handheld's layout, from the device's key table.
//
// Wine's X11 driver scores the X keysyms against its built-in layouts, gives
// each X key the virtual key of the best layout's key whose first character
// it shares (a key with a grave accent gets 0xC0), and hands the keys left a
// spare virtual key, in key code order, from 0xBA upwards. So each virtual
// key of the table sits on an X key carrying the table's characters for it:
//   - a key whose unshifted character starts a US key gets that key's virtual
//     key, which the table gives it too (digits, letters, ; , - . / [ \ ]);
//   - "@" carries "`" shifted, so gets 0xC0; "^" and ":" sit on the lowest key
//     codes left, in that order, to get the spare keys 0xBB and 0xDE;
//   - decoy keys on unused key codes carry the US pairs the table breaks
//     (Shift+2 is '"' here), so that Wine ranks the US layout above its
//     Japanese 106 layout, whose keys for ";", ":" and "^" are not the
//     table's. A decoy never types: a lower real key has its virtual key.
// WINEDEBUG=+keyboard shows the detected layout and the spare keys given.
// Usage: wine-keymap [OUTPUT]   (standard output without OUTPUT)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "../../driver/key_table.hpp"

namespace {

using zel::keys::printable_for;

// Where each virtual key of the table sits: the X key of a Japanese 106
// keyboard that carries it. AE12 and AC11 (key codes 21 and 48) are the
// first keys left for a spare virtual key: 0xBB, then 0xDE.
struct Place {
    std::uint8_t vk;
    std::string_view key;
};

constexpr Place places[] = {
    {'1', "AE01"}, {'2', "AE02"}, {'3', "AE03"}, {'4', "AE04"}, {'5', "AE05"}, {'6', "AE06"}, {'7', "AE07"},
    {'8', "AE08"}, {'9', "AE09"}, {'0', "AE10"}, {0xBD, "AE11"}, {0xBB, "AE12"}, {0xDC, "AE13"},
    {'Q', "AD01"}, {'W', "AD02"}, {'E', "AD03"}, {'R', "AD04"}, {'T', "AD05"}, {'Y', "AD06"}, {'U', "AD07"},
    {'I', "AD08"}, {'O', "AD09"}, {'P', "AD10"}, {0xC0, "AD11"}, {0xDB, "AD12"},
    {'A', "AC01"}, {'S', "AC02"}, {'D', "AC03"}, {'F', "AC04"}, {'G', "AC05"}, {'H', "AC06"}, {'J', "AC07"},
    {'K', "AC08"}, {'L', "AC09"}, {0xBA, "AC10"}, {0xDE, "AC11"}, {0xDD, "BKSL"},
    {'Z', "AB01"}, {'X', "AB02"}, {'C', "AB03"}, {'V', "AB04"}, {'B', "AB05"}, {'N', "AB06"}, {'M', "AB07"},
    {0xBC, "AB08"}, {0xBE, "AB09"}, {0xBF, "AB10"},
};

// The US keys Wine knows, as (virtual key, unshifted, shifted), for the decoys.
struct UsKey {
    std::uint8_t vk;
    char plain, shifted;
};

constexpr UsKey us_keys[] = {
    {'1', '1', '!'}, {'2', '2', '@'}, {'3', '3', '#'}, {'4', '4', '$'},  {'5', '5', '%'},  {'6', '6', '^'},
    {'7', '7', '&'}, {'8', '8', '*'}, {'9', '9', '('}, {'0', '0', ')'},  {0xBD, '-', '_'}, {0xBB, '=', '+'},
    {0xDB, '[', '{'}, {0xDD, ']', '}'}, {0xBA, ';', ':'}, {0xDE, '\'', '"'}, {0xC0, '`', '~'}, {0xDC, '\\', '|'},
    {0xBC, ',', '<'}, {0xBE, '.', '>'}, {0xBF, '/', '?'},
};

// Each decoy pair is carried this many times: enough for the US layout to
// outscore the Japanese 106 layout by far (Wine 8.0 with three: 76 against -8;
// with none, Japanese 106 wins and ':' types '^').
constexpr int decoy_copies = 3;
constexpr int first_decoy_code = 208;  // I208 to I231: media keys no one presses here
constexpr int last_decoy_code = 231;

// Every virtual key the table types a printable character with has a place.
bool every_key_placed() {
    for (int c = 0x21; c <= 0x7E; ++c) {
        std::uint8_t vk = zel::keys::key_for(std::uint8_t(c)).vk;
        if (std::none_of(std::begin(places), std::end(places), [&](const Place& p) { return p.vk == vk; })) {
            std::fprintf(stderr, "wine-keymap: virtual key 0x%02X (for '%c') has no place on the keyboard\n", vk, c);
            return false;
        }
    }
    return true;
}

std::string keysym(int c) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%04x", c);
    return text;
}

std::string comment(int a, int b) { return std::string("  // ") + char(a) + ' ' + char(b); }

std::string keymap() {
    std::ostringstream out;
    out << "// The handheld's keyboard for Wine, written by wine-keymap from driver/key_table.hpp.\n"
           "xkb_keymap {\n"
           "  xkb_keycodes { include \"evdev+aliases(qwerty)\" };\n"
           "  xkb_types { include \"complete\" };\n"
           "  xkb_compat { include \"complete\" };\n"
           "  xkb_symbols {\n"
           "    include \"pc\"\n"
           "    // no second key types '<', '>' or '\\'\n"
           "    key <LSGT> { [ VoidSymbol, VoidSymbol, VoidSymbol, VoidSymbol ] };\n"
           "    key <AB11> { [ VoidSymbol, VoidSymbol ] };\n";
    for (const Place& p : places) {
        int plain = printable_for(p.vk, false), shifted = printable_for(p.vk, true);
        out << "    key <" << p.key << "> { [ " << keysym(plain) << ", "
            << (shifted < 0 ? std::string("NoSymbol") : keysym(shifted)) << " ] };"
            << comment(plain, shifted < 0 ? ' ' : shifted) << "\n";
    }
    // The decoys: US pairs whose unshifted character the table types with the
    // US key's own virtual key, and whose shifted character differs.
    int code = first_decoy_code;
    for (int copy = 0; copy < decoy_copies; ++copy)
        for (const UsKey& us : us_keys) {
            zel::keys::Key plain = zel::keys::key_for(std::uint8_t(us.plain));
            if (plain.vk != us.vk || plain.shift || printable_for(us.vk, true) == us.shifted) continue;
            if (code > last_decoy_code) {
                std::fprintf(stderr, "wine-keymap: more decoys than unused key codes\n");
                std::exit(1);
            }
            out << "    key <I" << code++ << "> { [ " << keysym(us.plain) << ", " << keysym(us.shifted)
                << " ] };" << comment(us.plain, us.shifted) << " (decoy)\n";
        }
    out << "  };\n"
           "  xkb_geometry { include \"pc(pc105)\" };\n"
           "};\n";
    return out.str();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: wine-keymap [OUTPUT]\n");
        return 2;
    }
    if (!every_key_placed()) return 1;
    if (argc == 1) {
        std::cout << keymap();
    } else if (!(std::ofstream(argv[1], std::ios::binary) << keymap())) {
        std::fprintf(stderr, "wine-keymap: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
