// The memo: "any application on the terminal", a window filled by a
// multi-line edit, running its own message loop in its own process.
#pragma once
#include <windows.h>

namespace pf {
struct Process;
}

namespace device::memo {

constexpr int edit_id = 1;

struct Memo {
    pf::Process* process = nullptr;
    HWND window = nullptr;  // null if it could not be created
};

// Starts the memo process; returns once its window exists.
Memo start();

}  // namespace device::memo
