// The device's command language on arbitrary text: a bad script ends in
// ScriptError naming its line; anything else escaping, or a memory fault,
// is a defect. Escaping any bytes and decoding them again gives them back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "script.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    try {
        std::istringstream in(text);
        runner::run_lines(in, "fuzz.scn", [](const runner::Command&) { return true; });
    } catch (const runner::ScriptError& e) {
        if (std::string(e.what()).rfind("fuzz.scn:", 0) != 0) std::abort();  // must name the line
    }
    std::string quoted = runner::escape(text);
    if (runner::unescape(quoted.substr(1, quoted.size() - 2)) != text) std::abort();
    return 0;
}
