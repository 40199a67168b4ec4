// Microseconds on QueryPerformanceCounter: one clock for the driver, the key
// recorder and the bench programs, so that their timestamps compare.
#pragma once
#include <windows.h>

inline long long qpc_now_us() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    long long f = frequency.QuadPart;
    return count.QuadPart / f * 1000000 + count.QuadPart % f * 1000000 / f;
}
