// Pendrel's module as one launch loads it: a private copy, so that each
// launch has its own process-wide state, as a new process would.
#pragma once
#include <windows.h>

namespace runner {

struct Module {
    int (*win_main)(HINSTANCE, HINSTANCE, LPWSTR, int) = nullptr;
    const unsigned char* res = nullptr;  // its resources, a .res image
    unsigned long res_size = 0;
};

// Loads a fresh copy of the module built at PENDREL_MODULE_PATH for launch N;
// throws std::runtime_error when it cannot be loaded or lacks an entry.
Module load_module_copy(int n);

}  // namespace runner
