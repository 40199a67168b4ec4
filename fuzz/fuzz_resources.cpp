// The resource reader on arbitrary bytes: a .res file, or one resource of
// a kind chosen by the first byte. Bad input must end in ResourceError;
// any other exception or a memory fault is a defect.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "user/resources.hpp"

namespace {

using namespace pf::user;

// Parses one resource of the given RT_ type; unknown types are not parsed.
void parse_kind(WORD type, const unsigned char* data, size_t size) {
    try {
        switch (type) {
        case 4: parse_menu(data, size); break;
        case 5: parse_dialog(data, size); break;
        case 6: parse_string_block(data, size); break;
        case 9: parse_accelerators(data, size); break;
        case 14: {
            auto dir = parse_group_icon(data, size);
            if (!dir.empty()) {
                size_t chosen = choose_icon(dir, 16, 16);
                if (chosen >= dir.size()) __builtin_trap();
            }
            break;
        }
        }
    } catch (const ResourceError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The rest is copied to a buffer of its own size, so that reading one
    // byte past it is caught.
    std::vector<unsigned char> body(data + 1, data + size);
    const unsigned char* p = body.empty() ? nullptr : body.data();
    static const WORD kinds[] = {4, 5, 6, 9, 14};
    BYTE selector = data[0];
    if (selector < 5) {
        parse_kind(kinds[selector], p, body.size());
        return 0;
    }
    // A whole .res file, and every entry of a known kind in it.
    try {
        if (!p) return 0;
        for (const ResEntry& e : parse_res_file(p, body.size())) {
            if (e.data < p || e.data + e.size > p + body.size()) __builtin_trap();
            if (e.type.ordinal) parse_kind(*e.type.ordinal, e.data, e.size);
        }
    } catch (const ResourceError&) {
    }
    return 0;
}
