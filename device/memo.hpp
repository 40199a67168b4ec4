// The memo: "any application on the terminal", a window filled by a
// multi-line edit, running its own message loop in its own process.
#pragma once
#include <windows.h>

namespace device::memo {

constexpr int edit_id = 1;

// Starts the memo process; returns once its window exists (the memo's
// window, or null if it could not be created).
HWND start();

}  // namespace device::memo
