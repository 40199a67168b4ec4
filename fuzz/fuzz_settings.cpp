// The settings reader on a settings file of arbitrary bytes, served from
// memory by the four file calls it makes: the result is the one the line
// rules give, the file is closed exactly once, and the fixed line buffer is
// never written past (the sanitizer watches the global).
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings.h"

namespace {

const uint8_t* file_data;
size_t file_size, file_offset;
int opens, closes;
HANDLE const settings_file = reinterpret_cast<HANDLE>(0x5E77);

[[noreturn]] void fail(const char* why) {
    std::fprintf(stderr, "settings file of %zu bytes: %s\n", file_size, why);
    std::abort();
}

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

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
    ++opens;
    file_offset = 0;
    return settings_file;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD wanted, LPDWORD read, LPOVERLAPPED) {
    if (file != settings_file || closes) fail("read from a handle that is not the open settings file");
    DWORD n = DWORD(std::min<size_t>(wanted, file_size - file_offset));
    for (DWORD k = 0; k < n; ++k) static_cast<uint8_t*>(buffer)[k] = file_data[file_offset + k];
    file_offset += n;
    *read = n;
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE handle) {
    if (handle != settings_file || closes++) fail("closed a handle that is not the open settings file");
    return TRUE;
}

DWORD WINAPI GetLastError(void) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    file_data = data;
    file_size = size;
    opens = closes = 0;
    int result = ReadStartupSetting();
    int expected = expected_setting(data, size);
    if (result != expected) {
        std::fprintf(stderr, "ReadStartupSetting() = %d, the line rules give %d\n", result, expected);
        fail("wrong setting");
    }
    if (opens != 1 || closes != 1) fail("the settings file was not opened and closed once");
    return 0;
}
