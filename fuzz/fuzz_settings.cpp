// The settings reader on a settings file of arbitrary bytes: the result is
// the one the line rules give, the file is closed again, and the fixed line
// buffer is never written past (the sanitizer watches the global).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "core/core.hpp"
#include "kernel/kernel.hpp"
#include "settings.h"

namespace {

// The line rules, written independently: a line is the bytes since the last
// CR or LF (or unmatched asterisk); an asterisk compares its first 10 or 11
// bytes. The reader keeps 800 bytes of a line; a longer line still decides
// by its first bytes.
int expected_setting(const uint8_t* data, size_t size) {
    std::string line;
    for (size_t k = 0; k < size; ++k) {
        char c = char(data[k]);
        if (c == '\r' || c == '\n') {
            line.clear();
        } else if (c == '*') {
            if (line.compare(0, 10, "Display On") == 0) return 1;
            if (line.compare(0, 11, "Display Off") == 0) return 0;
            line.clear();
        } else if (line.size() < 800) {
            line += c;
        }
    }
    return 0;
}

struct Root {
    std::filesystem::path path;
    std::filesystem::path file;
    Root() {
        path = std::filesystem::temp_directory_path() / ("pendrel-fuzz-settings-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path / "FlashDisk" / "Velmira");
        file = path / "FlashDisk" / "Velmira" / "PENDRELTOOL.ini";
        pf::kernel::set_device_root(path);
    }
    ~Root() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Root root;
    {
        std::ofstream out(root.file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    std::size_t handles_before = pf::kernel::live_handle_count();
    int result = ReadStartupSetting();
    if (result != expected_setting(data, size)) {
        std::fprintf(stderr, "ReadStartupSetting() = %d, the line rules give %d\n", result,
                     expected_setting(data, size));
        std::abort();
    }
    if (pf::kernel::live_handle_count() != handles_before) {
        std::fprintf(stderr, "the settings file was left open\n");
        std::abort();
    }
    return 0;
}
